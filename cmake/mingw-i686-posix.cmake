# Test programs for 32-bit Windows, run under Wine: the posix thread model of Debian's mingw-w64,
# since GoogleTest needs std::mutex, which the win32 model lacks. zorvane.exe itself stays on
# mingw-i686.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(ZORVANE_WINE_TESTS ON CACHE BOOL "Build the test programs that run under Wine")
