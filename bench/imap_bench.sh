#!/usr/bin/env bash
# IMAP figures on a private Dovecot serving POP3 and IMAP (127.0.0.1):
#   - the first pass of a folder of MESSAGES messages (headers only: content
#     lines off) over IMAP against the POP3 pass of the same mailbox: time
#     (median of RUNS) and the bytes the server sent (Dovecot's own count:
#     POP3 retr bytes, IMAP out=);
#   - imap_idle_bench: delivery to announcement on an idling account holding
#     WAKE_MESSAGES messages (median of 20), the bytes the server sent per
#     wake (Dovecot's out= of every session after the first pass, over 20),
#     and the cost of idling on five accounts for IDLE_SECONDS.
#
#   bench/imap_bench.sh [MESSAGES] [SIZE] [RUNS] [IDLE_SECONDS] [WAKE_MESSAGES]
#   (default 10000 10240 3 60 100)
#
# Needs a built tree with the benchmarks (make bench) and Dovecot with its
# IMAP server (scripts/bootstrap.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
messages=${1:-10000}
size=${2:-10240}
runs=${3:-3}
idle_seconds=${4:-60}
wake_messages=${5:-100}
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
idle_bench=${IMAP_IDLE_BENCH:-$root/build/bench/imap_idle_bench}
export POP3_PORT=${POP3_PORT:-32120} POP3S_PORT=${POP3S_PORT:-32121}
export IMAP_PORT=${IMAP_PORT:-32143} IMAPS_PORT=${IMAPS_PORT:-32993}
dir=${BENCH_DIR:-/tmp/bc-bench-imap}
work=$(mktemp -d /tmp/bc-bench.XXXXXX)
trap 'bash "$root/scripts/pop3-server.sh" stop "$dir" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

[ -x "$binary" ] && [ -x "$idle_bench" ] || { echo "build first: make bench" >&2; exit 1; }
source "$root/scripts/lib/pop3-reset.sh"
reset_pop3_server "$dir" bench idle1 idle2 idle3 idle4 idle5
echo "populating $messages messages of about $size bytes..."
bash "$root/scripts/pop3-server.sh" populate "$dir" bench "$messages" "$size" >/dev/null

common=(General/CheckLines=0 "CAFile=$dir/tls/cert.pem" Security=2)
bash "$root/scripts/account-settings.sh" "$work/pop3" bench "$POP3_PORT" "${common[@]}"
bash "$root/scripts/account-settings.sh" "$work/imap" bench "$IMAP_PORT" "${common[@]}" Protocol=IMAP

timed() {
  /usr/bin/time -f '%e' -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}
log=$dir/log/dovecot.log
# The bytes the server sent in the last session of PROTOCOL, by its own count.
sent_bytes() {
  if [ "$1" = pop3 ]; then
    grep 'pop3(bench)' "$log" | tail -1 | sed -n 's/.*retr=[0-9]*\/\([0-9]*\).*/\1/p'
  else
    grep 'imap(bench)' "$log" | grep 'Logged out' | tail -1 | sed -n 's/.* out=\([0-9]*\).*/\1/p'
  fi
}

pop3=() imap=()
for _ in $(seq "$runs"); do
  pop3+=("$(XDG_CONFIG_HOME=$work/pop3 XDG_STATE_HOME=$work/state timed "$binary" check)")
  pop3_bytes=$(sent_bytes pop3)
  imap+=("$(XDG_CONFIG_HOME=$work/imap XDG_STATE_HOME=$work/state timed "$binary" check)")
  imap_bytes=$(sent_bytes imap)
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
p=$(median "${pop3[@]}") i=$(median "${imap[@]}")
echo "messages:               $messages of ~$size bytes, headers only"
echo "POP3 pass:              ${p} s (median of $runs: ${pop3[*]}), ${pop3_bytes} bytes retrieved"
echo "IMAP pass:              ${i} s (median of $runs: ${imap[*]}), ${imap_bytes} bytes sent"
echo "IMAP / POP3 time:       $(awk -v i="$i" -v p="$p" 'BEGIN {printf "%.3f", i / p}')"
echo "IMAP / POP3 bytes:      $(awk -v i="$imap_bytes" -v p="$pop3_bytes" 'BEGIN {printf "%.4f", i / p}')"

bash "$root/scripts/pop3-server.sh" populate "$dir" idle1 "$wake_messages" 2500 >/dev/null
logged=$(wc -l <"$log")
"$idle_bench" "$root/scripts/pop3-server.sh" "$dir" "$IMAP_PORT" "$dir/tls/cert.pem" \
  idle1 idle2 idle3 idle4 idle5 "$idle_seconds"
# Every session of idle1 since then served the 20 wakes (the IDLE connections,
# and any pass a wake started). Login bytes come on top (not in out=).
tail -n +$((logged + 1)) "$log" | grep 'imap(idle1)' | grep -E 'Logged out|Disconnected' | sed -n 's/.* out=\([0-9]*\).*/\1/p' |
  awk -v m="$wake_messages" '{sum += $1; n++}
    END {printf "bytes per wake (folder of %d): %.0f (%d sessions)\n", m, sum / 20, n}'
