#!/usr/bin/env bash
# Installs what the sanitizer build, the fuzz targets and the static analysis need, from
# Debian's packages; does nothing when everything is there already.
set -euo pipefail
packages=(cmake g++ make libgtest-dev clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck
    pkg-config libhivex-dev nettle-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
