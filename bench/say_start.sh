#!/usr/bin/env bash
# Start-up of `brindlecast say` against the espeak-ng command line: both render
# the same short announcement into a WAV file (so the whole run is the time to
# the first audio plus a few milliseconds of synthesis), in interleaved runs.
# Prints the median wall and CPU times and the ratios (goal: wall within 1.5x).
#
#   bench/say_start.sh [RUNS] [TEXT]     (default 15 "You have new mail")
#
# Needs a built tree (make build) and espeak-ng (scripts/bootstrap.sh --test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-15}
text=${2:-You have new mail}
binary=${BRINDLECAST:-$root/build/src/app/brindlecast}
work=$(mktemp -d /tmp/bc-say.XXXXXX)
trap 'rm -rf "$work"' EXIT
command -v espeak-ng >/dev/null || { echo "espeak-ng is missing: scripts/bootstrap.sh --test" >&2; exit 1; }

timed() { # NAME COMMAND...: appends "wall cpu" to $work/NAME
  local name=$1
  shift
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" '{printf "%.4f %.3f\n", e - s, $1 + $2}' "$work/time" >>"$work/$name"
}
for _ in $(seq "$runs"); do
  timed ours "$binary" say --wav "$work/ours.wav" "$text"
  timed espeak espeak-ng -w "$work/espeak.wav" "$text"
done
median() { sort -n -k"$2" "$1" | awk -v k="$2" '{a[NR]=$k} END {print a[int((NR+1)/2)]}'; }
for column in 1 2; do
  o=$(median "$work/ours" "$column") e=$(median "$work/espeak" "$column")
  label=$([ "$column" = 1 ] && echo wall || echo cpu)
  printf '%-5s brindlecast say %7.4f s   espeak-ng %7.4f s   ratio %.2f\n' "$label" "$o" "$e" \
    "$(awk -v o="$o" -v e="$e" 'BEGIN {print (e > 0 ? o / e : 0)}')"
done
cmp -s "$work/ours.wav" "$work/espeak.wav" && echo "the two WAV files are identical"
