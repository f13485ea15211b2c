#!/usr/bin/env bash
# Runs a Windows program under wine with a display: an X server of its own
# (Xvfb) and wine's virtual desktop, which spares the window manager's absence
# a stall at every dialog close.
#   with_display.sh WINE_RUN program.exe [args...]
set -euo pipefail
wine_run="$1"
shift
display=""
for number in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
        display=":$number"
        break
    fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done
export ORVELLA_WINE_DISPLAY="$display"
"$wine_run" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
"$wine_run" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
status=0
"$wine_run" "$@" || status=$?
"$wine_run" --stop || true
exit "$status"
