#!/usr/bin/env bash
# Runs one scenario under Xvfb with Wine's X11 driver and takes the pictures the driver asks for.
#
# usage: screenshot.sh <driver.exe> <scenario> <workdir-root> <artefact-dir> [file ...]
#
# The driver calls e2e::screenshot("name"): it writes <artefact-dir>/name.request and waits;
# this script sees it, grabs the screen until two grabs in a row agree (so a repaint in progress
# is not caught half done), saves <artefact-dir>/name.png and removes the request.
#
# environment: as run_scenario.sh, plus
#   E2E_PREFIX_X11  prefix with the X11 driver and a virtual desktop, kept apart from the headless
#                   one (default <workdir-root>/.wineprefix-x11)
#   E2E_DESKTOP     size of the screen and of Wine's virtual desktop (default 1024x768)
set -uo pipefail

me=screenshot
die() {
    echo "$me: FAIL: $*" >&2
    exit 1
}

[ $# -ge 4 ] || die "usage: $0 <driver.exe> <scenario> <workdir-root> <artefact-dir> [file ...]"
driver=$1
scenario=$2
root=$(realpath -m -- "$3")
shots=$(realpath -m -- "$4")
shift 4
here=$(dirname "$(realpath -- "$0")")

command -v Xvfb >/dev/null || die "Xvfb not found (install the xvfb package)"
for tool in import convert; do
    command -v "$tool" >/dev/null || die "$tool not found (install imagemagick)"
done

mkdir -p -- "$shots" || die "cannot create $shots"
rm -f -- "$shots"/*.request "$shots"/*.part
tmp=$(mktemp -d) || die "cannot make a temporary directory"

xvfb_pid=""
watch_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null && wait "$watch_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf -- "$tmp"
}
trap cleanup EXIT
trap 'echo "$me: interrupted" >&2; exit 1' INT TERM HUP

export E2E_DESKTOP=${E2E_DESKTOP:-1024x768}
# Xvfb picks a free display itself and writes its number to the fd.
Xvfb -displayfd 5 -screen 0 "${E2E_DESKTOP}x24" -nolisten tcp -noreset 5>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -s "$tmp/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$tmp/display" ] || {
    cat "$tmp/xvfb.log" >&2
    die "Xvfb did not start"
}
DISPLAY=":$(tr -dc '0-9' <"$tmp/display")"
export DISPLAY
echo "$me: Xvfb on $DISPLAY"

capture() {
    local name=$1
    rm -f "$tmp/prev.ppm"
    for _ in $(seq 1 30); do
        import -display "$DISPLAY" -window root "ppm:$tmp/cur.ppm" 2>>"$tmp/import.log" || continue
        if [ -f "$tmp/prev.ppm" ] && cmp -s "$tmp/cur.ppm" "$tmp/prev.ppm"; then break; fi
        mv -f "$tmp/cur.ppm" "$tmp/prev.ppm"
        sleep 0.1
    done
    [ -f "$tmp/cur.ppm" ] || mv -f "$tmp/prev.ppm" "$tmp/cur.ppm"
    # Written under another name and renamed: the driver never reads half a picture.
    convert "ppm:$tmp/cur.ppm" "png:$shots/$name.part" && mv -f "$shots/$name.part" "$shots/$name.png" &&
        echo "$me: saved $shots/$name.png"
}

watch() {
    local req name
    while :; do
        for req in "$shots"/*.request; do
            [ -e "$req" ] || continue
            name=$(basename "$req" .request)
            capture "$name"
            rm -f -- "$req"
        done
        sleep 0.1
    done
}
watch &
watch_pid=$!

E2E_GRAPHICS=x11 E2E_SHOT_DIR=$shots E2E_PREFIX=${E2E_PREFIX_X11:-$root/.wineprefix-x11} \
    bash "$here/run_scenario.sh" "$driver" "$scenario" "$root" "$@"
rc=$?
echo "$me: pictures in $shots:" "$(cd "$shots" && find . -maxdepth 1 -name '*.png' -printf '%f ')"
exit $rc
