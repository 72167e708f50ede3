#!/usr/bin/env bash
# Takes the README's picture: the demo (scripts/demo.sh) under Xvfb with the
# openbox window manager, at the moment the late message's notice has slid up.
#
#   scripts/demo-screenshot.sh [PROGRAM] [OUT.png]
#        (default build/src/app/brindlecast docs/screenshot.png; `make screenshot`)
#
# Needs: xvfb openbox x11-xserver-utils x11-utils xdotool imagemagick, and a font with
# Chinese and Japanese characters for two of the demo's subjects
# (fonts-wqy-microhei). SHOT_DISPLAY picks the X display (default :97).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/src/app/brindlecast}
out=${2:-$root/docs/screenshot.png}
display=${SHOT_DISPLAY:-:97}
for tool in Xvfb openbox xsetroot xdpyinfo xdotool /usr/bin/import /usr/bin/convert; do
  command -v "$tool" >/dev/null || {
    echo "screenshot: $tool is missing (apt-get install xvfb openbox x11-xserver-utils x11-utils xdotool imagemagick fonts-wqy-microhei)" >&2
    exit 1
  }
done

source "$root/scripts/x-desktop.bash"
work=$(mktemp -d /tmp/bc-shot.XXXXXX)
chmod 755 "$work"
x_work=$work
x_desktop_start "$display" 1000x620x24
sleep 1
xsetroot -solid '#3b5b7d'

DEMO_WORK=$work/demo bash "$root/scripts/demo.sh" "$program" >"$work/demo.log" 2>&1 &
x_pids+=($!)
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Brindlecast$' | head -1)
xdotool windowmove "$window" 12 34

# The late message is in new/ until the program's next pass fetches it.
mailbox=$work/demo/pop3/mail/demo/Maildir
deadline=$((SECONDS + 120))
until grep -q "a new message has arrived" "$work/demo.log" && [ -z "$(ls -A "$mailbox/new")" ]; do
  [ $SECONDS -lt $deadline ] || { cat "$work/demo.log"; echo "screenshot: the late message was never fetched" >&2; exit 1; }
  sleep 0.5
done
sleep 3  # the notice slides up
mkdir -p "$(dirname "$out")"
/usr/bin/import -window root "$work/shot.png"
/usr/bin/convert "$work/shot.png" -strip -colors 128 "PNG8:$out"
echo "screenshot: $out ($(stat -c %s "$out") bytes)"
