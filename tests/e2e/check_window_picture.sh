#!/usr/bin/env bash
# Pixel checks on a screenshot of the main window: the picture is there (blue on the left, dark red
# on the right), and every label's text is drawn straight on it, with no grey box behind.
# usage: check_window_picture.sh <screenshot.png> <places-file>
# The places file has one line per control: "<id> <x> <y> <width> <height>" in screen pixels.
set -euo pipefail
png=$1
places=$2
fail=0
[ -f "$png" ] || { echo "FAIL: no screenshot $png"; exit 1; }
[ -f "$places" ] || { echo "FAIL: no places file $places"; exit 1; }

# Mean red, green and blue (0-255) of a region.
mean() {
    convert "$png" -crop "$3x$4+$1+$2" +repage -scale 1x1\! -depth 8 txt:- |
        sed -n 's/.*srgba\?(\([0-9.]*\),\([0-9.]*\),\([0-9.]*\).*/\1 \2 \3/p'
}
# Share (percent) of a region's pixels that are light grey, as a dialog background is.
grey_share() {
    convert "$png" -crop "$3x$4+$1+$2" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 | awk '
        NF == 3 { r = $1; g = $2; b = $3; n++;
                  if (r > 150 && (r-g)^2 < 400 && (g-b)^2 < 400 && (r-b)^2 < 400) grey++ }
        END { printf "%d\n", n ? 100 * grey / n : 100 }'
}
check() {
    if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}

read -r _ px py pw ph < <(grep '^40001 ' "$places")
third=$((pw / 3))
read -r r g b < <(mean $px $py $third $ph)
check "left third of the picture is blue (r=$r g=$g b=$b)" "[ ${b%.*} -gt $(( ${r%.*} + 30 )) ]"
read -r r g b < <(mean $((px + pw - third)) $py $third $ph)
check "right third of the picture is dark red (r=$r g=$g b=$b)" "[ ${r%.*} -gt $(( ${b%.*} + 30 )) ] && [ ${r%.*} -lt 200 ]"

while read -r id x y w h; do
    [ "$id" = 40001 ] && continue
    share=$(grey_share $x $y $w $h)
    check "label $id has no grey box behind its text ($share% grey)" "[ $share -lt 10 ]"
done <"$places"
exit $fail
