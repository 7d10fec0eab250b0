#!/usr/bin/env bash
# The peak memory (largest resident set) of songlift-cli syncing one large
# MP3 file into a disk image, against the file's size: the sync reads a
# file in pieces, so its memory does not grow with the file.
#
#   bench/sync_peak_memory.sh [BUILD_DIR] [FILE_MB] [WORK_DIR]
#   (defaults: build, 200 MB, $TMPDIR)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
file_mb=${2:-200}
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/jukepak-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cli="$build/bin/songlift-cli"

"$build/bin/bench_mpeg_scanner" --make "$work/big.mp3" "$file_mb"
bytes=$(stat -c %s "$work/big.mp3")
"$cli" mkimage "$work/player.img" $(( bytes / 512 * 12 / 10 + 65536 )) > /dev/null
"$cli" --image "$work/player.img" --yes init > /dev/null
# The same command's peak with nothing to write: what the program takes
# without the file.
"$cli" --image "$work/player.img" ls > /dev/null
idle_kb=$(/usr/bin/time -f %M "$cli" --image "$work/player.img" ls 2>&1 > /dev/null | tail -1)
sync_kb=$(/usr/bin/time -f %M "$cli" --image "$work/player.img" sync "$work/big.mp3" 2>&1 \
  > /dev/null | tail -1)
printf 'file: %.0f MB; songlift-cli sync: peak %.1f MB resident (ls of the same image: %.1f MB)\n' \
  "$(echo "$bytes / 1000000" | bc -l)" "$(echo "$sync_kb / 1024" | bc -l)" \
  "$(echo "$idle_kb / 1024" | bc -l)"
