#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the native, sanitizer, fuzz, i686 and
# x86_64 trees, and runs every test through one ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}

bash "$root/scripts/setup.sh"

tree() {
    local name=$1
    shift
    echo "== building $name"
    cmake -S "$root" -B "$build/$name" -G Ninja -DQX_VARIANT="$name" -DQX_WERROR=ON "$@" >"$build/$name.configure.log" 2>&1 ||
        { cat "$build/$name.configure.log"; exit 1; }
    cmake --build "$build/$name" -j2
}

mkdir -p "$build"
tree win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
tree win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DQX_RELEASE_TREE="$build/win32"
tree asan -DQX_SANITIZE=address,undefined
tree tsan -DQX_SANITIZE=thread
tree fuzz -DQX_FUZZ=ON -DQX_SANITIZE=address,undefined -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
tree native -DQX_INCLUDE_TESTS="$build/asan;$build/tsan;$build/fuzz;$build/win32;$build/win64"

cd "$build/native"
# Wine scenarios mostly wait on real time, each lane in three prefixes of its own: six at once use about
# half of two cores.
ctest -j6 --output-on-failure "$@"
