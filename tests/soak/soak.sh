#!/usr/bin/env bash
# Runs the desktop program for a long time against a private Dovecot while new
# mail keeps arriving, with a check every 30 seconds, and reports its resident
# memory over time and how many passes it made. Not part of `make test`.
#
#   tests/soak/soak.sh [MINUTES] [BUILD_DIR]      (default 60 build)
#
# Runs offscreen (no display needed); speech goes to the silent sink when there
# is no sound device.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
minutes=${1:-60}
build=${2:-$root/build}
binary=$build/src/app/brindlecast
export POP3_PORT=${POP3_PORT:-33110} POP3S_PORT=${POP3S_PORT:-33995}
dir=/tmp/bc-soak-pop3
work=$(mktemp -d /tmp/bc-soak.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  bash "$root/scripts/pop3-server.sh" stop "$dir" >/dev/null 2>&1 || true
}
trap cleanup EXIT

source "$root/scripts/lib/pop3-reset.sh"
reset_pop3_server "$dir" soak
POP3_SEED=1 bash "$root/scripts/pop3-server.sh" populate "$dir" soak 20 3000 >/dev/null

g=General/
bash "$root/scripts/account-settings.sh" "$work/config" soak "$POP3_PORT" \
  ${g}CheckMail=1 ${g}Freq=30 ${g}FreqUnit=0 ${g}NotificationMethod=0 ${g}ShowEnvelopeInfo=1 \
  ${g}From=1 ${g}Subject=1 ${g}Received=1 ${g}size=1 ${g}Account=1 ${g}LogDeleted=1 \
  ${g}ShowToolTip=1 Speak/SpeakFrom=1 Speak/SpeakSubject=1 \
  "Filter=WIN MONEY;" FilterSubject=1

XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state QT_QPA_PLATFORM=offscreen \
  "$binary" >"$work/program.log" 2>&1 &
pid=$!
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status"; }
passes() { grep -c "Connected server" "$work/state/brindlecast/command.log" 2>/dev/null || echo 0; }

echo "minute  rss_kb  passes  messages_on_server"
seed=2
for minute in $(seq 0 "$minutes"); do
  kill -0 "$pid" 2>/dev/null || { echo "the program died"; tail "$work/program.log"; exit 1; }
  count=$(find "$dir/mail/soak/Maildir/cur" "$dir/mail/soak/Maildir/new" -type f | wc -l)
  echo "$minute  $(rss)  $(passes)  $count"
  [ "$minute" = "$minutes" ] && break
  # New mail arrives twice a minute (one in eight generated messages is spam).
  for _ in 1 2; do
    POP3_SEED=$seed bash "$root/scripts/pop3-server.sh" populate "$dir" soak 1 3000 >/dev/null
    seed=$((seed + 1))
    sleep 30
  done
done
echo "command trace: $(passes) passes, $(grep -c 'failed' "$work/state/brindlecast/command.log" || true) failed steps"
