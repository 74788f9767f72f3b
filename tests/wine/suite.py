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
import subprocess
import sys
import tempfile
import time
import traceback

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
import prefix  # noqa: E402
import texts as t  # noqa: E402
import winemachine as m  # noqa: E402
from winemachine import (BACKUP, BOOT_INI, COMMAND_FILE, DRIVER, INFECTED_SHELL,  # noqa: E402
                         LEGACY_KEYS, ORIGINAL_BOOT_INI, PROGRAM, SERVICE_KEYS, UBRIEL_FILES,
                         plant)

SPACED_PROGRAM = r"C:\Program Files\Zorvane\zorvane.exe"
SAFE_MODE_BOOT_INI = ORIGINAL_BOOT_INI.replace(
    b"/fastdetect", b"/fastdetect /SAFEBOOT:MINIMAL(ALTERNATESHELL)")
COPY = r"C:\ZRVCURE.EXE"  # the copy the restart runs when the program's own path would not do
RESTART = "--end-session"  # ExitWindowsEx(EWX_REBOOT) without EWX_FORCE, as Wine passes it on
CURED = {"Shell": "Explorer.exe", "driver keys": [False] * 4, "files": [False] * 7}


def check(actual, expected, what):
    if actual != expected:
        raise AssertionError("%s:\n    expected %r\n    actual   %r" % (what, expected, actual))


def run(box, args=(), stdin=b"", out=b"", rc=0, exe=PROGRAM, command_line=None, what="run",
        **options):
    """command_line, when given, is passed byte for byte (through a command file whose one line
    starts with @, so cmd echoes nothing)."""
    if command_line is None:
        result = box.run(args, stdin, exe=exe, **options)
    else:
        box.write_file(m.TEMP_DIR + r"\run.cmd", b"@" + command_line.encode("latin-1") + t.CRLF)
        result = box.wine("cmd", "/c", m.TEMP_DIR + r"\run.cmd", stdin=stdin, **options)
    check([result.out, result.rc, result.err], [t.BANNER + out, rc, b""], what + ": output, rc")


def state(box, command_file=COMMAND_FILE):
    """What a cure or its scheduling may change."""
    return {"boot.ini": box.read_file(BOOT_INI), "backup": box.read_file(BACKUP),
            "command file": box.read_file(command_file),
            "copy": box.read_file(COPY) == box.read_file(PROGRAM),
            "AlternateShell": box.value(m.SAFEBOOT, "AlternateShell"),
            "AutoAdminLogon": box.value(m.WINLOGON, "AutoAdminLogon"),
            "Shell": box.value(m.WINLOGON, "Shell"), "run-once": box.value(m.RUNONCE, "Zorvane"),
            "driver keys": [box.key(k) is not None for k in SERVICE_KEYS + LEGACY_KEYS],
            "files": [box.unix(p).exists() for p in UBRIEL_FILES + [DRIVER]],
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


# --- the cases ---------------------------------------------------------------------------------

# (command line, stdin, output after the banner): the command line, console and exit code of a
# real process. The end of input ends the pause too.
COMMAND_LINES = [
    (PROGRAM, b"\r\n", t.CLEAN + t.PAUSE),
    (PROGRAM, b"", t.CLEAN + t.PAUSE),
    (PROGRAM + " /NoCure", b"\r\n", t.CLEAN + t.PAUSE),
    (PROGRAM + ' "/li"ST\t/auto', b"", t.LIST),  # quotes joined, a tab separates
]


def readme_scripts():
    """The command lines README.md gives for scripts, as written: each indented block of its
    section on cleaning many machines is one script."""
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    section = readme.split("\n## Cleaning many machines\n")[1].split("\n## ")[0]
    return [re.sub(r"(?m)^ +", "", block).replace("\n", "\r\n").encode("latin-1")
            for block in re.findall(r"(?m)(?:^ {7}\S.*\n)+", section)]


def run_script(box, script, share):
    """Runs the script with standard input left open, as Windows runs a startup script: a program
    that waits for input never ends. Answers the share's text files, each line without the
    computer's name."""
    # Wine's cmd.exe starts no program by a UNC path: the share is its drive S: here, the rest of
    # each line as written.
    box.write_file(m.TEMP_DIR + r"\script.cmd", script.replace(b"\\\\server\\share", b"S:"))
    process = subprocess.Popen([m.WINE, "cmd", "/c", m.TEMP_DIR + r"\script.cmd"], env=box.env,
                               cwd=box.c, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    try:
        process.wait(timeout=120)
    except subprocess.TimeoutExpired:
        process.kill()
        raise AssertionError("the script does not end:\n" + script.decode("latin-1"))
    return {f.name: [line.partition(" ")[2] for line in f.read_text().splitlines()]
            for f in share.glob("*.txt")}


def command_lines(box):
    for line, stdin, expected in COMMAND_LINES:
        run(box, stdin=stdin, out=expected, command_line=line, what=repr(line))
    check([box.unix(p).exists() for p in (r"C:\tempfile.tmp", DRIVER)], [False] * 2, "probe files")
    # The README's scripts, from \\server\share (drive S: here): taking stock
    # on a clean machine, one whose drive C: takes no probe file, an infected one; then the cure.
    stock, cure = readme_scripts()
    share = box.root / "share"
    share.mkdir(parents=True)
    box.drive_link("s").symlink_to(share)
    shutil.copy2(box.unix(PROGRAM), share / "zorvane.exe")
    check(run_script(box, stock, share), {}, "clean machine")
    box.write_file(r"C:\tempfile.tmp\x", b"")
    check(run_script(box, stock, share), {"stock.txt": ["not checked"]}, "not checked")
    shutil.rmtree(box.unix(r"C:\tempfile.tmp"))
    plant(box)
    check(run_script(box, stock, share), {"stock.txt": ["not checked", "infected"]}, "infected")
    check(run_script(box, cure, share)["cure.txt"], ["cure under way"], "cure")
    check(box.restart_requests(), [RESTART], "restart requested")


def infect(box, exe, command_file=COMMAND_FILE):
    """The program at exe, read-only as files on a CD are (a copy of it must still go with the
    restart), on an infected machine; answers the machine's state."""
    if exe != PROGRAM:
        box.write_file(exe, box.read_file(PROGRAM), "r")
    plant(box)
    return state(box, command_file)


def odd_types(box, shell_type="REG_BINARY"):
    """"Shell" and "AutoAdminLogon" as some tools store them: the shell as binary or multi-string
    data, automatic logon as the DWORD 1. The cure repairs the shell to REG_SZ and puts "1" back."""
    data = INFECTED_SHELL.encode().hex() if shell_type == "REG_BINARY" else INFECTED_SHELL + r"\0x"
    added = box.wine("reg", "add", m.WINLOGON, "/v", "Shell", "/t", shell_type, "/d", data, "/f")
    check([added.rc, box.value(m.WINLOGON, "Shell") != INFECTED_SHELL], [0, True], shell_type)
    box.set_registry({m.WINLOGON: {"AutoAdminLogon": 1}})


def xp_cycle(box, exe=PROGRAM, copied=False, answer=None, command_file=COMMAND_FILE,
             setup=lambda box: None, prelude=lambda box: None, gone=None, logon="0", kiosk=False):
    """Scan and accept, Safe Mode run by the command file, restart, final scan. copied: the
    command file must name the copy instead of exe; setup(box) runs first, prelude(box) after
    planting; gone(box): what vanishes before the Safe Mode start (a restart follows it); logon:
    "AutoAdminLogon" once the cure is over; kiosk: the machine logs on a limited account by
    itself, which the Safe Mode start must not do."""
    setup(box)
    if kiosk:
        box.set_registry({m.WINLOGON: {"AutoAdminLogon": "1", "DefaultUserName": "kiosk",
                                       "DefaultPassword": "Kiosk-Pass"}})
    infect(box, exe, command_file)
    prelude(box)
    infected = state(box, command_file)
    run(box, [] if answer else ["/AUTO"], answer or b"", t.FOUND + (t.QUESTION if answer else b"")
        + (b" An administrator must log on in Safe Mode to finish the cure\r\n" if kiosk else b""),
        rc=3, exe=exe, what="scan")
    if kiosk:
        check(b"Kiosk-Pass" in box.read_file(r"C:\Zorvane.log"), False, "a password logged")
    path = COPY if copied else exe
    line = ('"%s"' % path if " " in path else path).encode("latin-1") + b" /SAFEMODE /AUTO"
    check_state(box, dict(infected, **{
        "boot.ini": SAFE_MODE_BOOT_INI, "backup": ORIGINAL_BOOT_INI, "copy": copied,
        "command file": line + t.CRLF, "AlternateShell": command_file,
        "AutoAdminLogon": "0" if kiosk else "1",
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
    check([result.out, result.rc], [echo + t.BANNER + t.DELETED, 0], "Safe Mode run")
    cured = dict(infected, **CURED, **{"copy": copied, "AlternateShell": "cmd.exe",
                                       "AutoAdminLogon": logon, "restarts": [RESTART] * 2})
    check_state(box, dict(cured, files=[False, True] + [False] * 5), "cured", command_file)
    check(box.attributes(BOOT_INI), "rhs", "boot.ini attributes once cured")
    box.restart()
    check_state(box, dict(cured, copy=False), "after the restart", command_file)
    run(box, [], b"\r\n", t.CLEAN + t.PAUSE, exe=PROGRAM if gone else exe, what="final scan")
    check_log(box, rb" /SAFEMODE /AUTO", [t.UBRIEL_DELETED, t.HACDEF_DELETED,
                                         b"Restart requested: accepted\r\nExit code: 0"],
              command_file[0])


def rolls_back(box):
    """A boot.ini whose header the rewrite does not recognise: nothing may stay changed, no
    backup either, and no restart; then the user mends boot.ini."""
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI.replace(b"[operating", b" [operating"), "rhs")
    infected = state(box)
    run(box, ["/AUTO"], exe=r"C:\R&D\zorvane.exe", rc=1, what="rolled back", out=t.FOUND +
        b" Cure could not be started: no entry of boot.ini could take the Safe Mode switch\r\n")
    check_state(box, infected, "after the rollback")
    check(box.attributes(BOOT_INI), "rhs", "boot.ini attributes after the rollback")
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")


def add_drive(box, letter, kind=None):
    """A new drive letter on a folder of its own; kind "cdrom" or "floppy" makes Wine report
    that drive type. Restarts, since Wine reads drive types and the system drive at boot."""
    folder = box.prefix / ("drive_" + letter.lower())
    folder.mkdir(exist_ok=True)
    box.drive_link(letter).symlink_to("../" + folder.name)
    if kind:
        box.set_registry({m.HKLM + r"\Software\Wine\Drives": {letter.lower() + ":": kind}})
    box.restart()


def system_drive_d(box):
    # Windows on D:, the loader's boot.ini on C:.
    box.set_registry({m.SESSION_MANAGER + r"\Environment": {"SystemDrive": "D:"}})
    add_drive(box, "d")


def temporary_folder(box):
    # Explorer runs a program opened from a ZIP from a folder of %TEMP%, gone after the restart.
    folder = (box.wine("cmd", "/c", "echo %TEMP%").out.decode("latin-1").strip() +
              r"\Temporary Directory 1 for zorvane.zip")
    xp_cycle(box, folder + r"\zorvane.exe", copied=True,
             gone=lambda box: shutil.rmtree(box.unix(folder)))


# name: (Unix locale, the cycle's settings). The Safe Mode start reads the command file in the
# OEM code page (866, 850, 932), the path comes in the ANSI one (1251, 1252, 932; in 932 every
# character of the folder ends in the byte of a backslash); cmd.exe acts on "&" and on "%" even
# inside quotation marks: such paths go through the copy, as do those on a drive that is gone
# for the restart.
XP_CYCLES = {
    "answer_y_path_with_blanks_odd_types": (None, dict(exe=SPACED_PROGRAM, answer=b"y\r\n",
                                                       prelude=odd_types, logon="1")),
    "cyrillic_desktop": ("ru_RU.UTF-8", dict(
        exe=r"C:\Documents and Settings\Иван\Рабочий стол\zorvane.exe", copied=True)),
    "german_umlauts": ("de_DE.UTF-8", dict(
        exe=r"C:\Documents and Settings\Jürgen Müller\zorvane.exe", copied=True)),
    "japanese_5c_folder": ("ja_JP.UTF-8", dict(exe=r"C:\表ソ能\zorvane.exe", copied=True)),
    "percent_on_a_kiosk": (None, dict(exe=r"C:\100% sure\zorvane.exe", copied=True, logon="1",
                                      kiosk=True)),
    "ampersand_after_a_rollback": (None, dict(exe=r"C:\R&D\zorvane.exe", copied=True,
                                              prelude=rolls_back)),
    # "hd": a USB disk is a fixed drive too, and may be unplugged before the restart.
    **{kind + "_gone": (None, dict(
        exe=r"E:\zorvane.exe", copied=True, setup=lambda box, kind=kind: add_drive(box, "e", kind),
        gone=lambda box: box.drive_link("e").unlink())) for kind in ("cdrom", "floppy", "hd")},
    "system_drive_d": (None, dict(command_file=r"D:\Zorvane.cmd", setup=system_drive_d)),
}


def nt4_cycle(box, exe=r"C:\R&D\zorvane.exe"):
    """/AUTO cures in place and writes the run-once entry, naming the copy as the Safe Mode start
    would; the restart runs it, and nothing runs after the next one. The held driver file counts
    as deleted: it goes at the restart."""
    infect(box, exe)
    odd_types(box, "REG_MULTI_SZ")
    infected = state(box)
    run(box, ["/AUTO"], b"", t.FOUND, rc=3, exe=exe)
    entry = COPY + " /Auto /AfterCure"
    cured = dict(infected, **CURED, **{"copy": True, "restarts": [RESTART]})
    check_state(box, dict(cured, files=[False] * 6 + [True], **{"run-once": entry}), "cured")

    # Windows takes a RunOnce value out and runs its command line after the next logon, in a
    # console. Wine runs them while it boots, in a console that refuses every write (error 995),
    # where the program stops at its banner; so the suite plays the logon itself, through cmd,
    # which would act on an "&" left in the line.
    box.set_registry({m.RUNONCE: {"Zorvane": None}})
    box.restart()
    check_state(box, cured, "after the restart")
    run(box, command_line=entry, out=t.CLEAN, what="run-once run")
    run(box, [], b"\r\n", t.CLEAN + t.PAUSE, exe=exe, what="final scan")
    box.restart()
    check_state(box, dict(cured, copy=False), "after the second restart")
    check_log(box, rb" /Auto /AfterCure", [t.CLEAN + b"Exit code: 0"])


def one_cure_at_a_time(box, trials=10):
    """Two /AUTO runs started together, trial after trial: each trial ends with one whole Safe
    Mode start arranged; a run that finds the other one changing the machine changes nothing,
    says so and ends with exit code 1."""
    plant(box)
    held = b" Another run is changing the system: this one changes nothing\r\n"
    for trial in range(trials):
        runs = [subprocess.Popen([m.WINE, PROGRAM, "/AUTO"], env=box.env, cwd=box.c,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL) for _ in range(2)]
        ends = [(run.communicate(timeout=120)[0], run.returncode) for run in runs]
        what = "trial %d: %r" % (trial, ends)
        check([any(rc == 3 for _, rc in ends),
               all(rc == 3 or (rc == 1 and out.endswith(held)) for out, rc in ends)],
              [True, True], what)
        winlogon = box.key(m.WINLOGON)
        check([box.read_file(p) for p in (BOOT_INI, BACKUP, COMMAND_FILE)] +
              [box.value(m.SAFEBOOT, "AlternateShell"), winlogon.get("AutoAdminLogon"),
               winlogon.get("OLDAutoAdminLogon")],
              [SAFE_MODE_BOOT_INI, ORIGINAL_BOOT_INI, PROGRAM.encode() + b" /SAFEMODE /AUTO\r\n",
               COMMAND_FILE, "1", "0"], what)
        box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")  # the cure not yet accepted
        box.unix(BACKUP).unlink()
        box.unix(COMMAND_FILE).unlink()
        box.set_registry({m.WINLOGON: {"AutoAdminLogon": None, "OLDAutoAdminLogon": None},
                          m.SAFEBOOT: {"AlternateShell": "cmd.exe"}})


def compatibility_mode(box):
    """"Run this program in compatibility mode for Windows XP" on Windows 7: the program is told
    5.1, the kernel's shared data keeps 6.1. The cure does not start; nothing changes."""
    box.set_registry({m.WINE_SETTINGS + r"\AppDefaults\zorvane.exe": {"Version": "winxp"}})
    infected = infect(box, PROGRAM)
    run(box, ["/AUTO"], rc=1, out=t.FOUND + b" Cure could not be started: this Windows version "
        b"does not start from boot.ini\r\n")
    check_state(box, infected, "after the cure that did not start")
    check(b"\r\nWindows NT 5.1 " in box.read_file(r"C:\Zorvane.log"), True, "version told")


def errors_end_with_report(box):
    """Wine's own setting: an unhandled exception would start winedbg. The program's errors
    end with the report alone on standard error and exit code 1."""
    box.set_registry({m.AEDEBUG: {"Debugger": "winedbg --auto %ld %ld", "Auto": "1"}})
    # A full disk behind standard output: the first write fails with ERROR_DISK_FULL.
    with open("/dev/full", "wb") as full_disk:
        result = box.run(["/LIST"], b"", stdout=full_disk)
    check(result.rc, 1, "exit code")
    if not re.fullmatch(rb"Exception EInOutError in module zorvane\.exe at [0-9A-F]{8}\.\r\n"
                        rb"I/O error 112\.\r\n\r\n", result.err):
        raise AssertionError("error report: %r" % result.err)


CASES = {  # name: (the version Wine reports, the Unix locale, the case)
    "command_lines": ("winxp", None, command_lines),
    **{"xp_cycle_" + name: ("winxp", lang, lambda box, settings=settings:
                            xp_cycle(box, **settings))
       for name, (lang, settings) in XP_CYCLES.items()},
    "xp_cycle_temporary_folder_gone": ("winxp", None, temporary_folder),
    "nt40_cycle_ampersand": ("nt40", None, nt4_cycle),
    "one_cure_at_a_time": ("winxp", None, one_cure_at_a_time),
    "compatibility_mode_on_windows_7": ("win7", None, compatibility_mode),
    "errors_end_with_report_under_default_debugger": ("winxp", None, errors_end_with_report),
}


# --- the runner --------------------------------------------------------------------------------

def run_case(name, template, helpers, exe, work_root):
    started = time.monotonic()
    failure = None
    try:
        version, lang, function = CASES[name]  # an unknown name fails as a case
        with m.Machine(template, work_root / name, helpers, version=version, lang=lang) as box:
            box.write_file(PROGRAM, pathlib.Path(exe).read_bytes())
            function(box)
    except AssertionError as error:
        failure = str(error)
    except Exception:  # a broken machine fails the case, not the suite
        failure = traceback.format_exc()
    return name, failure, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="zorvane.exe to test")
    parser.add_argument("--list", action="store_true", help="print the case names and stop")
    parser.add_argument("--template", default=ROOT / "build" / "wine" / "template",
                        help="template prefix to copy (made when absent)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("cases", nargs="*", help="case names (default: all)")
    options = parser.parse_args()
    if options.list:
        print("\n".join(CASES))
        return 0
    if not options.exe:
        parser.error("--exe is required")
    names = options.cases or list(CASES)

    started = time.monotonic()
    work_root = pathlib.Path(tempfile.mkdtemp(prefix="zorvane-wine-"))
    try:
        helpers = m.build_helpers(work_root / "helpers")
        template = prefix.make_template_once(options.template)
        failed = 0
        with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
            for name, failure, seconds in pool.map(
                    lambda n: run_case(n, template, helpers, options.exe, work_root), names):
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
