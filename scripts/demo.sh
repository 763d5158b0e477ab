#!/usr/bin/env bash
# The main job: installs what is missing and builds quorvex for Windows (i686 and x86_64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
for arch in i686:win32 x86_64:win64; do
    cmake -S "$root" -B "$build/${arch#*:}" -G Ninja -DQX_VARIANT="${arch#*:}" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${arch%:*}.cmake" >/dev/null
    cmake --build "$build/${arch#*:}" -j2
done
echo "built quorvex's libraries in $build/win32 and $build/win64"
