#!/usr/bin/env bash
# The History window opened on a journal of 100,000 rows, under Wine: the time from the menu command
# to its first paint (goal 250 ms), then the cost of one appended row to its UI thread (goal 5 ms).
# QX_QUORVEX_EXE measures another build of quorvex.exe (an older one, for a figure before a change).
# usage: bench/history_under_wine.sh [rows] [runs] [appends]
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
bench_setup quorvex wine_history_bench
exe=${QX_QUORVEX_EXE:-$build/win64/ui/quorvex.exe}
cd "$work"
"$wine" "$build/win64/bench/wine/wine_history_bench.exe" "Z:${exe//\//\\}" "${1:-100000}" "${2:-5}" "${3:-30}" | tr -d '\r'
