#!/usr/bin/env python3
"""The last step of building zorvane.exe: checks that it loads on Windows NT 4.0 and 98, a PE32
console program for OS and subsystem version 4.0 whose import table names only KERNEL32,
ADVAPI32, USER32 and msvcrt and none of the functions those systems lack (the headers' version
pin does not cover what the compiler's runtime pulls in). A missing import stops the loader
before the program runs, so this is checked on the file. An incompatible file is deleted, so
that the build fails and stays failed.

    check_imports.py build/windows/zorvane.exe
"""

import os
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
ALLOWED_DLLS = {"KERNEL32.DLL", "ADVAPI32.DLL", "USER32.DLL", "MSVCRT.DLL"}

# Functions that Windows NT 4.0 (any service pack) or Windows 98 lack: what a compiler, its
# runtime or a careless call is known to pull in (kernel32, advapi32, user32, then msvcrt.dll
# functions newer than its version 6.0 of NT 4.0 and 98). Not complete.
MISSING = set("""
AddVectoredExceptionHandler AcquireSRWLockExclusive AttachConsole CreateHardLinkA
CreateSymbolicLinkA CreateTimerQueue CreateToolhelp32Snapshot DecodePointer EncodePointer
FindFirstFileExA FindFirstVolumeA FlsAlloc GetConsoleWindow GetCurrentProcessorNumber
GetFileInformationByHandleEx GetFileSizeEx GetFinalPathNameByHandleA GetLongPathNameA
GetLongPathNameW GetModuleHandleExA GetModuleHandleExW GetNativeSystemInfo GetProcessId
GetSystemTimePreciseAsFileTime GetSystemWindowsDirectoryA GetTickCount64 GetVolumePathNameA
GlobalMemoryStatusEx InitOnceExecuteOnce InitializeConditionVariable
InitializeCriticalSectionAndSpinCount InitializeCriticalSectionEx InitializeSListHead
InitializeSRWLock IsWow64Process Module32First MoveFileWithProgressA Process32First
ProcessIdToSessionId QueryFullProcessImageNameA QueueUserWorkItem ReplaceFileA SetDllDirectoryA
SetFilePointerEx SignalObjectAndWait SleepConditionVariableCS SwitchToThread
TryEnterCriticalSection VerifyVersionInfoA VirtualAllocEx WakeAllConditionVariable
WakeConditionVariable
CheckTokenMembership ConvertSidToStringSidA ConvertStringSidToSidA CreateProcessWithLogonW
CreateRestrictedToken EventRegister RegCopyTreeA RegDeleteKeyExA RegDeleteKeyValueA RegDeleteTreeA
RegDisablePredefinedCache RegGetValueA RegOpenCurrentUser RegOverridePredefKey RegSetKeyValueA
SystemFunction036
AllowSetForegroundWindow EnumDisplayMonitors GetLastInputInfo GetMonitorInfoA GetRawInputData
GetWindowInfo IsHungAppWindow LockWorkStation MonitorFromWindow PrintWindow RegisterRawInputDevices
SendInput SetLayeredWindowAttributes SetProcessDPIAware ShutdownBlockReasonCreate
UpdateLayeredWindow
___lc_codepage_func __iob_func _aligned_malloc _fseeki64 _ftelli64 _get_output_format
_set_invalid_parameter_handler _strtoi64 _time64 _vscprintf fopen_s memcpy_s sprintf_s strcpy_s
""".split())

HEADER_FIELDS = {"Magic": "010b", "MajorOSystemVersion": "4", "MinorOSystemVersion": "0",
                 "MajorSubsystemVersion": "4", "MinorSubsystemVersion": "0",
                 "Subsystem": "00000003"}  # objdump -p field: required value


def imports(dump):
    """{DLL name: [function names]} from the import tables of objdump -p."""
    return {dll: re.findall(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)$", rows, re.M)
            for dll, rows in re.findall(r"^\tDLL Name: (\S+)\n((?:\t.*\n)*)", dump, re.M)}


def problems(dump):
    header = dict(re.findall(r"^(\w+)\s+(\S+)", dump, re.M))
    found = ["%s is %s, must be %s" % (field, header.get(field), wanted)
             for field, wanted in HEADER_FIELDS.items() if header.get(field) != wanted]
    tables = imports(dump)
    if not tables:
        found.append("no import table found")
    for dll, functions in sorted(tables.items()):
        if dll.upper() not in ALLOWED_DLLS:
            found.append("imports from %s (only %s)" % (dll, ", ".join(sorted(ALLOWED_DLLS))))
        for function in functions:
            if function in MISSING:
                found.append("%s!%s: missing on NT 4.0 or 98" % (dll, function))
    delay = re.search(r"^Entry d [0-9a-f]+ ([0-9a-f]+) Delay Import Directory", dump, re.M)
    if delay is None or int(delay.group(1), 16) != 0:
        found.append("delay-load imports (not checked here)")
    return found, tables


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dump = subprocess.run([OBJDUMP, "-p", sys.argv[1]], check=True, capture_output=True,
                          text=True).stdout
    found, tables = problems(dump)
    for dll, functions in sorted(tables.items()):
        print("%s: %d functions" % (dll, len(functions)))
    for problem in found:
        print("NOT COMPATIBLE: " + problem)
    print("compatibility with Windows NT 4.0 and 98: " + ("FAILED" if found else "ok"))
    if found:
        os.remove(sys.argv[1])
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
