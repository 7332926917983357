# shellcheck shell=bash
# Sourced by the desktop benches: a run folder ($work) removed at the end together with every process
# whose pid is added to pids, a home of the run's own, a session bus, and a PulseAudio server with one
# null sink "bench" (its monitor "bench.monitor", which a bench records in a process of its own,
# monitor_pid).

# Installs the packages after -- when one of the commands before it is missing (root or sudo).
install_peers() { # command... -- package...
  local missing=0
  while [ "$1" != -- ]; do
    command -v "$1" >/dev/null || missing=1
    shift
  done
  shift
  [ "$missing" -eq 1 ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing the peers of the comparison" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null \
    || { echo "cannot install the peers" >&2; exit 1; }
}

work=$(mktemp -d)
chmod 755 "$work"
pids=()
stop_all() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_all EXIT

# A home of its own, so that no player reads the caller's settings or reaches the caller's desktop.
private_home() {
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
  export XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER SESSION_MANAGER
}

start_session_bus() {
  dbus-daemon --session --nofork --nopidfile --print-address=1 >"$work/bus.address" 2>"$work/bus.log" &
  pids+=("$!")
  for _ in $(seq 100); do [ -s "$work/bus.address" ] && break; sleep 0.05; done
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
}

# PulseAudio as a per-user server of this run only, even when the caller is root: one null sink and
# the native protocol on a socket in the run's folder, no autospawn, no idle exit. Sets pulse_pid.
start_pulse() {
  cat >"$work/pulse.pa" <<EOF
load-module module-null-sink sink_name=bench rate=44100 channels=2
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock
set-default-sink bench
EOF
  echo "autospawn = no" >"$work/client.conf"
  export PULSE_CLIENTCONFIG="$work/client.conf" PULSE_SERVER="unix:$work/pulse.sock"
  pulseaudio --daemonize=no --system=false --exit-idle-time=-1 --disallow-exit -n -F "$work/pulse.pa" \
    --use-pid-file=no --log-target=file:"$work/pulse.log" &
  pulse_pid=$!
  pids+=("$pulse_pid")
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start" >&2; cat "$work/pulse.log" >&2; exit 1; }
}

monitor_pid=
stop_monitor() {
  kill -TERM "$monitor_pid" 2>/dev/null || true
  wait "$monitor_pid" 2>/dev/null || true
}
