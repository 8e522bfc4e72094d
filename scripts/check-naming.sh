#!/usr/bin/env bash
# Fails when a parameter or local of the library folders breaks the naming rule of CONTRIBUTING.md:
# clang-tidy 14's readability-identifier-naming check with the project's .clang-tidy, over the
# sources of a configured build's compile database (the asan build's by default, which the test
# command configures with CMAKE_EXPORT_COMPILE_COMMANDS). Headers of the library folders are
# checked through the sources that include them. Tests, benchmarks and fuzz targets are not checked.
#
#   scripts/check-naming.sh [BUILD_DIR [JOBS]]   BUILD_DIR defaults to build/asan, JOBS to nproc
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
jobs=${2:-$(nproc)}
# The version the package list installs: another one may read the rule differently.
tidy=$(command -v clang-tidy-14) || {
  echo "clang-tidy-14 is missing (scripts/setup.sh test installs it)" >&2
  exit 1
}
[ -f "$build/compile_commands.json" ] || {
  echo "no compile database in $build (configure it with CMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
  exit 1
}
folders='foundation|values|kernels|database|import|calc|join|summary|sharing|api'
mapfile -t sources < <(git ls-files -- '*.cpp' | grep -E "^($folders)/")
[ ${#sources[@]} -gt 0 ] || { echo "no library sources found" >&2; exit 1; }
# Every warning of the check is an error (.clang-tidy); xargs fails when any run does.
printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 4 "$tidy" -p "$build" --quiet 2> >(grep -v 'warnings\? generated\.$' >&2)
echo "naming: ${#sources[@]} sources follow the rule"
