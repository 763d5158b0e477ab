#!/usr/bin/env bash
# The main job: builds quorvex for Windows and runs it under Wine beside the game-console stand-in,
# which replays a sample match. The console's log is printed as it goes, in the game's colours;
# at the end a screenshot of the companion is left in build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
match=${QX_MATCH:-$root/sim/matches/sample.txt}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build/win64" -G Ninja -DQX_VARIANT=win64 \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$build/win64" -j2 --target quorvex qxconsole

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/run"
export WINEPREFIX="$build/wineprefix-demo" WINEDEBUG=-all
cp "$match" "$demo/run/match.txt"

display=${QX_DISPLAY:-:71}
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    kill "$xvfb" >/dev/null 2>&1 || true
    [ -n "${tailer:-}" ] && kill "$tailer" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== preparing a Wine prefix (first run only)"
    "$wine" wineboot -i >/dev/null 2>&1
fi
"$wineserver" -w

winpath() { echo "Z:${1//\//\\}"; }

echo "== starting quorvex and the game console"
(cd "$demo/run" && "$wine" "$build/win64/ui/quorvex.exe" >/dev/null 2>&1 &)
: >"$demo/console-log.txt"
# Colours of the game: ^1 red, ^2 green, ^3 yellow, ^4 blue, ^5 cyan, ^6 magenta, ^7 white.
tail -n +1 -f "$demo/console-log.txt" | sed -u \
    -e 's/\^0/\x1b[30m/g; s/\^1/\x1b[31m/g; s/\^2/\x1b[32m/g; s/\^3/\x1b[33m/g' \
    -e 's/\^4/\x1b[34m/g; s/\^5/\x1b[36m/g; s/\^6/\x1b[35m/g; s/\^7/\x1b[0m/g; s/$/\x1b[0m/' &
tailer=$!
sleep 3
(cd "$demo/run" && "$wine" "$build/win64/sim/qxconsole.exe" --script "$(winpath "$demo/run/match.txt")" \
    --transcript "$(winpath "$demo/transcript.txt")" --log-copy "$(winpath "$demo/console-log.txt")" \
    >/dev/null 2>&1) || true
sleep 2
import -window root "$demo/screen.png"
convert "$demo/screen.png" -crop 302x202+361+269 +repage "$demo/quorvex-window.png"
kill "$tailer" >/dev/null 2>&1 || true
echo
echo "== the match is over; quorvex typed:"
grep '^line ' "$demo/transcript.txt" | sed 's/^line /  /' || echo "  (nothing)"
echo "== screenshot: $demo/quorvex-window.png"
