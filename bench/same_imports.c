/* A second yardstick: returns at once like minimal.c, but imports from the same DLLs as
   zorvane.exe, so that Wine loads and starts them. The gap between this and minimal.exe is the
   price of those DLLs; the gap between zorvane.exe and this one is the program's own work. */
#include <windows.h>

int main(int argc, char** argv) {
    if (argc > 1000) { /* never taken: only the imports matter */
        CharNextA(argv[0]);
        RegCloseKey(NULL);
    }
    return 0;
}
