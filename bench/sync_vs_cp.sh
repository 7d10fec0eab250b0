#!/usr/bin/env bash
# songlift-cli sync into a disk image against cp of the same files, on the
# same disk. Each timing ends with `sync`, so both include writing the data
# back; the files are read from the page cache in both.
#
#   bench/sync_vs_cp.sh [BUILD_DIR] [TOTAL_MB] [WORK_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
total_mb=${2:-512}
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/jukepak-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cli="$build/bin/songlift-cli"
file_mb=8
count=$(( (total_mb + file_mb - 1) / file_mb ))

mkdir "$work/songs" "$work/copy"
for i in $(seq -w 1 "$count"); do
  "$build/bin/bench_mpeg_scanner" --make "$work/songs/song$i.mp3" "$file_mb"
done
bytes=$(du -cb "$work"/songs/*.mp3 | tail -1 | cut -f1)
sectors=$(( bytes / 512 * 12 / 10 + 65536 ))
"$cli" mkimage "$work/player.img" "$sectors" > /dev/null
"$cli" --image "$work/player.img" --yes init > /dev/null
cat "$work"/songs/*.mp3 > /dev/null  # both runs read from the page cache
sync

now() { date +%s.%N; }
start=$(now); cp "$work"/songs/*.mp3 "$work/copy/"; sync; cp_s=$(echo "$(now) - $start" | bc -l)
start=$(now); "$cli" --image "$work/player.img" sync "$work"/songs/*.mp3 > /dev/null; sync
sync_s=$(echo "$(now) - $start" | bc -l)

mb=$(echo "$bytes / 1000000" | bc -l)
printf 'files: %d x %d MB (%.0f MB) on %s\n' "$count" "$file_mb" "$mb" "$(df --output=source "$work" | tail -1)"
printf 'cp:               %6.2f s  %6.0f MB/s\n' "$cp_s" "$(echo "$mb / $cp_s" | bc -l)"
printf 'songlift-cli sync: %6.2f s  %6.0f MB/s  (%.2f x the time of cp)\n' "$sync_s" \
  "$(echo "$mb / $sync_s" | bc -l)" "$(echo "$sync_s / $cp_s" | bc -l)"
