/* Waits until no wineboot.exe runs (at most 60 s). Wine's ExitWindowsEx starts the restart
   stand-in detached and returns at once, so its record of a request may still be on the way when
   the program that asked has ended; the request is a process from the moment ExitWindowsEx
   returns, so once none runs every record is written. Exit code 1 when one still runs. */
#include <windows.h>
#include <tlhelp32.h>

static int WinebootRuns(void) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    int found = 0;
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, "wineboot.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

int main(void) {
    for (int tries = 0; tries < 600; ++tries) {
        if (!WinebootRuns()) return 0;
        Sleep(100);
    }
    return 1;
}
