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
session_bus=$(dirname "$0")/session-bus.sh

source "$(dirname "${BASH_SOURCE[0]}")/lib/pidfile.sh"
stop() {
  stop_by_pidfile "$dir/keyring.pid"
  bash "$session_bus" stop "$dir"
}

# Runs a command as a client of the private bus, with the private folders.
client_env=(env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="$bus" HOME="$dir/home"
  XDG_DATA_HOME="$dir/data" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime")
client() {
  "${client_env[@]}" "$@"
}

secrets_owned() {
  client dbus-send --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true
}

case $cmd in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir/home" "$dir/data" "$dir/config" "$dir/runtime"
    chmod 700 "$dir" "$dir/runtime"
    # Without a display the daemon's unlock prompt cannot appear, so a locked
    # keyring stays locked instead of waiting for someone to type. The bus
    # starts no services: with the usual session configuration, a client asking
    # for the Secret Service before our daemon owns the name has the bus start
    # a second daemon, which on a loaded machine takes the name first ("another
    # secret service is running") and is never stopped.
    bash "$session_bus" start "$dir" >/dev/null
    # --unlock reads the password on stdin: a fresh login keyring is created
    # with it, unlocked, and becomes the default collection. Started directly,
    # not through a function, so that $! is the daemon itself.
    printf 'keyring-test' | "${client_env[@]}" setsid gnome-keyring-daemon --foreground --unlock \
      --components=secrets >"$dir/log" 2>&1 &
    echo $! >"$dir/keyring.pid"
    for _ in $(seq 300); do
      if secrets_owned && client secret-tool store --label=probe fixture probe <<<"probe" 2>/dev/null; then
        client secret-tool clear fixture probe
        if [[ $mode == locked ]]; then
          # A password the tests expect to find but cannot read.
          # (the attributes QtKeychain gives an item: user = key, server = service)
          printf 'unreachable' | client secret-tool store --label=locked \
            user alice@locked.example:110 server Brindlecast type plaintext
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
