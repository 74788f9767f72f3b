#!/usr/bin/env bash
# Every check, in order: the native unit tests of the code that makes no Windows call,
# zorvane-rescue with its tests, the hardening stage, the unit tests under Wine, zorvane.exe
# (whose build checks that it loads on Windows NT 4.0 and 98), the end-to-end suite under Wine,
# and the footprint benchmark.
# Installs what is missing first (Debian). Exits non-zero when any step fails; the last line is
# the Wine suite's "N passed, N failed".
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/prerequisites.sh

started=$SECONDS
# Throw-away Wine machines live beside the build: a disk file system keeps the extended
# attributes in which Wine stores hidden and system flags (a tmpfs /tmp may not).
mkdir -p "$root/build/tmp"
work=$(mktemp -d "$root/build/tmp/test.XXXXXX")
export TMPDIR="$work"  # Wine's own server directories too, so that all goes at the end
trap 'rm -rf "$work"' EXIT
failed_steps=()

step() {  # step NAME COMMAND...: runs one step, notes a failure and goes on
    local name=$1 begun=$SECONDS
    shift
    echo "=== $name"
    if "$@"; then
        echo "=== $name: ok ($((SECONDS - begun)) s)"
    else
        echo "=== $name: FAILED ($((SECONDS - begun)) s)"
        failed_steps+=("$name")
    fi
}

unit_tests() {
    cmake --preset native >/dev/null && cmake --build --preset native &&
        ctest --preset native
}

# Each test program runs in a copy of build/wine/template, which ctest makes when missing; the
# end-to-end suite (on the 64-bit build of zorvane.exe beside the test programs) and the
# benchmark (on the shipped 32-bit one) copy the same template.
template="$root/build/wine/template"
# zorvane-rescue, built natively with its own preset, and every test of its build.
rescue_tests() {
    cmake --preset rescue >/dev/null && cmake --build --preset rescue && ctest --preset rescue
}

wine_unit_tests() {
    cmake --preset wine >/dev/null && cmake --build --preset wine && ctest --preset wine
}

wine_suite() {
    python3 tests/wine/prefix.py make-template --keep "$template" &&
    python3 tests/wine/suite.py --exe build/wine/zorvane.exe --template "$template" |
        tee "$work/suite.log"
}

benchmark() {
    ZORVANE_WINE_TEMPLATE="$template" bench/footprint.sh build/windows/zorvane.exe
}

# zorvane-rescue on a plain folder and on an NTFS image, with the library that fails its
# file-system calls in turn preloaded for the fault sweep.
rescue_end_to_end() {
    cmake --preset rescue >/dev/null && cmake --build --preset rescue &&
        gcc -shared -fPIC -O2 -Wall -Wextra -Werror -o build/rescue/fault.so \
            tests/rescue/fault.c -ldl &&
        /usr/bin/python3 tests/rescue/rescue_test.py --exe build/rescue/zorvane-rescue \
            --fault build/rescue/fault.so
}

step "prerequisites" ensure_tools ZORVANE_NATIVE_TOOLS
step "prerequisites for Windows" ensure_windows_tools
step "prerequisites for the tests under Wine" ensure_tools ZORVANE_WINE_TEST_TOOLS
step "locales" ensure_locales
step "unit tests" unit_tests
step "prerequisites for zorvane-rescue" ensure_tools ZORVANE_RESCUE_TOOLS
step "zorvane-rescue and its tests" rescue_tests
step "hardening: sanitizers, fuzzing, analysis" bash scripts/hardening.sh
step "unit tests under Wine" wine_unit_tests
step "zorvane.exe" build_windows_exe
step "Wine suite" wine_suite
step "footprint benchmark" benchmark
step "prerequisites for the rescue's tests" ensure_tools ZORVANE_RESCUE_TEST_TOOLS
step "rescue end-to-end" rescue_end_to_end
step "rescue benchmark" bench/rescue.sh build/rescue/zorvane-rescue

echo
echo "Total time: $((SECONDS - started)) s"
if [ ${#failed_steps[@]} -eq 0 ]; then
    echo "All steps passed."
else
    echo "FAILED steps: ${failed_steps[*]}"
fi
# The suite's own count; when it could not run, every case counts as failed.
counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/suite.log" 2>/dev/null | tail -n 1)
[ -n "$counts" ] || counts="0 passed, $(python3 tests/wine/suite.py --list | wc -l) failed"
echo "$counts"
[ ${#failed_steps[@]} -eq 0 ]
