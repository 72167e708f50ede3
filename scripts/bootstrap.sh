#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Idempotent: when everything is present it installs nothing and says so.
#   scripts/bootstrap.sh          build + run + unit tests, and the demo's private POP3 server
#   scripts/bootstrap.sh --test   also the tools the tests and the package checks use
#   scripts/bootstrap.sh --orca   the --test set and the Orca test's desktop (make test-orca)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6 libespeak-ng-dev espeak-ng-data
  libpulse-dev
  qtkeychain-qt6-dev libsecret-1-0
  libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  dovecot-core dovecot-pop3d dovecot-imapd openssl
)
if [[ "${1:-}" == "--test" || "${1:-}" == "--orca" ]]; then
  packages+=(python3 mpop mailutils-pop3d mailutils-imap4d
    espeak-ng sox libsox-fmt-base pulseaudio pulseaudio-utils
    lintian desktop-file-utils appstream man-db file
    gnome-keyring dbus-daemon libsecret-tools
    systemd util-linux)
fi
# The screen reader and what it needs around it on a private X display: the
# accessibility bus, a speech server speaking with espeak-ng, a notification
# server Orca knows, a window manager and a tray.
if [[ "${1:-}" == "--orca" ]]; then
  packages+=(orca python3-pyatspi speech-dispatcher speech-dispatcher-espeak-ng at-spi2-core
    notification-daemon libglib2.0-bin xvfb xauth openbox trayer xdotool x11-utils)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# popa3d conflicts with dovecot-pop3d: scripts/popa3d-server.sh fetches it with
# `apt-get download` and runs it unpacked, so only the package lists must know it.
if [[ "${1:-}" == "--test" || "${1:-}" == "--orca" ]] && ! apt-cache show popa3d >/dev/null 2>&1; then
  echo "bootstrap: updating the package lists for popa3d"
  if [[ $(id -u) -ne 0 ]]; then sudo apt-get update -qq; else apt-get update -qq; fi
fi

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "bootstrap: all packages present"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
# The tests run their own Dovecot on 127.0.0.1; keep the package from starting
# the system's mail service on every interface while it installs.
guard=
if [[ ! -e /usr/sbin/policy-rc.d ]]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee /usr/sbin/policy-rc.d >/dev/null
  "${sudo_cmd[@]}" chmod 755 /usr/sbin/policy-rc.d
  guard=/usr/sbin/policy-rc.d
fi
status=0
"${sudo_cmd[@]}" apt-get update -qq || status=$?
if [[ $status -eq 0 ]]; then
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
fi
if [[ -n $guard ]]; then "${sudo_cmd[@]}" rm -f "$guard"; fi
# Dovecot is here only for the private servers of the demo and the tests; the
# package would otherwise start a system mail service at the next boot.
if [[ $status -eq 0 && " ${missing[*]} " == *" dovecot-core "* && -d /run/systemd/system ]]; then
  "${sudo_cmd[@]}" systemctl disable --quiet dovecot.service dovecot.socket 2>/dev/null || true
  echo "bootstrap: dovecot.service disabled (the demo and the tests start their own Dovecot)"
fi
exit $status
