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
#            architecture, which it adds to dpkg); on a kernel that cannot
#            start 32-bit programs, a user-mode emulator for them (below)
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

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
apt_get() { $sudo apt-get -o DPkg::Lock::Timeout=300 "$@"; }
# A mirror in the middle of a sync fails some indexes; apt keeps the ones it
# has, and the install below still fails if what it needs is not in them.
apt_update() {
    apt_get update -qq || echo "bootstrap: some package indexes failed to download; going on with the rest" >&2
}

if [ ${#missing[@]} -ne 0 ]; then
    echo "bootstrap: installing ${missing[*]}" >&2
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    apt_update
    if ! apt_get install -y -qq --no-install-recommends "${missing[@]}"; then
        # wine's 32-bit side is the one package of another architecture; a
        # mirror whose i386 indexes lag the others' cannot install it. Not
        # fatal: without it the 32-bit tests are skipped, saying why.
        rest=()
        for p in "${missing[@]}"; do
            [ "$p" = "wine32:i386" ] || rest+=("$p")
        done
        [ ${#rest[@]} -ne ${#missing[@]} ] || exit 1
        echo "bootstrap: installing without wine32:i386 (the 32-bit Windows tests will be skipped)" >&2
        apt_get install -y -qq --no-install-recommends "${rest[@]}"
    fi
fi

# Some kernels are built without 32-bit support, so wine's 32-bit loader
# cannot start. There the kernel hands 32-bit programs to qemu's user-mode
# emulator (binfmt_misc). qemu before 8 spends about a minute in wine's
# address-space reservation at every start, so an older release takes the
# distribution's backports.
wine32=/usr/lib/wine/wine
handler=/proc/sys/fs/binfmt_misc/qemu-i386
qemu_major() { apt-cache policy qemu-user-static | sed -n "s/^ *${1}: [0-9]*:\{0,1\}\([0-9]*\)\..*/\1/p"; }
emulate_x86() {
    if [ "$(qemu_major Installed)" = "" ] || [ "$(qemu_major Installed)" -lt 8 ]; then
        local release=()
        if [ "$(qemu_major Candidate)" = "" ] || [ "$(qemu_major Candidate)" -lt 8 ]; then
            local codename
            codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
            echo "deb http://deb.debian.org/debian ${codename}-backports main" |
                $sudo tee "/etc/apt/sources.list.d/${codename}-backports.list" >/dev/null
            apt_update
            release=(-t "${codename}-backports")
        fi
        apt_get install -y -qq --no-install-recommends "${release[@]}" qemu-user-static
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    # F: the kernel opens the emulator now, so it serves in every mount
    # namespace; registered again, so that an upgrade takes effect.
    if [ -e "$handler" ]; then
        echo -1 | $sudo tee "$handler" >/dev/null
    fi
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
    "$wine32" --version >/dev/null 2>&1
}
if [[ " ${packages[*]} " == *" wine32:i386 "* ]] && [ -e "$wine32" ] &&
    ! "$wine32" --version >/dev/null 2>&1; then
    echo "bootstrap: this kernel cannot start 32-bit programs; setting up qemu's emulator for them" >&2
    # Not fatal: without it the 32-bit tests are skipped, saying why.
    emulate_x86 || echo "bootstrap: 32-bit programs still cannot start here" >&2
fi
