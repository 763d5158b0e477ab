#!/usr/bin/env bash
# Static checks of a built quorvex.exe, for the builds that cannot run here (a 32-bit program needs a
# 32-bit Wine): it imports nothing but system DLLs, is a GUI program of the right machine, and carries
# its resources, with a manifest for its own architecture.
# usage: check_exe.sh <quorvex.exe> <x86|amd64>
set -uo pipefail
exe=$1
arch=$2
fail=0
check() {
    if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
[ -f "$exe" ] || { echo "FAIL: $exe does not exist"; exit 1; }
case $arch in
x86) objdump=i686-w64-mingw32-objdump; machine=i386 ;;
amd64) objdump=x86_64-w64-mingw32-objdump; machine=x86-64 ;;
*) echo "FAIL: architecture must be x86 or amd64"; exit 1 ;;
esac
command -v "$objdump" >/dev/null || { echo "FAIL: $objdump not found"; exit 1; }
command -v wrestool >/dev/null || { echo "FAIL: wrestool not found (package icoutils)"; exit 1; }

headers=$("$objdump" -p "$exe")
dlls=$(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
check "imports only system DLLs ($dlls)" \
    "[ -z \"\$(printf '%s\n' $dlls | grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|msvcrt.dll')\" ]"
check "a PE file for $machine" "\"$objdump\" -f \"$exe\" | grep -q 'file format pei-$machine'"
check "a GUI program (subsystem 2)" "grep -q -E '^Subsystem\s+0*2\s+\(Windows GUI\)' <<<\"\$headers\""

resources=$(wrestool -l "$exe")
has() { grep -q -- "--type=$1 --name=$2 " <<<"$resources"; }
check "menu 101" "has 4 101"
check "dialog 1000" "has 5 1000"
check "icon group 201" "has 14 201"
check "nine icon images" "[ \$(printf '%s\n' \"\$resources\" | grep -c -- '--type=3 ') -eq 9 ]"
check "bitmap 202" "has 2 202"
check "version information" "has 16 1"
check "manifest 1" "has 24 1"

manifest=$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null)
check "the manifest asks for the common controls version 6" \
    "grep -q 'name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"' <<<\"\$manifest\""
check "every processorArchitecture in the manifest is $arch" \
    "[ \"\$(printf '%s' \"\$manifest\" | grep -o 'processorArchitecture=\"[a-z0-9]*\"' | sort -u)\" = 'processorArchitecture=\"$arch\"' ]"
version=$(wrestool -x --raw --type=16 --name=1 "$exe" 2>/dev/null | tr -d '\0')
check "the version information names Quorvex 0.4b" "grep -q 'ProductVersion0.4b' <<<\"\$version\""
exit $fail
