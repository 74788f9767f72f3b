# Installs what the build and the Wine checks need when it is missing (Debian): sourced by
# demo.sh and test.sh. Runs apt-get only when something is absent, so a prepared machine starts
# at once.

# command-or-file  package
ZORVANE_NATIVE_TOOLS=(
    "cmake cmake"
    "make make"
    "g++ g++"
    "python3 python3"
    "/usr/include/gtest/gtest.h libgtest-dev"
)
# The test programs that run under Wine: GoogleTest from Debian's sources, built with the
# posix-thread compiler (its std::mutex), and the locales whose code pages the tests play.
ZORVANE_WINE_TEST_TOOLS=(
    "i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix"
    "i686-w64-mingw32-gcc-posix gcc-mingw-w64-i686-posix"
    "/usr/src/googletest/googletest/CMakeLists.txt googletest"
    "locale-gen locales"
)
# zorvane-rescue, the native Linux tool: the hive library, SHA-256 (nettle), and for its tests
# the independent hive reader and writer (hivexregedit, hivexsh) and the NTFS tools.
ZORVANE_RESCUE_TOOLS=(
    "pkg-config pkg-config"
    "/usr/include/hivex.h libhivex-dev"
    "/usr/include/nettle/sha2.h nettle-dev"
    "hivexsh libhivex-bin"
    "hivexregedit libwin-hivex-perl"
    "mkntfs ntfs-3g"
)
ZORVANE_WINDOWS_TOOLS=(
    "i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32"
    "i686-w64-mingw32-gcc-win32 gcc-mingw-w64-i686-win32"
    "i686-w64-mingw32-objdump binutils-mingw-w64-i686"
    "i686-w64-mingw32-strip binutils-mingw-w64-i686"
    "wine wine"
    "wineserver wine"
    "/usr/lib/wine/wine wine32:i386"
    "python3 python3"
    "cmake cmake"
    "make make"
)
# zorvane-rescue's end-to-end tests, benchmark and demo, beyond the above: hives written through
# hivex from Python, NTFS images mounted by ntfs-3g, the fault library built with gcc.
ZORVANE_RESCUE_TEST_TOOLS=(
    "/usr/lib/python3/dist-packages/hivex/__init__.py python3-hivex"
    "ntfs-3g ntfs-3g"
    "gcc gcc"
)

# ensure_tools LIST_NAME: installs the packages of the list whose command or file is missing.
ensure_tools() {
    local -n tools=$1
    local entry thing package missing=()
    for entry in "${tools[@]}"; do
        read -r thing package <<<"$entry"
        if [[ $thing == /* ]]; then
            [ -e "$thing" ] && continue
        else
            command -v "$thing" >/dev/null 2>&1 && continue
        fi
        [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386 || return 1
    fi
    # Only what the console programs need: Wine's recommended packages (fonts, sound, GL,
    # GStreamer) would double the install time and serve no window.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
}

# Generates the locales the tests run Wine in (ANSI/OEM code pages 1251/866, 1252/850, 932).
ensure_locales() {
    local wanted=(ru_RU.UTF-8 de_DE.UTF-8 ja_JP.UTF-8) missing=() name
    for name in "${wanted[@]}"; do
        locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    for name in "${missing[@]}"; do
        "${sudo[@]}" sed -i "s/^# *\($name UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$name UTF-8" /etc/locale.gen || echo "$name UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo[@]}" locale-gen >/dev/null
}

# The Windows build: zorvane.exe with mingw-w64.
build_windows_exe() {
    cmake --preset windows >/dev/null && cmake --build --preset windows
}

# The locales whose code pages the Wine suite plays (Russian 1251/866, German 1252/850, Japanese
# 932): Wine takes its ANSI and OEM code pages from LANG, and only from a generated locale.
ZORVANE_LOCALES=(ru_RU.UTF-8 de_DE.UTF-8 ja_JP.UTF-8)

ensure_locales() {
    local name missing=()
    for name in "${ZORVANE_LOCALES[@]}"; do
        locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Generating locales: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ ! -x /usr/sbin/locale-gen ]; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
            "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
                --no-install-recommends locales >/dev/null || return 1
    fi
    for name in "${missing[@]}"; do
        grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$name UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo[@]}" /usr/sbin/locale-gen >/dev/null
}
