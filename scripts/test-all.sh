#!/usr/bin/env bash
# Builds everything and runs every test: the release build, the address and
# undefined-behaviour sanitizer build, and the thread-sanitizer build on the
# tests labelled "threads", then a bounded libFuzzer run of each file reader.
# Ends with one summary line counting the tests that ran.
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
total=0
for preset in release asan tsan; do
  echo "=== workflow ${preset}"
  cmake --workflow --preset "${preset}" 2>&1 | tee "$log"
  ran=$(grep -oE 'tests failed out of [0-9]+' "$log" | tail -n 1 | grep -oE '[0-9]+$')
  total=$((total + ran))
done
echo "=== fuzz smoke"
bash scripts/fuzz-smoke.sh
total=$((total + 2))
echo "all: ${total} passed, 0 failed"
