#!/usr/bin/env bash
# Fails when the build asks for a tool that scripts/packages.txt does not name, so the one package
# list stays the whole set-up: every package of find_package, program of find_program and library
# of find_library in the CMake files, every compiler a configure preset calls (cc and c++ where it
# names none), libFuzzer where a build links -fsanitize=fuzzer, and every program a configured
# build found (its *_EXECUTABLE cache entries). The README's install line must name the same
# packages, in the list's order.
#
#   scripts/check-tools.sh [ROOT [BUILD_DIR...]]   ROOT defaults to the project; ROOT/build/* by default
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$here}
shift || true
list=$root/scripts/packages.txt
[ -f "$list" ] || { echo "no package list at $list" >&2; exit 1; }

# The names the list answers: every column after the probe.
declare -A named=()
while read -r package need probe rest; do
  case "$package" in '' | '#'*) continue ;; esac
  for name in $rest; do named[$name]=1; done
done <"$list"

declare -A asked=()
ask() { asked[$1]="${asked[$1]:-}${asked[$1]:+, }$2"; }

# The CMake files, without their comments. The project's own package (a host's find_package of
# the installed library) is no tool.
mapfile -t cmake_files < <(cd "$root" && find . -path ./build -prune -o \( -name CMakeLists.txt -o -name '*.cmake' \) -print)
for file in "${cmake_files[@]}"; do
  text=$(sed 's/#.*//' "$root/$file")
  while read -r name; do
    [ -n "$name" ] && [ "$name" != qz7engine ] && ask "$name" "find_package in $file"
  done < <(grep -oP 'find_package\(\s*\K[A-Za-z0-9_]+' <<<"$text" || true)
  while read -r name; do
    [ -n "$name" ] && ask "$name" "find_program/find_library in $file"
  done < <(grep -oP 'find_(program|library)\(\s*[A-Za-z0-9_]+\s+(NAMES\s+)?\K[^\s)]+' <<<"$text" || true)
  grep -q -- '-fsanitize=fuzzer' <<<"$text" && ask libFuzzer "-fsanitize=fuzzer in $file"
done

# The compilers of each configure preset.
presets=$root/CMakePresets.json
if [ -f "$presets" ]; then
  grep -q -- '-fsanitize=fuzzer' "$presets" && ask libFuzzer "-fsanitize=fuzzer in CMakePresets.json"
  mapfile -t compilers < <(cmake -DPRESETS="$presets" -P "$here/cmake/preset_compilers.cmake" 2>&1)
  for line in "${compilers[@]}"; do
    read -r preset cc cxx <<<"$line"
    ask "$(basename "$cc")" "compiler of preset $preset"
    ask "$(basename "$cxx")" "compiler of preset $preset"
  done
fi

# The programs configured builds found.
builds=("$@")
[ ${#builds[@]} -gt 0 ] || mapfile -t builds < <(compgen -G "$root/build/*" || true)
for dir in "${builds[@]}"; do
  [ -f "$dir/CMakeCache.txt" ] || continue
  while IFS='=' read -r key value; do
    [ -f "$value" ] && ask "$(basename "$value")" "${key%%:*} of $(basename "$dir")"
  done < <(grep -E '^[A-Za-z0-9_]+_EXECUTABLE:FILEPATH=' "$dir/CMakeCache.txt" || true)
done

bad=0
readme=$root/README.md
if [ -f "$readme" ]; then
  listed=$(grep -vE '^\s*(#|$)' "$list" | awk '{print $1}' | xargs)
  shown=$(grep -oP '^\s*apt-get update && apt-get install -y --no-install-recommends \K.*' "$readme" | xargs)
  if [ "$listed" != "$shown" ]; then
    echo "the README's install line differs from scripts/packages.txt:" >&2
    echo "  README: $shown" >&2
    echo "  list:   $listed" >&2
    bad=1
  fi
fi
for name in "${!asked[@]}"; do
  if [ -z "${named[$name]:-}" ]; then
    echo "scripts/packages.txt names no package for '$name' (${asked[$name]})" >&2
    bad=1
  fi
done
[ "$bad" -eq 0 ] && echo "every tool the build asks for is in scripts/packages.txt (${#asked[@]} names)"
exit "$bad"
