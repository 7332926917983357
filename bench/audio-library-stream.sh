#!/usr/bin/env bash
# End to end, on one Icecast stream on loopback per format (MP3 128 kbit/s, AAC 64 kbit/s, Ogg Vorbis
# 128 kbit/s nominal), each program as a whole process under /usr/bin/time -v:
#   - the audio library playing the stream on the "no sound" device (kavrilune_stream_play),
#   - ffmpeg reading it in real time into its null muxer (-re),
#   - ffmpeg reading it as fast as it comes (no -re: the burst at once, then the live rate),
#   - mpv playing it on its null audio output.
# The four run one after the other in a rotating order, ROUNDS times; the table gives each one's
# median CPU seconds and peak resident memory, and the ratios to ffmpeg -re. The library's resident
# memory is also sampled while it plays, to show growth. Then the library's time from stream creation
# to playing (and to its first stream bytes, which is the server's share) is taken START_ROUNDS times.
#
#     bench/audio-library-stream.sh [BUILD_DIR]
#     PLAY_SECONDS=60 ROUNDS=5 START_ROUNDS=10 FORMATS="mp3 aac ogg" by default
#
# mpv is installed from the distribution here when it is missing (it is needed by nothing else).
set -euo pipefail
build=${1:-build}
seconds=${PLAY_SECONDS:-60}
rounds=${ROUNDS:-5}
start_rounds=${START_ROUNDS:-10}
formats=${FORMATS:-mp3 aac ogg}
feed="$build/bench/kavrilune_icecast_feed"
play="$build/bench/kavrilune_stream_play"

if ! command -v mpv >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing mpv for the comparison" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends mpv >/dev/null \
    || { echo "cannot install mpv" >&2; exit 1; }
fi
for tool in "$feed" "$play" /usr/bin/time "$(command -v ffmpeg)" "$(command -v mpv)"; do
  [ -x "$tool" ] || { echo "missing $tool (build the project with tests and benchmarks)" >&2; exit 1; }
done

work=$(mktemp -d)
feed_pid=
stop_feed() {
  if [ -n "$feed_pid" ]; then
    kill -TERM "$feed_pid" 2>/dev/null || true
    wait "$feed_pid" 2>/dev/null || true
    feed_pid=
  fi
}
trap 'stop_feed; rm -rf "$work"' EXIT

start_feed() { # format kbps -> sets url
  "$feed" "$1" "$2" >"$work/feed.out" 2>"$work/feed.err" &
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
}

measure() { # time -v output -> "cpu_seconds max_rss_kib"
  awk -F': ' '/User time \(seconds\)/ {u=$2} /System time \(seconds\)/ {s=$2}
              /Maximum resident set size/ {m=$2} END {printf "%.2f %d\n", u+s, m}' "$1"
}

median() { # [printf format] numbers on stdin -> their median
  sort -g | awk -v f="${1:-%.2f}" '{v[NR]=$1} END {if (NR == 0) print "-"; else if (NR % 2) printf f "\n", v[(NR+1)/2];
                                                   else printf f "\n", (v[NR/2]+v[NR/2+1])/2}'
}

# The library, with its resident memory sampled every 5 s while it plays: "first last" KiB after 10 s.
run_engine() { # out time
  /usr/bin/time -v "$play" "$url" "$seconds" 0 >"$1" 2>"$2" &
  local timer=$! child="" first="" last=""
  for _ in $(seq 50); do
    child=$(pgrep -P "$timer" || true)
    [ -n "$child" ] && break
    sleep 0.02
  done
  local elapsed=0
  while [ -n "$child" ] && kill -0 "$child" 2>/dev/null; do
    sleep 5
    elapsed=$((elapsed + 5))
    local rss
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$child/status" 2>/dev/null || true)
    [ -n "$rss" ] || break
    if [ "$elapsed" -ge 10 ]; then
      [ -n "$first" ] || first=$rss
      last=$rss
    fi
  done
  wait "$timer" || { cat "$1" "$2" >&2; exit 1; }
  echo "${first:--} ${last:--}" >"$1.rss"
}

run_tool() { # tool out time
  case "$1" in
  engine) run_engine "$2" "$3" ;;
  ffmpeg-re)
    /usr/bin/time -v ffmpeg -nostdin -hide_banner -loglevel error -re -i "$url" -t "$seconds" -f null - \
      >"$2" 2>"$3" || { cat "$3" >&2; exit 1; } ;;
  ffmpeg)
    /usr/bin/time -v ffmpeg -nostdin -hide_banner -loglevel error -i "$url" -t "$seconds" -f null - \
      >"$2" 2>"$3" || { cat "$3" >&2; exit 1; } ;;
  mpv)
    /usr/bin/time -v mpv --no-config --no-terminal --no-video --ao=null --length="$seconds" "$url" \
      >"$2" 2>"$3" || { cat "$2" "$3" >&2; exit 1; } ;;
  esac
}

tools=(engine ffmpeg-re ffmpeg mpv)
declare -A label=([engine]="audio library (device 0)" [ffmpeg-re]="ffmpeg -re ... -f null" \
  [ffmpeg]="ffmpeg ... -f null (no -re)" [mpv]="mpv --ao=null")
declare -A kbps=([mp3]=128 [aac]=64 [ogg]=128)

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) processors"
echo "$rounds interleaved rounds of $seconds s per format; creation to playing: median of $start_rounds"
summary=()
for format in $formats; do
  start_feed "$format" "${kbps[$format]}"
  echo
  echo "== $format ${kbps[$format]} kbit/s: $url"
  for round in $(seq "$rounds"); do
    line="round $round:"
    for i in "${!tools[@]}"; do
      tool=${tools[$(((i + round - 1) % ${#tools[@]}))]}
      run_tool "$tool" "$work/$tool.$round.out" "$work/$tool.$round.time"
      read -r cpu rss < <(measure "$work/$tool.$round.time")
      echo "$cpu" >>"$work/$format.$tool.cpu"
      echo "$rss" >>"$work/$format.$tool.rss"
      line+=" $tool $cpu s $rss KiB;"
    done
    read -r first last <"$work/engine.$round.out.rss"
    echo "$line library RSS after 10 s $first KiB, at the end $last KiB (load $(cut -d' ' -f1 /proc/loadavg))"
  done
  printf "%-30s %10s %18s %16s\n" "" "CPU s" "peak RSS KiB" "CPU / ffmpeg -re"
  reference=$(median <"$work/$format.ffmpeg-re.cpu")
  for tool in "${tools[@]}"; do
    cpu=$(median <"$work/$format.$tool.cpu")
    rss=$(median %d <"$work/$format.$tool.rss")
    ratio=$(awk -v a="$cpu" -v b="$reference" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    printf "%-30s %10s %18s %16s\n" "${label[$tool]}" "$cpu" "$rss" "$ratio"
    if [ "$tool" = engine ]; then
      engine_ratio=$ratio
      engine_rss=$(sort -g "$work/$format.$tool.rss" | tail -n1)
    fi
  done

  : >"$work/$format.start"
  : >"$work/$format.bytes"
  : >"$work/$format.own"
  starts=""
  for _ in $(seq "$start_rounds"); do
    "$play" "$url" 1 0 >"$work/start.out" 2>&1 || { cat "$work/start.out" >&2; exit 1; }
    playing=$(awk '/^creation to playing:/ {print $4}' "$work/start.out")
    bytes=$(awk '/^creation to first stream bytes:/ {print $6}' "$work/start.out")
    echo "$playing" >>"$work/$format.start"
    echo "$bytes" >>"$work/$format.bytes"
    # The library's own share: from the server's first stream bytes to playing.
    awk -v p="$playing" -v b="$bytes" 'BEGIN {printf "%.1f\n", p - b}' >>"$work/$format.own"
    starts+=" $playing/$bytes"
  done
  started=$(median %.1f <"$work/$format.start")
  first_bytes=$(median %.1f <"$work/$format.bytes")
  own=$(median %.1f <"$work/$format.own")
  echo "creation to playing / to the server's first stream bytes, ms, in the order taken:$starts"
  echo "creation to playing, median of $start_rounds: $started ms (first stream bytes from the server: $first_bytes ms;" \
    "from those to playing: $own ms)"
  summary+=("$(printf "%-5s CPU library/ffmpeg -re %5s (target at most 0.70), library peak RSS %6s KiB (at most 46080)," \
    "$format" "$engine_ratio" "$engine_rss") creation to playing $started ms (target at most 100; server's first bytes $first_bytes ms, library $own ms)")
  stop_feed
done
echo
echo "== summary (load average at the end: $(cut -d' ' -f1-3 /proc/loadavg))"
printf "%s\n" "${summary[@]}"
