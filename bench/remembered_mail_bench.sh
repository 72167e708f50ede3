#!/usr/bin/env bash
# Remembered mail (RememberMail=1) side by side with mpop (only_new on, keep on),
# both on one private Dovecot (127.0.0.1). Bytes are counted on the wire by a
# counting proxy (bench/count_proxy.py) in front of the server; times are
# medians of RUNS, taken on direct connections (the proxy would time itself);
# memory is the peak RSS of `brindlecast check`.
#
#   bench/remembered_mail_bench.sh [MESSAGES] [SIZE] [RUNS] [MANY]
#                                  (default 10000 10240 3 50000)
#
# Rows:
#   repeat pass over the unchanged mailbox: bytes received and wall time
#   a pass after 10 new messages arrived: bytes received
#   first pass of a fresh store vs the same pass with the option off: wall time
#   memory of `check` with MANY remembered messages (of 2 KB)
#
# Needs a built tree (make build), Dovecot and mpop (scripts/bootstrap.sh --test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
messages=${1:-10000}
size=${2:-10240}
runs=${3:-3}
many=${4:-50000}
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
export POP3_PORT=${POP3_PORT:-32210} POP3S_PORT=${POP3S_PORT:-32295}
proxy_port=${PROXY_PORT:-32211}
dir=/tmp/bc-bench-remember
work=$(mktemp -d /tmp/bc-bench-remember.XXXXXX)
proxy_pid=
cleanup() {
  [[ -n $proxy_pid ]] && kill "$proxy_pid" 2>/dev/null
  bash "$root/scripts/pop3-server.sh" stop "$dir" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

[ -x "$binary" ] || { echo "build first: make build" >&2; exit 1; }
command -v mpop >/dev/null || { echo "mpop is missing: scripts/bootstrap.sh --test" >&2; exit 1; }
source "$root/scripts/lib/pop3-reset.sh"
reset_pop3_server "$dir" bench
echo "populating $messages messages of about $size bytes..."
bash "$root/scripts/pop3-server.sh" populate "$dir" bench "$messages" "$size" >/dev/null

python3 "$root/bench/count_proxy.py" "$proxy_port" "$POP3_PORT" "$work/totals" >"$work/proxy.out" &
proxy_pid=$!
for _ in $(seq 50); do grep -q ready "$work/proxy.out" 2>/dev/null && break; sleep 0.1; done

# Our settings: through the proxy (the store is keyed by the port, so every
# pass that is compared goes the same way), and direct for the first-pass row.
bash "$root/scripts/account-settings.sh" "$work/proxied" bench "$proxy_port" General/RememberMail=1
bash "$root/scripts/account-settings.sh" "$work/on" bench "$POP3_PORT" General/RememberMail=1
bash "$root/scripts/account-settings.sh" "$work/off" bench "$POP3_PORT" General/RememberMail=0
for way in proxied direct; do
  port=$proxy_port
  [[ $way == direct ]] && port=$POP3_PORT
  cat >"$work/mpoprc-$way" <<EOF
defaults
tls off
auth user
only_new on
keep on
received_header off
account bench
host 127.0.0.1
port $port
user bench
password ${POP3_PASS:-secret}
uidls_file $work/mpop-uidls-$way
delivery mbox $work/mpop.mbox
EOF
  chmod 600 "$work/mpoprc-$way"
done

# Seconds of one run, to the tenth of a millisecond (time's own %e counts
# hundredths, too coarse for a pass of 50 ms); peak memory (KB) into $work/rss.
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
    { cat "$work/stderr" >&2; return 1; }
  end=$(date +%s%N)
  cp "$work/time" "$work/rss"
  awk -v ns=$((end - start)) 'BEGIN {printf "%.4f\n", ns / 1e9}'
}
# Bytes the server sent in the last connection through the proxy.
last_bytes() {
  for _ in $(seq 50); do
    [[ $(wc -l <"$work/totals" 2>/dev/null || echo 0) -gt ${1:-0} ]] && break
    sleep 0.1
  done
  tail -1 "$work/totals" | cut -d' ' -f1
}
connections() { wc -l <"$work/totals" 2>/dev/null || echo 0; }
ours() { XDG_CONFIG_HOME=$work/$1 XDG_STATE_HOME=$work/state-$1 timed "$binary" check; }
theirs() { timed mpop -q -C "$work/mpoprc-${1:-proxied}" bench; }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { printf '%s\n' "$@" | sort -n | head -1; }
ratio() { awk -v o="$1" -v t="$2" 'BEGIN {printf "%.2f", o / t}'; }
ms() { awk -v s="$1" 'BEGIN {printf "%.1f ms", s * 1000}'; }
mb() { awk -v b="$1" 'BEGIN {printf "%.2f MB", b / 1048576}'; }

echo "first passes (filling our stores and mpop's uidls)..."
ours proxied >/dev/null
ours on >/dev/null
theirs proxied >/dev/null
theirs direct >/dev/null

# Repeat pass over the unchanged mailbox: bytes through the proxy, times direct.
n=$(connections); ours proxied >/dev/null; ours_b=$(last_bytes "$n")
n=$(connections); theirs proxied >/dev/null; theirs_b=$(last_bytes "$n")
ours_t=() theirs_t=()
for _ in $(seq "$runs"); do
  ours_t+=("$(ours on)")
  theirs_t+=("$(theirs direct)")
done
ot=$(median "${ours_t[@]}") tt=$(median "${theirs_t[@]}")
of=$(fastest "${ours_t[@]}") tf=$(fastest "${theirs_t[@]}")

# Ten new messages.
bash "$root/scripts/pop3-server.sh" populate "$dir" bench 10 "$size" >/dev/null
n=$(connections); ours proxied >/dev/null; ours_new=$(last_bytes "$n")
n=$(connections); theirs proxied >/dev/null; theirs_new=$(last_bytes "$n")

# First pass of a fresh store vs the option off (direct, no proxy).
fresh_t=() off_t=()
for _ in $(seq "$runs"); do
  rm -rf "$work/state-on"
  fresh_t+=("$(ours on)")
  off_t+=("$(ours off)")
done
ft=$(median "${fresh_t[@]}") oft=$(median "${off_t[@]}")

# Memory with many remembered messages.
bash "$root/scripts/pop3-server.sh" clear "$dir" bench >/dev/null
echo "populating $many messages of about 2048 bytes..."
bash "$root/scripts/pop3-server.sh" populate "$dir" bench "$many" 2048 >/dev/null
rm -rf "$work/state-on"
ours on >/dev/null
first_rss=$(cat "$work/rss")
many_t=$(ours on)
many_rss=$(cat "$work/rss")

echo
echo "mailbox: $messages messages of ~$size bytes; medians of $runs runs"
printf '%-52s %14s %14s %8s\n' "work" "brindlecast" "mpop" "ratio"
printf '%-52s %14s %14s %8s\n' "repeat pass, unchanged: bytes received" "$(mb "$ours_b")" \
  "$(mb "$theirs_b")" "$(ratio "$ours_b" "$theirs_b")"
printf '%-52s %14s %14s %8s\n' "repeat pass, unchanged: wall time" "$(ms "$ot")" "$(ms "$tt")" \
  "$(ratio "$ot" "$tt")"
# mpop sends USER and PASS together; when the second waits for the first's
# acknowledgement (Nagle's rule against the server's delayed ACK) its pass
# stalls about 40 ms, in most runs on some machines and few on others. The
# fastest runs compare the two without that stall.
printf '%-52s %14s %14s %8s\n' "  the same, fastest run of each" "$(ms "$of")" "$(ms "$tf")" \
  "$(ratio "$of" "$tf")"
printf '%-52s %14s %14s %8s\n' "pass after 10 new messages: bytes received" "$(mb "$ours_new")" \
  "$(mb "$theirs_new")" "$(ratio "$ours_new" "$theirs_new")"
printf '%-52s %14s %14s %8s\n' "first pass, fresh store vs option off: wall time" "$(ms "$ft")" \
  "$(ms "$oft") (off)" "$(ratio "$ft" "$oft")"
printf '%-52s %14s\n' "check, $many remembered: peak memory (repeat pass)" "$((many_rss / 1024)) MB"
printf '%-52s %14s\n' "check, $many messages: peak memory (first pass)" "$((first_rss / 1024)) MB"
printf '%-52s %14s\n' "check, $many remembered: wall time (repeat pass)" "$(ms "$many_t")"
echo "store size: $(du -h "$work"/state-on/brindlecast/mail/*.sqlite | cut -f1)"
