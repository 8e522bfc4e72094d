#!/usr/bin/env bash
# Builds everything and runs every test: the release build, the address and
# undefined-behaviour sanitizer build, and the thread-sanitizer build on the
# tests labelled "threads", then a bounded libFuzzer run of each file reader.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release asan tsan; do
  echo "=== workflow ${preset}"
  cmake --workflow --preset "${preset}"
done
echo "=== fuzz smoke"
bash scripts/fuzz-smoke.sh
