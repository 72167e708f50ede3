#!/usr/bin/env bash
# A private D-Bus session bus, for tests that talk to desktop services (the
# notification server) without reaching the user's own session.
#   scripts/session-bus.sh start DIR   starts it; clients use DBUS_SESSION_BUS_ADDRESS=unix:path=DIR/bus
#   scripts/session-bus.sh stop DIR    stops the bus started in DIR
# The bus activates no services: a test decides what is on it, and a
# notification daemon installed on the machine never answers in its place.
set -euo pipefail
cmd=${1:?usage: session-bus.sh start|stop DIR}
dir=${2:?usage: session-bus.sh start|stop DIR}

source "$(dirname "${BASH_SOURCE[0]}")/lib/pidfile.sh"
stop() { stop_by_pidfile "$dir/pid"; }

case $cmd in
  start)
    stop
    mkdir -p "$dir"
    rm -f "$dir/bus"
    cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$dir/bus.conf" --fork --print-pid=3 3>"$dir/pid" >/dev/null
    for _ in $(seq 50); do
      if [[ -S $dir/bus ]]; then
        echo "DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus"
        exit 0
      fi
      sleep 0.1
    done
    echo "session-bus: the bus did not start" >&2
    stop
    exit 1
    ;;
  stop) stop ;;
  *) echo "usage: session-bus.sh start|stop DIR" >&2; exit 2 ;;
esac
