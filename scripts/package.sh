#!/usr/bin/env bash
# Makes the release: dist/quorvex-<version>-win32.zip with the 32-bit quorvex.exe, the README and the
# licence, and dist/quorvex-<version>-win64.zip with the 64-bit build beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
version=0.4b
dist=${QX_DIST_DIR:-$root/dist}

bash "$root/scripts/setup.sh"
mkdir -p "$dist"
for pair in i686:win32:x86 x86_64:win64:amd64; do
    IFS=: read -r cpu tree arch <<<"$pair"
    cmake -S "$root" -B "$build/release-$tree" -G Ninja -DQX_VARIANT="release-$tree" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$cpu.cmake" >/dev/null
    cmake --build "$build/release-$tree" -j2 --target quorvex
    stage=$(mktemp -d)
    cp "$build/release-$tree/ui/quorvex.exe" "$stage/quorvex.exe"
    "$cpu-w64-mingw32-strip" "$stage/quorvex.exe"
    bash "$root/tools/check_exe.sh" "$stage/quorvex.exe" "$arch" >/dev/null ||
        { bash "$root/tools/check_exe.sh" "$stage/quorvex.exe" "$arch"; exit 1; }
    cp "$root/README.md" "$stage/README.md"
    cp "$root/LICENSE" "$stage/LICENSE.txt"
    zip_name="quorvex-$version-$tree.zip"
    rm -f "$dist/$zip_name"
    # Fixed times keep the archive the same from one build to the next.
    touch -d '2026-01-01 00:00:00' "$stage"/*
    (cd "$stage" && zip -q -X "$dist/$zip_name" quorvex.exe README.md LICENSE.txt)
    rm -rf "$stage"
    echo "made $dist/$zip_name"
done
