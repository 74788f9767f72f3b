#!/usr/bin/env bash
# Footprint of zorvane.exe: its stripped size, the DLLs and functions it imports, and the wall
# time of "zorvane.exe /LIST" under a warm Wine against a console program that only returns
# (median of 20 runs each, taken in turns). Prints the figures and whether the targets are met
# (at most 160 KiB, time ratio at most 1.10); exits non-zero only when it cannot measure.
#
#   bench/footprint.sh [path/to/zorvane.exe]
# ZORVANE_WINE_TEMPLATE names a ready Wine prefix to copy (otherwise one is made).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$root/build/windows/zorvane.exe}")
runs=20
size_target=$((160 * 1024))
ratio_target=1.10

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-bench.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- size and imports ---------------------------------------------------------------------
i686-w64-mingw32-strip -o "$work/stripped.exe" "$exe"
size=$(stat -c %s "$work/stripped.exe")
echo "zorvane.exe stripped: $size bytes ($((size / 1024)) KiB; target at most 160 KiB)"
i686-w64-mingw32-objdump -p "$exe" | awk '
    /^\tDLL Name:/ { if (dll) print dll " (" n "):" list; dll = $3; n = 0; list = "" }
    dll && /^\t[0-9a-f]+\t *[0-9]+ +[^ ]+$/ { n++; list = list " " $3 }
    END { if (dll) print dll " (" n "):" list }' |
    while read -r line; do echo "$line" | fold -s -w 96 | sed '2,$s/^/        /'; done

# --- start-up time ------------------------------------------------------------------------
i686-w64-mingw32-gcc-win32 -Os -s -static -Wl,--subsystem,console:4.0 \
    -o "$work/minimal.exe" "$root/bench/minimal.c"
if [ -n "${ZORVANE_WINE_TEMPLATE:-}" ]; then
    cp -a "$ZORVANE_WINE_TEMPLATE" "$WINEPREFIX"
else
    wineboot -i >/dev/null 2>&1
fi
cp "$exe" "$WINEPREFIX/drive_c/zorvane.exe"
cp "$work/minimal.exe" "$WINEPREFIX/drive_c/minimal.exe"
cd "$WINEPREFIX/drive_c"
wineserver -p  # stays up between runs: a warm Wine
for program in zorvane minimal; do  # warm-up runs, not counted
    wine "C:\\$program.exe" /LIST </dev/null >/dev/null 2>&1
done

elapsed_ns() {  # runs the program once; prints its wall time in nanoseconds
    local start end
    start=$(date +%s%N)
    wine "C:\\$1.exe" /LIST </dev/null >/dev/null 2>&1
    end=$(date +%s%N)
    echo $((end - start))
}
: >"$work/zorvane.times"
: >"$work/minimal.times"
for _ in $(seq "$runs"); do
    elapsed_ns zorvane >>"$work/zorvane.times"
    elapsed_ns minimal >>"$work/minimal.times"
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'; }
zorvane_ns=$(median "$work/zorvane.times")
minimal_ns=$(median "$work/minimal.times")
ratio=$(awk -v a="$zorvane_ns" -v b="$minimal_ns" 'BEGIN { printf "%.3f", a / b }')
printf 'zorvane.exe /LIST: median %.1f ms over %d runs\n' "$(awk -v n="$zorvane_ns" 'BEGIN { print n / 1e6 }')" "$runs"
printf 'minimal.exe:       median %.1f ms over %d runs\n' "$(awk -v n="$minimal_ns" 'BEGIN { print n / 1e6 }')" "$runs"
echo "time ratio: $ratio (target at most $ratio_target)"

size_ok=$([ "$size" -le "$size_target" ] && echo met || echo MISSED)
ratio_ok=$(awk -v r="$ratio" -v t="$ratio_target" 'BEGIN { print (r <= t) ? "met" : "MISSED" }')
echo "targets: size $size_ok, time ratio $ratio_ok"
