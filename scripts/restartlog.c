/* Stands in for wineboot.exe while a case runs. Wine's ExitWindowsEx starts wineboot at once
   ("--end-session" for a restart, "--kill" when forced), which would carry out the restart work
   in the middle of the case. This records the request instead (one line per request in
   C:\windows\temp\restarts.log); the suite then restarts Wine itself when the case needs it. */
#include <stdio.h>
#include <windows.h>

int main(void) {
    FILE* log = fopen("C:\\windows\\temp\\restarts.log", "ab");
    if (log == NULL) return 1;
    fprintf(log, "%s\n", GetCommandLineA());
    fclose(log);
    return 0;
}
