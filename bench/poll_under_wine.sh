#!/usr/bin/env bash
# The cost of one poll of a full 32 KB console log with 50 new lines, under Wine: the companion's own
# processing next to the WM_GETTEXT copy across processes, as a ratio, in one run.
# usage: bench/poll_under_wine.sh [polls] [new-lines]
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
bench_setup
start_full_console
"$wine" "$build/win64/bench/wine/wine_poll_bench.exe" "${1:-300}" "${2:-50}" | tr -d '\r'
