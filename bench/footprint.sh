#!/usr/bin/env bash
# Footprint of zorvane.exe: its stripped size, the DLLs and functions it imports, and the wall
# time of "zorvane.exe /LIST" under a warm Wine against a console program that only returns but
# imports the same DLLs (median of 20 runs each, taken in turns): loading those DLLs is the
# system's cost, the rest is the program's own work. Prints the figures and whether the targets
# are met (at most 128 KiB, time ratio at most 1.10); exits non-zero only when it cannot
# measure. A third program that only returns and imports nothing shows, for information, what
# the DLL loads cost.
#
#   bench/footprint.sh [path/to/zorvane.exe]
# ZORVANE_WINE_TEMPLATE names a ready Wine prefix to copy (otherwise one is made).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$root/build/windows/zorvane.exe}")
runs=20
size_target=$((128 * 1024))
ratio_target=1.10

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-bench.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# The test machines' template is a 64-bit prefix, in which Wine runs 32-bit programs as 64-bit
# Windows does; a prefix made here is a 32-bit one.
[ -n "${ZORVANE_WINE_TEMPLATE:-}" ] && export WINEARCH=win64 || export WINEARCH=win32
unset DISPLAY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- size and imports ---------------------------------------------------------------------
i686-w64-mingw32-strip -o "$work/stripped.exe" "$exe"
size=$(stat -c %s "$work/stripped.exe")
echo "zorvane.exe stripped: $size bytes ($((size / 1024)) KiB; target at most 128 KiB)"
i686-w64-mingw32-objdump -p "$exe" | awk '
    /^\tDLL Name:/ { if (dll) print dll " (" n "):" list; dll = $3; n = 0; list = "" }
    dll && /^\t[0-9a-f]+\t *[0-9]+ +[^ ]+$/ { n++; list = list " " $3 }
    END { if (dll) print dll " (" n "):" list }' |
    while read -r line; do echo "$line" | fold -s -w 96 | sed '2,$s/^/        /'; done

# --- start-up time ------------------------------------------------------------------------
# Where the kernel runs no 32-bit code, Wine's 32-bit loader runs under qemu's emulation
# (scripts/prerequisites.sh): a start then costs about a minute, and its time says nothing about
# the program. There the shipped program is started once, as a check that it runs at all.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    if [ -n "${ZORVANE_WINE_TEMPLATE:-}" ]; then
        cp -a "$ZORVANE_WINE_TEMPLATE" "$WINEPREFIX"
    else
        wineboot -i >/dev/null 2>&1
    fi
    cp "$exe" "$WINEPREFIX/drive_c/zorvane.exe"
    started=$SECONDS
    listed=$(cd "$WINEPREFIX/drive_c" && wine 'C:\zorvane.exe' /LIST </dev/null 2>/dev/null)
    echo "zorvane.exe /LIST under emulated 32-bit Wine: $((SECONDS - started)) s (time ratio not measured here)"
    size_ok=$([ "$size" -le "$size_target" ] && echo met || echo MISSED)
    echo "targets: size $size_ok, time ratio not measured (emulated)"
    grep -q 'Backdoor.HacDef.073.b' <<<"$listed" || { echo "zorvane.exe /LIST printed no list"; exit 1; }
    exit 0
fi
for yardstick in minimal same_imports; do
    i686-w64-mingw32-gcc-win32 -Os -s -static -Wl,--subsystem,console:4.0 \
        -o "$work/$yardstick.exe" "$root/bench/$yardstick.c"
done
if [ -n "${ZORVANE_WINE_TEMPLATE:-}" ]; then
    cp -a "$ZORVANE_WINE_TEMPLATE" "$WINEPREFIX"
else
    wineboot -i >/dev/null 2>&1
fi
cp "$exe" "$WINEPREFIX/drive_c/zorvane.exe"
cp "$work/minimal.exe" "$work/same_imports.exe" "$WINEPREFIX/drive_c/"
sync  # the prefix copy's writes would otherwise land on the disk during the runs
cd "$WINEPREFIX/drive_c"
wineserver -p  # stays up between runs: a warm Wine
programs=(zorvane minimal same_imports)
for _ in 1 2 3; do  # warm-up runs, not counted
    for program in "${programs[@]}"; do
        wine "C:\\$program.exe" /LIST </dev/null >/dev/null 2>&1
    done
done

elapsed_ns() {  # runs the program once; prints its wall time in nanoseconds
    local start end
    start=$(date +%s%N)
    wine "C:\\$1.exe" /LIST </dev/null >/dev/null 2>&1
    end=$(date +%s%N)
    echo $((end - start))
}
for _ in $(seq "$runs"); do  # in turns, so that a busy moment hits all three alike
    for program in "${programs[@]}"; do
        elapsed_ns "$program" >>"$work/$program.times"
    done
done
median_ns() { sort -n "$work/$1.times" | awk '{ v[NR] = $1 } END { print (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'; }
ms() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
zorvane_ns=$(median_ns zorvane)
minimal_ns=$(median_ns minimal)
imports_ns=$(median_ns same_imports)
echo "median wall time over $runs runs each, warm Wine:"
printf '  %-56s %6s ms\n' "zorvane.exe /LIST" "$(ms "$zorvane_ns")" \
    "minimal.exe (only returns)" "$(ms "$minimal_ns")" \
    "same_imports.exe (only returns, imports the same DLLs)" "$(ms "$imports_ns")"
time_ratio=$(ratio "$zorvane_ns" "$imports_ns")
echo "time ratio zorvane.exe : same_imports.exe = $time_ratio (target at most $ratio_target)"
echo "time ratio zorvane.exe : minimal.exe = $(ratio "$zorvane_ns" "$minimal_ns") (for information)"
echo "time ratio same_imports.exe : minimal.exe = $(ratio "$imports_ns" "$minimal_ns") (loading the DLLs)"

size_ok=$([ "$size" -le "$size_target" ] && echo met || echo MISSED)
ratio_ok=$(awk -v r="$time_ratio" -v t="$ratio_target" 'BEGIN { print (r <= t) ? "met" : "MISSED" }')
echo "targets: size $size_ok, time ratio $ratio_ok"
