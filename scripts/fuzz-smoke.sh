#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each fuzz target: each file reader first once over its regression inputs (crafted files that
# once crashed the engine), then for a bounded time from a freshly written seed corpus that
# includes them. Exits non-zero when a target finds a crash, a leak or undefined behaviour; the
# input that caused it is left in build/fuzz/artifacts/.
#
#   scripts/fuzz-smoke.sh            160 seconds in all
#   Q7_FUZZ_SECONDS=30 scripts/fuzz-smoke.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The whole run shares one budget: the file readers, which do the most behind each input, get two
# shares each, the text readers one.
budget=${Q7_FUZZ_SECONDS:-160}
file_targets="db_file_fuzz table_file_fuzz"
text_targets="decimal_text_fuzz date_text_fuzz"
share=$((budget / 6))
[ "$share" -ge 1 ] || share=1
build=build/fuzz

cmake --preset fuzz
cmake --build --preset fuzz

corpus=$build/corpus
rm -rf "$corpus"
mkdir -p "$build/artifacts"
"$build/fuzz/q7_fuzz_corpus" "$corpus/seed" "$corpus/regressions"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in $file_targets; do
  echo "== $target: regression inputs"
  "$build/fuzz/$target" -timeout=20 -rss_limit_mb=4096 "$corpus/regressions/$target"/*
  echo "== $target: $((2 * share)) s"
  mkdir -p "$corpus/$target"
  "$build/fuzz/$target" -max_total_time="$((2 * share))" -timeout=20 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus/$target" "$corpus/seed/$target" "$corpus/regressions/$target"
done

# Seeds of the text readers: the first byte picks scale and mode, or formats and the check.
mkdir -p "$corpus/seed/decimal_text_fuzz" "$corpus/seed/date_text_fuzz"
i=0
for text in '\x06\x04-12345.678' '\x2a\x06170141183460469231731687303715884105727' '\x02\x011,234,567.5e-3' \
            '\x00\x00.5E+12' '\x26\x04-0.00000000000000000000000000000000000001'; do
  printf "$text" > "$corpus/seed/decimal_text_fuzz/seed$i"; i=$((i + 1))
done
for text in '\x012024/02/29' '\x8131/12/1999 23:59:59.999' '\x232024-1-2 0:0' '\x4e20240229' '\x159999/12/31 24:00'; do
  printf "$text" > "$corpus/seed/date_text_fuzz/seed$i"; i=$((i + 1))
done
for target in $text_targets; do
  echo "== $target: $share s"
  mkdir -p "$corpus/$target"
  "$build/fuzz/$target" -max_total_time="$share" -timeout=20 -rss_limit_mb=2048 -max_len=256 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus/$target" "$corpus/seed/$target"
done
