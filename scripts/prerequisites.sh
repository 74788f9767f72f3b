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
# The test programs that run under Wine: 64-bit builds (see cmake/mingw-x86_64-posix.cmake) on
# Wine's 64-bit loader; GoogleTest from Debian's sources, built with the posix-thread compiler
# (its std::mutex); the locales whose code pages the tests play.
ZORVANE_WINE_TEST_TOOLS=(
    "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix"
    "x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix"
    "/usr/lib/wine/wine64 wine64"
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

# 32-bit Linux programs (Wine's own loader and server are such) run natively only where the
# kernel runs 32-bit code; some virtual machines' kernels do not ("Exec format error"). There
# they run under qemu's user-mode emulation, registered for 32-bit x86 ELF files: slower, but the
# same Wine.
ensure_i386_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ ! -x /usr/bin/qemu-i386-static ]; then
        echo "Installing: qemu-user-static (this kernel runs no 32-bit programs)"
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends qemu-user-static >/dev/null || return 1
    fi
    local misc=/proc/sys/fs/binfmt_misc
    [ -e $misc/register ] || "${sudo[@]}" mount -t binfmt_misc binfmt_misc $misc || return 1
    if [ ! -e $misc/qemu-i386 ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
            "${sudo[@]}" tee $misc/register >/dev/null || return 1
    fi
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Wine and the Windows build tools, and a kernel (or emulator) that runs Wine.
ensure_windows_tools() {
    ensure_tools ZORVANE_WINDOWS_TOOLS && ensure_i386_programs
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
