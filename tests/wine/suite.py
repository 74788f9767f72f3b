#!/usr/bin/env python3
"""End-to-end cases: the real zorvane.exe on throw-away Wine machines, for what only whole
processes show: console bytes and exit codes, cmd.exe running the command file, restarts with the
delete-at-restart list, the driver file held open by another process, and the error report.

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
DRIVER = r"C:\ubr2drv.sys"
SERVICE_KEYS = [m.HKLM + r"\SYSTEM\ControlSet001\Services\ubr2drv",
                m.HKLM + r"\SYSTEM\ControlSet002\Services\ubr2drv"]
LEGACY_KEYS = [m.HKLM + r"\SYSTEM\ControlSet001\Enum\Root\LEGACY_UBR2DRV",
               m.HKLM + r"\SYSTEM\ControlSet002\Enum\Root\LEGACY_UBR2DRV"]

BOOT_INI = r"C:\boot.ini"
BACKUP = r"C:\boot.ini.ZRVBACKUP"
COMMAND_FILE = r"C:\Zorvane.cmd"
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
SAFE_MODE_BOOT_INI = ORIGINAL_BOOT_INI.replace(
    b"/fastdetect", b"/fastdetect /SAFEBOOT:MINIMAL(ALTERNATESHELL)")
# What Windows names the device of the running system by (XP on the first partition).
BOOT_DEVICE = {m.HKLM + r"\SYSTEM\CurrentControlSet\Control":
               {"SystemBootDevice": "multi(0)disk(0)rdisk(0)partition(1)"}}

COPY = r"C:\ZRVCURE.EXE"  # the copy the restart runs when the program's own path would not do
RESTART = "--end-session"  # ExitWindowsEx(EWX_REBOOT) without EWX_FORCE, as Wine passes it on
B = t.banner
FOUND = t.UBRIEL_FOUND + t.HACDEF_FOUND
DELETED = t.UBRIEL_DELETED + t.HACDEF_DELETED
CURED = {"Shell": "Explorer.exe", "driver keys": [False] * 4, "files": [False] * 7}


class Failed(Exception):
    pass


def check(actual, expected, what):
    if actual != expected:
        raise Failed("%s:\n    expected %r\n    actual   %r" % (what, expected, actual))


def plant(box, ubriel=False, hacdef=False, boot_ini=False):
    """Plants the threats' marks (and the XP boot.ini); the HacDef driver file is held open
    without sharing."""
    changes = dict(BOOT_DEVICE)
    if ubriel:
        changes[m.WINLOGON] = {"Shell": INFECTED_SHELL}
        for path in UBRIEL_FILES:
            box.write_file(path, b"MZ backdoor", "rh" if path == r"C:\ubr2.exe" else "")
    for key in SERVICE_KEYS if hacdef else ():
        # A driver that has run has subkeys, which RegDeleteKeyA alone leaves in place.
        changes.update({key: {"ImagePath": r"\??\c:\ubr2drv.sys", "Type": 1, "Start": 3},
                        key + r"\Enum": {"Count": 1}})
    for key in LEGACY_KEYS if hacdef else ():
        changes.update({key: {"NextInstance": 1}, key + r"\0000": {"Service": "ubr2drv"}})
    if boot_ini:
        box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")
    box.set_registry(changes)
    if hacdef:
        box.lock(DRIVER)


def run(box, args=(), stdin=b"", out=b"", rc=0, exe=PROGRAM, command_line=None, what="run",
        **options):
    result = box.run(args, stdin, exe=exe, command_line=command_line, **options)
    check([result.out, result.rc, result.err], [B() + out, rc, b""], what + ": output, exit code")


def state(box, command_file=COMMAND_FILE):
    """What a cure or its scheduling may change."""
    return {"boot.ini": box.read_file(BOOT_INI), "backup": box.read_file(BACKUP),
            "command file": box.read_file(command_file),
            "copy": box.read_file(COPY) == box.read_file(PROGRAM),
            "AlternateShell": box.value(m.SAFEBOOT, "AlternateShell"),
            "AutoAdminLogon": box.value(m.WINLOGON, "AutoAdminLogon"),
            "Shell": box.value(m.WINLOGON, "Shell"), "run-once": box.value(m.RUNONCE, "Zorvane"),
            "driver keys": [box.key(k) is not None for k in SERVICE_KEYS + LEGACY_KEYS],
            "files": [box.exists(p) for p in UBRIEL_FILES + [DRIVER]],
            "restarts": box.restart_requests()}


def check_state(box, expected, what, command_file=COMMAND_FILE):
    actual = state(box, command_file)
    check({k: v for k, v in actual.items() if v != expected[k]},
          {k: v for k, v in expected.items() if v != actual[k]}, what)


def check_log(box, cure_run, cure_lines, drive="C"):
    """One block a run in Zorvane.log, each closed with its exit code; the block of the run whose
    command line ends with `cure_run` holds `cure_lines`."""
    blocks = (box.read_file(drive + r":\Zorvane.log") or b"").split(b"==== ")[1:]
    check(all(re.search(rb"\r\nExit code: \d+\r\n\Z", b) for b in blocks), True, "log blocks")
    cure = [b for b in blocks if re.search(rb"\nCommand line: [^\r]*%s\r\n" % cure_run, b)]
    check([[line for line in cure_lines if line not in b] for b in cure], [[]], "cure log block")


def command(exe, options):
    """The program's own path, quoted when it holds a blank, then the options."""
    return (('"%s"' % exe if " " in exe else exe) + options).encode("latin-1")


# --- the cases ---------------------------------------------------------------------------------

# (what, argv or a raw command line, stdin, output after the banner). The pause follows help,
# list and a scan, except with /AUTO or /SAFEMODE; the end of input ends it too.
COMMAND_LINES = [
    ("no options", [], b"\r\n", t.CLEAN + t.PAUSE),
    ("pause at end of input", [], b"", t.CLEAN + t.PAUSE),
    ("/?", ["/?"], b"", t.HELP + t.PAUSE),
    ("/LIST /SAFEMODE", ["/LIST", "/SAFEMODE"], b"", t.LIST),
    ("/help /auto", ["/help", "/auto"], b"", t.HELP),
    ("/Auto", ["/Auto"], b"", t.CLEAN),
    ("/NoCure", ["/NoCure"], b"\r\n", t.CLEAN + t.PAUSE),
    ("quotes joined", r'C:\zorvane.exe "/li"ST', b"", t.LIST + t.PAUSE),
    ("empty quotes skipped", r'C:\zorvane.exe "" /h ""', b"", t.HELP + t.PAUSE),
    ("quoted blank kept", r'C:\zorvane.exe "/list /h"', b"\r\n", t.CLEAN + t.PAUSE),
    ("unclosed quote", r'C:\zorvane.exe "/LIST', b"", t.LIST + t.PAUSE),
    ("tab separates", "C:\\zorvane.exe\t/auto\t/LIST", b"", t.LIST),
]


def command_lines(box):
    for what, args, stdin, expected in COMMAND_LINES:
        raw = isinstance(args, str)
        run(box, [] if raw else args, stdin, expected, command_line=args if raw else None,
            what=what)
    check(box.exists(r"C:\tempfile.tmp") or box.exists(DRIVER), False, "probe files left")
    # /NOCURE on an infected machine: reported, left as it is, exit code 2.
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    infected = state(box)
    run(box, ["/NOCURE"], b"y\r\n", FOUND + t.PAUSE, rc=2, what="/NOCURE")
    run(box, ["/nocure", "/auto"], b"y\r\n", FOUND, rc=2, what="/nocure /auto")
    check_state(box, infected, "after /NOCURE")


def clean_scan_win98(box):
    run(box, [], b"\r\n", t.CLEAN + t.PAUSE)
    check([box.exists(r"C:\tempfile.tmp"), box.exists(DRIVER)], [False, False], "probe files")
    check(box.restart_requests(), [], "restart requests")


def xp_cycle(box, exe=PROGRAM, copied=False, answer=None, command_file=COMMAND_FILE,
             gone=None, prelude=None):
    """Scan and accept, Safe Mode run by the command file, restart, final scan. copied: the
    command file must name the copy instead of exe; gone(box): what vanishes before the Safe
    Mode start (a restart follows it); prelude(box): runs after planting, before the scan."""
    if exe != PROGRAM:
        box.write_file(exe, box.read_file(PROGRAM))
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    if prelude:
        prelude(box)
    infected = state(box, command_file)
    run(box, [] if answer else ["/AUTO"], answer or b"", FOUND + (t.QUESTION if answer else b""),
        exe=exe, what="scan")
    line = command(COPY if copied else exe, " /SAFEMODE /AUTO")
    check_state(box, dict(infected, **{
        "boot.ini": SAFE_MODE_BOOT_INI, "backup": ORIGINAL_BOOT_INI, "copy": copied,
        "command file": line + t.CRLF, "AlternateShell": command_file, "AutoAdminLogon": "1",
        "restarts": [RESTART]}), "scheduled", command_file)

    # Minimal Safe Mode: the hiding driver does not load, so its lock is gone; one of the
    # backdoor's libraries is still held by a process and can only go at the next restart.
    box.locks.pop().release()
    if gone:
        gone(box)
        box.restart()
    box.lock(UBRIEL_FILES[1])
    if command_file.startswith("C:"):
        result = box.wine("cmd", "/c", command_file)
        # Wine's cmd echoes the command file's line: an empty line, the prompt and the line
        # (with a trailing blank) before the program's own output.
        echo = t.CRLF + b"C:\\>" + line + b" " + t.CRLF
    else:
        # Wine hands a program that cmd.exe starts SystemDrive C: whatever the machine's value
        # (Windows hands on the machine's own), so the line is started directly.
        result = box.wine(*line.decode("latin-1").split(" "))
        echo = b""
    check([result.out, result.rc], [echo + B() + DELETED, 0], "Safe Mode run")
    cured = dict(infected, **CURED, **{"copy": copied, "AlternateShell": "cmd.exe",
                                       "AutoAdminLogon": "0", "restarts": [RESTART] * 2})
    check_state(box, dict(cured, files=[False, True] + [False] * 5), "cured", command_file)
    box.restart()
    check_state(box, dict(cured, copy=False), "after the restart", command_file)
    check(box.value(m.SESSION_MANAGER, "PendingFileRenameOperations"), None,
          "delete-at-restart list after the restart")
    run(box, [], b"\r\n", t.CLEAN + t.PAUSE, exe=PROGRAM if gone else exe, what="final scan")
    check_log(box, rb" /SAFEMODE /AUTO", [t.UBRIEL_DELETED, t.HACDEF_DELETED,
                                         b"Restart requested: accepted\r\nExit code: 0"],
              command_file[0])


def rolls_back(box):
    """A boot.ini whose header the rewrite does not recognise: nothing may stay changed, no
    backup either, and no restart; then the user mends boot.ini."""
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI.replace(b"[operating", b" [operating"), "rhs")
    infected = state(box)
    run(box, ["/AUTO"], exe=r"C:\R&D\zorvane.exe", rc=1, what="rolled back", out=FOUND +
        b" Cure could not be started: no entry of boot.ini could take the Safe Mode switch\r\n")
    check_state(box, infected, "after the rollback")
    check(box.attributes(BOOT_INI), "rhs", "boot.ini attributes after the rollback")
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")


def removable_drive(box, kind):
    box.add_drive("e", kind)
    box.restart()
    # Read-only, as files on a CD are: the copy must still go with the restart.
    xp_cycle(box, r"E:\zorvane.exe", copied=True, gone=lambda box: box.remove_drive("e"),
             prelude=lambda box: box.set_attributes(r"E:\zorvane.exe", "r"))


def temporary_folder(box):
    # Explorer runs a program opened from a ZIP from a folder of %TEMP%, gone after the restart.
    folder = box.temp_dir() + r"\Temporary Directory 1 for zorvane.zip"
    xp_cycle(box, folder + r"\zorvane.exe", copied=True,
             gone=lambda box: shutil.rmtree(box.unix(folder)))


def system_drive_d(box):
    # Windows on D:, the loader's boot.ini on C:.
    box.add_drive("d")
    box.set_registry({m.SESSION_MANAGER + r"\Environment": {"SystemDrive": "D:"}})
    box.restart()
    xp_cycle(box, command_file=r"D:\Zorvane.cmd")
    check([box.exists(r"D:\boot.ini"), box.exists(r"D:\boot.ini.ZRVBACKUP")], [False, False],
          "boot files on the system drive")


# name: (Unix locale, the cycle's settings). The Safe Mode start reads the command file in the
# OEM code page (866, 850, 932), the path comes in the ANSI one (1251, 1252, 932; in 932 every
# character of the folder ends in the byte of a backslash); cmd.exe acts on "&" and on "%" even
# inside quotation marks: such paths go through the copy.
XP_CYCLES = {
    "answer_y": (None, dict(answer=b"y\r\n")),
    "path_with_blanks": (None, dict(exe=SPACED_PROGRAM)),
    "cyrillic_desktop": ("ru_RU.UTF-8", dict(
        exe=r"C:\Documents and Settings\Иван\Рабочий стол\zorvane.exe", copied=True)),
    "german_umlauts": ("de_DE.UTF-8", dict(
        exe=r"C:\Documents and Settings\Jürgen Müller\zorvane.exe", copied=True)),
    "japanese_5c_folder": ("ja_JP.UTF-8", dict(exe=r"C:\表ソ能\zorvane.exe", copied=True)),
    "ampersand": (None, dict(exe=r"C:\R&D\zorvane.exe", copied=True)),
    "percent": (None, dict(exe=r"C:\100% sure\zorvane.exe", copied=True)),
    "after_a_rollback": (None, dict(exe=r"C:\R&D\zorvane.exe", copied=True,
                                    prelude=rolls_back)),
}


def nt4_cycle(box, exe, copied=False):
    """/AUTO cures in place and writes the run-once entry; the restart runs it, and nothing runs
    after the next one. The held driver file counts as deleted: it goes at the restart."""
    if exe != PROGRAM:
        box.write_file(exe, box.read_file(PROGRAM))
    plant(box, ubriel=True, hacdef=True, boot_ini=True)
    infected = state(box)
    run(box, ["/AUTO"], b"", FOUND + DELETED, exe=exe)
    entry = command(COPY if copied else exe, " /Auto /AfterCure").decode()
    cured = dict(infected, **CURED, **{"copy": copied, "restarts": [RESTART]})
    check_state(box, dict(cured, files=[False] * 6 + [True], **{"run-once": entry}), "cured")

    # Windows takes a RunOnce value out and runs its command line after the next logon, in a
    # console. Wine runs them while it boots, in a console that refuses every write (error 995),
    # where the program stops at its banner; so the suite plays the logon itself, through cmd,
    # which also shows whether a path with blanks is quoted.
    box.set_registry({m.RUNONCE: {"Zorvane": None}})
    box.restart()
    check_state(box, cured, "after the restart")
    run(box, command_line=entry, out=t.CLEAN, what="run-once run")
    run(box, [], b"\r\n", t.CLEAN + t.PAUSE, exe=exe, what="final scan")
    box.restart()
    check_state(box, dict(cured, copy=False), "after the second restart")
    check_log(box, rb" /Auto /AfterCure", [t.CLEAN + b"Exit code: 0"])


REPORT = rb"\AException %s in module zorvane\.exe at [0-9A-F]{8}\.\r\n%s\.\r\n\r\n\Z"


def errors_end_with_report(box):
    """Wine's own setting: an unhandled exception would start winedbg. The program's errors
    end with the report alone on standard error and exit code 1."""
    box.set_registry({m.AEDEBUG: {"Debugger": "winedbg --auto %ld %ld", "Auto": "1"}})
    # A full disk behind standard output: the first write fails with ERROR_DISK_FULL.
    with open("/dev/full", "wb") as full_disk:
        full = box.run(["/LIST"], b"", stdout=full_disk)
    # A Safe Mode run whose boot.ini lost its backup: the switch cannot be taken out of boot.ini
    # when the new one cannot be written, so the run stops before anything is undone.
    box.write_file(BOOT_INI, SAFE_MODE_BOOT_INI, "h")
    box.set_registry({m.SAFEBOOT: {"AlternateShell": COMMAND_FILE}})
    box.unix(r"C:\boot.ini.ZRVNEW").mkdir()
    before = state(box)
    blocked = box.run(["/SAFEMODE", "/AUTO"])
    for result, out, message in ((full, None, b"I/O error 112"),
                                 (blocked, B(), b"File access denied")):
        check([result.out, result.rc], [out, 1], "output, exit code")
        if not re.search(REPORT % (b"EInOutError", re.escape(message)), result.err):
            raise Failed("error report: %r" % result.err)
    check_state(box, before, "after the errors")


CASES = {  # name: (the version Wine reports, the Unix locale, the case)
    "command_lines": ("winxp", None, command_lines),
    "clean_scan_win98": ("win98", None, clean_scan_win98),
    **{"xp_cycle_" + name: ("winxp", lang, lambda box, settings=settings:
                            xp_cycle(box, **settings))
       for name, (lang, settings) in XP_CYCLES.items()},
    "xp_cycle_temporary_folder_gone": ("winxp", None, temporary_folder),
    "xp_cycle_cdrom_gone": ("winxp", None, lambda box: removable_drive(box, "cdrom")),
    "xp_cycle_floppy_gone": ("winxp", None, lambda box: removable_drive(box, "floppy")),
    "xp_cycle_system_drive_d": ("winxp", None, system_drive_d),
    "nt40_cycle": ("nt40", None, lambda box: nt4_cycle(box, PROGRAM)),
    "nt40_cycle_path_with_blanks": ("nt40", None, lambda box: nt4_cycle(box, SPACED_PROGRAM)),
    "nt40_cycle_ampersand": ("nt40", None,
                             lambda box: nt4_cycle(box, r"C:\R&D\zorvane.exe", copied=True)),
    "errors_end_with_report_under_default_debugger": ("winxp", None, errors_end_with_report),
}


# --- the runner --------------------------------------------------------------------------------

def run_case(name, template, helpers, exe, work_root):
    version, lang, function = CASES[name]
    started = time.monotonic()
    failure = None
    try:
        with m.Machine(template, work_root / name, helpers, version=version, lang=lang) as box:
            box.write_file(PROGRAM, pathlib.Path(exe).read_bytes())
            function(box)
    except Failed as error:
        failure = str(error)
    except Exception:  # a broken machine fails the case, not the suite
        failure = traceback.format_exc()
    return name, failure, time.monotonic() - started


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
            m.make_template(template)
        failed = 0
        with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
            futures = [pool.submit(run_case, n, template, helpers, options.exe, work_root)
                       for n in names]
            for future in concurrent.futures.as_completed(futures):
                name, failure, seconds = future.result()
                failed += failure is not None
                print("%s %s (%.1f s)" % ("FAIL" if failure else "ok  ", name, seconds) +
                      ("\n    " + failure.replace("\n", "\n    ") if failure else ""), flush=True)
    finally:
        shutil.rmtree(work_root, ignore_errors=True)
    print("Wine suite: %.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (len(names) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
