#!/usr/bin/env bash
# Rebuilds ui/res/quorvex.ico and ui/res/backdrop.bmp from tools/make_art.cpp.
# Usage: bash tools/make_art.sh [output-root]   (default: the repository root)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="${1:-$(dirname "$here")}"
cxx="${CXX:-g++}"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# -ffp-contract=off: fused multiply-add would change rounding, and so bytes.
"$cxx" -std=c++17 -O2 -Wall -Wextra -ffp-contract=off \
    -o "$tmp/make_art" "$here/make_art.cpp"
"$tmp/make_art" "$root"
