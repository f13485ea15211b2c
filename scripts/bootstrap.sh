#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when something is missing.
# Safe to run again and again: with everything present it only asks dpkg.
#
#   scripts/bootstrap.sh [--browser] [--windows]
#
# --browser  also installs the headless browser that renders the chart page
#            in the host's browser check (skipped with a message without it)
# --windows  adds the cross compilers, GoogleTest's sources, wine, makensis,
#            cmark-gfm (the installed guide's HTML) and Xvfb for the Windows
#            build, its installer and its tests; for the
#            32-bit programs also wine's 32-bit side (wine32 of the i386
#            architecture, which it adds to dpkg)
set -euo pipefail

packages=(qtbase5-dev libcurl4-openssl-dev libsqlite3-dev libgtest-dev libbenchmark-dev
          fonts-dejavu-core ninja-build cmake g++ clang libclang-rt-14-dev)
for arg in "$@"; do
    case "$arg" in
        --browser) packages+=(chromium) ;;
        --windows) packages+=(mingw-w64 googletest wine wine64 wine32:i386 nsis cmark-gfm xvfb) ;;
        *) echo "bootstrap: unknown option $arg" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "bootstrap: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get -o DPkg::Lock::Timeout=300 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
