# Sourced by the scripts that run Wine: where the i386 PE DLLs of the installed wine64 are unpacked
# (scripts/setup.sh puts them there), and the WINEDLLPATH that lets wine64 run 32-bit programs.
# QX_WINE_I386_CACHE overrides the folder.

# Prints the folder for the installed wine64's version; fails when wine64 is not installed.
qx_wine_i386_cache() {
    local version
    version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || version=""
    if [ -z "$version" ]; then
        echo "wine_i386: FAIL: the wine64 package is not installed" >&2
        return 1
    fi
    echo "${QX_WINE_I386_CACHE:-/var/cache/quorvex/wine-i386-$version}"
}

# Exports WINEDLLPATH; fails with a clear message when the DLLs were never unpacked.
qx_wine_i386_env() {
    local cache
    cache=$(qx_wine_i386_cache) || return 1
    if [ ! -f "$cache/.complete" ]; then
        echo "wine_i386: FAIL: no i386 Wine DLLs in $cache (run scripts/setup.sh)" >&2
        return 1
    fi
    export WINEDLLPATH=$cache/usr/lib/i386-linux-gnu/wine
}

# True when this kernel runs 32-bit code. Wine's wow64 mode sets up every 32-bit thread with the
# 32-bit system call entry (int 0x80); a kernel without it (IA-32 emulation off, or a hypervisor
# that lacks it) faults there, before any 32-bit program runs. The probe is built once into $1.
qx_kernel_runs_32bit_code() {
    local probe=$1/kernel-32bit-probe
    if [ ! -x "$probe" ]; then
        mkdir -p -- "$1" || return 1
        printf '%s\n' 'int main(void) { long r; __asm__ volatile("int $0x80" : "=a"(r) : "0"(20L)); return r > 0 ? 0 : 1; }' |
            cc -x c -o "$probe.$$" - && mv -f -- "$probe.$$" "$probe" || return 1
    fi
    "$probe" 2>/dev/null
}
