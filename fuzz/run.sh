#!/usr/bin/env bash
# Runs every fuzz target, one after another, for the given number of seconds each.
#   fuzz/run.sh SECONDS [BUILD_DIR [TARGET...]]
# BUILD_DIR (default build-fuzz) is configured with clang and -DBC_FUZZ=ON when
# missing. Corpora grow in BUILD_DIR/fuzz-corpus; inputs that break a target are
# written to BUILD_DIR/fuzz-artifacts and the script exits non-zero. Naming
# targets runs only those.
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR [TARGET...]]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
targets=(mime_decode_fuzz regex_fuzz pop3_fuzz imap_fuzz field_order_fuzz wav_fuzz)
if (($# > 2)); then
  targets=("${@:3}")
fi

if [[ ! -f $build/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DBC_FUZZ=ON \
    -DBC_BUILD_TESTS=OFF -DBC_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
ninja -C "$build" -j2 "${targets[@]}"

mkdir -p "$build/fuzz-artifacts"
status=0
for target in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$target
  mkdir -p "$corpus"
  case $target in
    mime_decode_fuzz)
      cp -n "$root"/tests/data/mime/*.eml "$corpus"/ 2>/dev/null || true ;;
    regex_fuzz)
      printf 'Version=\0Version=2.10\nDate=2004-09-01\n\0Version=%%s\n' > "$corpus/seed-version"
      printf '(a|b)*[0-9]+$\0xxab12\0%%d' > "$corpus/seed-groups" ;;
    # The saved regression inputs are good seeds: whole sessions, canonical
    # order texts, well-formed WAV files.
    imap_fuzz) cp -n "$root"/tests/data/imap/fuzz/* "$corpus"/ 2>/dev/null || true ;;
    pop3_fuzz) cp -n "$root"/tests/data/pop3/fuzz/* "$corpus"/ 2>/dev/null || true ;;
    field_order_fuzz) cp -n "$root"/tests/data/order/fuzz/* "$corpus"/ 2>/dev/null || true ;;
    wav_fuzz)
      cp -n "$root"/tests/data/wav/fuzz/* "$root"/tests/data/speech/*.wav "$corpus"/ 2>/dev/null ||
        true ;;
  esac
  echo "== $target for ${seconds}s"
  if ! "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-artifacts/$target-" 2>"$build/fuzz-artifacts/$target.log"; then
    status=1
    echo "$target FAILED: see $build/fuzz-artifacts/$target.log"
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs" \
    "$build/fuzz-artifacts/$target.log" || true
done
exit $status
