# Test programs run under Wine as 64-bit Windows programs, on Wine's 64-bit loader, which runs on
# any x86-64 kernel: where the kernel runs no 32-bit code, 32-bit Windows programs run only under
# qemu's emulation, far too slowly for thousands of cases. The product code is the same source
# as zorvane.exe's (its types are pinned against <windows.h> in RealWindows.cpp); zorvane.exe
# itself stays 32-bit (mingw-i686.cmake) and the end-to-end suite runs it as it ships. The posix
# thread model, since GoogleTest needs std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(ZORVANE_WINE_TESTS ON CACHE BOOL "Build the test programs that run under Wine")
