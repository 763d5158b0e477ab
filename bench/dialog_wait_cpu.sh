#!/usr/bin/env bash
# CPU spent by the wait for Winamp's "Jump to file" dialog when it never opens, under Wine.
# usage: bench/dialog_wait_cpu.sh [waits]
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
bench_setup wine_dialog_wait_bench
"$wine" "$build/win64/bench/wine/wine_dialog_wait_bench.exe" "${1:-3}" | tr -d '\r'
