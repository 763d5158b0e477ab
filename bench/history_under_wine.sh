#!/usr/bin/env bash
# The History window opened on a journal of 100,000 rows, under Wine: the time from the menu command
# to its first paint (goal 250 ms).
# usage: bench/history_under_wine.sh [rows] [runs]
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
bench_setup quorvex wine_history_bench
exe=$build/win64/ui/quorvex.exe
cd "$work"
"$wine" "$build/win64/bench/wine/wine_history_bench.exe" "Z:${exe//\//\\}" "${1:-100000}" "${2:-5}" | tr -d '\r'
