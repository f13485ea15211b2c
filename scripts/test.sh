#!/usr/bin/env bash
# Builds the default preset and runs every test. Used by the README and CI.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default "$@"
