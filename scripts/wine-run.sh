#!/usr/bin/env bash
# Runs a Windows program under wine in a private prefix, so that nothing
# touches the user's own wine set-up or home folder. The prefix lives in the
# build folder (ORVELLA_WINE_ROOT, else ./wine below the current folder, which
# CTest makes the build folder) and is created on first use.
#   scripts/wine-run.sh program.exe [args...]
#   scripts/wine-run.sh --stop       waits for the prefix's wine server to end
#   scripts/wine-run.sh --check-x86  exits 0 when 32-bit programs can run here,
#                                    else says why and exits 1
set -euo pipefail

# Wine runs a 32-bit program in its 32-bit loader, a 32-bit Linux program
# (Debian's wine32), which a kernel without 32-bit support cannot start.
loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64
check_x86() {
    if [ ! -x "$loader32" ]; then
        echo "the 32-bit side of wine is not installed (scripts/bootstrap.sh --windows)"
        return 1
    fi
    if ! "$loader32" --version >/dev/null 2>&1; then
        echo "this machine cannot start 32-bit Linux programs, so the 32-bit wine loader $loader32 cannot run (scripts/bootstrap.sh --windows, as root, sets up an emulator for them)"
        return 1
    fi
}
if [ "${1:-}" = "--check-x86" ]; then
    check_x86
    exit
fi
# Debian's wine command takes the 32-bit loader whenever it is installed; where
# that cannot run, the 64-bit one starts the 64-bit programs.
wine=wine
x86=yes
if [ -x "$loader64" ] && ! check_x86 >/dev/null; then
    wine="$loader64"
    x86=no
    export WINELOADER="$loader64"
fi
boot="$wine"
# A 64-bit program needs only the 64-bit loader; the 32-bit one would start
# first (emulated where the kernel lacks 32-bit support) and needs the
# prefix's 32-bit side.
pe_machine() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
    [ -n "$header" ] && od -An -tx1 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' \n'
}
if [ -x "$loader64" ] && [ -f "${1:-}" ] && [ "$(pe_machine "$1")" = "6486" ]; then
    wine="$loader64"
fi

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

# A prefix made where 32-bit programs could not run has no 32-bit side and
# takes the 64-bit loader, as when it was made.
if [ "$x86" = yes ] && [ -f "$WINEPREFIX/system.reg" ] &&
    [ -z "$(ls -A "$WINEPREFIX/drive_c/windows/syswow64" 2>/dev/null)" ]; then
    wine="$loader64"
    export WINELOADER="$loader64"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Several tests may start at once: one creates the prefix, the others wait.
    exec 9>"$root/prefix.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$boot" wineboot --init >/dev/null 2>&1
        wineserver -w
    fi
    flock -u 9
fi

exec "$wine" "$@"
