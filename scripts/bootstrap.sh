#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Idempotent: when everything is present it installs nothing and says so.
#   scripts/bootstrap.sh          build + run + unit tests
#   scripts/bootstrap.sh --test   also the real POP3 peer and the tools the tests use
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6 libespeak-ng-dev espeak-ng-data
  libgtest-dev libgmock-dev libbenchmark-dev
)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(dovecot-core dovecot-pop3d openssl python3 sox libsox-fmt-base pulseaudio pulseaudio-utils)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

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
exit $status
