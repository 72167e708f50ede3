#!/usr/bin/env bash
# account-settings.sh - writes a settings file with one POP3 account on
# 127.0.0.1, for the benchmarks and checks that run the program against a
# private server.
#
#   account-settings.sh CONFIG_HOME USER PORT [SETTING...]
#
# Writes CONFIG_HOME/Quenmark/Brindlecast.conf (folder 0700, file 0600): the
# account USER with the password $POP3_PASS (default secret), remembered, on
# 127.0.0.1:PORT and ticked for checking. Each SETTING is Key=Value for one
# more value of the account, or Section/Key=Value for a value in [General] or
# [Speak]; a later SETTING of the same name wins. A value holding ";" (a list)
# is written in quotes: unquoted, the settings file reads ";" as a comment.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 CONFIG_HOME USER PORT [SETTING...]" >&2; exit 2; }
home=$1 user=$2 port=$3
shift 3

# Key=Value with the value in quotes when it holds ";" (no quotes or
# backslashes of its own are expected in these test values).
quoted() {
  local value=${1#*=}
  if [[ $value == *";"* ]]; then printf '%s="%s"' "${1%%=*}" "$value"; else printf '%s' "$1"; fi
}

declare -A sections=()
declare -a account=("UserName=$user" "Passwd=${POP3_PASS:-secret}" "RememberPasswd=1"
  "POP3Server=127.0.0.1" "POP3Port=$port" "CheckMark=1")
for setting in "$@"; do
  key=${setting%%=*}
  case $key in
    "$setting") echo "account-settings: '$setting' has no value" >&2; exit 2 ;;
    General/* | Speak/*) sections[${key%%/*}]+="$(quoted "${setting#*/}")"$'\n' ;;
    */*) echo "account-settings: '$setting': only General/ and Speak/ name a section" >&2; exit 2 ;;
    *) account+=("$(quoted "$setting")") ;;
  esac
done

mkdir -p -m 700 "$home/Quenmark"
file=$home/Quenmark/Brindlecast.conf
{
  for section in General Speak; do
    if [ -n "${sections[$section]:-}" ]; then
      printf '[%s]\n%s\n' "$section" "${sections[$section]}"
    fi
  done
  printf '[UserAccounts]\nUsers=1\n'
  # Later values of the same name replace earlier ones (QSettings keeps the last).
  declare -A seen=()
  for ((i = ${#account[@]} - 1; i >= 0; i--)); do
    key=${account[i]%%=*}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    lines[i]="user1\\${account[i]}"
  done
  printf '%s\n' "${lines[@]}"
} >"$file"
chmod 600 "$file"
