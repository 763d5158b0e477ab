#!/usr/bin/env bash
# The portable rooms point one way: nothing in them includes the window room, the stand-ins, the
# tests or <windows.h>.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
bad=$(grep -rnE '#include *[<"](ui/|sim/|tests/|windows\.h|commctrl\.h)' \
    "$root/support" "$root/monitor" "$root/players" "$root/history" || true)
if [ -n "$bad" ]; then
    echo "FAIL: a portable room includes what it must not:"
    echo "$bad"
    exit 1
fi
echo "rooms: ok"
