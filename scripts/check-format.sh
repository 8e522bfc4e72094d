#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format 14 makes of it (.clang-format
# at the top). `scripts/check-format.sh --fix` rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  "$fmt" -i "${files[@]}"
else
  "$fmt" --dry-run --Werror "${files[@]}"
fi
