#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree and checks the
# installed program as a user gets it:
#   - lintian on the .deb (no errors), and apt can resolve its dependencies;
#   - unpacked into a throwaway root: desktop-file-validate on the desktop entry,
#     appstreamcli validate --no-net on the metainfo, man -l on the manual page
#     (no warnings), every icon size present;
#   - the installed brindlecast: --version, --help, voices, and one check pass
#     over STARTTLS against a private Dovecot holding three demo messages;
#     it loads no Qt Gui, Widgets or Multimedia, speaks aloud on a private
#     PulseAudio null sink, and without a command
#     becomes its desktop program.
#
#   scripts/package-check.sh BUILD_DIR
#
# Nothing is installed on the machine; the program runs from the throwaway root
# with the machine's libraries. Prints each check and what it printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: package-check.sh BUILD_DIR}" && pwd)
pop3=$root/scripts/pop3-server.sh

work=$(mktemp -d /tmp/bc-pkg.XXXXXX)
chmod 755 "$work"
cleanup() {
  bash "$pop3" stop "$work/pop3" >/dev/null 2>&1 || true
  bash "$root/scripts/pulse-sink.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
step() { printf '\n== %s\n' "$*"; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

step "cpack: build the .deb"
rm -f "$build"/package/*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/package/*.deb)
echo "$deb"
dpkg-deb --field "$deb" Package Version Depends

step "lintian (errors fail)"
if lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1; then
  grep -v 'root privileges' "$work/lintian.txt" || true
  echo "no errors"
else
  cat "$work/lintian.txt"; fail "lintian reported errors"
fi

step "apt: the dependencies resolve"
if apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.log" 2>&1; then
  grep -E '^(Inst|Conf) ' "$work/apt.log" | head -5 || true
  echo "ok"
else
  cat "$work/apt.log"; fail "apt cannot install the package"
fi

step "unpack into a throwaway root"
dest=$work/root
dpkg-deb -x "$deb" "$dest"
app_id=$(basename "$(ls "$dest"/usr/share/applications/*.desktop)" .desktop)
echo "$dest (desktop id $app_id)"

step "desktop-file-validate"
desktop-file-validate "$dest/usr/share/applications/$app_id.desktop" && echo ok || fail "desktop entry"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$dest/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$dest/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo licence"
grep -q '^License: GPL-3.0-or-later$' "$dest/usr/share/doc/brindlecast/copyright" ||
  fail "copyright file licence"

step "man -l (warnings fail)"
page=$dest/usr/share/man/man1/brindlecast.1.gz
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" &&
   [ ! -s "$work/man.err" ]; then
  head -3 "$work/man.txt" | sed '/^$/d'
  grep -c . "$work/man.txt" | sed 's/$/ lines/'
else
  cat "$work/man.err"; fail "man page"
fi

step "icons"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
  png=$dest/usr/share/icons/hicolor/$size/apps/$app_id.png
  [ "$(file -b "$png" | grep -o '[0-9]* x [0-9]*' | tr -d ' ')" = "$size" ] || fail "icon $size"
done
[ -s "$dest/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "scalable icon"
[ -s "$dest/usr/share/brindlecast/help/index.html" ] || fail "help pages"
[ ! -f "$root/res/DayTips.dat" ] || [ -s "$dest/usr/share/brindlecast/DayTips.dat" ] || fail "DayTips.dat"
echo "icons, help pages$([ -f "$root/res/DayTips.dat" ] && echo ", DayTips.dat") present"

program=$dest/usr/bin/brindlecast
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
unset DISPLAY WAYLAND_DISPLAY

step "brindlecast --version"
version=$(dpkg-deb --field "$deb" Version)
out=$("$program" --version) || fail "--version exit status"
echo "$out"
[ "$(head -n 1 <<<"$out")" = "Brindlecast Version $version" ] || fail "--version does not say $version"
grep -q '^License GPL-3.0-or-later: ' <<<"$out" || fail "--version does not name the licence"

step "brindlecast --help"
"$program" --help >"$work/help.txt" || fail "--help exit status"
for command in check say voices --paths --version; do
  grep -q -- "  $command " "$work/help.txt" || fail "--help does not list $command"
done
grep -c . "$work/help.txt" | sed 's/$/ lines/'

step "brindlecast voices"
"$program" voices >"$work/voices.txt" || fail "voices exit status"
head -3 "$work/voices.txt"
echo "... $(wc -l <"$work/voices.txt") voices"
[ "$(wc -l <"$work/voices.txt")" -gt 0 ] || fail "no voices"

step "brindlecast links the C library alone; its commands no Qt Gui, Widgets, Multimedia, Network or D-Bus"
! ldd "$program" | grep -qE 'libQt6|libstdc' || fail "the launcher links more than the C library"
commands=$(ls "$dest"/usr/lib*/brindlecast/brindlecast-commands.so "$dest"/usr/libexec/brindlecast/brindlecast-commands.so 2>/dev/null | head -n 1)
[ -n "$commands" ] || fail "the commands module is not installed"
ldd "$commands" | grep -o 'libQt6[A-Za-z]*' | sort -u | tr '\n' ' '
echo
! ldd "$commands" | grep -qE 'libQt6(Gui|Widgets|Svg|Multimedia)' || fail "the commands link a desktop library"
! ldd "$commands" | grep -qE 'libQt6(Network|DBus)|keychain' ||
  fail "the commands link what only the check command's program needs"

step "brindlecast say aloud (a private null sink)"
if command -v pulseaudio >/dev/null; then
  bash "$root/scripts/pulse-sink.sh" start "$work/pulse" >/dev/null
  PULSE_SERVER=unix:$work/pulse/native "$program" say --verbose "New mail" >"$work/say.txt" 2>&1 ||
    fail "say exit status"
  cat "$work/say.txt"
  ! grep -q 'no audio output device' "$work/say.txt" || fail "say did not find the audio device"
else
  echo "skipped: pulseaudio is missing"
fi

step "brindlecast without a command becomes the desktop program"
QT_QPA_PLATFORM=offscreen "$program" >"$work/desktop.txt" 2>&1 &
desktop_pid=$!
sleep 2
running=$(readlink "/proc/$desktop_pid/exe" || true)
kill "$desktop_pid" 2>/dev/null || true
wait "$desktop_pid" 2>/dev/null || true
echo "${running:-not running}"
[ "$running" = "$dest/usr/libexec/brindlecast/brindlecast-desktop" ] ||
  { cat "$work/desktop.txt"; fail "the desktop program did not start"; }

step "brindlecast check against a private Dovecot (STARTTLS)"
read -r POP3_PORT POP3S_PORT < <(bash "$pop3" freeports 47210 48095)
export POP3_PORT POP3S_PORT
bash "$pop3" adduser "$work/pop3" pkg secret
bash "$pop3" deliver "$work/pop3" pkg "$root"/res/demo/0[1-3]-*.eml
bash "$pop3" start "$work/pop3" >/dev/null
bash "$root/scripts/account-settings.sh" "$XDG_CONFIG_HOME" pkg "$POP3_PORT" Security=2 \
  "CAFile=$work/pop3/tls/cert.pem"
status=0
"$program" check >"$work/check.txt" 2>&1 || status=$?
cat "$work/check.txt"
echo "exit status $status"
[ "$status" = 0 ] || fail "check exit status $status"
grep -q '^pkg: checked, 3 messages' "$work/check.txt" || fail "check did not list the 3 messages"

echo
if [ "$failures" -gt 0 ]; then
  echo "package check: $failures FAILED"
  exit 1
fi
echo "package check: all passed"
