#!/usr/bin/env bash
# The companion's CPU time over an idle stretch attached to a console with a full 32 KB log (nothing
# new arrives), next to the CPU time of the same once-a-second reads made alone.
# usage: bench/idle_cpu.sh [seconds]   (600 by default: ten minutes, then as long again for the reads)
set -euo pipefail
source "$(dirname "$0")/wine_common.sh"
seconds=${1:-600}
bench_setup
start_full_console
(cd "$work" && "$wine" "$build/win64/ui/quorvex.exe" >/dev/null 2>&1 &)
sleep 5 # Wine starts the program and the companion attaches
before=$(cpu_seconds_of 'quorvex.exe')
sleep "$seconds"
after=$(cpu_seconds_of 'quorvex.exe')
companion=$(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", a - b }')

(cd "$work" && "$wine" "$build/win64/bench/wine/wine_poll_bench.exe" --reads "$seconds" >/dev/null 2>&1 &)
sleep 3
before=$(cpu_seconds_of 'wine_poll_bench.exe')
sleep "$((seconds - 5))"
after=$(cpu_seconds_of 'wine_poll_bench.exe')
reads=$(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", a - b }')
echo "over $seconds s idle, attached to a 32 KB log:"
echo "  quorvex.exe:          $companion s of CPU"
echo "  the reads alone:      $reads s of CPU (over $((seconds - 5)) s)"
