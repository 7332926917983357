#!/usr/bin/env bash
# How long an equaliser change takes to be heard, beside Audacious.
#
# A private PulseAudio server with one null sink plays a steady TONE_HZ sine from a WAV file, first
# through a player the manager starts (build/bench/kavrilune_equalizer_switch, the window's path to the
# player), then through Audacious (headless, driven by audtool over a session bus of its own). Each
# switches its equaliser SWITCHES times, two seconds or so apart, between off and a setting that
# raises the tone by about 6 dB: the Rock preset for the program; a flat equaliser and one with its
# 125 Hz band at +6 dB for Audacious, switched with `audtool equalizer-set` (the call's time is taken
# before audtool starts, so its start and D-Bus call count to Audacious). The null sink's monitor is
# recorded throughout; the tone's level (RMS over one period, every millisecond) before each call and
# a second after it gives the change, and the time the level has made half of it, counted from the
# call, is the delay. Also the largest step between two samples in the 50 ms around that time, beside
# the tone's own steepest step (a switch without a fade steps far above it: a click).
# Medians and ranges per player close the report.
#
#     bench/equalizer-switch.sh [BUILD_DIR]
#     SWITCHES=10 TONE_HZ=125 by default
#
# Audacious and pulseaudio are installed here when missing (with root or sudo); nothing else needs them.
set -euo pipefail
build=$(realpath "${1:-build}")
switches=${SWITCHES:-10}
tone_hz=${TONE_HZ:-125}
helper="$build/bench/kavrilune_equalizer_switch"

# shellcheck source=bench/private-desktop.sh
. "$(dirname "$0")/private-desktop.sh"
install_peers audacious audtool pulseaudio parec pactl -- audacious pulseaudio pulseaudio-utils
for tool in "$helper" "$(command -v dbus-daemon)" "$(command -v ffmpeg)" "$(command -v python3)"; do
  [ -x "$tool" ] || { echo "missing $tool (build the project with benchmarks)" >&2; exit 1; }
done

private_home
mkdir -p "$XDG_CONFIG_HOME/audacious"
unset DISPLAY WAYLAND_DISPLAY # Audacious runs headless, off the caller's desktop
start_session_bus
start_pulse

# Room for the raised band below full scale.
tone="$work/tone.wav"
ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$tone_hz:sample_rate=44100:duration=600" \
  -af volume=0.25 -ac 2 -c:a pcm_s16le "$tone"

cat >"$XDG_CONFIG_HOME/audacious/config" <<EOF
[audacious]
output_plugin=pulse_audio
EOF

# Records the monitor to $1.raw, and to $1.times the wall-clock time of each read with the frames
# received by then.
start_monitor() { # prefix
  python3 -c '
import signal, subprocess, sys, time
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
recorder = subprocess.Popen(["parec", "-d", "bench.monitor", "--raw", "--format=s16le", "--channels=2",
                             "--rate=44100", "--latency-msec=5"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
frames = 0
try:
    with open(sys.argv[1] + ".raw", "wb") as raw, open(sys.argv[1] + ".times", "w") as times:
        while True:
            block = recorder.stdout.read1(4096)
            if not block:
                break
            now = time.time()
            raw.write(block)
            frames += len(block) // 4
            times.write(f"{now:.6f} {frames}\n")
finally:
    recorder.terminate()
    recorder.wait()
' "$1" &
  monitor_pid=$!
  sleep 0.5
}
now() { python3 -c 'import time; print(f"{time.time():.6f}")'; }
pause() { python3 -c 'import random, time; time.sleep(2.0 + random.random() * 0.3)'; }

# The program: the helper reads presets on its input and writes the time of each call.
run_kavrilune() {
  start_monitor "$work/kavrilune"
  mkfifo "$work/commands"
  "$helper" "$tone" <"$work/commands" >"$work/kavrilune.out" 2>"$work/kavrilune.err" &
  local player=$!
  exec {commands}>"$work/commands"
  for _ in $(seq 200); do grep -q playing "$work/kavrilune.out" && break; sleep 0.05; done
  grep -q playing "$work/kavrilune.out" || { echo "the program did not play" >&2; cat "$work/kavrilune.err" >&2; exit 1; }
  sleep 3
  local i
  for ((i = 0; i < switches; i++)); do
    echo 2 >&"$commands" # Rock
    pause
    echo -1 >&"$commands"
    pause
  done
  echo quit >&"$commands"
  exec {commands}>&-
  wait "$player" || true
  grep -v playing "$work/kavrilune.out" >"$work/kavrilune.calls"
  stop_monitor
}

# Audacious: the equaliser on and flat, then switched between flat and its 125 Hz band raised.
run_audacious() {
  start_monitor "$work/audacious"
  audacious -H "$tone" >"$work/audacious.log" 2>&1 &
  local player=$!
  pids+=("$player")
  for _ in $(seq 100); do audtool playback-playing 2>/dev/null && break; sleep 0.1; done
  audtool playback-playing || { echo "Audacious did not play" >&2; cat "$work/audacious.log" >&2; exit 1; }
  audtool equalizer-set 0 0 0 0 0 0 0 0 0 0 0
  audtool equalizer-activate on
  sleep 3
  local i
  : >"$work/audacious.calls"
  for ((i = 0; i < switches; i++)); do
    for bands in "0 0 6 0 0 0 0 0 0 0" "0 0 0 0 0 0 0 0 0 0"; do
      now >>"$work/audacious.calls"
      # shellcheck disable=SC2086 # the bands are words
      audtool equalizer-set 0 $bands
      pause
    done
  done
  audtool shutdown || kill -TERM "$player"
  wait "$player" 2>/dev/null || true
  stop_monitor
}

run_kavrilune
run_audacious

python3 - "$work" "$tone_hz" <<'EOF'
import array, math, statistics, sys
work, tone_hz = sys.argv[1], float(sys.argv[2])
rate = 44100
period = int(round(rate / tone_hz))
hop = rate // 1000
print(f"tone {tone_hz:.0f} Hz; delay = call to half of the level change heard at the monitor")
print(f"{'player':10} {'switch':>6} {'change_dB':>9} {'delay_ms':>8} {'step':>6} {'tone_step':>9}")
summary = {}
for player in ("kavrilune", "audacious"):
    left = array.array("h", open(f"{work}/{player}.raw", "rb").read())[0::2]
    times = [tuple(map(float, l.split())) for l in open(f"{work}/{player}.times")]
    calls = [float(l) for l in open(f"{work}/{player}.calls") if l.strip()]
    # Frames arrive late, never early: the earliest arrival of each block fixes when the monitor heard it.
    def frame_at(t):
        near = [(ti, fi) for ti, fi in times if abs(ti - t) < 5.0]
        origin = min(ti - fi / rate for ti, fi in near)
        return int((t - origin) * rate)
    def level(frame):
        chunk = left[frame:frame + period]
        return 10 * math.log10(max(sum(s * s for s in chunk) / max(len(chunk), 1), 1e-9))
    rows = []
    for n, call in enumerate(calls):
        at = frame_at(call)
        before = statistics.median(level(at - f) for f in range(period, rate // 4, hop))
        after = statistics.median(level(at + f) for f in range(rate, rate * 3 // 2, hop))
        change = after - before
        if abs(change) < 1.0 or at + rate * 3 // 2 > len(left):
            continue
        middle = (before + after) / 2
        heard = None
        for f in range(0, rate * 3 // 2, hop):
            if (level(at + f) - middle) * (1 if change > 0 else -1) >= 0:
                heard = f
                break
        if heard is None:
            continue
        centre = at + heard + period // 2
        span = left[centre - rate // 40:centre + rate // 40]
        step = max(abs(span[i + 1] - span[i]) for i in range(len(span) - 1))
        calm = left[at - rate // 4:at - rate // 8]
        tone_step = max(abs(calm[i + 1] - calm[i]) for i in range(len(calm) - 1))
        delay = (heard + period / 2) * 1000 / rate
        rows.append((delay, step, tone_step))
        print(f"{player:10} {n + 1:6} {change:9.1f} {delay:8.0f} {step:6} {tone_step:9}")
    summary[player] = rows
print("\nmedian [min-max]")
for player, rows in summary.items():
    if not rows:
        print(f"{player:10} no change heard")
        continue
    delays = [r[0] for r in rows]
    steps = [r[1] for r in rows]
    print(f"{player:10} delay {statistics.median(delays):4.0f} ms [{min(delays):.0f}-{max(delays):.0f}]"
          f"  largest step {statistics.median(steps):.0f} [{min(steps)}-{max(steps)}]"
          f"  tone's own step {statistics.median(r[2] for r in rows):.0f}")
EOF
