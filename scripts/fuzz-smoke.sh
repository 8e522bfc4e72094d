#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each file-reader fuzz target, first once over its regression inputs (crafted files that
# once crashed the engine), then for a bounded time from a freshly written seed corpus that
# includes them. Exits non-zero when a target finds a crash, a leak or undefined behaviour; the
# input that caused it is left in build/fuzz/artifacts/.
#
#   scripts/fuzz-smoke.sh            60 seconds per target
#   Q7_FUZZ_SECONDS=10 scripts/fuzz-smoke.sh
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${Q7_FUZZ_SECONDS:-60}
build=build/fuzz

cmake --preset fuzz
cmake --build --preset fuzz

corpus=$build/corpus
rm -rf "$corpus"
mkdir -p "$build/artifacts"
"$build/fuzz/q7_fuzz_corpus" "$corpus/seed" "$corpus/regressions"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in db_file_fuzz table_file_fuzz; do
  echo "== $target: regression inputs"
  "$build/fuzz/$target" -timeout=20 -rss_limit_mb=4096 "$corpus/regressions/$target"/*
  echo "== $target: $seconds s"
  mkdir -p "$corpus/$target"
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus/$target" "$corpus/seed/$target" "$corpus/regressions/$target"
done
