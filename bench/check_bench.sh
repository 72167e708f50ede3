#!/usr/bin/env bash
# Times `brindlecast check` over a mailbox of many messages on a private Dovecot
# (127.0.0.1), against a minimal client that only sends the same commands, and
# reports both times, their ratio and our peak memory.
#
#   bench/check_bench.sh [MESSAGES] [SIZE] [RUNS]     (default 10000 10240 3)
#
# The pass reads every body line as content (CheckLines on, ComboLines All), the
# heaviest setting; BENCH_CHECK_LINES=0 measures the default (content off).
#
# Needs a built tree (make build) and Dovecot (scripts/bootstrap.sh --test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
messages=${1:-10000}
size=${2:-10240}
runs=${3:-3}
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
export POP3_PORT=${POP3_PORT:-32110} POP3S_PORT=${POP3S_PORT:-32995}
dir=/tmp/bc-bench-pop3
work=$(mktemp -d /tmp/bc-bench.XXXXXX)
trap 'bash "$root/scripts/pop3-server.sh" stop "$dir" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

[ -x "$binary" ] || { echo "build first: make build" >&2; exit 1; }
source "$root/scripts/lib/pop3-reset.sh"
reset_pop3_server "$dir" bench
echo "populating $messages messages of about $size bytes..."
bash "$root/scripts/pop3-server.sh" populate "$dir" bench "$messages" "$size" >/dev/null

bash "$root/scripts/account-settings.sh" "$work/config" bench "$POP3_PORT" \
  "General/CheckLines=${BENCH_CHECK_LINES:-1}" General/ComboLines=All

# Seconds of one run, from /usr/bin/time; peak memory (KB) into $work/rss.
timed() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  read -r seconds rss <"$work/time"
  echo "$rss" >"$work/rss"
  echo "$seconds"
}

ours=() theirs=() peak=0
for _ in $(seq "$runs"); do
  theirs+=("$(timed python3 "$root/bench/minimal_pop3_client.py" 127.0.0.1 "$POP3_PORT" bench secret)")
  ours+=("$(XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state timed "$binary" check)")
  rss=$(cat "$work/rss"); [ "$rss" -gt "$peak" ] && peak=$rss
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
o=$(median "${ours[@]}") t=$(median "${theirs[@]}")
echo "messages:             $messages of ~$size bytes"
echo "minimal client:       ${t} s (median of $runs: ${theirs[*]})"
echo "brindlecast check:    ${o} s (median of $runs: ${ours[*]})"
echo "ratio:                $(awk -v o="$o" -v t="$t" 'BEGIN {printf "%.2f", o / t}')"
echo "peak memory (check):  $((peak / 1024)) MB"
