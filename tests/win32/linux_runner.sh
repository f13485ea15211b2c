#!/bin/sh
# Runs one of the Linux build's test runners, which drive the Windows build's
# programs under wine, or skips (exit code 77) saying what builds it.
#   linux_runner.sh TOOLS_DIR RUNNER [args...]
tools="$1" runner="$2"
shift 2
for program in "$runner" orvella-feed-sim; do
    if [ ! -x "$tools/$program" ]; then
        echo "Skipped: $tools/$program is missing. The Linux build's runners drive these" \
             "tests; build them with: cmake --preset default && cmake --build --preset default"
        exit 77
    fi
done
exec "$tools/$runner" "$@"
