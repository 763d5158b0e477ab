#!/usr/bin/env bash
# Checks ui/res/quorvex.ico and ui/res/backdrop.bmp: file structure read from
# the raw bytes (so a lenient decoder cannot hide a malformed file), what
# ImageMagick decodes, the colours, and that tools/make_art.cpp still
# reproduces both files byte for byte.
# Usage: bash tools/check_art.sh [repo-root]      Needs: od, awk, identify, convert.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="${1:-$(dirname "$here")}"
ico="$root/ui/res/quorvex.ico"
bmp="$root/ui/res/backdrop.bmp"
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() {  # check <description> <command...>
    local what="$1"; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

for tool in od awk identify convert; do
    command -v "$tool" >/dev/null || { echo "FAIL: '$tool' not found" >&2; exit 2; }
done
for f in "$ico" "$bmp"; do
    [[ -s "$f" ]] || { echo "FAIL: missing or empty $f" >&2; exit 1; }
done

# Little-endian unsigned reads: u8/u16/u32 <file> <offset>
u8()  { od -An -v -tu1 -j "$2" -N 1 "$1" | tr -d ' '; }
u16() { echo $(( $(u8 "$1" "$2") | $(u8 "$1" $(($2 + 1))) << 8 )); }
u32() { echo $(( $(u16 "$1" "$2") | $(u16 "$1" $(($2 + 2))) << 16 )); }
fsize() { wc -c <"$1" | tr -d ' '; }
gt() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# Icon bytes
ico_size=$(fsize "$ico")
check "icon header: reserved 0, type 1, 9 images" \
    test "$(u16 "$ico" 0) $(u16 "$ico" 2) $(u16 "$ico" 4)" = "0 1 9"

seen=""
total=$((6 + 16 * 9))
for i in $(seq 0 8); do
    e=$((6 + 16 * i))
    w=$(u8 "$ico" "$e"); h=$(u8 "$ico" $((e + 1))); colours=$(u8 "$ico" $((e + 2)))
    planes=$(u16 "$ico" $((e + 4))); bpp=$(u16 "$ico" $((e + 6)))
    len=$(u32 "$ico" $((e + 8))); off=$(u32 "$ico" $((e + 12)))
    tag="icon image $i (${w}x${h}, ${bpp} bpp)"
    seen="$seen ${w}x${h}@${bpp}"
    total=$((total + len))
    want_colours=0; [[ "$bpp" == 4 ]] && want_colours=16
    check "$tag: entry square, 1 plane, colour count $want_colours" \
        test "$w" = "$h" -a "$planes" = 1 -a "$colours" = "$want_colours"
    if (( off + len > ico_size || off < 6 + 16 * 9 )); then
        fail "$tag: data at $off+$len lies outside the file ($ico_size bytes)"
        continue
    fi
    pal=0; (( bpp <= 8 )) && pal=$((1 << bpp))
    xor_stride=$(( (w * bpp + 31) / 32 * 4 )); and_stride=$(( (w + 31) / 32 * 4 ))
    check "$tag: BITMAPINFOHEADER 40 bytes, width $w, doubled height, $bpp bpp, uncompressed" \
        test "$(u32 "$ico" "$off") $(u32 "$ico" $((off + 4))) $(u32 "$ico" $((off + 8))) $(u16 "$ico" $((off + 14))) $(u32 "$ico" $((off + 16)))" \
             = "40 $w $((2 * w)) $bpp 0"
    check "$tag: size = header + palette + XOR rows + AND mask ($len bytes)" \
        test "$len" = $((40 + 4 * pal + (xor_stride + and_stride) * w))
done
check "icon holds 48/32/16 px each at 4, 8 and 32 bpp" test "$(tr ' ' '\n' <<<"$seen" | sort | xargs)" = \
    "$(printf '%s\n' 16x16@32 16x16@4 16x16@8 32x32@32 32x32@4 32x32@8 48x48@32 48x48@4 48x48@8 | sort | xargs)"
check "icon images fill the file exactly ($ico_size bytes)" test "$total" = "$ico_size"

# Icon as decoded
decoded=$(identify -format '%wx%h@%z\n' "$ico" 2>&1) || fail "identify cannot read the icon: $decoded"
check "identify reads 9 icon images" test "$(grep -c '@' <<<"$decoded")" = 9
check "identify sees 3 images at each of 48, 32 and 16 px" \
    test "$(sed 's/@.*//' <<<"$decoded" | sort | uniq -c | xargs)" = "3 16x16 3 32x32 3 48x48"
check "identify sees 4-bit depth for exactly the three 16-colour images" \
    test "$(grep -c '@4$' <<<"$decoded")" = 3

# Per image: corners clear, emblem centre gold, cloth beside it red.
for i in $(seq 0 8); do
    w=$(u8 "$ico" $((6 + 16 * i))); bpp=$(u16 "$ico" $((6 + 16 * i + 6)))
    m=$((w - 1)); ex=$((w * 58 / 100)); ey=$((w * 45 / 100)); rx=$((w * 38 / 100)); ry=$((w * 30 / 100))
    tag="icon image $i (${w}px, ${bpp} bpp)"
    px=$(convert "$ico[$i]" -format \
        "%[fx:p{0,0}.a] %[fx:p{$m,$m}.a] %[fx:p{$ex,$ey}.r] %[fx:p{$ex,$ey}.g] %[fx:p{$ex,$ey}.b] %[fx:p{$rx,$ry}.r] %[fx:p{$rx,$ry}.g] %[fx:p{$rx,$ry}.b]" info: 2>&1) \
        || { fail "$tag: convert cannot decode it: $px"; continue; }
    read -r a0 a1 er eg eb rr rg rb <<<"$px"
    check "$tag: corners transparent" test "$a0 $a1" = "0 0"
    check "$tag: emblem centre is gold ($er $eg $eb)" eval "gt $er 0.7 && gt $eg 0.5 && gt 0.4 $eb"
    check "$tag: banner is red ($rr $rg $rb)" eval "gt $rr 0.5 && gt 0.25 $rg && gt 0.25 $rb"
done

# Bitmap bytes
bmp_size=$(fsize "$bmp")
data=$(u32 "$bmp" 10)
check "bitmap starts with BM and records its own size" \
    test "$(od -An -c -N 2 "$bmp" | tr -d ' ') $(u32 "$bmp" 2)" = "BM $bmp_size"
check "bitmap header: 40 bytes, 298 x 161 bottom-up, 1 plane, 8 bpp" \
    test "$(u32 "$bmp" 14) $(u32 "$bmp" 18) $(u32 "$bmp" 22) $(u16 "$bmp" 26) $(u16 "$bmp" 28)" = "40 298 161 1 8"
check "bitmap compression is BI_RLE8 (1)" test "$(u32 "$bmp" 30)" = 1
check "bitmap image size field matches the RLE stream" test "$(u32 "$bmp" 34)" = $((bmp_size - data))
check "bitmap palette has 256 entries before the pixel data" \
    test "$(u32 "$bmp" 46) $data" = "256 $((14 + 40 + 1024))"

# Walk the RLE8 stream: every row exactly 298 pixels then 00 00, absolute runs
# at least 3 long and padded to even, no deltas, 161 rows, then 00 01 last.
rle_report=$(od -An -v -tu1 -j "$data" "$bmp" | awk -v W=298 -v H=161 '
    { for (f = 1; f <= NF; f++) b[n++] = $f + 0 }
    END {
        i = 0; x = 0; rows = 0
        while (i < n) {
            c = b[i]; v = b[i + 1]
            if (i + 1 >= n) { print "stream ends inside a code at byte " i; exit 1 }
            if (c > 0) { x += c; i += 2 }
            else if (v == 0) {
                if (x != W) { print "row " rows " has " x " pixels, not " W; exit 1 }
                rows++; x = 0; i += 2
            } else if (v == 1) {
                if (x != 0) { print "end of bitmap in the middle of a row"; exit 1 }
                if (i + 2 != n) { print (n - i - 2) " bytes after end of bitmap"; exit 1 }
                if (rows != H) { print rows " rows, not " H; exit 1 }
                print "rows=" rows " bytes=" n; exit 0
            } else if (v == 2) { print "delta escape at byte " i; exit 1 }
            else {
                if (i + 2 + v + v % 2 > n) { print "absolute run past end at byte " i; exit 1 }
                x += v; i += 2 + v + v % 2
            }
            if (x > W) { print "row " rows " overflows at byte " i; exit 1 }
        }
        print "no end-of-bitmap marker"; exit 1
    }') && pass "RLE8 stream well formed ($rle_report)" || fail "RLE8 stream: $rle_report"

# Bitmap as decoded
check "identify reads the bitmap as 298x161, 8-bit, RLE" \
    test "$(identify -format '%wx%h %z %C' "$bmp" 2>&1)" = "298x161 8 RLE"

mean() {  # mean <geometry> -> "r g b" in 0..1
    convert "$bmp" -crop "$1" +repage -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]' info:
}
scaled() { awk -v v="$1" -v k="$2" 'BEGIN { print v * k }'; }
luma() { awk -v r="$1" -v g="$2" -v b="$3" 'BEGIN { print (r + g + b) / 3 }'; }
if err=$(convert "$bmp" -format '%w' info: 2>&1); then
    read -r lr lg lb <<<"$(mean 99x161+0+0)"
    read -r rr rg rb <<<"$(mean 99x161+199+0)"
    check "left third is blue ($lr $lg $lb)" eval "gt $lb $(scaled "$lr" 1.5) && gt $lb $lg"
    check "right third is dark red ($rr $rg $rb)" \
        eval "gt $rr $(scaled "$rg" 1.5) && gt $rr $(scaled "$rb" 1.5) && gt 0.6 $rr"
    centre=$(luma $(mean 10x161+144+0)); left=$(luma $(mean 5x161+0+0)); right=$(luma $(mean 5x161+293+0))
    check "middle columns ($centre) clearly brighter than left edge ($left)" gt "$centre" "$(scaled "$left" 1.5)"
    check "middle columns ($centre) clearly brighter than right edge ($right)" gt "$centre" "$(scaled "$right" 1.5)"
else
    fail "convert cannot decode the bitmap, colours not checked: $err"
fi

# Reproducible
cxx="${CXX:-g++}"
if command -v "$cxx" >/dev/null; then
    tmp="$(mktemp -d)"
    trap 'rm -rf "$tmp"' EXIT
    if bash "$here/make_art.sh" "$tmp/a" >/dev/null && bash "$here/make_art.sh" "$tmp/b" >/dev/null; then
        for f in quorvex.ico backdrop.bmp; do
            check "$f: two fresh runs are byte-identical" cmp -s "$tmp/a/ui/res/$f" "$tmp/b/ui/res/$f"
            check "$f: checked-in file matches the generator" cmp -s "$tmp/a/ui/res/$f" "$root/ui/res/$f"
        done
    else
        fail "tools/make_art.sh did not build and run"
    fi
else
    echo "note: no C++ compiler ('$cxx'); skipped the regeneration comparison"
fi

if (( failures )); then
    echo "check_art: $failures check(s) failed" >&2
    exit 1
fi
echo "check_art: all checks passed"
