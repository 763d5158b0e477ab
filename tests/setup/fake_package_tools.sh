#!/usr/bin/env bash
# Poses as apt-get, dpkg, dpkg-query, dpkg-deb and sudo, by the name it is called by, on a pretend
# machine kept in the folder $QX_FAKE_MACHINE, and appends every call to its file `calls`. The
# machine: `installed` (packages, one a line; * is every package), `arches` (foreign architectures),
# `lists` (architectures whose package lists were fetched), each there if empty, and the switches
# `offline`, `no-deb` and `no-kernel32` (empty files). Anything else it is asked fails loudly, so the real system is never reached.
set -euo pipefail
m=${QX_FAKE_MACHINE:?names the pretend machine}
me=${0##*/}
echo "$me $*" >>"$m/calls"
version=8.0~repack-4
unreachable="W: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'"
has() {
    local line
    while read -r line; do [ "$line" = "$2" ] || [ "$line" = '*' ] && return 0; done <"$m/$1"
    return 1
}
on() { [ -e "$m/$1" ]; }

case "$me ${1:-}" in
sudo\ *) exec "$@" ;;
"dpkg-query -W")
    has installed "$3" || { echo "dpkg-query: no packages found matching $3" >&2 && exit 1; }
    case $2 in *Status*) printf 'install ok installed' ;; *Version*) printf '%s' "$version" ;; esac
    ;;
"dpkg --print-foreign-architectures") cat "$m/arches" ;;
"dpkg --add-architecture") has arches "$2" || echo "$2" >>"$m/arches" ;;
"apt-get update")
    # As the real one: an archive out of reach is only a warning unless --error-on=any asks otherwise.
    if on offline; then
        echo "$unreachable" >&2
        case " $* " in *" --error-on=any "*) echo "E: Some index files failed to download." >&2 && exit 100 ;; esac
    else
        { echo amd64 && cat "$m/arches"; } >"$m/lists"
    fi
    ;;
"apt-get install")
    for p in "${@:2}"; do
        case $p in -*) continue ;; esac
        has lists amd64 || { echo "E: Unable to locate package $p" >&2 && exit 100; }
        echo "$p" >>"$m/installed"
    done
    ;;
"apt-get download")
    want=${!#}
    arch=${want#*:}
    has lists "${arch%%=*}" || { echo "E: Unable to locate package ${want%%=*}" >&2 && exit 100; }
    ! on offline || { echo "$unreachable" >&2 && exit 100; }
    on no-deb && exit 0
    on no-kernel32 || echo kernel32.dll >"libwine_${version}_i386.deb"
    echo ntdll.dll >>"libwine_${version}_i386.deb"
    ;;
"dpkg-deb -x")
    mkdir -p "$3/usr/lib/i386-linux-gnu/wine/i386-windows"
    while read -r dll; do : >"$3/usr/lib/i386-linux-gnu/wine/i386-windows/$dll"; done <"$2"
    ;;
*) echo "$me: the pretend machine cannot answer: $me $*" >&2 && exit 99 ;;
esac
