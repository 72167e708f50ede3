#!/usr/bin/env bash
# Races `brindlecast check` against three other POP3 clients over one mailbox on
# a private Dovecot (127.0.0.1), plain and TLS, in interleaved rounds (each round
# runs every client once, so load on the machine falls on all alike):
#   minimal     bench/minimal_pop3_client.py: one command at a time
#   pipelining  bench/pipelining_pop3_client.py: 64 RETR in flight, block reads
#   mpop        Debian's mpop (pipelining when the server offers it), to /dev/null
# Prints the median wall time of each, the ratio ours / theirs and the peak
# memory of `check`; then the median CPU time (user + system) of each.
#
#   bench/pop3_race.sh [MESSAGES] [SIZE] [ROUNDS]     (default 10000 10240 5)
#
# BENCH_CHECK_LINES=1 makes the pass read every body line as content (default 0,
# the program's default). BENCH_DIR keeps the Dovecot instance (default
# /tmp/bc-race-pop3); a mailbox already holding MESSAGES messages of SIZE is
# reused, as populating 50,000 messages takes minutes. POP3_PORT / POP3S_PORT
# default to 48110 / 48995 (or the next free pair). BENCH_KEEP=1 leaves Dovecot
# running afterwards.
#
# Needs a built tree (make build), Dovecot and mpop (scripts/bootstrap.sh --test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
messages=${1:-10000}
size=${2:-10240}
rounds=${3:-5}
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
dir=${BENCH_DIR:-/tmp/bc-race-pop3}
server=$root/scripts/pop3-server.sh
source "$root/scripts/lib/pop3-reset.sh"
work=$(mktemp -d /tmp/bc-race.XXXXXX)
cleanup() {
  [ "${BENCH_KEEP:-0}" = 1 ] || bash "$server" stop "$dir" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

[ -x "$binary" ] || { echo "build first: make build" >&2; exit 1; }
command -v mpop >/dev/null || { echo "mpop is missing: scripts/bootstrap.sh --test" >&2; exit 1; }
if bash "$server" status "$dir" >/dev/null 2>&1; then
  ports=$(sed -n 's/^ *port = //p' "$dir/dovecot.conf" | head -2 | tr '\n' ' ')
else
  ports=$(bash "$server" freeports "${POP3_PORT:-48110}" "${POP3S_PORT:-48995}")
fi
read -r POP3_PORT POP3S_PORT <<<"$ports"
export POP3_PORT POP3S_PORT
stamp=$dir/race-mailbox
if [ "$(cat "$stamp" 2>/dev/null)" != "$messages $size" ]; then
  rm -f "$stamp"
  reset_pop3_server "$dir" bench
  echo "populating $messages messages of about $size bytes..."
  bash "$server" populate "$dir" bench "$messages" "$size" >/dev/null
  echo "$messages $size" >"$stamp"
else
  bash "$server" start "$dir" >/dev/null 2>&1 || true
fi
cafile=$dir/tls/cert.pem

# The program's settings: one account, plain or TLS from the first byte.
config() { # NAME PORT SECURITY
  bash "$root/scripts/account-settings.sh" "$work/$1" bench "$2" "Security=$3" "CAFile=$cafile" \
    "General/CheckLines=${BENCH_CHECK_LINES:-0}" General/ComboLines=All
}
config plain "$POP3_PORT" 0
config tls "$POP3S_PORT" 1

mpoprc() { # NAME PORT TLS
  cat >"$work/mpoprc-$1" <<RC
account bench
host 127.0.0.1
port $2
tls $3
tls_starttls off
tls_trust_file $cafile
auth user
user bench
password secret
keep on
only_new off
uidls_file $work/uidls-$1
delivery mbox /dev/null
RC
  chmod 600 "$work/mpoprc-$1"
}
mpoprc plain "$POP3_PORT" off
mpoprc tls "$POP3S_PORT" on

# One timed run: appends "seconds peak-KB cpu-seconds" to $work/CLIENT-MODE.
timed() { # CLIENT MODE COMMAND...
  local out=$work/$1-$2
  shift 2
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null ||
    { echo "failed: $*" >&2; exit 1; }
  awk '{print $1, $2, $3 + $4}' "$work/time" >>"$out"
}

clients=(check minimal pipelining mpop)
for round in $(seq "$rounds"); do
  echo "round $round of $rounds..."
  for mode in plain tls; do
    port=$POP3_PORT tls=()
    [ "$mode" = tls ] && port=$POP3S_PORT tls=(--tls "$cafile")
    timed check "$mode" env XDG_CONFIG_HOME="$work/$mode" XDG_STATE_HOME="$work/state" \
      "$binary" check
    timed minimal "$mode" python3 "$root/bench/minimal_pop3_client.py" "${tls[@]}" \
      127.0.0.1 "$port" bench secret
    timed pipelining "$mode" python3 "$root/bench/pipelining_pop3_client.py" "${tls[@]}" \
      127.0.0.1 "$port" bench secret
    timed mpop "$mode" mpop -C "$work/mpoprc-$mode" -q bench
  done
done

median() { # FILE [COLUMN]
  awk -v k="${2:-1}" '{print $k}' "$1" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
peak() { awk '$2 > m {m = $2} END {printf "%d", m / 1024}' "$1"; }
echo
echo "$messages messages of ~$size bytes, content lines ${BENCH_CHECK_LINES:-0}," \
  "median of $rounds interleaved rounds (s; ratio = check / peer)"
printf '%-6s %10s %10s %7s %10s %7s %10s %7s %12s\n' mode check minimal ratio \
  pipelining ratio mpop ratio "check peak"
for mode in plain tls; do
  declare -A m=()
  for c in "${clients[@]}"; do m[$c]=$(median "$work/$c-$mode"); done
  ratio() { awk -v o="${m[check]}" -v t="$1" 'BEGIN {printf "%.2f", o / t}'; }
  printf '%-6s %10s %10s %7s %10s %7s %10s %7s %9s MB\n' "$mode" "${m[check]}" \
    "${m[minimal]}" "$(ratio "${m[minimal]}")" "${m[pipelining]}" "$(ratio "${m[pipelining]}")" \
    "${m[mpop]}" "$(ratio "${m[mpop]}")" "$(peak "$work/check-$mode")"
done
echo
echo "CPU time (user + system, s; ratio = check / peer)"
printf '%-6s %10s %10s %7s %10s %7s %10s %7s\n' mode check minimal ratio pipelining ratio mpop ratio
for mode in plain tls; do
  declare -A cpu=()
  for client in "${clients[@]}"; do cpu[$client]=$(median "$work/$client-$mode" 3); done
  cpu_ratio() { awk -v o="${cpu[check]}" -v t="$1" 'BEGIN {printf "%.2f", (t > 0 ? o / t : 0)}'; }
  printf '%-6s %10s %10s %7s %10s %7s %10s %7s\n' "$mode" "${cpu[check]}" "${cpu[minimal]}" \
    "$(cpu_ratio "${cpu[minimal]}")" "${cpu[pipelining]}" "$(cpu_ratio "${cpu[pipelining]}")" \
    "${cpu[mpop]}" "$(cpu_ratio "${cpu[mpop]}")"
done
