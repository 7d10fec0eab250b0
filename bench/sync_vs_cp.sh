#!/usr/bin/env bash
# songlift-cli sync into a disk image against cp of the same files, on the
# same disk, in pairs run one after the other (cp, then the sync) so that both
# meet the same load. Each timing ends with `sync`, so both include writing
# the data back; the files are read from the page cache in both. Prints each
# pair's wall, user and system seconds and the ratio sync/cp, then the
# median ratios (pair 0, a warm-up, is left out of them).
#
#   bench/sync_vs_cp.sh [BUILD_DIR] [FILES] [FILE_MB] [PAIRS] [WORK_DIR]
#   (defaults: build, 12 files of 29 MB, 5 pairs after the warm-up, $TMPDIR)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-12}
file_mb=${3:-29}
pairs=${4:-5}
work=$(mktemp -d "${5:-${TMPDIR:-/tmp}}/jukepak-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cli="$build/bin/songlift-cli"

mkdir "$work/songs"
for i in $(seq -w 1 "$count"); do
  "$build/bin/bench_mpeg_scanner" --make "$work/songs/song$i.mp3" "$file_mb"
done
bytes=$(du -cb "$work"/songs/*.mp3 | tail -1 | cut -f1)
sectors=$(( bytes / 512 * 12 / 10 + 65536 ))
cat "$work"/songs/*.mp3 > /dev/null  # both runs read from the page cache

# Runs "$@" and prints its wall, user and system seconds (children included).
timed() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" > /dev/null; } 2>&1
}
copy_files() { cp "$work"/songs/*.mp3 "$work/copy/" && sync; }
sync_files() { "$cli" --image "$work/player.img" sync "$work"/songs/*.mp3 && sync; }

mb=$(echo "$bytes / 1000000" | bc -l)
printf 'files: %d x %d MB (%.0f MB) on %s, load average %s\n' "$count" "$file_mb" "$mb" \
  "$(df --output=source "$work" | tail -1)" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-5s %26s %26s %20s\n' pair 'cp wall/user/sys' 'sync wall/user/sys' 'ratio wall/sys'
walls=() syss=()
for pair in $(seq 0 "$pairs"); do  # pair 0 warms up: printed, not counted
  # Each run starts just after its own output of the pair before is
  # removed, so both find the memory that output held free again: on a
  # virtual machine whose host takes back free memory, whichever run came
  # second otherwise paid for faulting fresh pages in (up to 10 times the
  # system time, in every other pair).
  rm -rf "$work/copy"
  mkdir "$work/copy"
  sync
  read -r cp_w cp_u cp_s <<< "$(timed copy_files)"
  rm -f "$work/player.img"
  "$cli" mkimage "$work/player.img" "$sectors" > /dev/null
  "$cli" --image "$work/player.img" --yes init > /dev/null
  sync
  read -r sy_w sy_u sy_s <<< "$(timed sync_files)"
  wall=$(echo "$sy_w / $cp_w" | bc -l)
  sys=$(echo "$sy_s / ($cp_s + 0.001)" | bc -l)
  if [ "$pair" -gt 0 ]; then walls+=("$wall") syss+=("$sys"); fi
  printf '%-5d %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f %9.2f\n' "$pair" "$cp_w" "$cp_u" "$cp_s" \
    "$sy_w" "$sy_u" "$sy_s" "$wall" "$sys"
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
printf 'median ratio sync/cp: wall %.2f, system time %.2f (load average after: %s)\n' \
  "$(median "${walls[@]}")" "$(median "${syss[@]}")" "$(cut -d' ' -f1-3 /proc/loadavg)"
