#!/usr/bin/env bash
# Peak memory and time of `brindlecast check` against a server that sends one
# large, endless or dripping message (bench/fault_pop3_server.py), measured with
# /usr/bin/time -v. Prints one line per case.
#
#   bench/fault_memory_bench.sh [CASE...]
#
# CASE is MODE:MEGABYTES:CHECKLINES, e.g. big:50:0 (the default list covers the
# 50 MB message with content lines off and on, a 100 MB single-line message, an
# endless reply, a dripping one, and 24 messages of 50 MB whose sizes LIST does
# not tell, the first one spam). A drip takes about a minute by design.
#
# Needs a built tree (make build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
[ -x "$binary" ] || { echo "build first: make build" >&2; exit 1; }
cases=("$@")
if ((${#cases[@]} == 0)); then
  cases=(big:50:0 big:50:1 oneline:100:1 endless:1:0 endless:4000:0 drip:1:0 many:50:0)
fi
work=$(mktemp -d /tmp/bc-fault-bench.XXXXXX)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

printf '%-16s %10s %10s %8s  %s\n' case "peak MB" seconds exit outcome
for item in "${cases[@]}"; do
  IFS=: read -r mode megabytes lines <<<"$item"
  rm -f "$work/port"
  python3 "$root/bench/fault_pop3_server.py" "$mode" $((megabytes << 20)) "$work/port" &
  server=$!
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  bash "$root/scripts/account-settings.sh" "$work/config" bench "$(cat "$work/port")" \
    "General/CheckLines=$lines" General/ComboLines=All
  status=0
  XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
    /usr/bin/time -v -o "$work/time" "$binary" check --json >"$work/out" 2>/dev/null || status=$?
  kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; server=
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")
  outcome=$(python3 -c 'import json,sys; a=json.load(open(sys.argv[1]))["accounts"][0]; print(a["status"], a.get("deletedAsSpam", "?"), "deleted -", a.get("error", "")[:80])' "$work/out" 2>/dev/null || echo "?")
  printf '%-16s %10d %10s %8s  %s\n' "$item" $((rss / 1024)) "$elapsed" "$status" "$outcome"
done
