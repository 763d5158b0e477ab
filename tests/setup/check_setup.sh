#!/usr/bin/env bash
# Runs scripts/setup.sh on pretend machines (fake_package_tools.sh stands in for the package tools)
# and checks each run: the package calls in order, the exit status, the last line printed, and the
# i386 DLLs: unpacked whole on success, untouched on a machine that had them, and no trace on failure.
# Needs no root and no network, and leaves the real machine alone.
#
# usage: check_setup.sh [setup.sh]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=${1:-$here/../../scripts/setup.sh}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
for tool in apt-get dpkg dpkg-query dpkg-deb sudo; do ln -s "$here/fake_package_tools.sh" "$tmp/bin/$tool"; done

unpacking="setup: unpacking libwine:i386=8.0~repack-4 into"
offline="setup: FAIL: apt-get update failed (no network, or the package archive is unreachable)"
# machine: packages (all installed, lists fetched), i386 (architecture added), dlls, and the switches
rows=(
    "fresh            |                      | update install add-architecture update download unpack | 0 | $unpacking"
    "developer        | packages             | add-architecture update download unpack | 0 | $unpacking"
    "i386, old lists  | packages i386        | update download unpack | 0 | $unpacking"
    "complete         | packages i386 dlls   |  | 0 | setup: nothing to do"
    "offline, fresh   | offline              | update | 1 | $offline"
    "offline          | packages offline     | add-architecture update | 1 | $offline"
    "no package       | packages no-deb      | add-architecture update download | 1 | setup: FAIL: apt-get download left no libwine i386 package"
    "no kernel32      | packages no-kernel32 | add-architecture update download unpack | 1 | holds no i386 kernel32.dll"
)

# Every file of the pretend machine and of the cache, with its size and time.
snapshot() { find "$m" "$cache" -mindepth 1 ! -name calls -printf '%p %s %T@\n' 2>/dev/null | sort; }

m=$tmp/machine
cache=$tmp/cache/wine-i386
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r name machine want_calls want_rc want_line < <(sed 's/ *| */|/g' <<<"$row")
    rm -rf "$m" "$tmp/cache" "$tmp/t"
    mkdir -p "$m" "$tmp/t" && touch "$m/installed" "$m/arches" "$m/lists"
    for w in $machine; do
        case $w in
        packages) echo '*' >"$m/installed" && echo amd64 >"$m/lists" ;;
        i386) echo i386 >"$m/arches" ;;
        dlls) mkdir -p "$cache/usr/lib/i386-linux-gnu/wine/i386-windows" && touch "$cache/.complete" ;;
        *) touch "$m/$w" ;;
        esac
    done
    before=$(snapshot)
    out=$(PATH="$tmp/bin:$PATH" QX_FAKE_MACHINE=$m QX_WINE_I386_CACHE=$cache TMPDIR=$tmp/t bash "$setup" 2>&1)
    rc=$?
    calls=$(awk '$1 == "apt-get" || $1 == "dpkg-deb" || $2 == "--add-architecture" {
        sub(/^-+/, "", $2); printf "%s%s", sep, ($1 == "dpkg-deb" ? "unpack" : $2); sep = " " }' "$m/calls" 2>/dev/null)
    problems=()
    [ "$rc" = "$want_rc" ] || problems+=("exit $rc, not $want_rc")
    [ "$calls" = "$want_calls" ] || problems+=("calls: '$calls', not '$want_calls'")
    case $(tail -n 1 <<<"$out") in *"$want_line"*) ;; *) problems+=("the last line does not say: $want_line") ;; esac
    [ -z "$(ls -A "$tmp/t")" ] || problems+=("left behind in TMPDIR: $(ls -A "$tmp/t")")
    [ ! -e "$cache.part" ] || problems+=("left half unpacked: $cache.part")
    if [ -z "$want_calls" ]; then
        [ "$(grep -c . <<<"$out")" = 1 ] || problems+=("did not say so in one line")
        [ "$(snapshot)" = "$before" ] || problems+=("changed the machine")
    elif [ "$want_rc" = 0 ]; then
        [ -f "$cache/.complete" ] && [ -f "$cache/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] ||
            problems+=("no complete DLLs in $cache")
    else
        [ ! -e "$cache" ] || problems+=("left $cache after failing")
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok   $name"
    else
        failed=1
        echo "FAIL $name:"
        printf '       %s\n' "${problems[@]}"
        sed 's/^/     | /' <<<"$out"
    fi
done
exit $failed
