#!/usr/bin/env bash
# Start-up of `brindlecast say` against the espeak-ng command line, same text,
# in interleaved runs (ours, theirs, ours, ...), medians printed with ratios
# (goals: aloud, first audio within 1.3x; into a file, 1.2x the time and 2x
# the peak memory).
#
#   silent  both render into a WAV file (--wav FILE, -w FILE): the whole run is
#           the time to the first audio plus a few milliseconds of synthesis.
#   aloud   both speak to a private PulseAudio null sink; bench/first_audio.py
#           records the sink's monitor and times the first sample above the
#           noise floor from the command's start. The recording asks for 5 ms
#           latency, which keeps the sink running at that latency for every
#           client alike (unrecorded, a null sink holds each new stream about
#           1.5 s before playing it); the recording's own delay is in both
#           figures. Skipped when pulseaudio or parec is missing.
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
trap 'bash "$root/scripts/pulse-sink.sh" stop "$work/pulse" 2>/dev/null || true; rm -rf "$work"' EXIT
command -v espeak-ng >/dev/null || { echo "espeak-ng is missing: scripts/bootstrap.sh --test" >&2; exit 1; }
[ -x "$binary" ] || { echo "build first: make build" >&2; exit 1; }

timed() { # NAME COMMAND...: appends "wall cpu" to $work/NAME
  local name=$1
  shift
  # The shell's `times` (children's user and system time, to the millisecond),
  # taken by the shell itself right before and after the command.
  times >"$work/times.0"
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local end=$EPOCHREALTIME
  times >"$work/times.1"
  awk -v s="$start" -v e="$end" 'FNR == 2 {
      split($1, u, /[ms]/); split($2, k, /[ms]/)
      c[FILENAME] = u[1] * 60 + u[2] + k[1] * 60 + k[2]
    }
    END {printf "%.4f %.4f\n", e - s, c[ARGV[2]] - c[ARGV[1]]}' "$work/times.0" "$work/times.1" \
    >>"$work/$name"
}
median() { sort -n -k"$2" "$1" | awk -v k="$2" '{a[NR]=$k} END {print a[int((NR+1)/2)]}'; }
report() { # LABEL OURS_FILE THEIRS_FILE COLUMN
  local o e
  o=$(median "$2" "$4") e=$(median "$3" "$4")
  printf '%-28s brindlecast say %7.4f s   espeak-ng %7.4f s   ratio %.2f\n' "$1" "$o" "$e" \
    "$(awk -v o="$o" -v e="$e" 'BEGIN {print (e > 0 ? o / e : 0)}')"
}

for _ in $(seq "$runs"); do
  timed ours "$binary" say --wav "$work/ours.wav" "$text"
  timed espeak espeak-ng -w "$work/espeak.wav" "$text"
done
report "silent (--wav), wall" "$work/ours" "$work/espeak" 1
report "silent (--wav), cpu" "$work/ours" "$work/espeak" 2
# Peak resident memory (goal: at most 2x), from runs of their own.
for _ in 1 2 3; do
  /usr/bin/time -f %M -a -o "$work/ours-rss" "$binary" say --wav "$work/ours.wav" "$text" >/dev/null 2>&1
  /usr/bin/time -f %M -a -o "$work/espeak-rss" espeak-ng -w "$work/espeak.wav" "$text" >/dev/null 2>&1
done
o=$(median "$work/ours-rss" 1) e=$(median "$work/espeak-rss" 1)
printf '%-28s brindlecast say %7.1f MB  espeak-ng %7.1f MB  ratio %.2f\n' "silent (--wav), peak RSS" \
  "$(awk -v k="$o" 'BEGIN {print k / 1024}')" "$(awk -v k="$e" 'BEGIN {print k / 1024}')" \
  "$(awk -v o="$o" -v e="$e" 'BEGIN {print (e > 0 ? o / e : 0)}')"
cmp -s "$work/ours.wav" "$work/espeak.wav" && echo "the two WAV files are identical"

if ! command -v pulseaudio >/dev/null || ! command -v parec >/dev/null; then
  echo "aloud: skipped (pulseaudio and parec are needed: scripts/bootstrap.sh --test)"
  exit 0
fi
PULSE_SERVER=$(bash "$root/scripts/pulse-sink.sh" start "$work/pulse" | sed -n 's/^PULSE_SERVER=//p')
export PULSE_SERVER
first_audio() { # NAME COMMAND...: appends "first-audio whole-run" to $work/NAME
  local name=$1
  shift
  python3 "$root/bench/first_audio.py" test_null.monitor "$@" >>"$work/$name" ||
    { echo "failed: $*" >&2; exit 1; }
}
for _ in $(seq "$runs"); do
  first_audio ours-aloud "$binary" say "$text"
  first_audio espeak-aloud espeak-ng "$text"
done
report "aloud (null sink), first" "$work/ours-aloud" "$work/espeak-aloud" 1
report "aloud (null sink), whole" "$work/ours-aloud" "$work/espeak-aloud" 2
