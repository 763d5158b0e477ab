#!/usr/bin/env bash
# Runs one scenario of an end-to-end driver under wine64, in a fresh working directory, and
# always cleans the Wine prefix up afterwards.
#
# usage: run_scenario.sh <driver.exe> <scenario> <workdir-root> [file ...]
#   The scenario runs in <workdir-root>/<scenario>, emptied first; the files are copied there.
#
# environment:
#   E2E_PREFIX      Wine prefix shared by a test run; made once from scratch when missing, and
#                   locked while a scenario runs in it (default <workdir-root>/.wineprefix)
#   E2E_GRAPHICS    null (default: headless, Graphics=null) or x11 (needs DISPLAY; screenshot.sh)
#   E2E_WINE64      the wine64 binary (default: wine64 on PATH, then /usr/lib/wine/wine64)
#   E2E_WATCHDOG_S  the driver's own whole-scenario watchdog (default 120)
#   E2E_TIMEOUT_S   hard limit on the driver process (default watchdog + 30)
#   E2E_EXPECT_FAIL extended regex: the scenario must FAIL and print a line matching it
#   E2E_EXPECT_FAILED_CHECK  extended regex: the scenario's failed checks must all print a FAILED
#                   line matching it, at least one must, and nothing else may go wrong
#   QX_WINE_I386_CACHE  where scripts/setup.sh unpacked Wine's i386 DLLs (see wine_i386.sh)
#   E2E_NEEDS_32BIT the scenario runs 32-bit programs: on a kernel that runs no 32-bit code it is
#                   skipped, saying why
# exit: 0 pass, 1 fail (including a missing Wine, a timeout, or a program left running), 77 skipped.
#
# Every run can start 32-bit programs: WINEDLLPATH holds the i386 DLLs of the same Wine, so that
# wine64 runs them in its wow64 mode. A prefix that shows windows gets Wine's own fonts and draws
# dialogs in MS Sans Serif, as Windows does, instead of the wider DejaVu Sans.
set -uo pipefail

me=run_scenario
die() {
    echo "$me: FAIL: $*" >&2
    exit 1
}
now_ms() { date +%s%3N; }

[ $# -ge 3 ] || die "usage: $0 <driver.exe> <scenario> <workdir-root> [file ...]"
driver=$(realpath -m -- "$1")
scenario=$2
root=$(realpath -m -- "$3")
shift 3
[ -f "$driver" ] || die "driver $driver does not exist (not built?)"
case $scenario in
'' | */* | .*) die "bad scenario name '$scenario'" ;;
esac

# Wine: missing is a failure, never a skip
if [ -n "${E2E_WINE64:-}" ]; then
    wine=$E2E_WINE64
    [ -x "$wine" ] || die "wine64 not found at E2E_WINE64=$wine (install the wine64 package)"
else
    wine=$(command -v wine64 || true)
    if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; fi
    [ -n "$wine" ] || die "wine64 not found on PATH nor in /usr/lib/wine (install the wine64 package)"
fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
if [ -z "$wineserver" ] || [ ! -x "$wineserver" ]; then die "wineserver not found beside $wine"; fi

# shellcheck source=wine_i386.sh
. "$(dirname "$(realpath -- "$0")")/wine_i386.sh"
qx_wine_i386_env || die "no i386 Wine DLLs: run scripts/setup.sh"
if [ -n "${E2E_NEEDS_32BIT:-}" ] && ! qx_kernel_runs_32bit_code "$(dirname "$root")"; then
    echo "$me: SKIPPED: this machine's kernel runs no 32-bit code (int 0x80 faults), so Wine cannot start a 32-bit program"
    exit 77
fi

graphics=${E2E_GRAPHICS:-null}
case $graphics in
null) unset DISPLAY WAYLAND_DISPLAY ;;
x11) [ -n "${DISPLAY:-}" ] || die "E2E_GRAPHICS=x11 needs DISPLAY (use screenshot.sh)" ;;
*) die "E2E_GRAPHICS must be null or x11, not '$graphics'" ;;
esac

prefix=$(realpath -m -- "${E2E_PREFIX:-$root/.wineprefix}")
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono/Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"

# The prefix: made once, and used by one scenario at a time
# The lock is held to the end: scenarios sharing a prefix share its wineserver, and the
# wineserver -k of one would kill another's programs. Wine never inherits the lock's fd (9>&-),
# so a wineserver that outlives the script cannot hold it.
make_prefix() {
    local t0
    t0=$(now_ms)
    echo "$me: creating Wine prefix $prefix ($graphics graphics)"
    rm -rf -- "$prefix"
    timeout 300 "$wine" wineboot -i >/dev/null 2>&1 9>&- || die "wineboot -i failed for $prefix"
    if [ "$graphics" = null ]; then
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 9>&- ||
            die "cannot set Graphics=null in $prefix"
    else
        # A virtual desktop: Wine draws frames, captions and menus itself, with no window manager.
        "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 9>&- ||
            die "cannot set the virtual desktop in $prefix"
        "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${E2E_DESKTOP:-1024x768}" /f \
            >/dev/null 2>&1 9>&- || die "cannot set the virtual desktop size in $prefix"
        # Debian's Wine does not see its own fonts; Windows maps MS Shell Dlg to a face of MS Sans
        # Serif's metrics.
        [ -d /usr/share/wine/fonts ] || die "no /usr/share/wine/fonts (install the fonts-wine package)"
        cp -- /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 9>&- || die "cannot copy Wine's fonts into $prefix"
        "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' \
            /d 'MS Sans Serif' /f >/dev/null 2>&1 9>&- || die "cannot map MS Shell Dlg in $prefix"
    fi
    # A crashing program ends with a backtrace on stderr instead of waiting on a dialog.
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&- ||
        die "cannot turn the crash dialog off in $prefix"
    # The registry reaches the disk when the server stops.
    timeout 120 "$wineserver" -w 9>&- || die "wineserver did not stop after creating $prefix"
    echo "$ready" >"$prefix/.e2e-ready"
    echo "$me: prefix ready in $(($(now_ms) - t0)) ms"
}

mkdir -p -- "$(dirname "$prefix")" || die "cannot create $(dirname "$prefix")"
exec 9>"$prefix.lock" || die "cannot open $prefix.lock"
flock -w 600 9 || die "timed out waiting for the lock on $prefix"
# Names what the prefix was made with: one made otherwise is made anew.
ready="$graphics wow64"
[ "$graphics" = x11 ] && ready="$ready fonts"
if [ "$(cat "$prefix/.e2e-ready" 2>/dev/null)" != "$ready" ]; then
    make_prefix
fi

# A fresh working directory
work=$root/$scenario
rm -rf -- "$work"
mkdir -p -- "$work" || die "cannot create $work"
for f in "$@"; do
    [ -f "$f" ] || die "file $f for the working directory does not exist"
    cp -- "$f" "$work/" || die "cannot copy $f into $work"
done
export E2E_WORKDIR=$work

# Windows programs of this prefix, other than Wine's own services
# Builtins only (no forks per process), so that polling it stays cheap.
wine_dir=$(dirname "$(realpath -- "$wine")")
prefix_programs() {
    local p cmd
    local -a envs args
    for p in /proc/[0-9]*; do
        [ "${p#/proc/}" = "$$" ] && continue
        # Only Wine processes: a script of another run waiting for the lock has WINEPREFIX too.
        [ "$p/exe" -ef "$wine_dir/wine64" ] || [ "$p/exe" -ef "$wine_dir/wine64-preloader" ] || continue
        mapfile -d '' envs 2>/dev/null <"$p/environ" || continue
        case " ${envs[*]} " in *" WINEPREFIX=$prefix "*) ;; *) continue ;; esac
        mapfile -d '' args 2>/dev/null <"$p/cmdline" || continue
        cmd="${args[*]}"
        case $cmd in
        '' | *'\services.exe'* | *'\winedevice.exe'* | *'\plugplay.exe'* | *'\explorer.exe'* | *'\svchost.exe'* | \
            *'\rpcss.exe'* | *'\conhost.exe'* | *wineboot*) ;;
        *) echo "${p#/proc/} $cmd" ;;
        esac
    done
}

cleanup() {
    "$wineserver" -k >/dev/null 2>&1 9>&-
    timeout 30 "$wineserver" -w >/dev/null 2>&1 9>&-
}
trap cleanup EXIT
trap 'echo "$me: interrupted" >&2; exit 1' INT TERM HUP

watchdog_s=${E2E_WATCHDOG_S:-120}
limit_s=${E2E_TIMEOUT_S:-$((watchdog_s + 30))}
export E2E_WATCHDOG_S=$watchdog_s

# A run killed from outside (e.g. by CTest's own timeout) cannot clean up; start from a clean slate.
cleanup
cd -- "$work" || die "cannot enter $work"
t0=$(now_ms)
echo "$me: $scenario in $work (output: driver.log there)"
# To a file, not through a pipe: the programs the driver starts inherit its stdout, and one left
# running would hold a pipe open and stall the script.
timeout --kill-after=10 "$limit_s" "$wine" "$driver" "$scenario" >"$work/driver.log" 2>&1 9>&-
rc=$?
took=$(($(now_ms) - t0))
cat "$work/driver.log"

# Every finding goes to stderr and to verdict.log, which an expected failure is matched against.
verdict_log=$work/verdict.log
: >"$verdict_log"
finding() {
    echo "$me: FAIL: $*" | tee -a "$verdict_log" >&2
}

if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    finding "TIMEOUT: $scenario still running after ${limit_s} s; killed"
elif [ "$rc" -eq 2 ]; then
    finding "the driver does not know the scenario $scenario"
elif [ "$rc" -ne 0 ]; then
    finding "$scenario exited with $rc"
fi

# The driver kills what it started; a program still running now is a fault of the harness or
# of the driver.
left=""
deadline=$(($(now_ms) + 3000))
while :; do
    left=$(prefix_programs)
    [ -z "$left" ] && break
    [ "$(now_ms)" -ge "$deadline" ] && break
    sleep 0.1
done
if [ -n "$left" ]; then
    finding "programs left running after the driver ended (killed now):"
    echo "$left" | sed 's/^/    /' | tee -a "$verdict_log" >&2
fi

status=0
[ -s "$verdict_log" ] && status=1
if [ -n "${E2E_EXPECT_FAIL:-}" ]; then
    # Inverted: a pass only when the run failed, for the reason given, and the driver knew it.
    if [ $status -eq 0 ]; then
        echo "$me: FAIL: $scenario passed, but it must fail with /$E2E_EXPECT_FAIL/" >&2
        status=1
    elif [ "$rc" -eq 2 ]; then
        status=1
    elif ! grep -Eq -- "$E2E_EXPECT_FAIL" "$work/driver.log" "$verdict_log"; then
        echo "$me: FAIL: $scenario failed, but nothing printed matches /$E2E_EXPECT_FAIL/" >&2
        status=1
    else
        echo "$me: $scenario failed as it must (/$E2E_EXPECT_FAIL/)"
        status=0
    fi
elif [ -n "${E2E_EXPECT_FAILED_CHECK:-}" ]; then
    # Inverted for the named check alone: the driver ran to its verdict, and every check that failed
    # is that one. The driver prints one line with ": FAILED: " per failure and counts them.
    failed=$(grep -F ': FAILED: ' "$work/driver.log")
    named=$(grep -Ec -- "$E2E_EXPECT_FAILED_CHECK" <<<"$failed")
    others=$(grep -Ev -- "$E2E_EXPECT_FAILED_CHECK" <<<"$failed" | grep -v '^$')
    counted=$(sed -nE "s/^FAIL $scenario: ([0-9]+) failure.*/\1/p" "$work/driver.log" | tail -n 1)
    findings=$(grep -v -- " exited with 1\$" "$verdict_log")
    status=1
    if [ "$rc" -eq 0 ]; then
        echo "$me: FAIL: $scenario passed, but its check /$E2E_EXPECT_FAILED_CHECK/ must fail" >&2
    elif [ "$rc" -ne 1 ] || [ -n "$findings" ]; then
        echo "$me: FAIL: $scenario must fail on its checks alone, not otherwise (exit $rc)" >&2
    elif [ -n "$others" ]; then
        echo "$me: FAIL: $scenario: checks other than /$E2E_EXPECT_FAILED_CHECK/ failed:" >&2
        echo "$others" | sed 's/^/    /' >&2
    elif [ "$named" -eq 0 ] || [ "$counted" != "$named" ]; then
        echo "$me: FAIL: $scenario: $named failed check(s) match /$E2E_EXPECT_FAILED_CHECK/, the driver counted ${counted:-none}" >&2
    else
        echo "$me: $scenario failed on /$E2E_EXPECT_FAILED_CHECK/ alone, as it must"
        status=0
    fi
fi

echo "$me: $scenario: exit $rc, ${took} ms, verdict $([ $status -eq 0 ] && echo PASS || echo FAIL)"
exit $status
