#!/usr/bin/env bash
# The whole program on a desktop with a real sound server, side by side with other players.
#
# A private desktop: Xvfb, a session bus, a PulseAudio server with one null sink, and a loopback
# Icecast station fed by ffmpeg with generated music (its spectrum changes all the time, so a spectrum
# display has new bars every frame; SIGNAL=tone streams a steady sine instead). Every player plays
# that one stream. On it, in interleaved rounds (the order rotates each round):
#   kavrilune         the program, window shown, started with /play
#   kavrilune-hidden  the same started with /hidden /play
#   audacious         Audacious, Qt interface
#   mpv               mpv --no-video
#   ffmpeg            ffmpeg -re reading the stream into its null muxer (no sound server)
# For each it prints: CPU seconds of its process tree over ROUND_SECONDS of playing, what the sound
# server and the X server spent in the same span, RSS/PSS/USS and Anonymous (/proc/PID/smaps_rollup)
# MEMORY_AT seconds after the start, the time from exec to the first non-silent sample at the null
# sink's monitor, the stream's buffer latency as the server reports it, and the load average of the
# round. Then the time from exec to the first sound again, FIRST_RUNS times each in short runs of their
# own (the station's answer to a new listener varies by a tenth of a second, more than a player's own
# part), and the time from exec to the window mapped, with nothing to play, STARTUP_RUNS times each.
# Medians, and ratios to Audacious of the same rounds, close the report.
#
#     bench/desktop-compare.sh [BUILD_DIR]
#     ROUND_SECONDS=60 ROUNDS=3 MEMORY_AT=30 STARTUP_RUNS=10 FIRST_RUNS=8 FORMAT=mp3 KBPS=128 SIGNAL=music
#     by default
#     PLAYERS="kavrilune kavrilune-hidden audacious mpv ffmpeg"; PROGRAM_ENV="NAME=value ..." is
#     added to the program's environment (to try a setting without a rebuild). BASELINE=FOLDER, a
#     staged program folder of another build (a copy of build/Kavrilune), adds "baseline" and
#     "baseline-hidden" to the rounds: before and after a change, measured side by side.
#
# The peers (audacious, mpv, pulseaudio, pulseaudio-utils) are installed here when missing; nothing
# else needs them. Needs root or sudo for that; everything else runs as the calling user.
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${ROUND_SECONDS:-60}
rounds=${ROUNDS:-3}
memory_at=${MEMORY_AT:-30}
startup_runs=${STARTUP_RUNS:-10}
first_runs=${FIRST_RUNS:-8}
format=${FORMAT:-mp3}
kbps=${KBPS:-128}
signal=${SIGNAL:-music}
players=${PLAYERS:-kavrilune kavrilune-hidden audacious mpv ffmpeg}
baseline=${BASELINE:-}
[ -z "$baseline" ] || players="$players baseline baseline-hidden"
warmup=5
feed="$build/bench/kavrilune_icecast_feed"
staged="$build/Kavrilune"
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=bench/private-desktop.sh
. "$here/private-desktop.sh"
install_peers audacious mpv pulseaudio parec pactl -- audacious mpv pulseaudio pulseaudio-utils
for tool in "$feed" "$staged/kavrilune" "$(command -v Xvfb)" "$(command -v dbus-daemon)" \
  "$(command -v xev)" "$(command -v ffmpeg)" "$(command -v python3)"; do
  [ -x "$tool" ] || { echo "missing $tool (build the project with tests and benchmarks)" >&2; exit 1; }
done

private_home

# Xvfb picks a free display and tells its number.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
pids+=("$xvfb_pid")
read -r -t 20 -u "$display_fd" display_number || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display_number"
exec {display_fd}>&-

start_session_bus
start_pulse

"$feed" "$format" "$kbps" "$signal" >"$work/feed.out" 2>"$work/feed.err" &
pids+=("$!")
for _ in $(seq 200); do [ -s "$work/feed.out" ] && break; sleep 0.1; done
url=$(head -n1 "$work/feed.out")
[ -n "$url" ] || { echo "the Icecast feed did not start" >&2; cat "$work/feed.err" >&2; exit 1; }
# A station on the air holds a few seconds of its stream for the listener who connects; so that the
# first player of the first round does not wait for a new mount to fill, the rounds begin after that.
sleep 5

# The program's folder: a portable copy of the staged one, the loopback station as the current one.
program="$work/Kavrilune"
cp -a "$staged" "$program"
write_settings() { # folder
  cat >"$1/Kavrilune.xml" <<EOF
<?xml version="1.0"?><XMLConfigSettings><General><Check_updates>0</Check_updates><Autoplay>0</Autoplay><Station_URL>$url</Station_URL><Station_Name>Bench</Station_Name></General></XMLConfigSettings>
EOF
}
write_settings "$program"
if [ -n "$baseline" ]; then
  cp -a "$baseline" "$work/Baseline"
  write_settings "$work/Baseline"
fi
export KAVRILUNE_WEB_HOST="http://127.0.0.1:9" KAVRILUNE_COUNTER_HOST="http://127.0.0.1:9"
export KAVRILUNE_IMAGE_HOST="http://127.0.0.1:9"
program_env=()
for setting in ${PROGRAM_ENV:-}; do program_env+=("$setting"); done

# Audacious: the Qt interface, its visualiser shown, the null sink through PulseAudio.
mkdir -p "$XDG_CONFIG_HOME/audacious"
cat >"$XDG_CONFIG_HOME/audacious/config" <<EOF
[audacious]
output_plugin=pulse_audio
show_interface=TRUE

[audqt]
theme=
EOF

# The CPU ticks of a process and its descendants.
tree_ticks() {
  python3 - "$1" <<'EOF'
import os, sys
root = int(sys.argv[1])
children, ticks = {}, {}
for name in os.listdir('/proc'):
    if not name.isdigit():
        continue
    try:
        with open(f'/proc/{name}/stat') as f:
            fields = f.read().rsplit(')', 1)[1].split()
    except OSError:
        continue
    pid = int(name)
    children.setdefault(int(fields[1]), []).append(pid)
    ticks[pid] = int(fields[11]) + int(fields[12])
total, todo = 0, [root]
while todo:
    pid = todo.pop()
    total += ticks.get(pid, 0)
    todo += children.get(pid, [])
print(total)
EOF
}
ticks_per_second=$(getconf CLK_TCK)
seconds_of() { python3 -c "print(f'{($2 - $1) / $ticks_per_second:.2f}')"; }

# RSS PSS USS Anonymous in MiB.
memory_of() {
  python3 - "$1" <<'EOF'
import sys
values = {}
try:
    with open(f'/proc/{sys.argv[1]}/smaps_rollup') as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[1].isdigit():
                values[parts[0].rstrip(':')] = int(parts[1])
except OSError:
    pass
uss = values.get('Private_Clean', 0) + values.get('Private_Dirty', 0)
print(' '.join(f'{v / 1024:.1f}' for v in (values.get('Rss', 0), values.get('Pss', 0), uss, values.get('Anonymous', 0))))
EOF
}

# The buffer latency PulseAudio reports for the player's stream, in ms ("-" without a stream).
stream_latency_ms() {
  pactl list sink-inputs 2>/dev/null | awk '/Buffer Latency:/ { printf "%.0f\n", $3 / 1000; exit }' | grep . || echo -
}

# Writes the time of the first non-silent sample at the sink's monitor (epoch seconds) to $1.
start_monitor() {
  python3 -c '
import array, signal, subprocess, sys, time
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
recorder = subprocess.Popen(["parec", "-d", "bench.monitor", "--raw", "--format=s16le", "--channels=2",
                             "--rate=44100", "--latency-msec=5"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
try:
    while True:
        block = recorder.stdout.read1(4096)
        if not block:
            break
        samples = array.array("h", block[: len(block) // 2 * 2])
        if any(abs(s) > 64 for s in samples):
            with open(sys.argv[1], "w") as f:
                f.write(f"{time.time():.4f}\n")
            break
finally:
    recorder.terminate()
    recorder.wait()
' "$1" &
  monitor_pid=$!
  sleep 0.3
}

launch() { # player [startup] -> sets player_pid
  local startup=${2:-}
  case "$1" in
    kavrilune | kavrilune-hidden | baseline | baseline-hidden)
      local arguments=() folder=$program
      [ -n "$startup" ] || arguments+=(/play)
      case "$1" in *-hidden) arguments=(/hidden "${arguments[@]}") ;; esac
      case "$1" in baseline*) folder=$work/Baseline ;; esac
      (cd "$folder" && exec env "${program_env[@]}" ./kavrilune "${arguments[@]}") >"$work/player.log" 2>&1 &
      ;;
    audacious)
      if [ -n "$startup" ]; then
        audacious --qt >"$work/player.log" 2>&1 &
      else
        audacious --qt "$url" >"$work/player.log" 2>&1 &
      fi
      ;;
    mpv) mpv --no-config --no-video --ao=pulse --really-quiet "$url" >"$work/player.log" 2>&1 & ;;
    ffmpeg) ffmpeg -nostdin -loglevel error -re -i "$url" -f null - >"$work/player.log" 2>&1 & ;;
  esac
  player_pid=$!
}

stop_player() {
  kill -TERM "$player_pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$player_pid" 2>/dev/null || true
  wait "$player_pid" 2>/dev/null || true
  # Audacious keeps its playlist; each start begins from an empty one.
  rm -rf "$XDG_CONFIG_HOME/audacious/playlists" "$XDG_CONFIG_HOME/audacious/playlist-state"
  sleep 1
}

results="$work/results"
: >"$results"
echo "stream: $url ($format ${kbps} kbit/s, $signal); rounds of ${seconds} s; display $DISPLAY"
printf '%-17s %5s %7s %7s %7s %6s %6s %6s %6s %7s %7s %6s\n' player round cpu_s pulse_s xorg_s \
  rss pss uss anon first_s buf_ms load1
for ((round = 1; round <= rounds; round++)); do
  read -r -a list <<<"$players"
  shift_by=$(((round - 1) % ${#list[@]}))
  order="${list[*]:shift_by} ${list[*]:0:shift_by}"
  for player in $order; do
    [ -n "$player" ] || continue
    first_file="$work/first"
    rm -f "$first_file"
    [ "$player" = ffmpeg ] || start_monitor "$first_file"
    launched=$(python3 -c 'import time; print(f"{time.time():.4f}")')
    launch "$player"
    sleep "$warmup"
    cpu0=$(tree_ticks "$player_pid"); pulse0=$(tree_ticks "$pulse_pid"); x0=$(tree_ticks "$xvfb_pid")
    memory="- - - -"
    latency=-
    slept=0
    if [ "$memory_at" -gt "$warmup" ] && [ "$memory_at" -lt $((warmup + seconds)) ]; then
      sleep $((memory_at - warmup))
      slept=$((memory_at - warmup))
      memory=$(memory_of "$player_pid")
      latency=$(stream_latency_ms)
    fi
    sleep $((seconds - slept))
    cpu1=$(tree_ticks "$player_pid"); pulse1=$(tree_ticks "$pulse_pid"); x1=$(tree_ticks "$xvfb_pid")
    [ "$memory" != "- - - -" ] || { memory=$(memory_of "$player_pid"); latency=$(stream_latency_ms); }
    load=$(cut -d' ' -f1 /proc/loadavg)
    stop_player
    [ "$player" = ffmpeg ] || stop_monitor
    first=-
    [ -s "$first_file" ] && first=$(python3 -c "print(f'{$(cat "$first_file") - $launched:.2f}')")
    line=$(printf '%-17s %5s %7s %7s %7s %6s %6s %6s %6s %7s %7s %6s' "$player" "$round" \
      "$(seconds_of "$cpu0" "$cpu1")" "$(seconds_of "$pulse0" "$pulse1")" "$(seconds_of "$x0" "$x1")" \
      $memory "$first" "$latency" "$load")
    echo "$line"
    echo "$line" >>"$results"
  done
done

# Launches the player and waits up to 10 s for a watcher (its pid given) to write a time to file; then
# stops the watcher and sets elapsed to the seconds from the launch to that time, or "-".
watched_launch() { # file watcher_pid player [startup]
  local launched
  launched=$(python3 -c 'import time; print(f"{time.time():.4f}")')
  launch "$3" "${4:-}"
  for _ in $(seq 200); do [ -s "$1" ] && break; sleep 0.05; done
  kill -TERM "$2" 2>/dev/null || true
  wait "$2" 2>/dev/null || true
  elapsed=-
  [ ! -s "$1" ] || elapsed=$(python3 -c "print(f'{$(cat "$1") - $launched:.3f}')")
}

# Exec to the first sound, in short runs: each player started with its station and stopped once heard.
firsts="$work/firsts"
: >"$firsts"
for ((run = 1; run <= first_runs; run++)); do
  for player in $players; do
    [ "$player" != ffmpeg ] || continue
    rm -f "$work/first"
    start_monitor "$work/first"
    watched_launch "$work/first" "$monitor_pid" "$player"
    echo "$player $elapsed $(cut -d' ' -f1 /proc/loadavg)" >>"$firsts"
    stop_player
  done
done

# Exec to the window mapped, with nothing to play: the first top-level window (not override-redirect)
# the X server maps after the launch, as xev on the root window reports it.
start_map_watch() { # file
  python3 -c '
import signal, subprocess, sys, time
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
watcher = subprocess.Popen(["xev", "-root", "-event", "substructure"], stdout=subprocess.PIPE, text=True,
                           bufsize=1, stderr=subprocess.DEVNULL)
try:
    mapping = False
    for line in watcher.stdout:
        if line.startswith("MapNotify"):
            mapping = True
            seen = time.time()
        elif mapping:
            if "override NO" in line:
                with open(sys.argv[1], "w") as f:
                    f.write(f"{seen:.4f}\n")
                break
            mapping = False
finally:
    watcher.terminate()
    watcher.wait()
' "$1" &
  map_watch_pid=$!
  sleep 0.5
}
startup="$work/startup"
: >"$startup"
for ((run = 1; run <= startup_runs; run++)); do
  for player in kavrilune baseline audacious; do
    case " $players " in *" $player "*) ;; *) continue ;; esac
    rm -f "$work/mapped"
    start_map_watch "$work/mapped"
    watched_launch "$work/mapped" "$map_watch_pid" "$player" startup
    echo "$player $elapsed $(cut -d' ' -f1 /proc/loadavg)" >>"$startup"
    stop_player
  done
done

python3 - "$results" "$startup" "$firsts" <<'EOF'
import sys, statistics
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
names = ['cpu_s', 'pulse_s', 'xorg_s', 'rss', 'pss', 'uss', 'anon', 'first_s', 'buf_ms']
def num(v):
    try:
        return float(v)
    except ValueError:
        return None
by = {}
for r in rows:
    by.setdefault(r[0], []).append(r)
def med(player, i):
    vals = [num(r[i]) for r in by.get(player, []) if num(r[i]) is not None]
    return statistics.median(vals) if vals else None
print('\nmedians (player, player+pulse, player+pulse+X in CPU-s; memory in MiB; first sound in s)')
print(f"{'player':17} {'cpu':>6} {'+pulse':>7} {'+X':>6} {'rss':>6} {'pss':>6} {'uss':>6} {'anon':>6} {'first':>6} {'buf_ms':>6}")
for p, rs in by.items():
    c, s, x = med(p, 2), med(p, 3), med(p, 4)
    cells = [c, None if c is None or s is None else c + s, None if c is None or s is None or x is None else c + s + x]
    cells += [med(p, i) for i in range(5, 11)]
    print(f"{p:17} " + ' '.join(f"{v:6.2f}" if v is not None else f"{'-':>6}" for v in cells))
# Ratios to Audacious within each round, so that a busy round weighs on both sides.
if 'audacious' in by:
    print('\nratios to Audacious in the same round (median over rounds); load = 1-min load average')
    print(f"{'player':17} {'cpu':>6} {'+pulse':>7} {'+pulse+X':>8} {'anon':>6} {'first':>6} {'loads'}")
    base = {r[1]: r for r in by['audacious']}
    for p, rs in by.items():
        if p == 'audacious':
            continue
        ratios = {k: [] for k in ('cpu', 'sys', 'all', 'anon', 'first')}
        loads = []
        for r in rs:
            b = base.get(r[1])
            if not b:
                continue
            loads.append(r[11])
            def ratio(key, mine, theirs):
                if mine is not None and theirs:
                    ratios[key].append(mine / theirs)
            c, s, x = num(r[2]), num(r[3]), num(r[4])
            bc, bs, bx = num(b[2]), num(b[3]), num(b[4])
            ratio('cpu', c, bc)
            ratio('sys', c + s, bc + bs)
            ratio('all', c + s + x, bc + bs + bx)
            ratio('anon', num(r[8]), num(b[8]))
            ratio('first', num(r[9]), num(b[9]))
        cells = [statistics.median(ratios[k]) if ratios[k] else None for k in ('cpu', 'sys', 'all', 'anon', 'first')]
        print(f"{p:17} " + ' '.join(f"{v:6.2f}" if v is not None else f"{'-':>6}" for v in cells[:2])
              + (f" {cells[2]:8.2f}" if cells[2] is not None else f" {'-':>8}")
              + ' '.join(f" {v:6.2f}" if v is not None else f" {'-':>6}" for v in cells[3:]) + '  ' + ','.join(loads))
def series(path, title):
    times = {}
    for l in open(path):
        p, t, load = l.split()
        if num(t) is not None:
            times.setdefault(p, []).append((num(t), load))
    if not times:
        return
    print(f'\n{title}: median [min-max] (loads)')
    for p, v in times.items():
        ts = [t for t, _ in v]
        print(f"{p:17} {statistics.median(ts):.3f} [{min(ts):.3f}-{max(ts):.3f}]  ({','.join(l for _, l in v)})")
    if 'audacious' in times:
        theirs = statistics.median(t for t, _ in times['audacious'])
        for p, v in times.items():
            if p != 'audacious':
                print(f"ratio {p}/audacious: {statistics.median(t for t, _ in v) / theirs:.2f}")
series(sys.argv[3], 'exec to first sound, in runs of their own (s)')
series(sys.argv[2], 'exec to window mapped, nothing to play (s)')
EOF
