#!/usr/bin/env bash
# Runs a Windows program under wine in a private prefix, so that nothing
# touches the user's own wine set-up or home folder. The prefix lives in the
# build folder (ORVELLA_WINE_ROOT, else ./wine below the current folder, which
# CTest makes the build folder) and is created on first use.
#   scripts/wine-run.sh program.exe [args...]
#   scripts/wine-run.sh --stop       waits for the prefix's wine server to end
set -euo pipefail

root="${ORVELLA_WINE_ROOT:-}"
if [ -z "$root" ]; then
    dir="$PWD"
    # The build folder holds CMakeCache.txt; tests run in folders below it.
    while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do
        dir="$(dirname "$dir")"
    done
    [ "$dir" = "/" ] && dir="$PWD"
    root="$dir/wine"
fi
mkdir -p "$root/home"
export WINEPREFIX="$root/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" HOME="$root/home"
unset DISPLAY WAYLAND_DISPLAY
# Programs with windows get the display they are given explicitly.
if [ -n "${ORVELLA_WINE_DISPLAY:-}" ]; then
    export DISPLAY="$ORVELLA_WINE_DISPLAY"
fi

if [ "${1:-}" = "--stop" ]; then
    [ -d "$WINEPREFIX" ] && wineserver -w
    exit 0
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Several tests may start at once: one creates the prefix, the others wait.
    exec 9>"$root/prefix.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot --init >/dev/null 2>&1
        wineserver -w
    fi
    flock -u 9
fi

exec wine "$@"
