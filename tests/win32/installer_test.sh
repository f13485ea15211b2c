#!/usr/bin/env bash
# The installer under wine, silently: installs that must change nothing, the
# plug-in each kind of host folder gets, an upgrade that switches the
# architecture, and the uninstall.
#   installer_test.sh INSTALLER VERSION WINE_RUN X86_BIN X64_BIN
# X86_BIN and X64_BIN hold the two builds' programs, the installer's payload.
# Runs in a wine prefix of its own (ORVELLA_WINE_ROOT), created afresh.
set -euo pipefail
installer="$1" version="$2" wine_run="$3"
declare -A bin=([x86]="$4" [x64]="$5")
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
# Every wine program here starts with no wine server running. The server
# outlives each program by about two seconds (longer under load) while it
# winds down, and a program that starts then may meet a server on its way
# out; one cut off by its server ends with no output and nothing on standard
# error. So each wine program is followed by --stop, and values are read from
# the registry file the server saved when it ended, not by another program.
value() {  # HKCU\key, name: the value's data (a DWORD as 0x1), empty when absent
    "$wine_run" --stop
    K="${1#HKCU\\}" N="$2" awk '
        function unescape(s,    out, i, ch) {  # the file doubles \ and escapes "
            out = ""
            for (i = 1; i <= length(s); i++) {
                ch = substr(s, i, 1)
                if (ch == "\\") ch = substr(s, ++i, 1)
                out = out ch
            }
            return out
        }
        function hex(s,    n, i) {
            n = 0
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return n
        }
        /^\[/ { inkey = tolower(unescape(substr($0, 2, index($0, "] ") - 2))) == tolower(ENVIRON["K"]) }
        inkey && index(tolower($0), tolower("\"" ENVIRON["N"] "\"=")) == 1 {
            data = substr($0, length(ENVIRON["N"]) + 4)
            if (data ~ /^dword:/) printf "0x%x\n", hex(substr(data, 7))
            else if (data ~ /^"/) print unescape(substr(data, 2, length(data) - 2))
            exit
        }
    ' "$ORVELLA_WINE_ROOT/prefix/user.reg"
}
unix_path() {  # C:\a\b -> the prefix's file
    local p="${1#C:\\}"
    echo "$c/${p//\\//}"
}
install() {  # installer arguments; sets code and output, waits for every process
    code=0
    output="$("$wine_run" "$installer" "$@" 2>&1)" || code=$?
    "$wine_run" --stop
}
menu_entries() {
    local entry
    for entry in 'Orvella NST Setup' 'User guide'; do
        find "$c/users" -path "*Start Menu/Programs/OrvellaForNST/$entry.lnk" | grep -q . || return 1
    done
}
guide_images_present() {  # every picture the page shows, and at least one
    local image found=0
    for image in $(grep -o '<img src="[^"]*"' "$c/Orvella/user-guide.html" | cut -d'"' -f2); do
        test -s "$c/Orvella/$image" || return 1
        found=1
    done
    test "$found" = 1
}
size_recorded() {  # EstimatedSize: the program folder and the plug-in, in KB
    local kb bytes
    kb=$(($(value "$uninstall" EstimatedSize)))
    bytes=$({ find "$c/Orvella" -type f -printf '%s\n'; find "$c" -name OrvellaForNST.dll -printf '%s\n'; } |
        awk '{ n += $1 } END { print n }')
    test "$kb" -gt 0 && test $((bytes / 1024 - kb)) -le 8 && test $((kb - bytes / 1024)) -le 8
}
host_folder() {  # Windows path, architecture of its program (or none)
    local dir
    dir="$(unix_path "$1")"
    mkdir -p "$dir"
    rm -f "$dir/nst-host.exe"
    if [ "$2" != none ]; then
        cp "${bin[$2]}/nst-host.exe" "$dir/"
    fi
}
plugin_is() {  # Windows host folder, architecture
    cmp "$(unix_path "$1")/Servers/OrvellaForNST/OrvellaForNST.dll" "${bin[$2]}/OrvellaForNST.dll"
}
install_log() { find "$c/users" -name OrvellaForNST-setup.log -exec cat {} +; }
nothing_installed() {
    test ! -e "$c/Orvella" && test -z "$(value "$uninstall" DisplayVersion)" &&
        test -z "$(value "$settings" NovaScopeRoot)" &&
        test -z "$(find "$c" -name OrvellaForNST.dll)"
}

# Installs that cannot place the plug-in: exit code, the reason on the console
# and in the install log, nothing written. Fields: what, exit code, reason,
# arguments (before /D=).
host_folder 'C:\Hosts\Present' x64
host_folder 'C:\Hosts\Empty' none
while IFS='|' read -r what want reason args; do
    # shellcheck disable=SC2086
    install /S $args '/D=C:\Orvella'
    check "$what: exit code $want" test "$code" = "$want"
    check "$what: reason on the console" grep -qF "$reason" <<<"$output"
    check "$what: reason in the install log" grep -qF "$reason" <<<"$(install_log)"
    check "$what: nothing installed" nothing_installed
done <<'EOF'
no host folder|3|No NovaScope install directory|
host folder that does not exist|4|C:\Missing does not exist|/NovaScopeRoot=C:\Missing
unknown architecture|6|Unknown architecture arm|/NovaScopeRoot=C:\Hosts\Present /Arch=arm
host folder without the host's program|8|C:\Hosts\Empty does not hold the charting host (no nst-host.exe)|/NovaScopeRoot=C:\Hosts\Empty
EOF

# A plug-in that cannot be replaced, like one a running host holds: here an
# immutable file, which stops root too.
locked="$c/Hosts/Locked/Servers/OrvellaForNST/OrvellaForNST.dll"
host_folder 'C:\Hosts\Locked' x64
mkdir -p "$(dirname "$locked")"
cp "${bin[x64]}/OrvellaForNST.dll" "$locked"
if chattr +i "$locked" 2>/dev/null; then
    install /S '/NovaScopeRoot=C:\Hosts\Locked' '/D=C:\Orvella'
    chattr -i "$locked"
    rm -r "$c/Hosts/Locked"
    check "plug-in in use: exit code 5" test "$code" = 5
    check "plug-in in use: reason on the console" grep -qF "is in use" <<<"$output"
    check "plug-in in use: nothing installed" nothing_installed
else
    echo "skip plug-in in use: chattr +i does not work here"
fi

# A host folder this user cannot write, also found before anything is placed.
readonly_host="$c/Hosts/ReadOnly"
host_folder 'C:\Hosts\ReadOnly' x64
if chattr +i "$readonly_host" 2>/dev/null; then
    install /S '/NovaScopeRoot=C:\Hosts\ReadOnly' '/D=C:\Orvella'
    chattr -i "$readonly_host"
    check "host folder not writable: exit code 7" test "$code" = 7
    check "host folder not writable: reason on the console" grep -qF "cannot be written" <<<"$output"
    check "host folder not writable: says how to install there" grep -qF "run the installer as administrator" <<<"$output"
    check "host folder not writable: nothing installed" nothing_installed
    rm -r "$readonly_host"
else
    echo "skip host folder not writable: chattr +i does not work here"
fi

# Which plug-in a host folder gets. Fields: what, host folder, its program's
# architecture (none: no program), further arguments, the plug-in expected.
while IFS='|' read -r what folder program args want; do
    host_folder "$folder" "$program"
    # shellcheck disable=SC2086
    install /S "/NovaScopeRoot=$folder" $args '/D=C:\Orvella'
    check "$what: installed" test "$code" = 0
    check "$what: the $want plug-in" plugin_is "$folder" "$want"
    check "$what: the $want setup program" cmp "$c/Orvella/OrvellaNSTSetup.exe" "${bin[$want]}/OrvellaNSTSetup.exe"
    check "$what: recorded" test "$(value "$uninstall" PluginArch)" = "$want"
done <<'EOF'
32-bit host|C:\Hosts\Nst32|x86||x86
64-bit host|C:\Hosts\Nst64|x64||x64
64-bit host, /Arch=x86|C:\Hosts\Nst64|x64|/Arch=x86|x86
32-bit host, /Arch=x64|C:\Hosts\Nst32|x86|/Arch=x64|x64
no program, forced, in Program Files (x86)|C:\Program Files (x86)\NovaScope|none|/Force|x86
no program, forced, elsewhere|C:\Hosts\Empty|none|/Force|x64
EOF
check "earlier host folders' plug-ins removed" test "$(find "$c" -name OrvellaForNST.dll | wc -l)" = 1
check "program folder" test -f "$c/Orvella/OrvellaNSTSetup.exe"
check "user guide, as HTML" grep -qF "<h2>On Windows</h2>" "$c/Orvella/user-guide.html"
check "user guide's images" guide_images_present
check "uninstall entry size" size_recorded
check "uninstaller" test -f "$c/Orvella/Uninstall.exe"
check "Start-menu entries" menu_entries
check "first host folder written back" test "$(value "$settings" NovaScopeRoot)" = 'C:\Hosts\Nst32'
check "uninstall entry version" test "$(value "$uninstall" DisplayVersion)" = "$version"
check "uninstall entry command" test "$(value "$uninstall" UninstallString)" = '"C:\Orvella\Uninstall.exe"'

# The host in the settings' folder goes from 32 to 64 bits; an upgrade follows
# it and keeps the user's settings and files.
install /S '/D=C:\Orvella'
check "upgrade: the 32-bit plug-in first" plugin_is 'C:\Hosts\Nst32' x86
"$wine_run" reg add "$settings" /v Streaming /t REG_DWORD /d 1 /f >/dev/null
"$wine_run" --stop
echo "AAPL" >"$c/Hosts/Nst32/Servers/OrvellaForNST/stocks.lst"
echo "# User guide" >"$c/Orvella/user-guide.md"  # as older versions installed it
host_folder 'C:\Hosts\Nst32' x64
install /S '/D=C:\Orvella'
check "upgrade: installed" test "$code" = 0
check "upgrade: the 64-bit plug-in replaces it" plugin_is 'C:\Hosts\Nst32' x64
check "upgrade: recorded" test "$(value "$uninstall" PluginArch)" = x64
check "upgrade removes the older Markdown guide" test ! -e "$c/Orvella/user-guide.md"
check "upgrade keeps the settings" test "$(value "$settings" Streaming)" = "0x1"
check "upgrade keeps the host folder" test "$(value "$settings" NovaScopeRoot)" = 'C:\Hosts\Nst32'

"$wine_run" "$c/Orvella/Uninstall.exe" /S
"$wine_run" --stop
check "program folder removed" test ! -e "$c/Orvella"
check "plug-in removed" test -z "$(find "$c" -name OrvellaForNST.dll)"
check "LST file kept" test -f "$c/Hosts/Nst32/Servers/OrvellaForNST/stocks.lst"
check "Start-menu entry removed" test -z "$(find "$c/users" -path '*Start Menu/Programs/OrvellaForNST')"
check "uninstall entry removed" test -z "$(value "$uninstall" DisplayVersion)"
check "settings kept" test "$(value "$settings" Streaming)" = "0x1"
[ "$failures" -eq 0 ]
