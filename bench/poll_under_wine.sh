#!/usr/bin/env bash
# The cost of one poll of a full 32 KB console log with 50 new lines, under Wine: the companion's own
# processing next to the WM_GETTEXT copy across processes, as a ratio, in one run. Then what a counted
# event adds to its poll: the journal's real append (goal 1 ms).
# usage: bench/poll_under_wine.sh [polls] [new-lines] [appends]
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
bench_setup quorvex qxconsole wine_poll_bench wine_append_bench
start_full_console
"$wine" "$build/win64/bench/wine/wine_poll_bench.exe" "${1:-300}" "${2:-50}" | tr -d '\r'
(cd "$work" && "$wine" "$build/win64/bench/wine/wine_append_bench.exe" "${3:-1000}" | tr -d '\r')
