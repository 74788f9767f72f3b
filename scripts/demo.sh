#!/usr/bin/env bash
# The whole Windows XP cure, shown on a throw-away Wine machine: builds zorvane.exe (installing
# mingw-w64 and Wine when missing), plants both backdoors, and plays scan, Safe Mode run,
# restart and final scan, printing each run's output, what changed in between and the run log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/prerequisites.sh

ensure_windows_tools
ensure_tools ZORVANE_WINE_TEST_TOOLS
# A disk file system, beside the build: Wine keeps file attributes in extended attributes, which
# a tmpfs /tmp may not hold.
mkdir -p "$root/build/tmp"
TMPDIR=$(mktemp -d "$root/build/tmp/demo.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
echo "Building zorvane.exe ..."
build_windows_exe >/dev/null
# The machine runs on Wine's 64-bit loader (see scripts/winemachine.py), so the cure is played by
# the 64-bit build of the same source; build/windows/zorvane.exe is the 32-bit program to ship.
{ cmake --preset wine && cmake --build --preset wine --target zorvane; } >/dev/null
python3 scripts/demo_cycle.py build/wine/zorvane.exe
