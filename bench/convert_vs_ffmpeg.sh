#!/usr/bin/env bash
# songlift-cli sync of four 60-second FLAC files into a disk image (each
# converted to MP3 at 192 kbit/s on the sync's converter threads while the
# writer writes) against four `ffmpeg -i F -c:a libmp3lame -b:a 192k` runs of
# the same files one after the other. Both read the files from the page
# cache; each timing ends with `sync`. Best of RUNS runs each.
#
#   bench/convert_vs_ffmpeg.sh [BUILD_DIR] [RUNS] [WORK_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/jukepak-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cli="$build/bin/songlift-cli"

mkdir "$work/songs" "$work/ffmpeg"
for i in 1 2 3 4; do
  # A tone on the left, pink noise on the right: work for the encoder.
  ffmpeg -hide_banner -loglevel error -f lavfi -i "sine=frequency=$((220 * i)):duration=60" \
    -f lavfi -i "anoisesrc=duration=60:color=pink:amplitude=0.2" \
    -filter_complex amerge=inputs=2 -ar 44100 -metadata title="Song $i" \
    -metadata artist="Bench" -metadata album="Sixty" -metadata track="$i" \
    "$work/songs/song$i.flac"
done
cat "$work"/songs/*.flac > /dev/null
now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -1; }

ffmpeg_times=() sync_times=()
for _ in $(seq "$runs"); do
  rm -f "$work"/ffmpeg/*.mp3
  sync
  start=$(now)
  for f in "$work"/songs/*.flac; do
    ffmpeg -hide_banner -loglevel error -i "$f" -c:a libmp3lame -b:a 192k \
      "$work/ffmpeg/$(basename "$f" .flac).mp3"
  done
  sync
  ffmpeg_times+=("$(echo "$(now) - $start" | bc -l)")

  rm -f "$work/player.img"
  "$cli" mkimage "$work/player.img" 200000 > /dev/null
  "$cli" --image "$work/player.img" --yes init > /dev/null
  sync
  start=$(now)
  "$cli" --image "$work/player.img" sync "$work"/songs/*.flac > /dev/null
  sync
  sync_times+=("$(echo "$(now) - $start" | bc -l)")
done

ffmpeg_s=$(best "${ffmpeg_times[@]}")
sync_s=$(best "${sync_times[@]}")
printf 'four 60 s FLAC files to MP3 at 192 kbit/s, %s cores, best of %d\n' "$(nproc)" "$runs"
printf 'ffmpeg, four runs:   %6.2f s  (runs: %s)\n' "$ffmpeg_s" "${ffmpeg_times[*]}"
printf 'songlift-cli sync:   %6.2f s  (runs: %s)\n' "$sync_s" "${sync_times[*]}"
printf 'sync / ffmpeg:       %6.2f\n' "$(echo "$sync_s / $ffmpeg_s" | bc -l)"
