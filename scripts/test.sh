#!/usr/bin/env bash
# Builds the default preset and runs every test. Used by the README and CI.
#
#   scripts/test.sh [--quick] [ctest options...]
#
# --quick leaves out the tests labelled slow and soak (the watch's 80-second
# bound and the minute-long soak run). Tests run in parallel, twice as many
# as there are processors: most end-to-end tests wait on sockets and timers.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
args=()
for arg in "$@"; do
    if [ "$arg" = "--quick" ]; then
        quick=1
    else
        args+=("$arg")
    fi
done

scripts/bootstrap.sh
cmake --preset default >/dev/null
cmake --build --preset default

# The run's length: the last whole run of the same kind, or what a warm run
# takes on a 2-core machine.
whole=$((${#args[@]} == 0))
if [ "$quick" = 1 ]; then
    kind=quick
    args=(-LE 'slow|soak' "${args[@]}")
    echo "== tests, leaving out the labels slow and soak"
    typical="about 1 minute"
else
    kind=full
    echo "== all tests (scripts/test.sh --quick leaves out the labels slow and soak)"
    typical="about 2.5 minutes"
fi
last="build/Testing/last-${kind}-run-seconds"
if [ "$whole" = 1 ] && [ -s "$last" ]; then
    echo "   the last such run took $(cat "$last") s"
else
    echo "   $typical on a 2-core machine"
fi

start=$(date +%s)
ctest --preset default --parallel "$((2 * $(nproc)))" "${args[@]}"
if [ "$whole" = 1 ]; then
    echo $(($(date +%s) - start)) >"$last"
fi
