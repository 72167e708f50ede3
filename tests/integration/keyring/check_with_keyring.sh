#!/usr/bin/env bash
# `brindlecast check` with passwords in a real desktop keyring (the keyring
# fixture's bus is in DBUS_SESSION_BUS_ADDRESS).
#   check_with_keyring.sh dovecot PROGRAM POP3_SCRIPT POP3_DIR PORT
#       one account whose password only the keyring holds, one whose password
#       moves there from the settings file; both log in to Dovecot.
#   check_with_keyring.sh locked PROGRAM
#       the keyring is locked: the account fails with that reason.
set -euo pipefail
mode=$1 program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
conf=$XDG_CONFIG_HOME/Quenmark/Brindlecast.conf
mkdir -p "${conf%/*}"

account() {  # number user server port password
  printf 'user%s\\UserName=%s\nuser%s\\POP3Server=%s\nuser%s\\POP3Port=%s\n' "$1" "$2" "$1" "$3" "$1" "$4"
  printf 'user%s\\Passwd=%s\nuser%s\\RememberPasswd=1\nuser%s\\CheckMark=1\n' "$1" "$5" "$1" "$1"
}

if [[ $mode == locked ]]; then
  # The fixture stored this account's password, then locked the keyring.
  { echo '[UserAccounts]'; echo 'Users=1'; account 1 alice locked.example 110 ''; } >"$conf"
  status=0
  out=$("$program" check) || status=$?
  echo "$out"
  [[ $status == 1 ]] || { echo "exit status $status, expected 1" >&2; exit 1; }
  grep -qx "alice: failed: the desktop keyring is locked" <<<"$out"
  exit 0
fi

pop3_script=$3 pop3_dir=$4 port=$5
bash "$pop3_script" clear "$pop3_dir" keyring >/dev/null  # a run before
bash "$pop3_script" populate "$pop3_dir" keyring 2 >/dev/null
secret-tool clear user "keyring@127.0.0.1:$port" server Brindlecast || true  # a run before
printf secret | secret-tool store --label=test user keyring@127.0.0.1 server Brindlecast type plaintext
{
  echo '[UserAccounts]'
  echo 'Users=2'
  account 1 keyring 127.0.0.1 "$port" ''
  account 2 keymove 127.0.0.1 "$port" secret
} >"$conf"

out=$("$program" check --json)
echo "$out"
python3 - "$out" <<'EOF'
import json, sys
accounts = {a["account"]: a for a in json.loads(sys.argv[1])["accounts"]}
assert accounts["keyring"]["status"] == "checked", accounts
assert accounts["keyring"]["messages"] == 2, accounts
assert accounts["keymove"]["status"] == "checked", accounts
EOF
# The moved password: in the keyring under the account's key (user, host and
# port), and the file's value empty.
[[ $(secret-tool lookup user "keymove@127.0.0.1:$port" server Brindlecast) == secret ]]
# The password stored without the port moved to the account's key.
[[ $(secret-tool lookup user "keyring@127.0.0.1:$port" server Brindlecast) == secret ]]
[[ -z $(secret-tool lookup user keyring@127.0.0.1 server Brindlecast || true) ]]
grep -qx 'user2\\Passwd=' "$conf" || { echo "the file still holds the password:" >&2; cat "$conf" >&2; exit 1; }
# The next run reads both from the keyring.
"$program" check >/dev/null
echo "both accounts checked with their passwords in the keyring"
