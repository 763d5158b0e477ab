#!/usr/bin/env bash
# Makes the release archives into a scratch folder and checks what a player unpacks: the 32-bit
# quorvex.exe (checked statically), the README and the licence, and nothing else.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
QX_DIST_DIR=$scratch/dist bash "$root/scripts/package.sh" >"$scratch/package.log" 2>&1 ||
    { cat "$scratch/package.log"; echo "FAIL: packaging"; exit 1; }
fail=0
for pair in win32:x86 win64:amd64; do
    tree=${pair%:*}
    zip=$scratch/dist/quorvex-0.4b-$tree.zip
    [ -f "$zip" ] || { echo "FAIL: no $zip"; fail=1; continue; }
    names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    if [ "$names" = "LICENSE.txt README.md quorvex.exe " ]; then echo "ok: $tree archive holds $names"; else
        echo "FAIL: $tree archive holds $names"; fail=1; fi
    mkdir -p "$scratch/$tree" && unzip -q "$zip" -d "$scratch/$tree"
    bash "$root/tools/check_exe.sh" "$scratch/$tree/quorvex.exe" "${pair#*:}" | sed "s/^/$tree: /" || fail=1
    cmp -s "$scratch/$tree/README.md" "$root/README.md" || { echo "FAIL: $tree README differs"; fail=1; }
done
exit $fail
