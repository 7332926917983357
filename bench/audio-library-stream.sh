#!/usr/bin/env bash
# End to end: 60 s of a 128 kbit/s MP3 stream from Icecast on loopback, played on the "no sound"
# device through the audio library (kavrilune_stream_play), against ffmpeg reading the same stream
# in real time into its null muxer. Both run as whole processes under /usr/bin/time -v.
#
#     bench/audio-library-stream.sh [BUILD_DIR]     (PLAY_SECONDS=60 by default)
set -euo pipefail
build=${1:-build}
seconds=${PLAY_SECONDS:-60}
feed="$build/bench/kavrilune_icecast_feed"
play="$build/bench/kavrilune_stream_play"
for tool in "$feed" "$play" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool (build the project with tests and benchmarks)" >&2; exit 1; }
done

work=$(mktemp -d)
feed_pid=
cleanup() {
  if [ -n "$feed_pid" ]; then
    kill -TERM "$feed_pid" 2>/dev/null || true
    wait "$feed_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$feed" mp3 128 >"$work/feed.out" 2>"$work/feed.err" &
feed_pid=$!
for _ in $(seq 200); do
  [ -s "$work/feed.out" ] && break
  kill -0 "$feed_pid" 2>/dev/null || { cat "$work/feed.err" >&2; exit 1; }
  sleep 0.1
done
url=$(head -n1 "$work/feed.out")
[ -n "$url" ] || { echo "the Icecast feed did not start" >&2; exit 1; }
# A station that has been on air for a while: Icecast's burst for new listeners is full.
sleep 5

/usr/bin/time -v "$play" "$url" "$seconds" 0 >"$work/play.out" 2>"$work/play.time" || {
  cat "$work/play.out" "$work/play.time" >&2; exit 1; }
/usr/bin/time -v ffmpeg -nostdin -hide_banner -loglevel error -re -i "$url" -t "$seconds" -f null - \
  2>"$work/ffmpeg.time" || { cat "$work/ffmpeg.time" >&2; exit 1; }

measure() { # file -> "cpu_seconds max_rss_kb"
  awk -F': ' '/User time \(seconds\)/ {u=$2} /System time \(seconds\)/ {s=$2}
              /Maximum resident set size/ {m=$2} END {printf "%.2f %d\n", u+s, m}' "$1"
}
read -r lib_cpu lib_rss < <(measure "$work/play.time")
read -r ff_cpu ff_rss < <(measure "$work/ffmpeg.time")
echo "stream: $url, $seconds s"
grep -E "creation to playing|state after" "$work/play.out"
printf "%-26s %10s %14s\n" "" "CPU s" "peak RSS KiB"
printf "%-26s %10s %14s\n" "audio library (device 0)" "$lib_cpu" "$lib_rss"
printf "%-26s %10s %14s\n" "ffmpeg -re -i ... -f null" "$ff_cpu" "$ff_rss"
awk -v a="$lib_cpu" -v b="$ff_cpu" 'BEGIN { if (b > 0) printf "CPU ratio library/ffmpeg: %.2f (target at most 1.2)\n", a / b }'
