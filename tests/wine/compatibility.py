#!/usr/bin/env python3
"""Checks that zorvane.exe loads on Windows NT 4.0 and 98: a PE32 console program for OS and
subsystem version 4.0 whose import table names only KERNEL32, ADVAPI32, USER32 and msvcrt and
none of the functions those systems lack. A missing import stops the loader before the program
runs, so this is checked on the file, not by running it.

    compatibility.py build/windows/zorvane.exe
"""

import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
ALLOWED_DLLS = {"KERNEL32.DLL", "ADVAPI32.DLL", "USER32.DLL", "MSVCRT.DLL"}

# Functions that Windows NT 4.0 (any service pack) or Windows 98 lack, with where each first
# appeared. Not complete: it names what a compiler, its runtime or a careless call is known to
# pull in.
MISSING = {
    # kernel32
    "AddVectoredExceptionHandler": "Windows XP",
    "AcquireSRWLockExclusive": "Windows Vista",
    "AttachConsole": "Windows XP",
    "CreateHardLinkA": "Windows 2000",
    "CreateSymbolicLinkA": "Windows Vista",
    "CreateTimerQueue": "Windows 2000",
    "CreateToolhelp32Snapshot": "Windows 2000 on the NT line (Windows 95 and 98 have it)",
    "DecodePointer": "Windows XP SP2",
    "EncodePointer": "Windows XP SP2",
    "FindFirstFileExA": "Windows NT 4.0, not Windows 98",
    "FindFirstVolumeA": "Windows 2000",
    "FlsAlloc": "Windows Server 2003",
    "GetConsoleWindow": "Windows 2000",
    "GetCurrentProcessorNumber": "Windows Vista",
    "GetFileInformationByHandleEx": "Windows Vista",
    "GetFileSizeEx": "Windows 2000",
    "GetFinalPathNameByHandleA": "Windows Vista",
    "GetLongPathNameA": "Windows 98 and Windows 2000, not NT 4.0",
    "GetLongPathNameW": "Windows 98 and Windows 2000, not NT 4.0",
    "GetModuleHandleExA": "Windows XP",
    "GetModuleHandleExW": "Windows XP",
    "GetNativeSystemInfo": "Windows XP",
    "GetProcessId": "Windows XP SP1",
    "GetSystemTimePreciseAsFileTime": "Windows 8",
    "GetSystemWindowsDirectoryA": "Windows 2000",
    "GetTickCount64": "Windows Vista",
    "GetVolumePathNameA": "Windows 2000",
    "GlobalMemoryStatusEx": "Windows 2000",
    "InitOnceExecuteOnce": "Windows Vista",
    "InitializeConditionVariable": "Windows Vista",
    "InitializeCriticalSectionAndSpinCount": "Windows NT 4.0 SP3 and Windows 98",
    "InitializeCriticalSectionEx": "Windows Vista",
    "InitializeSListHead": "Windows XP",
    "InitializeSRWLock": "Windows Vista",
    "IsWow64Process": "Windows XP SP2",
    "Module32First": "Windows 2000 on the NT line (Windows 95 and 98 have it)",
    "MoveFileWithProgressA": "Windows 2000",
    "Process32First": "Windows 2000 on the NT line (Windows 95 and 98 have it)",
    "ProcessIdToSessionId": "Windows 2000",
    "QueryFullProcessImageNameA": "Windows Vista",
    "QueueUserWorkItem": "Windows 2000",
    "ReplaceFileA": "Windows 2000",
    "SetDllDirectoryA": "Windows XP SP1",
    "SetFilePointerEx": "Windows 2000",
    "SignalObjectAndWait": "Windows NT 4.0, not Windows 98",
    "SleepConditionVariableCS": "Windows Vista",
    "SwitchToThread": "Windows NT 4.0, not Windows 98",
    "TryEnterCriticalSection": "Windows NT 4.0, not Windows 98",
    "VerifyVersionInfoA": "Windows 2000",
    "VirtualAllocEx": "Windows NT 4.0, not Windows 98",
    "WakeAllConditionVariable": "Windows Vista",
    "WakeConditionVariable": "Windows Vista",
    # advapi32
    "CheckTokenMembership": "Windows 2000",
    "ConvertSidToStringSidA": "Windows 2000",
    "ConvertStringSidToSidA": "Windows 2000",
    "CreateProcessWithLogonW": "Windows 2000",
    "CreateRestrictedToken": "Windows 2000",
    "EventRegister": "Windows Vista",
    "RegCopyTreeA": "Windows Vista",
    "RegDeleteKeyExA": "Windows XP x64 and Windows Vista",
    "RegDeleteKeyValueA": "Windows Vista",
    "RegDeleteTreeA": "Windows Vista",
    "RegDisablePredefinedCache": "Windows 2000",
    "RegGetValueA": "Windows XP x64 and Windows Vista",
    "RegOpenCurrentUser": "Windows 2000",
    "RegOverridePredefKey": "Windows 2000",
    "RegSetKeyValueA": "Windows Vista",
    "SystemFunction036": "Windows XP (RtlGenRandom, used by rand_s)",
    # user32
    "AllowSetForegroundWindow": "Windows 2000 and ME",
    "EnumDisplayMonitors": "Windows 98 and Windows 2000, not NT 4.0",
    "GetLastInputInfo": "Windows 2000",
    "GetMonitorInfoA": "Windows 98 and Windows 2000, not NT 4.0",
    "GetRawInputData": "Windows XP",
    "GetWindowInfo": "Windows NT 4.0 SP3 and Windows 98",
    "IsHungAppWindow": "Windows 2000",
    "LockWorkStation": "Windows 2000",
    "MonitorFromWindow": "Windows 98 and Windows 2000, not NT 4.0",
    "PrintWindow": "Windows XP",
    "RegisterRawInputDevices": "Windows XP",
    "SendInput": "Windows NT 4.0 SP3 and Windows 98",
    "SetLayeredWindowAttributes": "Windows 2000",
    "SetProcessDPIAware": "Windows Vista",
    "ShutdownBlockReasonCreate": "Windows Vista",
    "UpdateLayeredWindow": "Windows 2000",
    # msvcrt: the msvcrt.dll of NT 4.0 and 98 is version 6.0 at most
    "___lc_codepage_func": "msvcrt.dll 7.0 (Windows XP)",
    "__iob_func": "msvcrt.dll 7.0 (Windows XP)",
    "_aligned_malloc": "msvcrt.dll 7.0 (Windows XP)",
    "_fseeki64": "msvcrt.dll of Windows Vista",
    "_ftelli64": "msvcrt.dll of Windows Vista",
    "_get_output_format": "msvcrt.dll of Windows Vista",
    "_set_invalid_parameter_handler": "msvcrt.dll of Windows Vista",
    "_strtoi64": "msvcrt.dll 7.0 (Windows XP)",
    "_time64": "msvcrt.dll 7.0 (Windows XP)",
    "_vscprintf": "msvcrt.dll 7.0 (Windows XP)",
    "fopen_s": "msvcrt.dll of Windows Vista",
    "memcpy_s": "msvcrt.dll of Windows Vista",
    "sprintf_s": "msvcrt.dll of Windows Vista",
    "strcpy_s": "msvcrt.dll of Windows Vista",
}

HEADER_FIELDS = {  # objdump -p field: required value
    "Magic": "010b",
    "MajorOSystemVersion": "4",
    "MinorOSystemVersion": "0",
    "MajorSubsystemVersion": "4",
    "MinorSubsystemVersion": "0",
    "Subsystem": "00000003",
}


def imports(dump):
    """{DLL name: [function names]} from the import tables of objdump -p."""
    tables = {}
    current = None
    for line in dump.splitlines():
        dll = re.match(r"\tDLL Name: (\S+)$", line)
        row = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)$", line)
        if dll:
            current = tables.setdefault(dll.group(1), [])
        elif row and current is not None:
            current.append(row.group(1))
        elif not line.startswith("\t"):
            current = None
    return tables


def problems(dump):
    found = []
    for field, wanted in HEADER_FIELDS.items():
        match = re.search(r"^%s\s+(\S+)" % field, dump, re.M)
        value = match.group(1) if match else None
        if value != wanted:
            found.append("%s is %s, must be %s" % (field, value, wanted))
    tables = imports(dump)
    if not tables:
        found.append("no import table found")
    for dll, functions in sorted(tables.items()):
        if dll.upper() not in ALLOWED_DLLS:
            found.append("imports from %s (only %s)" % (dll, ", ".join(sorted(ALLOWED_DLLS))))
        for function in functions:
            if function in MISSING:
                found.append("%s!%s: first in %s" % (dll, function, MISSING[function]))
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
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
