#!/usr/bin/env bash
# The main job: builds quorvex for Windows and runs it under Wine beside the game-console stand-in,
# which replays a sample match. The console's log is printed as it goes, in the game's colours; at
# the end a screenshot of the companion is left in build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
match=${QX_MATCH:-$root/sim/matches/sample.txt}

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build/win64" -G Ninja -DQX_VARIANT=win64 \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$build/win64" -j2 --target quorvex qxconsole fakeamp fakewmp e2e_companion

demo=$build/demo
work=$demo/demo_match
rm -rf "$demo"
mkdir -p "$demo"

# The game's colours: ^1 red, ^2 green, ^3 yellow, ^4 blue, ^5 cyan, ^6 magenta, ^7 white.
show_log() {
    tail -n +1 -F "$work/console-log.txt" 2>/dev/null | sed -u \
        -e 's/\^0/\x1b[90m/g; s/\^1/\x1b[31m/g; s/\^2/\x1b[32m/g; s/\^3/\x1b[33m/g' \
        -e 's/\^4/\x1b[34m/g; s/\^5/\x1b[36m/g; s/\^6/\x1b[35m/g; s/\^7/\x1b[0m/g; s/$/\x1b[0m/' \
        -e 's/^\]\(.*\)/\x1b[1m  quorvex typed:\x1b[0m \1/'
}
show_log &
shower=$!
trap 'kill $shower 2>/dev/null || true; pkill -P $shower 2>/dev/null || true' EXIT

echo "== quorvex and the game console under Wine (the first run prepares a Wine prefix)"
echo "== runs the x86_64 quorvex.exe: Wine's X11 driver makes no window for a 32-bit program, so the i686 release runs only in the headless tests"
E2E_PREFIX_X11="$build/wineprefix-demo" E2E_WATCHDOG_S=1200 E2E_TIMEOUT_S=1260 \
    E2E_EXE_QUORVEX="$build/win64/ui/quorvex.exe" E2E_EXE_QXCONSOLE="$build/win64/sim/qxconsole.exe" \
    E2E_EXE_FAKEAMP="$build/win64/sim/players/fakeamp.exe" E2E_EXE_FAKEWMP="$build/win64/sim/players/fakewmp.exe" \
    QX_MATCH_NAME=$(basename "$match") \
    bash "$root/tests/e2e/screenshot.sh" "$build/win64/tests/e2e/e2e_companion.exe" demo_match "$demo" \
    "$demo/pictures" "$match" >"$demo/run.log" 2>&1 || { cat "$demo/run.log"; exit 1; }
sleep 1
echo
echo "== the match is over; quorvex typed:"
grep '^line ' "$work/transcript.txt" | sed 's/^line /  /' || echo "  (nothing)"
if [ -f "$demo/pictures/quorvex-window.png" ]; then
    convert "$demo/pictures/quorvex-window.png" -gravity center -crop 320x220+0+0 +repage "$demo/quorvex-window.png"
    echo "== screenshot of the companion: $demo/quorvex-window.png"
fi
