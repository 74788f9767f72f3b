#!/usr/bin/env python3
"""End-to-end cases: the real zorvane.exe on throw-away Wine machines.

Each case gets a copy of one template prefix, sets the Windows version Wine reports, plants the
threats' marks, runs the program with a command line and standard input, and checks standard
output byte for byte, the exit code, and the files and registry afterwards.

    suite.py --exe build/windows/zorvane.exe [--template DIR] [--jobs N] [CASE ...]
    suite.py --list
"""

import argparse
import concurrent.futures
import pathlib
import re
import shutil
import sys
import tempfile
import time
import traceback

import machine as m
import texts as t

PROGRAM = r"C:\zorvane.exe"
SPACED_PROGRAM = r"C:\Program Files\Zorvane\zorvane.exe"

# --- the threats' marks ------------------------------------------------------------------------

UBRIEL_FILES = [r"C:\windows\system32\ubr2.exe", r"C:\windows\system32\hcsrss.dll",
                r"C:\windows\system32\icsrss.dll", r"C:\ubr2.exe", r"C:\windows\icsrss.dll",
                r"C:\windows\system\ubr2.exe"]
INFECTED_SHELL = "Explorer.exe ubr2.exe"
# "Shell" as some tools store it: the detection takes the first string, so the repair must too.
MULTI_SZ_SHELL = (7, b"Explorer.exe ubr2.exe\0second\0\0")
BINARY_SHELL = (3, b"Explorer.exe ubr2.exe")
DRIVER = r"C:\ubr2drv.sys"
SERVICE_KEYS = [m.HKLM + r"\SYSTEM\ControlSet001\Services\ubr2drv",
                m.HKLM + r"\SYSTEM\ControlSet002\Services\ubr2drv"]
LEGACY_KEYS = [m.HKLM + r"\SYSTEM\ControlSet001\Enum\Root\LEGACY_UBR2DRV",
               m.HKLM + r"\SYSTEM\ControlSet002\Enum\Root\LEGACY_UBR2DRV"]

BOOT_INI = r"C:\boot.ini"
BACKUP = r"C:\boot.ini.ZRVBACKUP"
COMMAND_FILE = r"C:\Zorvane.cmd"
SWITCH = b" /SAFEBOOT:MINIMAL(ALTERNATESHELL)"
XP_BOOT_INI = [
    b"[boot loader]",
    b"timeout=30",
    b"default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS",
    b"[operating systems]",
    b'multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="Microsoft Windows XP Professional" '
    b"/noexecute=optin /fastdetect",
    b'C:\\CMDCONS\\BOOTSECT.DAT="Microsoft Windows Recovery Console" /cmdcons',
]
ORIGINAL_BOOT_INI = t.CRLF.join(XP_BOOT_INI) + t.CRLF
SAFE_MODE_BOOT_INI = t.CRLF.join(XP_BOOT_INI[:4] + [XP_BOOT_INI[4] + SWITCH] +
                                 XP_BOOT_INI[5:]) + t.CRLF
KEY_SET_VALUE = 0x2
# boot.ini files of other machines, each with the boot.ini of its Safe Mode start.
SCSI_BOOT_INI = [
    b"[boot loader]",
    b"timeout=30",
    b"default=signature(8b467c12)disk(0)rdisk(0)partition(1)\\WINDOWS",
    b"[operating systems]",
    b'signature(8b467c12)disk(0)rdisk(0)partition(1)\\WINDOWS="Windows XP on the RAID disk"',
    b'SCSI(0)disk(1)rdisk(0)partition(1)\\WINNT="Windows 2000 on the SCSI disk" /fastdetect',
    b'multi(1)disk(0)rdisk(0)partition(1)\\WINDOWS="Windows XP, second controller"',
    b" multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"indented: not an entry\"",
    b'C:\\CMDCONS\\BOOTSECT.DAT="Microsoft Windows Recovery Console" /cmdcons',
]
TWO_SYSTEMS_BOOT_INI = [
    b"[boot loader]",
    b"timeout=30",
    b"default=multi(0)disk(0)rdisk(0)partition(2)\\WINNT",
    b"[operating systems]",
    b'multi(0)disk(0)rdisk(0)partition(2)\\WINNT="Microsoft Windows 2000 Professional"',
    b'multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="Microsoft Windows XP Professional"',
]
BOOT_INIS = {  # name: (boot.ini, boot.ini of the Safe Mode start)
    "xp": (XP_BOOT_INI, XP_BOOT_INI[:4] + [XP_BOOT_INI[4] + SWITCH] + XP_BOOT_INI[5:]),
    "scsi": (SCSI_BOOT_INI, SCSI_BOOT_INI[:4] + [line + SWITCH for line in SCSI_BOOT_INI[4:7]] +
             SCSI_BOOT_INI[7:]),
    # The default names Windows 2000; the cure runs from XP, so the Safe Mode start must be XP's.
    "two systems": (TWO_SYSTEMS_BOOT_INI,
                    TWO_SYSTEMS_BOOT_INI[:2] +
                    [b"default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS"] +
                    TWO_SYSTEMS_BOOT_INI[3:4] +
                    [line + SWITCH for line in TWO_SYSTEMS_BOOT_INI[4:]]),
}
# What Windows names the device of the running system by (XP on the first partition).
CONTROL = m.HKLM + r"\SYSTEM\CurrentControlSet\Control"
BOOT_DEVICE = {CONTROL: {"SystemBootDevice": "multi(0)disk(0)rdisk(0)partition(1)"}}

COPY = r"C:\ZRVCURE.EXE"  # the copy the restart runs when the program's own path would not do
NOT_STARTED = b" Cure could not be started: %s" + t.CRLF
RESTART = "--end-session"  # ExitWindowsEx(EWX_REBOOT) without EWX_FORCE, as Wine passes it on


class Failed(Exception):
    pass


def check(actual, expected, what):
    if actual != expected:
        raise Failed("%s:\n    expected %r\n    actual   %r" % (what, expected, actual))


def text(lines):
    return t.CRLF.join(lines) + t.CRLF


def plant(box, ubriel=False, hacdef=False, boot_ini=False, registry=None,
          shell=INFECTED_SHELL):
    """Plants the threats' marks; the HacDef driver file is held open without sharing. boot_ini:
    True for the XP one, or the lines of another."""
    changes = dict(BOOT_DEVICE)
    changes.update(registry or {})
    if ubriel:
        changes.setdefault(m.WINLOGON, {})["Shell"] = shell
        for path in UBRIEL_FILES:
            box.write_file(path, b"MZ backdoor", "rh" if path == r"C:\ubr2.exe" else "")
    if hacdef:
        # A driver that has run has subkeys, which RegDeleteKeyA alone leaves in place.
        for key in SERVICE_KEYS:
            changes[key] = {"ImagePath": r"\??\c:\ubr2drv.sys", "Type": 1, "Start": 3}
            changes[key + r"\Enum"] = {"Count": 1}
            changes[key + r"\Security"] = {"Security": (3, b"\x01\x00\x14\x80")}
        for key in LEGACY_KEYS:
            changes[key] = {"NextInstance": 1}
            changes[key + r"\0000"] = {"Service": "ubr2drv"}
            changes[key + r"\0000\Control"] = {"ActiveService": "ubr2drv"}
    if boot_ini:
        box.write_file(BOOT_INI, text(XP_BOOT_INI if boot_ini is True else boot_ini), "rhs")
    box.set_registry(changes)
    if hacdef:
        box.lock(DRIVER)


def run(box, args=(), stdin=b"", out=None, rc=0, exe=PROGRAM, command_line=None, what="run",
        **options):
    result = box.run(args, stdin, exe=exe, command_line=command_line, **options)
    if out is not None:
        check(result.out, out, what + ": standard output")
    check(result.rc, rc, what + ": exit code")
    if rc == 0:
        check(result.err, b"", what + ": standard error")
    return result


def check_untouched(box, ubriel=True, hacdef=True):
    """Nothing cured, nothing scheduled, no restart."""
    if ubriel:
        check(box.value(m.WINLOGON, "Shell"), INFECTED_SHELL, "Shell")
        check([box.exists(p) for p in UBRIEL_FILES], [True] * len(UBRIEL_FILES), "Ubriel files")
    if hacdef:
        check([box.key(k) is not None for k in SERVICE_KEYS], [True, True], "driver keys")
    check(box.exists(COMMAND_FILE), False, "command file")
    check([box.exists(BACKUP), box.exists(COPY)], [False, False], "backup and copy")
    check(box.value(m.SAFEBOOT, "AlternateShell"), None, "AlternateShell")
    check(box.value(m.WINLOGON, "AutoAdminLogon"), None, "AutoAdminLogon")
    check(box.restart_requests(), [], "restart requests")


def check_cured(box):
    check(box.value(m.WINLOGON, "Shell"), "Explorer.exe", "Shell")
    check([box.key(k) for k in SERVICE_KEYS + LEGACY_KEYS], [None] * 4, "driver keys")


# --- the case table ----------------------------------------------------------------------------

CASES = {}


def case(version="winxp", name=None, **options):
    def register(function):
        CASES[name or function.__name__] = (version, function, options)
        return function
    return register


B = t.banner

# Command lines on a clean XP machine: (what, argv or a raw command line, stdin, expected output
# after the banner). The pause follows help, list and a scan, except with /AUTO or /SAFEMODE.
COMMAND_LINES = [
    ("no options", [], b"\r\n", t.CLEAN + t.PAUSE),
    ("/?", ["/?"], b"", t.HELP + t.PAUSE),
    ("/h", ["/h"], b"\r\n", t.HELP + t.PAUSE),
    ("/HELP", ["/HELP"], b"", t.HELP + t.PAUSE),
    ("/Help", ["/Help"], b"", t.HELP + t.PAUSE),
    ("/LIST", ["/LIST"], b"", t.LIST + t.PAUSE),
    ("/list", ["/list"], b"", t.LIST + t.PAUSE),
    ("/LIST /SAFEMODE", ["/LIST", "/SAFEMODE"], b"", t.LIST),
    ("/h /list", ["/h", "/list"], b"", t.HELP + t.PAUSE),
    ("/list /h", ["/list", "/h"], b"", t.HELP + t.PAUSE),
    ("/help /auto", ["/help", "/auto"], b"", t.HELP),
    ("/Auto", ["/Auto"], b"", t.CLEAN),
    ("/NOLOG", ["/NOLOG"], b"\r\n", t.CLEAN + t.PAUSE),
    ("/NoCure", ["/NoCure"], b"\r\n", t.CLEAN + t.PAUSE),
    ("unknown options", ["-h", "auto", "/AUTOMATIC", "/HEL", "/list:"], b"\r\n",
     t.CLEAN + t.PAUSE),
    ("quotes joined", r'C:\zorvane.exe "/li"ST', b"", t.LIST + t.PAUSE),
    ("empty quotes skipped", r'C:\zorvane.exe "" /h ""', b"", t.HELP + t.PAUSE),
    ("quoted blank kept", r'C:\zorvane.exe "/list /h"', b"\r\n", t.CLEAN + t.PAUSE),
    ("unclosed quote", r'C:\zorvane.exe "/LIST', b"", t.LIST + t.PAUSE),
    ("tab separates", "C:\\zorvane.exe\t/auto\t/LIST", b"", t.LIST),
    ("pause at end of input", [], b"", t.CLEAN + t.PAUSE),
]


@case()
def command_lines(box):
    for what, args, stdin, expected in COMMAND_LINES:
        if isinstance(args, str):
            run(box, command_line=args, stdin=stdin, out=B() + expected, what=what)
        else:
            run(box, args, stdin, out=B() + expected, what=what)
    check(box.restart_requests(), [], "restart requests")
    check(box.exists(r"C:\tempfile.tmp") or box.exists(DRIVER), False, "probe files left")


def clean_scan(box):
    run(box, [], b"\r\n", out=B() + t.CLEAN + t.PAUSE)
    check(box.exists(r"C:\tempfile.tmp") or box.exists(DRIVER), False, "probe files left")
    check(box.restart_requests(), [], "restart requests")


for _version in ("winxp", "win2k", "nt40", "win98"):
    case(_version, name="clean_scan_" + _version)(clean_scan)


@case("win98")
def win98_with_artefacts(box):
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    run(box, [], b"\r\n", out=B() + t.CLEAN + t.PAUSE, what="scan")
    run(box, ["/AUTO"], b"", out=B() + t.CLEAN, what="/AUTO")
    run(box, ["/SAFEMODE"], b"", out=B(), what="/SAFEMODE")
    run(box, ["/SAFEMODE", "/AUTO"], b"", out=B(), what="/SAFEMODE /AUTO")
    check_untouched(box)
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")


@case("nt40")
def nt40_safemode_cures_without_boot_changes(box):
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    run(box, ["/SAFEMODE"], b"", out=B() + t.UBRIEL_DELETED + t.HACDEF_DELETED)
    check_cured(box)
    check(box.value(m.SAFEBOOT, "AlternateShell"), None, "AlternateShell")
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")
    check(box.restart_requests(), [], "restart requests")


@case()
def ubriel_by_shell(box):
    plant(box, ubriel=True)
    run(box, [], b"n\r\n", out=B() + t.UBRIEL_FOUND + t.QUESTION, what="answer n")
    box.set_registry({m.WINLOGON: {"Shell": r"explorer.exe C:\WINDOWS\xUbr2x.exe"}})
    run(box, [], b"\r\n", out=B() + t.UBRIEL_FOUND + t.QUESTION, what="marker in mixed case")
    box.set_registry({m.WINLOGON: {"Shell": INFECTED_SHELL}})
    check_untouched(box, hacdef=False)


@case()
def hacdef_by_locked_driver_file(box):
    plant(box, hacdef=True)
    run(box, [], b"", out=B() + t.HACDEF_FOUND + t.QUESTION)
    check_untouched(box, ubriel=False)
    # Without the lock the same file is an ordinary one: emptied by the test and deleted.
    box.locks.pop().release()
    run(box, [], b"\r\n", out=B() + t.CLEAN + t.PAUSE, what="lock ended")
    check(box.exists(DRIVER), False, "driver file after a clean scan")


@case()
def both_threats_answers(box):
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    found = B() + t.UBRIEL_FOUND + t.HACDEF_FOUND + t.QUESTION
    for answer in (b"n\r\n", b"N", b"\r\n", b"", b" y\r\n", b"\x1a", b"no\r\nyes\r\n"):
        run(box, [], answer, out=found, what="answer %r" % answer)
    check_untouched(box)
    run(box, [], b"yes\r\n", out=found, what="answer yes")
    check(box.restart_requests(), [RESTART], "restart requests after yes")
    check(box.exists(COMMAND_FILE), True, "command file after yes")


@case()
def nocure_reports_only(box):
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    found = B() + t.UBRIEL_FOUND + t.HACDEF_FOUND
    # Exit code 2: a threat was found and left as it is (0 on a clean machine: command_lines).
    run(box, ["/NOCURE"], b"y\r\n", out=found + t.PAUSE, rc=2, what="/NOCURE")
    run(box, ["/nocure", "/auto"], b"y\r\n", out=found, rc=2, what="/nocure /auto")
    run(box, ["/Auto", "/NoCure"], b"", out=found, rc=2, what="/Auto /NoCure")
    check_untouched(box)
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")


@case("win2k")
def win2k_auto_schedules_safe_mode(box):
    plant(box, ubriel=True, hacdef=True, boot_ini=True,
          registry={m.WINLOGON: {"AutoAdminLogon": "0"}})
    run(box, ["/AUTO"], b"", out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND)
    check_scheduled(box, PROGRAM, old_logon="0")
    # Scheduled again before the Safe Mode start: the first backup stays the source, so each
    # entry carries the switch once, and the saved logon setting stays the one from before the
    # cure (not the "1" the first scheduling wrote).
    run(box, ["/AUTO"], b"", out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND, what="second /AUTO")
    check(box.read_file(BOOT_INI), SAFE_MODE_BOOT_INI, "boot.ini after the second scheduling")
    check(box.read_file(BACKUP), ORIGINAL_BOOT_INI, "backup after the second scheduling")
    check(box.value(m.WINLOGON, "OLDAutoAdminLogon"), "0", "OLDAutoAdminLogon kept")
    check(box.restart_requests(), [RESTART, RESTART], "restart requests")


@case()
def safemode_without_backup_leaves_normal_boot(box):
    # A scheduling whose backup was lost: the Safe Mode run must still take the switch out of
    # boot.ini, or the machine would start in minimal Safe Mode for good.
    box.write_file(BOOT_INI, SAFE_MODE_BOOT_INI, "h")
    box.write_file(COMMAND_FILE, command(PROGRAM, " /SAFEMODE /AUTO") + t.CRLF)
    box.set_registry({m.SAFEBOOT: {"AlternateShell": COMMAND_FILE},
                      m.WINLOGON: {"AutoAdminLogon": "1", "OLDAutoAdminLogon": "0"}})
    run(box, ["/SAFEMODE", "/AUTO"], b"", out=B())
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")
    check(box.attributes(BOOT_INI), "h", "boot.ini attributes")
    check(box.exists(COMMAND_FILE), False, "command file")
    check(box.value(m.SAFEBOOT, "AlternateShell"), "cmd.exe", "AlternateShell")
    check(box.value(m.WINLOGON, "AutoAdminLogon"), "0", "AutoAdminLogon")
    check(box.restart_requests(), [RESTART], "restart requests")


def check_scheduled(box, program, old_logon, boot="xp", command_file=COMMAND_FILE,
                    safe_boot_keys=(m.SAFEBOOT,)):
    check(box.read_file(command_file), command(program, " /SAFEMODE /AUTO") + t.CRLF,
          "command file")
    check([box.value(k, "AlternateShell") for k in safe_boot_keys],
          [command_file] * len(safe_boot_keys), "AlternateShell")
    check(box.read_file(BOOT_INI), text(BOOT_INIS[boot][1]), "boot.ini")
    check(box.attributes(BOOT_INI), "h", "boot.ini attributes")
    check(box.read_file(BACKUP), text(BOOT_INIS[boot][0]), "backup")
    check(box.attributes(BACKUP), "", "backup attributes")
    check(box.exists(r"C:\boot.ini.ZRVNEW"), False, "scratch file")
    check(box.value(m.WINLOGON, "AutoAdminLogon"), "1", "AutoAdminLogon")
    check(box.value(m.WINLOGON, "OLDAutoAdminLogon"), old_logon, "OLDAutoAdminLogon")
    check(box.restart_requests(), [RESTART], "restart requests")


def check_log(box, cure_run, cure_lines):
    """One block a run in C:\\Zorvane.log, each closed with its exit code; the block of the run
    whose command line ends with `cure_run` holds `cure_lines`."""
    blocks = (box.read_file(r"C:\Zorvane.log") or b"").split(b"==== ")[1:]
    check(all(re.search(rb"\r\nExit code: \d+\r\n\Z", b) for b in blocks), True, "log blocks closed")
    cure = [b for b in blocks if re.search(rb"\nCommand line: [^\r]*%s\r\n" % re.escape(cure_run), b)]
    check(len(cure), 1, "log block of the cure run")
    check([line for line in cure_lines if line not in cure[0]], [], "lines missing in the log")


def command(exe, options):
    """The program's own path, quoted when it holds a blank, then the options."""
    path = '"%s"' % exe if " " in exe else exe
    return (path + options).encode("latin-1")


def install(box, exe):
    if exe != PROGRAM:
        box.write_file(exe, box.read_file(PROGRAM))


def xp_cycle(box, exe=PROGRAM, args=("/AUTO",), stdin=b"", copied=False, boot="xp",
             registry=None, command_file=COMMAND_FILE, safe_boot_keys=(m.SAFEBOOT,), gone=None,
             prelude=None, shell=INFECTED_SHELL, logon=None):
    """Scan and accept, Safe Mode run by the command file, restart, final scan. copied: the
    command file must name the copy instead of exe; gone(box): what vanishes before the Safe
    Mode start (a restart follows it); prelude(box): runs after planting, before the scan;
    logon: the "AutoAdminLogon" value before the cure, and the text it must have after it."""
    install(box, exe)
    registry = dict(registry or {}, **({m.WINLOGON: {"AutoAdminLogon": logon[0]}} if logon else {}))
    plant(box, ubriel=True, hacdef=True, boot_ini=BOOT_INIS[boot][0], registry=registry,
          shell=shell)
    old_logon = logon[1] if logon else "0"
    if prelude:
        prelude(box)
    run(box, list(args), stdin, exe=exe, what="scan",
        out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND + (t.QUESTION if stdin else b""))
    check_scheduled(box, COPY if copied else exe, old_logon, boot, command_file, safe_boot_keys)
    check(box.read_file(COPY), box.read_file(PROGRAM) if copied else None, "copy")
    check(box.key(m.WINLOGON)["Shell"][0], "REG_SZ" if shell == INFECTED_SHELL else "REG_BINARY",
          "Shell before the Safe Mode run")

    # Minimal Safe Mode: the hiding driver does not load, so its lock is gone; one of the
    # backdoor's libraries is still held by a process and can only go at the next restart.
    box.locks.pop().release()
    if gone:
        gone(box)
        box.restart()
    held = box.lock(r"C:\windows\system32\hcsrss.dll")
    # Safe Mode takes its shell from the control set that "Default" names: the last key.
    shell = box.value(safe_boot_keys[-1], "AlternateShell")
    line = box.read_file(shell).rstrip(t.CRLF)
    if shell.startswith("C:"):
        result = box.wine("cmd", "/c", shell)
        # Wine's cmd echoes the command file's line: an empty line, the prompt and the line
        # (with a trailing blank) before the program's own output.
        echo = t.CRLF + b"C:\\>" + line + b" " + t.CRLF
    else:
        # Wine hands a program that cmd.exe starts SystemDrive C: whatever the machine's value
        # (Windows hands on the machine's own), so the line is started directly.
        result = box.wine(*line.decode("latin-1").split(" "))
        echo = b""
    check(result.out, echo + B() + t.UBRIEL_DELETED + t.HACDEF_DELETED, "Safe Mode run")
    check(result.rc, 0, "Safe Mode run: exit code")
    check(box.read_file(BOOT_INI), text(BOOT_INIS[boot][0]), "boot.ini restored")
    check(box.attributes(BOOT_INI), "h", "boot.ini attributes")
    check(box.exists(BACKUP), False, "backup")
    check(box.exists(command_file), False, "command file")
    check([box.value(k, "AlternateShell") for k in safe_boot_keys],
          ["cmd.exe"] * len(safe_boot_keys), "AlternateShell")
    check(box.value(m.WINLOGON, "AutoAdminLogon"), old_logon, "AutoAdminLogon")
    check_cured(box)
    check(box.exists(DRIVER), False, "driver file")
    check(box.exists(r"C:\windows\system32\hcsrss.dll"), True, "library in use")
    check(box.restart_requests(), [RESTART, RESTART], "restart requests")

    box.restart()
    check([box.exists(p) for p in UBRIEL_FILES], [False] * len(UBRIEL_FILES),
          "Ubriel files after the restart")
    check(box.exists(COPY), False, "copy after the restart")
    run(box, [], b"\r\n", exe=PROGRAM if gone else exe, out=B() + t.CLEAN + t.PAUSE,
        what="final scan")
    check(box.read_file(BOOT_INI), text(BOOT_INIS[boot][0]), "final boot.ini")
    check(box.value(m.SAFEBOOT, "AlternateShell"), "cmd.exe", "final AlternateShell")
    check(box.value(m.WINLOGON, "AutoAdminLogon"), old_logon, "final AutoAdminLogon")
    check(box.key(m.WINLOGON)["Shell"], ("REG_SZ", "Explorer.exe"), "final Shell")
    check(box.value(m.SESSION_MANAGER, "PendingFileRenameOperations"), None,
          "delete-at-restart list after the restart")
    if command_file.startswith("C:"):
        check_log(box, b" /SAFEMODE /AUTO", [t.UBRIEL_DELETED, t.HACDEF_DELETED,
                                             b"Restart requested: accepted\r\nExit code: 0"])


def nt4_cycle(box, exe, copied=False, shell=INFECTED_SHELL):
    """/AUTO cures in place and writes the run-once entry; the restart runs it, and nothing runs
    after the next one. The held driver file counts as deleted: it goes at the restart."""
    install(box, exe)
    plant(box, ubriel=True, hacdef=True, boot_ini=True, shell=shell)
    run(box, ["/AUTO"], b"", exe=exe,
        out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND + t.UBRIEL_DELETED + t.HACDEF_DELETED)
    check_cured(box)
    check([box.exists(p) for p in UBRIEL_FILES], [False] * len(UBRIEL_FILES), "Ubriel files")
    check(box.exists(DRIVER), True, "driver file held open")
    check((box.key(m.RUNONCE) or {}).get("Zorvane"),
          ("REG_SZ", command(COPY if copied else exe, " /Auto /AfterCure").decode()), "run-once entry")
    check(box.read_file(COPY), box.read_file(PROGRAM) if copied else None, "copy")
    check(box.restart_requests(), [RESTART], "restart requests")
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")
    check(box.exists(COMMAND_FILE), False, "command file")

    # Windows takes a RunOnce value out and runs its command line after the next logon, in a
    # console. Wine runs them while it boots, in a console that refuses every write (error 995),
    # where the program stops at its banner; so the suite plays the logon itself, through cmd,
    # which also shows whether a path with blanks is quoted.
    entry = box.value(m.RUNONCE, "Zorvane")
    box.set_registry({m.RUNONCE: {"Zorvane": None}})
    box.restart()
    check(box.exists(DRIVER), False, "driver file after the restart")
    run(box, command_line=entry, out=B() + t.CLEAN, what="run-once run")
    check(box.restart_requests(), [RESTART], "restart requests after the run-once run")
    run(box, [], b"\r\n", exe=exe, out=B() + t.CLEAN + t.PAUSE, what="final scan")
    box.restart()
    check(box.value(m.RUNONCE, "Zorvane"), None, "run-once entry after the second restart")
    check(box.restart_requests(), [RESTART], "restart requests after the second restart")
    check(box.key(m.WINLOGON)["Shell"], ("REG_SZ", "Explorer.exe"), "final Shell")
    check(box.exists(COPY), False, "copy after the next restart")
    check_log(box, b" /Auto /AfterCure", [t.CLEAN + b"Exit code: 0"])


# Program paths that the Safe Mode start cannot take as they are: (case, Unix locale, path). The
# command file is read in the OEM code page (866, 850, 932), the path comes in the ANSI one (1251,
# 1252, 932; in 932 every character of the folder ends in the byte of a backslash); cmd.exe
# acts on "&" and on "%" even inside quotation marks.
COPIED_PATHS = [
    ("cyrillic_desktop", "ru_RU.UTF-8",
     r"C:\Documents and Settings\Иван\Рабочий стол\zorvane.exe"),
    ("german_umlauts", "de_DE.UTF-8", r"C:\Documents and Settings\Jürgen Müller\zorvane.exe"),
    ("japanese_5c_folder", "ja_JP.UTF-8", r"C:\表ソ能\zorvane.exe"),
    ("ampersand", None, r"C:\R&D\zorvane.exe"),
    ("percent", None, r"C:\100% sure\zorvane.exe"),
]
for _name, _lang, _path in COPIED_PATHS:
    case(name="xp_cycle_" + _name, lang=_lang)(
        lambda box, path=_path: xp_cycle(box, path, copied=True))


@case()
def xp_cycle_answer_y(box):
    xp_cycle(box, PROGRAM, [], b"y\r\n", shell=BINARY_SHELL)


@case()
def xp_cycle_path_with_blanks(box):
    # "AutoAdminLogon" as a REG_DWORD: saved and put back as its digits.
    xp_cycle(box, SPACED_PROGRAM, ["/AUTO"], b"", logon=(1, "1"))


@case()
def xp_cycle_temporary_folder_gone(box):
    # Explorer runs a program opened from a ZIP from a folder of %TEMP%, gone after the restart.
    folder = box.temp_dir() + r"\Temporary Directory 1 for zorvane.zip"
    xp_cycle(box, folder + r"\zorvane.exe", copied=True,
             gone=lambda box: shutil.rmtree(box.unix(folder)))


def removable_drive_cycle(box, kind):
    box.add_drive("e", kind)
    box.restart()
    # Read-only, as files on a CD are: the copy must still go with the restart.
    xp_cycle(box, r"E:\zorvane.exe", copied=True, gone=lambda box: box.remove_drive("e"),
             prelude=lambda box: box.set_attributes(r"E:\zorvane.exe", "r"))


for _kind in ("cdrom", "floppy"):
    case(name="xp_cycle_%s_gone" % _kind)(lambda box, kind=_kind: removable_drive_cycle(box, kind))


@case()
def xp_cycle_system_drive_d(box):
    # Windows on D:, the loader's boot.ini on C:.
    box.add_drive("d")
    box.set_registry({m.SESSION_MANAGER + r"\Environment": {"SystemDrive": "D:"}})
    box.restart()
    xp_cycle(box, command_file=r"D:\Zorvane.cmd")
    check([box.exists(r"D:\boot.ini"), box.exists(r"D:\boot.ini.ZRVBACKUP")], [False, False],
          "boot files on the system drive")


@case()
def xp_cycle_scsi_and_signature_entries(box):
    xp_cycle(box, boot="scsi",
             registry={CONTROL: {"SystemBootDevice": "signature(8b467c12)disk(0)rdisk(0)partition(1)"}})


@case()
def xp_cycle_default_names_another_system(box):
    xp_cycle(box, boot="two systems")


@case()
def xp_cycle_last_known_good_control_set(box):
    # Started once with Last Known Good: the next start uses ControlSet002.
    safe_boot_2 = m.HKLM + r"\SYSTEM\ControlSet002\Control\SafeBoot"
    xp_cycle(box, registry={m.HKLM + r"\SYSTEM\Select": {"Default": 2}, safe_boot_2: {}},
             safe_boot_keys=(m.SAFEBOOT, safe_boot_2))


def rolls_back(box):
    """A boot.ini whose header the rewrite does not recognise: nothing may stay changed, no
    backup either, and no restart; then the user mends boot.ini."""
    unrecognised = ORIGINAL_BOOT_INI.replace(b"[operating", b" [operating")
    box.write_file(BOOT_INI, unrecognised, "rhs")
    result = run(box, ["/AUTO"], exe=r"C:\R&D\zorvane.exe", rc=1, what="rolled back",
                 out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND +
                 NOT_STARTED % b"no entry of boot.ini could take the Safe Mode switch")
    check(result.err, b"", "standard error")
    check_untouched(box)
    check([box.read_file(BOOT_INI), box.attributes(BOOT_INI)], [unrecognised, "rhs"],
          "boot.ini after the rollback")
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")


@case()
def xp_cycle_after_a_rollback(box):
    xp_cycle(box, r"C:\R&D\zorvane.exe", copied=True, prelude=rolls_back)


def cure_not_started(box, boot_ini, reason):
    plant(box, ubriel=True, hacdef=True, boot_ini=boot_ini)
    result = run(box, ["/AUTO"], rc=1, out=B() + t.UBRIEL_FOUND + t.HACDEF_FOUND + NOT_STARTED % reason)
    check(result.err, b"", "standard error")
    check_untouched(box)
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI if boot_ini else None, "boot.ini")


case(name="no_boot_ini_cure_not_started")(
    lambda box: cure_not_started(box, False, b"no boot.ini found"))
case("vista", name="vista_cure_not_started")(
    lambda box: cure_not_started(box, True, b"this Windows version does not start from boot.ini"))


@case("nt40")
def nt40_cycle(box):
    nt4_cycle(box, PROGRAM, shell=MULTI_SZ_SHELL)


@case("nt40")
def nt40_cycle_path_with_blanks(box):
    nt4_cycle(box, SPACED_PROGRAM)


def refused_repair(box):
    """The shell repair refused: no "DELETED", exit code 1; on NT 4.0 no run-once entry and no
    restart, and the rescan that follows a cure reports the threat and stops."""
    plant(box, ubriel=True)
    box.deny(m.WINLOGON, KEY_SET_VALUE)
    nt4 = box.version == "nt40"
    run(box, ["/SAFEMODE", "/AUTO"], out=B() + t.UBRIEL_NOT_REMOVED, rc=1, what="cure run")
    found = B() + t.UBRIEL_FOUND + t.UBRIEL_NOT_REMOVED
    for args in (["/AUTO"], ["/Auto", "/AfterCure"]) if nt4 else ():
        run(box, args, out=found, rc=1, what=" ".join(args))
        check(box.value(m.RUNONCE, "Zorvane"), None, "run-once entry")
    check(box.value(m.WINLOGON, "Shell"), INFECTED_SHELL, "Shell")
    check(box.restart_requests(), [] if nt4 else [RESTART], "restart requests")


for _version in ("winxp", "nt40"):
    case(_version, name="refused_repair_" + _version)(refused_repair)


@case("nt40")
def nt40_cycle_ampersand(box):
    nt4_cycle(box, r"C:\R&D\zorvane.exe", copied=True)


@case()
def safemode_by_hand_keeps_automatic_logon(box):
    box.set_registry({m.WINLOGON: {"AutoAdminLogon": "1"}})
    run(box, ["/SAFEMODE", "/AUTO"], out=B())
    check(box.value(m.WINLOGON, "AutoAdminLogon"), "1", "AutoAdminLogon")
    check(box.value(m.WINLOGON, "OLDAutoAdminLogon"), None, "OLDAutoAdminLogon")


REPORT = rb"\AException %s in module zorvane\.exe at [0-9A-F]{8}\.\r\n%s\.\r\n\r\n\Z"


@case()
def errors_end_with_report_under_default_debugger(box):
    """Wine's own setting: an unhandled exception would start winedbg. The program's errors
    end with the report alone on standard error and exit code 1."""
    box.set_registry({m.AEDEBUG: {"Debugger": "winedbg --auto %ld %ld", "Auto": "1"}})
    # A full disk behind standard output: the first write fails with ERROR_DISK_FULL.
    full = box.run(["/LIST"], b"", stdout="/dev/full")
    # No rights on the SafeBoot key: the scheduling stops before anything is changed.
    box.set_registry({m.SAFEBOOT: {}})
    box.deny(m.SAFEBOOT, KEY_SET_VALUE)
    plant(box, ubriel=True, boot_ini=True)
    denied = run(box, ["/AUTO"], rc=1, out=B() + t.UBRIEL_FOUND)
    for result, class_name, message in (
            (full, b"EInOutError", b"I/O error 112"),
            (denied, b"ERegistryException", b"Failed to set data for 'AlternateShell'")):
        check(result.rc, 1, "exit code")
        if not re.search(REPORT % (class_name, re.escape(message)), result.err):
            raise Failed("error report: %r" % result.err)
    check(box.read_file(BOOT_INI), ORIGINAL_BOOT_INI, "boot.ini")
    check(box.restart_requests(), [], "restart requests")


# --- the runner --------------------------------------------------------------------------------

def run_case(name, template, helpers, exe, work_root):
    version, function, options = CASES[name]
    started = time.monotonic()
    try:
        with m.Machine(template, work_root / name, helpers, version=version,
                       lang=options.get("lang")) as box:
            box.write_file(PROGRAM, pathlib.Path(exe).read_bytes())
            function(box)
        return name, None, time.monotonic() - started
    except Failed as failure:
        return name, str(failure), time.monotonic() - started
    except Exception:  # a broken machine fails the case, not the suite
        return name, traceback.format_exc(), time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="zorvane.exe to test")
    parser.add_argument("--list", action="store_true", help="print the case names and stop")
    parser.add_argument("--template", help="template prefix to copy (made when absent)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("cases", nargs="*", help="case names (default: all)")
    options = parser.parse_args()
    if options.list:
        print("\n".join(CASES))
        return 0
    if not options.exe:
        parser.error("--exe is required")
    names = options.cases or list(CASES)
    unknown = [n for n in names if n not in CASES]
    if unknown:
        parser.error("unknown cases: " + ", ".join(unknown))

    started = time.monotonic()
    work_root = pathlib.Path(tempfile.mkdtemp(prefix="zorvane-wine-"))
    try:
        m.check_attribute_support(work_root)
        helpers = m.build_helpers(work_root / "helpers")
        template = options.template
        if not template:
            template = work_root / "template"
            print("Making the template Wine prefix ...", flush=True)
            m.make_template(template)
        failed = 0
        with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
            futures = [pool.submit(run_case, n, template, helpers, options.exe, work_root)
                       for n in names]
            for future in concurrent.futures.as_completed(futures):
                name, failure, seconds = future.result()
                print("%s %s (%.1f s)" % ("FAIL" if failure else "ok  ", name, seconds),
                      flush=True)
                if failure:
                    failed += 1
                    print("    " + failure.replace("\n", "\n    "), flush=True)
    finally:
        shutil.rmtree(work_root, ignore_errors=True)
    print("Wine suite: %.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (len(names) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
