#!/usr/bin/env bash
# The set-up scripts on a copy of the project's top files: the package check refuses a tool, a
# compiler or a README line that the list does not match, and the installer, run by a user who
# cannot install, names exactly what is missing and fails.
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0

fresh_copy() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree/cmake"
  cp -r "$source_dir/scripts" "$source_dir/CMakePresets.json" "$source_dir/README.md" "$work/tree/"
  cp "$source_dir/cmake/preset_compilers.cmake" "$work/tree/cmake/"
}

# expect CASE STATUS TEXT COMMAND...: the command exits with STATUS (0 or non-zero) and, when TEXT
# is given, prints it.
expect() {
  local name=$1 want=$2 text=$3
  shift 3
  local out status
  out=$("$@" 2>&1)
  status=$?
  if { [ "$want" = 0 ] && [ $status -ne 0 ]; } || { [ "$want" != 0 ] && [ $status -eq 0 ]; } ||
     { [ -n "$text" ] && ! grep -qF -- "$text" <<<"$out"; }; then
    echo "FAILED: $name (exit $status)"
    echo "$out"
    fails=$((fails + 1))
  fi
}

expect "the project's own files pass" 0 "" bash "$source_dir/scripts/check-tools.sh" "$source_dir"

fresh_copy
mkdir -p "$work/tree/extra"
echo 'find_program(FROB_EXECUTABLE NAMES frobnicate) # find_package(Commented)' >"$work/tree/extra/CMakeLists.txt"
expect "an unlisted program" 1 "'frobnicate'" bash "$work/tree/scripts/check-tools.sh" "$work/tree"

fresh_copy
echo 'find_package(Frobnicator REQUIRED)' >"$work/tree/CMakeLists.txt"
expect "an unlisted package" 1 "'Frobnicator'" bash "$work/tree/scripts/check-tools.sh" "$work/tree"

fresh_copy
sed -i 's/"clang++-14"/"clang++-99"/' "$work/tree/CMakePresets.json"
expect "an unlisted compiler" 1 "'clang++-99'" bash "$work/tree/scripts/check-tools.sh" "$work/tree"

fresh_copy
sed -i 's/ bison flex / bison /' "$work/tree/README.md"
expect "a README line without a listed package" 1 "install line differs" \
  bash "$work/tree/scripts/check-tools.sh" "$work/tree"

# The installer as a user who cannot install (root drops to nobody for it).
fresh_copy
echo 'q7-no-such-package build /nonexistent/q7-probe Nothing' >>"$work/tree/scripts/packages.txt"
chmod -R a+rX "$work"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
expect "the installer names what is missing" 1 "missing Debian packages: q7-no-such-package" \
  "${as_user[@]}" bash "$work/tree/scripts/setup.sh" build

[ $fails -eq 0 ] && echo "setup scripts: all cases passed"
exit $fails
