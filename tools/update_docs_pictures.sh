#!/usr/bin/env bash
# Copies the pictures the picture tests took into docs/, cut to the companion's window.
# usage: update_docs_pictures.sh [build-dir]   (after ctest -L screenshot in <build-dir>/win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shots=${1:-$root/build}/win64/e2e-artefacts
read -r _ x y w h < <(grep '^40001 ' "$shots/picture.main_window/main-window.places")
# The window reaches one pixel of border round the picture, the menu bar above and the status bar below.
convert "$shots/picture.main_window/main-window.png" -crop "302x202+$((x - 1))+$((y - 20))" +repage \
    "$root/docs/main-window.png"
convert "$shots/picture.response_dialog/response-strings.png" -crop "420x300+$((x - 62))+$((y - 29))" +repage \
    "$root/docs/response-strings.png"
echo "updated docs/main-window.png and docs/response-strings.png"
