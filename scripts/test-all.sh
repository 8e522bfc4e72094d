#!/usr/bin/env bash
# Builds everything and runs every test: the release build, the address and undefined-behaviour
# sanitizer build, the thread-sanitizer build on the tests labelled "threads", a clang build of the
# library and tests with warnings as errors, the source-format check, and a bounded libFuzzer run
# of each reader of outside input.
#
# Every stage runs even when an earlier one failed, and the run always ends with one summary line.
# A test counts once per build it ran in (the same test in release and asan counts twice); a build
# or check that fails before it runs tests counts as one failure.
set -uo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
detail=()

# Adds a CTest run's counts from its "... tests failed out of N" line.
count_ctest() {
  local stage=$1 status=$2
  local line total bad
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    detail+=("${stage}: did not reach its tests")
    return
  fi
  total=$(grep -oE 'out of [0-9]+' <<<"$line" | grep -oE '[0-9]+')
  bad=$(grep -oE '[0-9]+ tests? failed' <<<"$line" | grep -oE '^[0-9]+')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
  detail+=("${stage}: $((total - bad)) of ${total}")
}

# Counts a stage that is a single check: it passes or fails as a whole.
count_check() {
  local stage=$1 status=$2
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    detail+=("${stage}: passed")
  else
    failed=$((failed + 1))
    detail+=("${stage}: FAILED")
  fi
}

for preset in release asan tsan; do
  echo "=== workflow ${preset}"
  cmake --workflow --preset "${preset}" 2>&1 | tee "$log"
  count_ctest "$preset" "${PIPESTATUS[0]}"
done

echo "=== clang build, warnings as errors"
{ cmake --preset clang && cmake --build --preset clang; } >"$log" 2>&1
status=$?
grep -E '(error|warning):|FAILED:' "$log" | head -n 40
tail -n 1 "$log"
count_check clang "$status"

echo "=== source format"
bash scripts/check-format.sh
count_check format $?

echo "=== fuzz smoke"
if bash scripts/fuzz-smoke.sh; then
  count_check fuzz 0
else
  count_check fuzz 1
fi

echo "=== per stage: ${detail[*]}"
echo "(each test counts once per build it ran in)"
echo "all: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
