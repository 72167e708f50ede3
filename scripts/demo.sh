#!/usr/bin/env bash
# The desktop program at work on a private demo mailbox: no mail account needed,
# and your own settings are never read or written.
#
#   scripts/demo.sh [PROGRAM]         (default build/src/app/brindlecast; `make demo`)
#
# Starts a private Dovecot on 127.0.0.1 (scripts/pop3-server.sh) holding the
# messages in res/demo/, writes a temporary settings folder with that account
# (STARTTLS, the envelope list and speech on, a check every 10 seconds, one
# blocked sender whose mail is deleted on the server and logged), and starts the
# program on it. The last message arrives a little later, so the new-mail notice
# slides up and the voice announces it. When the program ends (Exit in its menu
# or the tray's, or Ctrl+C here), the server stops and the temporary folders go.
#
# Environment:
#   DEMO_POP3_PORT=47110 DEMO_POP3S_PORT=47995   first ports to try (the next
#                                                free pair is taken when in use)
#   DEMO_ARRIVAL=25      seconds after the start when the last message arrives
#   DEMO_PROTOCOL=IMAP   an IMAP account instead (STARTTLS, IDLE): the program
#                        checks every 30 seconds, and the late message is announced
#                        the moment it arrives, not at the next check
#   DEMO_IMAP_PORT=47143 DEMO_IMAPS_PORT=47993   first IMAP ports to try
#   DEMO_WORK=           keep the temporary folder here instead (for scripts)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/src/app/brindlecast}
pop3=$root/scripts/pop3-server.sh
arrival=${DEMO_ARRIVAL:-25}

die() { echo "demo: $*" >&2; exit 1; }
[ -x "$program" ] || die "no program at $program (make demo builds it)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  die "the demo shows a window: run it in a graphical session (DISPLAY is not set)"
fi

# Short (Dovecot's socket paths) and reachable by Dovecot's own users when run as root.
work=${DEMO_WORK:-$(mktemp -d /tmp/bc-demo.XXXXXX)}
mkdir -p "$work" && chmod 755 "$work"
server=$work/pop3
pid=
cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  bash "$pop3" stop "$server" >/dev/null 2>&1 || true
  [ -n "${DEMO_WORK:-}" ] || rm -rf "$work"
  echo "demo: server stopped, temporary folders removed"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP  # the terminal closed

read -r POP3_PORT POP3S_PORT < <(bash "$pop3" freeports "${DEMO_POP3_PORT:-47110}" "${DEMO_POP3S_PORT:-47995}")
export POP3_PORT POP3S_PORT
protocol=${DEMO_PROTOCOL:-POP3}
case "$protocol" in
  POP3) port=$POP3_PORT freq=10 ;;
  IMAP)
    read -r IMAP_PORT IMAPS_PORT < <(bash "$pop3" freeports "${DEMO_IMAP_PORT:-47143}" "${DEMO_IMAPS_PORT:-47993}")
    export IMAP_PORT IMAPS_PORT
    port=$IMAP_PORT freq=30
    ;;
  *) die "DEMO_PROTOCOL is POP3 or IMAP, not \"$protocol\"" ;;
esac
password=demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
messages=("$root"/res/demo/*.eml)
late=${messages[-1]}
bash "$pop3" adduser "$server" demo "$password"
bash "$pop3" deliver "$server" demo "${messages[@]:0:${#messages[@]}-1}"
bash "$pop3" start "$server" >/dev/null

# The settings the program reads: only under $work, never the user's own; the
# demo's password stays in them, out of the user's desktop keyring.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state BRINDLECAST_KEYRING=off
mkdir -p -m 700 "$XDG_CONFIG_HOME/Quenmark"
cat >"$XDG_CONFIG_HOME/Quenmark/Brindlecast.conf" <<CONF
[General]
CheckMail=1
Freq=$freq
FreqUnit=0
NotificationMethod=0
ShowEnvelopeInfo=1
ShowToolTip=1
LogDeleted=1
From=1
Subject=1
Address=1
Received=1
size=1
Account=1
Attachment=1

[Speak]
SpeakFrom=1

[UserAccounts]
Users=1
user1\\UserName=demo
user1\\Passwd=$password
user1\\RememberPasswd=1
user1\\POP3Server=127.0.0.1
user1\\POP3Port=$port
user1\\Protocol=$protocol
user1\\Security=2
user1\\CAFile=$server/tls/cert.pem
user1\\CheckMark=1
user1\\BlockSender="offers@luxury-deals.example;"
user1\\DeleteBlocked=1
CONF
chmod 600 "$XDG_CONFIG_HOME/Quenmark/Brindlecast.conf"
# No tip of the day over the window at start.
printf '[BrindlecastDayTip]\nBrindlecastStartUp=1\n' >"$XDG_CONFIG_HOME/Quenmark/brindlecast.ini"

cat <<TEXT
demo: a private $protocol server on 127.0.0.1:$port (STARTTLS) holds $((${#messages[@]} - 1)) messages for the
demo: user "demo". The program checks it every $freq seconds and announces each sender.
demo: One more message arrives in ${arrival} seconds; the program fetches it once the
demo: voice has finished the first announcements. The blocked sender's mail is deleted
demo: on the server and logged under $XDG_STATE_HOME/brindlecast/Log/.
demo: Exit in the program's menu (or Ctrl+C here) ends the demo.
TEXT

"$program" &
pid=$!
for ((waited = 0; waited < arrival; waited++)); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 1
done
if kill -0 "$pid" 2>/dev/null; then
  bash "$pop3" deliver "$server" demo "$late"
  echo "demo: a new message has arrived: \"$(sed -n 's/^Subject: //p' "$late")\""
fi
status=0
wait "$pid" || status=$?
pid=
exit "$status"
