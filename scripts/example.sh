#!/usr/bin/env bash
# Installs what the build needs (scripts/setup.sh build), builds the example host program and the
# CSV generator in build/example, and runs the example. Arguments go to the example (a row count).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake --preset example
cmake --build --preset example
build/example/examples/q7demo "$@"
