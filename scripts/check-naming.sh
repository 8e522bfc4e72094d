#!/usr/bin/env bash
# Fails when a parameter or local of the library folders breaks the naming rule of CONTRIBUTING.md:
# clang-tidy 14's readability-identifier-naming check with the project's .clang-tidy, over the
# sources of a configured build's compile database (the asan build's by default, which the test
# command configures with CMAKE_EXPORT_COMPILE_COMMANDS). Headers of the library folders are
# checked through the sources that include them. Tests, benchmarks and fuzz targets are not checked.
#
# A parameter the interface names keeps its given name in the signature that gives it, and there
# only: clang-tidy cannot scope an ignore list by function, so each of its parameter findings is
# taken back to the function whose parameter list holds it (the name before the '(' that opens
# the list) and passes when that pair is in scripts/naming-given.txt.
#
#   scripts/check-naming.sh [BUILD_DIR [JOBS]]   BUILD_DIR defaults to build/asan, JOBS to nproc
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
jobs=${2:-$(nproc)}
given=scripts/naming-given.txt
# The version the package list installs: another one may read the rule differently.
tidy=$(command -v clang-tidy-14) || {
  echo "clang-tidy-14 is missing (scripts/setup.sh test installs it)" >&2
  exit 1
}
[ -f "$build/compile_commands.json" ] || {
  echo "no compile database in $build (configure it with CMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
  exit 1
}
[ -f "$given" ] || { echo "no list of given parameter names at $given" >&2; exit 1; }
folders='foundation|values|kernels|database|import|calc|join|summary|sharing|api'
mapfile -t sources < <(git ls-files -- '*.cpp' | grep -E "^($folders)/")
[ ${#sources[@]} -gt 0 ] || { echo "no library sources found" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each run of clang-tidy writes its own file, so parallel runs never mix their lines; a run that
# fails leaves its status next to its output.
printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 4 bash -c '
    out=$(mktemp "$0/run.XXXXXX")
    "$1" -p "$2" --quiet "${@:3}" >"$out" 2>&1 || echo $? >"$out.failed"' "$work" "$tidy" "$build"

# Sort the findings: parameter names go to the given list, anything else fails.
diag='^(/[^:]+):([0-9]+):([0-9]+): (error|warning): '
param="invalid case style for parameter '([^']+)'"
bad=0
: >"$work/params"
for out in "$work"/run.*; do
  [ "${out%.failed}" = "$out" ] || continue
  found=0
  while IFS= read -r line; do
    if [[ $line =~ $diag$param ]]; then
      printf '%s %s %s %s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}" \
        "${BASH_REMATCH[5]}" >>"$work/params"
      found=1
    elif [[ $line =~ $diag ]]; then
      echo "$line" >&2
      bad=1
      found=1
    fi
  done <"$out"
  # A run that failed without a finding (a crash, a missing file) shows its whole output.
  if [ -f "$out.failed" ] && [ "$found" -eq 0 ]; then
    grep -v 'warnings\? \(generated\|treated as errors\)\.$' "$out" >&2 || true
    echo "naming: clang-tidy failed (status $(cat "$out.failed"))" >&2
    bad=1
  fi
done

# Each parameter finding, taken to the function whose parameter list holds it (the name before
# the unmatched '(' that opens the list; comments are skipped, a declarator group such as
# int (*sets)[510] is passed over). Columns are bytes, as clang counts them.
sort -u "$work/params" | sort -k1,1 -k2,2n -k3,3n |
  LC_ALL=C awk '
    function load(file,   n, text) {
      delete src
      n = 0
      while ((getline text < file) > 0) {
        gsub(/\/\*([^*]|\*[^\/])*\*\//, " ", text)
        sub(/\/\/.*/, "", text)
        src[++n] = text
      }
      close(file)
    }
    function owner(l, c,   depth, ch, name, angle) {
      depth = 0
      c--
      while (l > 0) {
        while (c > 0) {
          ch = substr(src[l], c, 1)
          if (ch == ")") depth++
          else if (ch == "(") {
            if (depth == 0 && substr(src[l], c + 1) !~ /^[ \t]*[*&]/) break
            if (depth > 0) depth--
          }
          c--
        }
        if (c > 0) break
        l--
        c = length(src[l])
      }
      if (l == 0) return "?"
      c--
      # The name, over blanks and one template argument list.
      angle = 0
      while (l > 0) {
        while (c > 0) {
          ch = substr(src[l], c, 1)
          if (angle > 0) {
            if (ch == "<") angle--
            else if (ch == ">") angle++
          } else if (ch == ">" && name == "") angle = 1
          else if (ch ~ /[A-Za-z0-9_]/) name = ch name
          else if (ch != " " && ch != "\t" || name != "") return name == "" ? "?" : name
          c--
        }
        if (name != "") return name
        l--
        c = length(src[l])
      }
      return "?"
    }
    {
      if ($1 != loaded) { load($1); loaded = $1 }
      print owner($2 + 0, $3 + 0), $4, $1 ":" $2 ":" $3
    }' >"$work/owners"

# The pairs of the list, then every finding: a pair the list holds passes.
sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$given" | awk '{ print $1, $2 }' | sort -u >"$work/given"
while read -r function parameter where; do
  if ! grep -qxF "$function $parameter" "$work/given"; then
    echo "$where: parameter '$parameter' of $function is not snake_case, and $given does not give it to $function" >&2
    bad=1
  fi
done <"$work/owners"
[ "$bad" -eq 0 ] || exit 1
# Pairs no signature holds any more leave the list (a note only, so that a branch renaming a
# parameter and one pruning the list may land in either order).
awk '{ print $1, $2 }' "$work/owners" | sort -u | comm -23 "$work/given" - |
  while read -r pair; do
    echo "naming: $given gives '$pair', which no signature holds any more" >&2
  done
echo "naming: ${#sources[@]} sources follow the rule ($(wc -l <"$work/given") given parameter names)"
