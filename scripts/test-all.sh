#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh test), then builds everything and runs every test:
# the check that the package list names every tool the build asks for, the release build (g++),
# the clang build with the address and undefined-behaviour sanitizers and warnings as errors (it
# builds the fuzz targets too) and the naming check over its compile database, the
# thread-sanitizer build of the tests labelled "threads", the source-format check, and a bounded
# libFuzzer run of each reader of outside input.
#
# Every stage runs even when an earlier one failed, and the run always ends with one summary line,
# "all: N passed, N failed, N skipped". A test counts once per build it ran in (the same test in
# release and asan counts twice); a build or check that fails before it runs tests counts as one
# failure. A test that skipped itself (GTEST_SKIP: the tests that need root when not run as root,
# those a sanitizer or a single worker rules out) counts as skipped, not passed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed=0
failed=0
skipped=0
detail=()
times=()
started=$SECONDS

# Records how long the stage that just ended took (whole seconds, wall clock).
stage_time() {
  times+=("$1 $((SECONDS - started)) s")
  started=$SECONDS
}

# Adds a CTest run's counts from its "... tests failed out of N" line. CTest counts a skipped test
# among the N and not as failed; it names each in its "The following tests did not run:" list with
# "(Skipped)" (a disabled test is listed there too, "(Disabled)", but is not among the N).
count_ctest() {
  local stage=$1 status=$2
  local line total bad skip
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    detail+=("${stage}: did not reach its tests")
    return
  fi
  total=$(grep -oE 'out of [0-9]+' <<<"$line" | grep -oE '[0-9]+')
  bad=$(grep -oE '[0-9]+ tests? failed' <<<"$line" | grep -oE '^[0-9]+')
  skip=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$')
  passed=$((passed + total - bad - skip))
  failed=$((failed + bad))
  skipped=$((skipped + skip))
  [ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || failed=$((failed + 1))
  detail+=("${stage}: $((total - bad - skip)) of ${total} (${skip} skipped)")
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
  stage_time "$preset"
  if [ "$preset" = asan ]; then
    # The clang build's compile database drives the naming check.
    echo "=== naming"
    bash scripts/check-naming.sh build/asan
    count_check naming $?
    stage_time naming
  fi
done

# After the builds, so that the programs they found are checked too.
echo "=== package list"
bash scripts/check-tools.sh
count_check tools $?
stage_time tools

echo "=== source format"
bash scripts/check-format.sh
count_check format $?
stage_time format

echo "=== fuzz smoke"
if bash scripts/fuzz-smoke.sh; then
  count_check fuzz 0
else
  count_check fuzz 1
fi
stage_time fuzz

echo "=== per stage: ${detail[*]}"
echo "=== stage times: ${times[*]}"
echo "(each test counts once per build it ran in)"
echo "all: ${passed} passed, ${failed} failed, ${skipped} skipped"
[ "$failed" -eq 0 ]
