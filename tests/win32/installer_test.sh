#!/usr/bin/env bash
# The installer's round trip under wine, silently: a first install that is
# told the charting host's folder, an upgrade over it, and the uninstall.
#   installer_test.sh INSTALLER VERSION WINE_RUN
# Runs in a wine prefix of its own (ORVELLA_WINE_ROOT), created afresh.
set -euo pipefail
installer="$1" version="$2" wine_run="$3"
export ORVELLA_WINE_ROOT="${ORVELLA_WINE_ROOT:?}"
rm -rf "$ORVELLA_WINE_ROOT"
c="$ORVELLA_WINE_ROOT/prefix/drive_c"
settings='HKCU\Software\Corvan\Orvella\OrvellaForNST'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvellaForNST'
failures=0

check() {  # description, then the command that must succeed
    local what="$1"
    shift
    if "$@" >/dev/null 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
value() {  # key, name: the value's data, empty when absent
    "$wine_run" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
run() {  # a Windows program, then wait until every process of it ended
    "$wine_run" "$@"
    "$wine_run" --stop
}
menu_entry() {
    find "$c/users" -path '*Start Menu/Programs/OrvellaForNST/Orvella NST Setup.lnk' | grep -q .
}

run "$installer" /S '/NovaScopeRoot=C:\NovaScope' '/D=C:\Orvella'
check "program folder" test -f "$c/Orvella/OrvellaNSTSetup.exe"
check "user guide" test -f "$c/Orvella/user-guide.md"
check "uninstaller" test -f "$c/Orvella/Uninstall.exe"
check "plug-in in the host's folder" test -f "$c/NovaScope/Servers/OrvellaForNST/OrvellaForNST.dll"
check "Start-menu entry" menu_entry
check "host folder written back" test "$(value "$settings" NovaScopeRoot)" = 'C:\NovaScope'
check "uninstall entry version" test "$(value "$uninstall" DisplayVersion)" = "$version"
check "uninstall entry command" test "$(value "$uninstall" UninstallString)" = '"C:\Orvella\Uninstall.exe"'

# The user's own settings and files, which the upgrade and the uninstall keep.
"$wine_run" reg add "$settings" /v Streaming /t REG_DWORD /d 1 /f >/dev/null
echo "AAPL" >"$c/NovaScope/Servers/OrvellaForNST/stocks.lst"
run "$installer" /S '/D=C:\Orvella'
check "upgrade keeps the plug-in" test -f "$c/NovaScope/Servers/OrvellaForNST/OrvellaForNST.dll"
check "upgrade keeps the settings" test "$(value "$settings" Streaming)" = "0x1"
check "upgrade keeps the host folder" test "$(value "$settings" NovaScopeRoot)" = 'C:\NovaScope'

run "$c/Orvella/Uninstall.exe" /S
check "program folder removed" test ! -e "$c/Orvella"
check "plug-in removed" test ! -e "$c/NovaScope/Servers/OrvellaForNST/OrvellaForNST.dll"
check "LST file kept" test -f "$c/NovaScope/Servers/OrvellaForNST/stocks.lst"
check "Start-menu entry removed" test -z "$(find "$c/users" -path '*Start Menu/Programs/OrvellaForNST')"
check "uninstall entry removed" test -z "$(value "$uninstall" DisplayVersion)"
check "settings kept" test "$(value "$settings" Streaming)" = "0x1"
[ "$failures" -eq 0 ]
