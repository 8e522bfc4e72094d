#!/usr/bin/env bash
# Builds the fuzz targets of the `asan` preset (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer; after the test command's asan stage there is nothing left to build)
# and runs each of them: each file reader first once over its regression inputs (crafted files
# that once crashed the engine), then for a bounded time from a freshly written seed corpus that
# includes them. Exits non-zero when a target finds a crash, a leak or undefined behaviour; the
# input that caused it is left in build/asan/artifacts/.
#
#   scripts/fuzz-smoke.sh            160 seconds in all
#   Q7_FUZZ_SECONDS=30 scripts/fuzz-smoke.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The whole run shares one budget: the file and image readers and the text import, which do the
# most behind each input, get two shares each, the text readers, the catalog reader, the checked
# import's cell reader and the query language one.
budget=${Q7_FUZZ_SECONDS:-160}
file_targets="db_file_fuzz table_file_fuzz image_fuzz"
text_targets="decimal_text_fuzz date_text_fuzz"
share=$((budget / 13))
[ "$share" -ge 1 ] || share=1
build=build/asan

cmake --preset asan >/dev/null
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

# Seeds of the import: catalogs of each format and directive; sources whose first byte picks format,
# error mode, road and window size (see fuzz/text_import_fuzz.cpp).
mkdir -p "$corpus/seed/catalog_fuzz" "$corpus/seed/text_import_fuzz"
i=0
for text in '//CSV\nI\t10\tid\nF\t8\tx\nD\t10\td\tD1\nA\t9\ts\nN\t12\ta\t2\tROUNDHALFUP\nT\t5\tt\tT1\nE\t19\te\n' \
            '//TAB\n//CUTTOP\n//ERROR\tSKIPLINE\ni\t4\tid\na\t9\ts\tskip\nf\t8\tx\n' \
            '//FIX\n//ERROR\tCONTINUE\nI\t3\tid\nA\t4095\ts\nD\t10\td\nN\t6\ta\t0\tROUNDDOWN\n' \
            '//USR\t;\t|\t,\n//UTF-8\n//ERROR\tNONE\nI\t1\ta\nA\t1\tb\nF\t1\tc\n'; do
  printf "$text" > "$corpus/seed/catalog_fuzz/seed$i"; i=$((i + 1))
done
for text in '\x001,2.5,2024/01/02,"a,b",x,1.25,10:00,2024/01/02 10:00\n2,,,,,,,\n' \
            '\x451\t2\t2024-02-29\tq\tz\t-3\t23:59\t1999/12/31 0:00\r\n\t\t\t\t\t\t\t' \
            '\x0a   1   2.52024/01/02abcde zz   1.2510:002024/01/02 10:00:00\n' \
            '\x7b1;2|2024/1/2;"x""y";q;5;1:1;\n"open' \
            '\x2c1,2,3\n"a\nb",1,2,3,4,5,6,7\n4,5,6,7,8,9,10,11,12\n' \
            '\x081,2.5,,"a\nb\r\n""c""",x,1,,\n"2\n",,,"\n\n",,,,\n3,1,2024/1/2,"q"x\n",,,,,\n' \
            '\x495\t1\t\t"tab\there\nnext"\t\t\t\t\r\n6\t"\n"\t\t\t\t\t\t\n'; do
  printf "$text" > "$corpus/seed/text_import_fuzz/seed$i"; i=$((i + 1))
done
# Seeds of the checked import: the first byte picks the separators (CSV, tab, ';' and '|', CSV
# after a skipped top line); quoted cells, ^Z, surplus and missing cells, unreadable values.
mkdir -p "$corpus/seed/cell_reader_fuzz"
for text in '\x001,2.5,2024/01/02,"a,""b""",x,1.25,10:00,2024/01/02 10:00,3\n"1,234",,,,,,,,,,extra\n' \
            '\x011\t2\t2024-02-29\t"q\r\nz"\tz\t-3\t23:59\t1999/12/31 0:00\r\n7\n\x1a' \
            '\x02x;1e3;2000/2/30;s|t;12.345;ab;1:1;noon;\n;;\n' \
            '\x03id,x,d\n5,"open' \
            '\x00a"b,1\n'; do
  printf "$text" > "$corpus/seed/cell_reader_fuzz/seed$i"; i=$((i + 1))
done
for target in catalog_fuzz text_import_fuzz cell_reader_fuzz; do
  seconds=$share
  [ "$target" = text_import_fuzz ] && seconds=$((2 * share))
  echo "== $target: $seconds s"
  mkdir -p "$corpus/$target"
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus/$target" "$corpus/seed/$target"
done

# Seeds of the query language: conditions on the columns of fuzz/text_query_fuzz.cpp's table (i, d,
# s, dt, tm, dtm, n), every operator and literal form, and a few refusals.
mkdir -p "$corpus/seed/text_query_fuzz"
i=0
for text in "i >= -2 AND d < 0.5 OR s = 'Oslo'" "NOT (i = 1 AND n BETWEEN -1.5 AND 2.25)" \
            "s LEFT MATCH 'a' OR s NOT MIDDLE MATCH 'it''s' AND s RIGHT MATCH 'b'" \
            "dt WITHIN '2023/3/1' AND '2023/3/20' AND tm >= '12:00' AND dtm <> '2023/3/3 5:00'" \
            "t.i IS NOT NULL AND \"d\" IS NULL OR NOT NOT d != 1e-1" "i = 1.5" "s > 1" "i == (1" \
            "left.right = 'x'"; do
  printf '%s' "$text" > "$corpus/seed/text_query_fuzz/seed$i"; i=$((i + 1))
done
echo "== text_query_fuzz: $share s"
mkdir -p "$corpus/text_query_fuzz"
"$build/fuzz/text_query_fuzz" -max_total_time="$share" -timeout=20 -rss_limit_mb=2048 -max_len=512 \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/text_query_fuzz-" \
  "$corpus/text_query_fuzz" "$corpus/seed/text_query_fuzz"
