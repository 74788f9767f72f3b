#!/usr/bin/env bash
# The hardening part of the test command: the native unit tests (the code that makes no Windows
# call) under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets, and the static
# analysis of src/. Each stage reports its time; any finding fails the whole.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-hardening-tools.sh

stage() {
    local start=$SECONDS
    echo "== $1"
    shift
    "$@"
    echo "== took $((SECONDS - start)) s"
}
sanitized_tests() {
    cmake --preset asan >/dev/null
    cmake --build --preset asan >/dev/null
    ctest --preset asan
}
stage "native unit tests under ASan and UBSan" sanitized_tests
stage "fuzz targets" bash scripts/fuzz.sh
stage "static analysis" bash scripts/analyze.sh
echo "== hardening: all stages passed in $SECONDS s"
