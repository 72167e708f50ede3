#!/usr/bin/env bash
# `brindlecast watch` on an IMAP account of the test Dovecot: mail delivered
# while it idles is printed as one JSON line, the mail already there is not,
# and an interrupt ends it with status 0.
#   watch_command.sh BRINDLECAST SERVER_SCRIPT DIR PORT
set -euo pipefail
binary=$1 script=$2 dir=$3 port=$4
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
bash "$script" clear "$dir" imapwatch
bash "$script" populate "$dir" imapwatch 2 >/dev/null
bash "$(dirname "$script")/account-settings.sh" "$work/config" imapwatch "$port" Protocol=IMAP \
  Security=2 "CAFile=$dir/tls/cert.pem"
XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state "$binary" watch >"$work/out" 2>"$work/err" &
pid=$!
sleep 2
printf 'From: Carol <carol@example.com>\nSubject: watched arrival\n\nHi.\n' >"$work/new.eml"
bash "$script" deliver "$dir" imapwatch "$work/new.eml"
for _ in $(seq 100); do
  grep -q 'watched arrival' "$work/out" && break
  sleep 0.1
done
kill -INT "$pid"
status=0
wait "$pid" || status=$?
cat "$work/out" "$work/err"
[ "$status" = 0 ] || { echo "watch ended with status $status"; exit 1; }
[ "$(wc -l <"$work/out")" = 1 ] || { echo "expected exactly one line"; exit 1; }
grep -q '^{"account": "imapwatch", "address": "carol@example.com", .*"subject": "watched arrival"}$' \
  "$work/out" || { echo "not the new envelope"; exit 1; }
