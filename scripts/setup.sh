#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and nothing when all is there; then
# prepares the 32-bit PE DLLs that let wine64 run the i686 quorvex.exe in its wow64 mode.
# Idempotent; run as root (CI does), or through sudo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 xvfb xauth imagemagick zip unzip icoutils fonts-wine
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# Set when the package lists were brought up to date for the architectures of this moment; a change of
# the architectures clears it, since lists fetched before the change hold none of the new one's packages.
updated=""
apt_update() {
    [ -n "$updated" ] && return 0
    # An archive out of reach is otherwise only a warning, and the look-up after it fails obscurely.
    $SUDO apt-get update -q --error-on=any ||
        { echo "setup: FAIL: apt-get update failed (no network, or the package archive is unreachable)" >&2; exit 1; }
    updated=yes
}

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt_update
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The i386 PE DLLs of exactly the installed Wine, unpacked beside it and never installed: an
# installed libwine:i386 would pull in a whole 32-bit system that this kernel cannot run anyway.
# shellcheck source=../tests/e2e/wine_i386.sh
. "$root/tests/e2e/wine_i386.sh"
cache=$(qx_wine_i386_cache) || exit 1
if [ ! -f "$cache/.complete" ]; then
    version=$(dpkg-query -W -f='${Version}' wine64)
    echo "setup: unpacking libwine:i386=$version into $cache"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
        updated=""
    fi
    apt_update
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"; $SUDO rm -rf "$cache.part"' EXIT
    chmod 777 "$scratch" # apt-get download hands the fetch to the _apt user
    (cd "$scratch" && apt-get download -q "libwine:i386=$version") ||
        { echo "setup: FAIL: cannot download libwine:i386=$version (no network, or no such version)" >&2; exit 1; }
    deb=$(find "$scratch" -maxdepth 1 -name 'libwine_*_i386.deb' | head -n 1)
    [ -n "$deb" ] || { echo "setup: FAIL: apt-get download left no libwine i386 package" >&2; exit 1; }
    $SUDO rm -rf "$cache.part"
    $SUDO mkdir -p "$cache.part"
    $SUDO dpkg-deb -x "$deb" "$cache.part"
    [ -f "$cache.part/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] ||
        { echo "setup: FAIL: $deb holds no i386 kernel32.dll" >&2; exit 1; }
    $SUDO touch "$cache.part/.complete"
    $SUDO rm -rf "$cache"
    $SUDO mv "$cache.part" "$cache"
elif [ ${#missing[@]} -eq 0 ]; then
    echo "setup: nothing to do: every package is installed and the i386 Wine DLLs are in $cache"
fi
