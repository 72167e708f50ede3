#!/usr/bin/env bash
# `brindlecast check` as a user runs it against a hostile server and a
# hand-edited settings file.
#   check_command.sh MODE PROGRAM PEER
# MODE:
#   server-text  the server's -ERR text is full of terminal controls: the table
#                shows none of them, the JSON keeps them escaped
#   settings-dir the settings file is a directory: said so, nothing changed
#   raw-bytes    values that are not UTF-8: the file stays byte for byte, the
#                password goes to the server as written
#   log-links    the logs and their folders are symbolic links: never followed
#   remembered   RememberMail on: the second check retrieves nothing and reports
#                every message as not new; the store is private
set -euo pipefail
mode=$1 program=$2 peer=$3
work=$(mktemp -d)
peer_pid=
trap '[[ -n $peer_pid ]] && kill "$peer_pid"; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state BRINDLECAST_KEYRING=off
conf=$XDG_CONFIG_HOME/Quenmark/Brindlecast.conf
mkdir -p "${conf%/*}"
fail() { echo "$*" >&2; exit 1; }

start_peer() {  # mode
  python3 "$peer" "$1" "$work/port" "$work/commands" &
  peer_pid=$!
  for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
  port=$(cat "$work/port")
}

account() {  # user password
  printf '[General]\nLogDeleted=1\n[UserAccounts]\nUsers=1\n'
  printf 'user1\\UserName=%s\nuser1\\POP3Server=127.0.0.1\nuser1\\POP3Port=%s\n' "$1" "$port"
  printf 'user1\\Passwd=%s\nuser1\\RememberPasswd=1\nuser1\\CheckMark=1\n' "$2"
}

case $mode in
server-text)
  start_peer hostile
  account alice secret >"$conf"
  status=0
  "$program" check >"$work/table" || status=$?
  [[ $status == 1 ]] || fail "exit status $status, expected 1"
  "$program" check --json >"$work/json" || true
  python3 - "$work/table" "$work/json" <<'PY'
import re, sys
table = open(sys.argv[1], "rb").read()
print(table.decode("utf-8", "replace"))
text = table.decode("utf-8")  # also proves the table is UTF-8
unsafe = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u2028-\u202e\u2066-\u2069]")
assert not unsafe.search(text), [c for c in unsafe.findall(text)]
assert "alice: failed" in text and "bad password" in text, text
document = open(sys.argv[2], "rb").read().decode("utf-8")
for escaped in ("\\u001b", "\\u0007", "\\u009b", "\\u202e"):
    assert escaped in document, (escaped, document)
assert not unsafe.search(document), document
PY
  ;;
settings-dir)
  mkdir -p "$conf"
  chmod 0755 "$conf"
  status=0
  err=$("$program" check 2>&1 >/dev/null) || status=$?
  echo "$err"
  [[ $status == 1 ]] || fail "exit status $status, expected 1"
  grep -q "is a directory" <<<"$err" || fail "the message does not say what is wrong"
  [[ $(stat -c %a "$conf") == 755 ]] || fail "the directory's mode changed"
  [[ -z $(ls -A "$conf") ]] || fail "something was written into the directory"
  ;;
raw-bytes)
  start_peer empty
  { account "$(printf 'j\xf6rg')" "$(printf 'p\xe4sswort\xff')"; } >"$conf"
  before=$(sha256sum <"$conf")
  "$program" check || fail "the account was not checked"
  [[ $(sha256sum <"$conf") == "$before" ]] || { od -c "$conf" >&2; fail "the file changed"; }
  grep -qa "^USER j$(printf '\xf6')rg" "$work/commands" || fail "the user name was altered"
  grep -qa "^PASS p$(printf '\xe4')sswort$(printf '\xff')" "$work/commands" ||
    { od -c "$work/commands" >&2; fail "the password was altered"; }
  ;;
log-links)
  start_peer empty
  account alice secret >"$conf"
  state=$XDG_STATE_HOME/brindlecast
  mkdir -p "$state" "$work/elsewhere"
  echo "the user's own file" >"$work/target"
  chmod 0644 "$work/target"
  ln -s "$work/target" "$state/command.log"
  ln -s "$work/elsewhere" "$state/Log"
  err=$("$program" check 2>&1 >/dev/null) || fail "the check failed: $err"
  echo "$err"
  [[ $(cat "$work/target") == "the user's own file" ]] || fail "the link's target was written"
  [[ $(stat -c %a "$work/target") == 644 ]] || fail "the link's target was chmodded"
  [[ $(stat -c %a "$work/elsewhere") == 755 ]] || fail "the linked folder was chmodded"
  [[ -L $state/command.log ]] || fail "the link was replaced"
  [[ $(grep -c "symbolic link" <<<"$err") == 1 ]] || fail "expected one message about the link"
  # A dangling link never creates its target.
  rm "$state/command.log"
  ln -s "$work/nowhere" "$state/command.log"
  "$program" check >/dev/null 2>&1 || true
  [[ ! -e $work/nowhere ]] || fail "a dangling link created its target"
  ;;
remembered)
  start_peer mailbox
  { account alice secret; printf '[General]\nRememberMail=1\n'; } >"$conf"
  "$program" check --json >"$work/first" || fail "the first check failed"
  : >"$work/commands"
  "$program" check --json >"$work/second" || fail "the second check failed"
  "$program" check >"$work/table" || fail "the third check failed"
  python3 - "$work/first" "$work/second" "$work/table" "$work/commands" <<'PY'
import json, sys
first, second = (json.load(open(p)) for p in sys.argv[1:3])
assert [e["new"] for e in first["envelopes"]] == [True] * 3, first
assert [e["new"] for e in second["envelopes"]] == [False] * 3, second
assert [e["subject"] for e in second["envelopes"]] == ["Note 1", "Note 2", "Note 3"], second
assert first["accounts"][0]["new"] == 3 and second["accounts"][0]["new"] == 0, second
table = open(sys.argv[3]).read()
assert "alice: checked, 3 messages, 0 new, 0 deleted as spam" in table, table
commands = open(sys.argv[4], "rb").read()
assert b"UIDL" in commands and b"RETR" not in commands, commands
PY
  store=$(ls "$XDG_STATE_HOME"/brindlecast/mail/*.sqlite)
  [[ $(stat -c %a "$store") == 600 ]] || fail "the store is not private"
  [[ $(stat -c %a "${store%/*}") == 700 ]] || fail "the store's folder is not private"
  ! grep -qa secret "$store" || fail "the store holds the password"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
echo "$mode: ok"
