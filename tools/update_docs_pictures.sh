#!/usr/bin/env bash
# Copies into docs/ the pictures of the companion's window after the sample evening (the demo's), of
# the Response Strings dialog and of the History window (the picture tests'), cut to the windows.
# usage: update_docs_pictures.sh [build-dir]   (after scripts/demo.sh, and ctest -L screenshot in
#                                               <build-dir>/win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
demo=$build/demo/pictures
shots=$build/win64/e2e-artefacts
# The window reaches one pixel of border round the picture, the menu bar above and the status bar below.
read -r _ x y _ < <(grep '^40001 ' "$demo/quorvex-window.places")
convert "$demo/quorvex-window.png" -crop "302x202+$((x - 1))+$((y - 20))" +repage "$root/docs/main-window.png"
# The dialog over the companion's window, whatever size the fonts make it: everything but the
# desktop, with a little of the desktop round it.
dialog=$shots/picture.response_dialog/response-strings.png
desktop=$(convert "$dialog" -crop 1x1+0+0 -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1)
convert "$dialog" -bordercolor "$desktop" -border 1 -fuzz 2% -trim +repage -bordercolor "$desktop" -border 8 \
    "$root/docs/response-strings.png"
convert "$shots/picture.history_after_the_sample_evening/history-window.png" -crop 760x560+20+20 +repage \
    "$root/docs/history.png"
echo "updated docs/main-window.png, docs/response-strings.png and docs/history.png"
