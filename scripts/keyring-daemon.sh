#!/usr/bin/env bash
# A private Secret Service (gnome-keyring-daemon) on a private D-Bus session bus,
# for tests that keep passwords in a real desktop keyring. Nothing of the user's
# own bus or keyring is touched: the bus, HOME and the keyring files live in DIR.
#   scripts/keyring-daemon.sh start DIR           starts it, the login keyring unlocked
#   scripts/keyring-daemon.sh start DIR locked    the same, then locks the keyring
#   scripts/keyring-daemon.sh stop DIR            stops the instance started in DIR
# Clients use DBUS_SESSION_BUS_ADDRESS=unix:path=DIR/bus. The keyring's password
# is "keyring-test".
set -euo pipefail
cmd=${1:?usage: keyring-daemon.sh start|stop DIR [locked]}
dir=${2:?usage: keyring-daemon.sh start|stop DIR [locked]}
mode=${3:-unlocked}
bus="unix:path=$dir/bus"

source "$(dirname "${BASH_SOURCE[0]}")/lib/pidfile.sh"
stop() {
  stop_by_pidfile "$dir/keyring.pid"
  stop_by_pidfile "$dir/bus.pid"
}

# Runs a command as a client of the private bus, with the private folders.
client() {
  env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="$bus" HOME="$dir/home" \
    XDG_DATA_HOME="$dir/data" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" "$@"
}

case $cmd in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir/home" "$dir/data" "$dir/config" "$dir/runtime"
    chmod 700 "$dir" "$dir/runtime"
    # Without a display the daemon's unlock prompt cannot appear, so a locked
    # keyring stays locked instead of waiting for someone to type.
    client dbus-daemon --session --fork --nopidfile --address="$bus" --print-pid=3 3>"$dir/bus.pid"
    # --unlock reads the password on stdin: a fresh login keyring is created
    # with it, unlocked, and becomes the default collection.
    printf 'keyring-test' | client setsid gnome-keyring-daemon --foreground --unlock \
      --components=secrets >"$dir/log" 2>&1 &
    echo $! >"$dir/keyring.pid"
    for _ in $(seq 100); do
      if client secret-tool store --label=probe fixture probe <<<"probe" 2>/dev/null; then
        client secret-tool clear fixture probe
        if [[ $mode == locked ]]; then
          # A password the tests expect to find but cannot read.
          # (the attributes QtKeychain gives an item: user = key, server = service)
          printf 'unreachable' | client secret-tool store --label=locked \
            user alice@locked.example server Brindlecast type plaintext
          client dbus-send --print-reply=literal --dest=org.freedesktop.secrets \
            /org/freedesktop/secrets org.freedesktop.Secret.Service.Lock \
            array:objpath:/org/freedesktop/secrets/collection/login >/dev/null
        fi
        echo "DBUS_SESSION_BUS_ADDRESS=$bus"
        exit 0
      fi
      sleep 0.1
    done
    echo "keyring-daemon: the keyring did not start; its log:" >&2
    cat "$dir/log" >&2
    stop
    exit 1
    ;;
  stop) stop ;;
  *) echo "usage: keyring-daemon.sh start|stop DIR [locked]" >&2; exit 2 ;;
esac
