#!/usr/bin/env bash
# Speed of zorvane-rescue on a large installation (a SOFTWARE hive of at least 30 MB, a SYSTEM
# hive with 3,000 services, both threats present): its scan against reading the two hives
# (cat > /dev/null), its cure against copying them (cp), timed in turns in one run, best of 5
# each, all from the page cache. Prints the ratios and whether the targets are met (scan at most
# 2 x reading, cure at most 3 x copying); exits non-zero only when it cannot measure.
#
#   bench/rescue.sh [path/to/zorvane-rescue]
# The installation is built once, into build/rescue-bench, and kept for later runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$root/build/rescue/zorvane-rescue}")
runs=5
prepared="$root/build/rescue-bench/volume"
config="WINDOWS/system32/config"

if [ ! -f "$prepared.done" ]; then
    rm -rf "$prepared"
    mkdir -p "$prepared"
    /usr/bin/python3 - "$root/scripts" "$prepared" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
import rescue_install
rescue_install.build(sys.argv[2], services=3000, software_mb=30)
EOF
    touch "$prepared.done"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/rescue-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
hives=("$prepared/$config/SOFTWARE" "$prepared/$config/SYSTEM")
echo "hives: SOFTWARE $(stat -c %s "${hives[0]}") bytes, SYSTEM $(stat -c %s "${hives[1]}") bytes"

# Nanoseconds from bash's own clock: starting `date` would add a few milliseconds to every
# contender alike and so flatter the ratios. (The locale may write a decimal comma.)
# Without a subshell either: `stamp NAME` sets NAME.
stamp() { local micro=${EPOCHREALTIME/[.,]/}; printf -v "$1" '%s000' "$micro"; }
best() {  # best NAME NANOSECONDS: keeps the least time of NAME
    local -n least=$1
    [ "${least:-0}" -ne 0 ] && [ "$least" -le "$2" ] || least=$2
}

scan=0 read=0 cure=0 copy=0
cat "${hives[@]}" >/dev/null  # into the page cache, for every contender alike
for ((i = 0; i < runs; i++)); do
    stamp t
    cat "${hives[@]}" >/dev/null
    stamp e
    best read $((e - t))

    stamp t
    code=0
    "$exe" "$prepared" >"$work/scan.out" || code=$?
    stamp e
    best scan $((e - t))
    if [ $code -ne 2 ]; then
        echo "cannot measure: the scan ended with exit code $code, not 2"; cat "$work/scan.out"
        exit 1
    fi

    rm -rf "$work/copy" "$work/volume"
    mkdir "$work/copy"
    cp -a "$prepared" "$work/volume"
    sync -f "$work/volume"
    stamp t
    cp "${hives[@]}" "$work/copy/"
    sync "$work/copy/SOFTWARE" "$work/copy/SYSTEM"  # flushed, as the cure flushes what it writes
    stamp e
    best copy $((e - t))

    stamp t
    code=0
    "$exe" --cure "$work/volume" >"$work/cure.out" || code=$?
    stamp e
    best cure $((e - t))
    if [ $code -ne 0 ]; then
        echo "cannot measure: the cure ended with exit code $code, not 0"; cat "$work/cure.out"
        exit 1
    fi
done

ratio() {  # ratio NAME TIME YARDSTICK-NAME YARDSTICK TARGET
    awk -v n="$1" -v a="$2" -v y="$3" -v b="$4" -v t="$5" 'BEGIN {
        r = a / b
        printf "%s %.3f s, %s %.3f s: ratio %.2f (target at most %s) %s\n", n, a / 1e9, y,
            b / 1e9, r, t, (r <= t ? "met" : "NOT MET")
    }'
}
ratio scan "$scan" "reading the hives" "$read" 2
ratio cure "$cure" "copying the hives (flushed)" "$copy" 3
