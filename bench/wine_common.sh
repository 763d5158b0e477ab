# Shared by the measuring scripts under Wine: a build, a prefix, and a console whose log is full.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QX_BUILD_DIR:-$root/build}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$build/wineprefix-bench WINEDEBUG=-all
unset DISPLAY

# usage: bench_setup [targets...]   (default: the poll benchmark and the programs it drives)
bench_setup() {
    local targets=("$@")
    [ ${#targets[@]} -gt 0 ] || targets=(quorvex qxconsole wine_poll_bench)
    bash "$root/scripts/setup.sh"
    # As in the tests: every Wine run can start the 32-bit release exe.
    . "$root/tests/e2e/wine_i386.sh"
    qx_wine_i386_env || exit 1
    cmake -S "$root" -B "$build/win64" -G Ninja -DQX_VARIANT=win64 \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build "$build/win64" -j2 --target "${targets[@]}" >/dev/null
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >/dev/null 2>&1
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        "$wineserver" -w
    fi
    work=$(mktemp -d)
    trap '"$wineserver" -k >/dev/null 2>&1; rm -rf "$work"' EXIT
}

# Starts the console with about 32 KB of log: 500 lines of 64 characters.
start_full_console() {
    for i in $(seq 1 500); do printf '0 %-62s\n' "Somebody: line $i of chat that matches nothing at all"; done >"$work/full.txt"
    (cd "$work" && "$wine" "$build/win64/sim/qxconsole.exe" --script 'full.txt' >/dev/null 2>&1 &)
    for _ in $(seq 1 100); do
        "$wine" "$build/win64/bench/wine/wine_poll_bench.exe" 1 1 >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    echo "the console did not come up" >&2
    return 1
}

# CPU seconds (user + system) a Linux process has used, by the name Wine gives it.
cpu_seconds_of() {
    local pid
    pid=$(pgrep -f "$1" | head -n 1)
    [ -n "$pid" ] || { echo 0; return; }
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / hz }' "/proc/$pid/stat"
}
