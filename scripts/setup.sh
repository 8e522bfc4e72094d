#!/usr/bin/env bash
# Makes sure the Debian packages of scripts/packages.txt that a stage needs are installed.
#
#   scripts/setup.sh build   what the library and the example need
#   scripts/setup.sh test    that, and what the test command needs
#
# As root, whatever is missing is installed with apt-get (after refreshing the package lists). Any
# other user is told exactly which packages are missing and the command that installs them, and
# the script fails: nothing is built half-equipped.
set -euo pipefail
cd "$(dirname "$0")/.."
stage=${1:-}
case "$stage" in
  build) stages=" build " ;;
  test) stages=" build test " ;;
  *) echo "usage: scripts/setup.sh build|test" >&2; exit 2 ;;
esac

# Prints the packages of the wanted stages whose probe finds nothing.
missing_packages() {
  local package need probe rest
  while read -r package need probe rest; do
    case "$package" in '' | '#'*) continue ;; esac
    [[ "$stages" == *" $need "* ]] || continue
    if [[ "$probe" == */* ]]; then
      # A file, perhaps a glob (a versioned directory in the path).
      compgen -G "$probe" >/dev/null && continue
    else
      command -v "$probe" >/dev/null && continue
    fi
    echo "$package"
  done <scripts/packages.txt
}

mapfile -t missing < <(missing_packages)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them as root with:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
mapfile -t still < <(missing_packages)
if [ ${#still[@]} -gt 0 ]; then
  echo "still missing after the install: ${still[*]}" >&2
  exit 1
fi
