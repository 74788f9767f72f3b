/* Holds a file open for reading and writing without sharing until its standard input ends: what
   a hiding driver's lock on its own file looks like to another process. Prints "locked" once the
   file is held, so the caller knows when to go on. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    HANDLE file = CreateFileA(argc > 1 ? argv[1] : NULL, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("error %lu\n", GetLastError());
        return 1;
    }
    printf("locked\n");
    fflush(stdout);
    char byte;
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, NULL) && read != 0) {
    }
    CloseHandle(file);
    return 0;
}
