#!/usr/bin/env bash
# A private PulseAudio server with one null sink, for tests that need a real
# sound server (timing faults of real devices do not show on a silent sink).
#   scripts/pulse-sink.sh start DIR   starts it; clients use PULSE_SERVER=unix:DIR/native
#   scripts/pulse-sink.sh stop DIR    stops the instance started in DIR
set -euo pipefail
cmd=${1:?usage: pulse-sink.sh start|stop DIR}
dir=${2:?usage: pulse-sink.sh start|stop DIR}

source "$(dirname "${BASH_SOURCE[0]}")/lib/pidfile.sh"
stop() { stop_by_pidfile "$dir/pid"; }

case $cmd in
  start)
    stop
    mkdir -p "$dir/runtime"
    chmod 700 "$dir/runtime"
    rm -f "$dir/native"
    # Its own runtime and state folders: nothing of the user's sound setup is touched.
    XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir" \
      setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      --disallow-exit --log-target=stderr \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
      -L "module-null-sink sink_name=test_null" >"$dir/log" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do
      if [[ -S $dir/native ]] && PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
        PULSE_SERVER="unix:$dir/native" pactl set-default-sink test_null
        echo "PULSE_SERVER=unix:$dir/native"
        exit 0
      fi
      sleep 0.1
    done
    echo "pulse-sink: the server did not start; its log:" >&2
    cat "$dir/log" >&2
    stop
    exit 1
    ;;
  stop) stop ;;
  *) echo "usage: pulse-sink.sh start|stop DIR" >&2; exit 2 ;;
esac
