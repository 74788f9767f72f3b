#!/usr/bin/env bash
# zorvane-rescue at work on a real NTFS volume: an infected Windows XP installation (both threats
# and the leftovers of an unfinished zorvane.exe cure) written onto an NTFS image, mounted with
# ntfs-3g; then the scan, the cure, what the cure changed in the hives (hivexregedit --export
# before and after), the undo, and everything removed again. Needs root and /dev/fuse.
#
#   scripts/rescue-demo.sh [path/to/zorvane-rescue]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/prerequisites.sh
ensure_tools ZORVANE_RESCUE_TOOLS && ensure_tools ZORVANE_RESCUE_TEST_TOOLS
exe=${1:-build/rescue/zorvane-rescue}
if [ ! -x "$exe" ]; then
    cmake --preset rescue >/dev/null && cmake --build --preset rescue
fi
exe=$(realpath "$exe")

work=$(mktemp -d "${TMPDIR:-/tmp}/rescue-demo.XXXXXX")
volume="$work/volume"
cleanup() {
    mountpoint -q "$volume" && umount "$volume"
    rm -rf "$work"
}
trap cleanup EXIT

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }

say "An NTFS image, mounted with ntfs-3g, holding an infected Windows XP"
truncate -s 64M "$work/disk.img"
mkntfs -F -Q -q "$work/disk.img" 2>/dev/null  # (its warnings: an image, not a disk)
mkdir "$volume"
show ntfs-3g "$work/disk.img" "$volume"
/usr/bin/python3 scripts/rescue_install.py --unfinished-cure "$volume" >/dev/null
config="$volume/WINDOWS/system32/config"
export_hive() {  # the strings shown as text: only for reading, the hex form is the exact one
    hivexregedit --export --unsafe-printable-strings "$1" '\'
}
for hive in SYSTEM SOFTWARE; do
    export_hive "$config/$hive" >"$work/$hive.before.reg"
done
(cd "$volume" && find . -type f | sort)

say "Scan (reads only; exit code 2: something found)"
show "$exe" "$volume" || echo "exit code $?"

say "Cure"
show "$exe" --cure "$volume" || echo "exit code $?"

say "What the cure changed in the hives"
for hive in SYSTEM SOFTWARE; do
    export_hive "$config/$hive" >"$work/$hive.after.reg"
    diff -u --label "$hive before" --label "$hive after" "$work/$hive.before.reg" \
        "$work/$hive.after.reg" || true
done

say "The quarantine and its manifest"
quarantine=$(ls -d "$volume"/Zorvane.quarantine/*)
ls -l "$quarantine"
awk -F '\t' '{ printf "%-8s %-7s %-33s %6s %-13.12s %-13.12s %s\n", $1, $2, $3, $4, $5, $6, $7 }' \
    "$quarantine/manifest.tsv"

say "Scan after the cure (exit code 0: clean)"
show "$exe" "$volume" || echo "exit code $?"

say "Undo: everything put back from the quarantine"
show "$exe" --undo "$quarantine" "$volume" || echo "exit code $?"
for hive in SYSTEM SOFTWARE; do
    export_hive "$config/$hive" | cmp -s - "$work/$hive.before.reg" &&
        echo "$hive: as before the cure"
done

say "Unmounted and removed"
