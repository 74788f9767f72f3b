#!/usr/bin/env python3
"""Plays the whole Windows XP cure on a throw-away Wine machine with both backdoors planted,
showing each run's console output and, between runs, what changed on the machine.

    demo_cycle.py build/windows/zorvane.exe
"""

import difflib
import pathlib
import shutil
import sys
import tempfile

import winemachine as m

WATCHED_VALUES = [  # label, key, value name
    ("Winlogon Shell", m.WINLOGON, "Shell"),
    ("Winlogon AutoAdminLogon", m.WINLOGON, "AutoAdminLogon"),
    ("Winlogon OLDAutoAdminLogon", m.WINLOGON, "OLDAutoAdminLogon"),
    ("SafeBoot AlternateShell", m.SAFEBOOT, "AlternateShell"),
    ("RunOnce Zorvane", m.RUNONCE, "Zorvane"),
]
WATCHED_FILES = [m.BOOT_INI, m.BACKUP, m.COMMAND_FILE, m.DRIVER,
                 *m.UBRIEL_FILES]
WATCHED_KEYS = m.SERVICE_KEYS + m.LEGACY_KEYS


def heading(text):
    print("\n" + "=" * 100 + "\n" + text + "\n" + "=" * 100, flush=True)


def pending_deletions(box):
    """The files Windows deletes at the next restart (pairs of source and empty target)."""
    text = box.value(m.SESSION_MANAGER, "PendingFileRenameOperations")
    if not text:
        return None
    names = [n.replace("\\??\\", "") for n in text.split("\\0") if n]
    return ", ".join(names)


def snapshot(box):
    state = {}
    for label, key, name in WATCHED_VALUES:
        state["registry " + label] = box.value(key, name)
    state["to delete at restart"] = pending_deletions(box)
    for key in WATCHED_KEYS:
        state["key " + key.replace(m.HKLM + "\\SYSTEM\\", "")] = (
            "present" if box.key(key) is not None else None)
    for path in WATCHED_FILES:
        data = box.read_file(path)
        state["file " + path] = None if data is None else "%d bytes, attributes '%s'" % (
            len(data), box.attributes(path))
    state["restart requests"] = len(box.restart_requests()) or None
    state["boot.ini text"] = box.read_file(m.BOOT_INI)
    return state


def show_state(state):
    for name, value in state.items():
        if name == "boot.ini text":
            continue
        print("  %-46s %s" % (name, "(none)" if value is None else value))
    show_boot_ini(state["boot.ini text"])


def show_boot_ini(text):
    print("  boot.ini:")
    for line in (text or b"(none)").decode("latin-1").splitlines():
        print("    | " + line)


def show_changes(before, after):
    print("What changed on the machine:")
    changed = False
    for name in after:
        if before.get(name) == after[name] or name == "boot.ini text":
            continue
        changed = True
        print("  %-46s %s  ->  %s" % (name, before.get(name) or "(none)", after[name] or "(none)"))
    if before["boot.ini text"] != after["boot.ini text"]:
        changed = True
        print("  boot.ini, before and after:")
        old = (before["boot.ini text"] or b"").decode("latin-1").splitlines()
        new = (after["boot.ini text"] or b"").decode("latin-1").splitlines()
        for line in difflib.unified_diff(old, new, "before", "after", lineterm="", n=10):
            print("    " + line)
    if not changed:
        print("  nothing")


def show_run(title, command, result, answer=None):
    heading(title)
    print("> " + command + "\n")
    text = result.out.decode("latin-1").replace("\r\n", "\n")
    if answer is not None:
        text = text.replace("automatically): ", "automatically): " + answer + "\n")
    print(text.rstrip("\n"))
    if result.err:
        print("[standard error]\n" + result.err.decode("latin-1"))
    print("\n[exit code %d]" % result.rc, flush=True)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    exe = pathlib.Path(sys.argv[1])
    work = pathlib.Path(tempfile.mkdtemp(prefix="zorvane-demo-"))
    try:
        print("Making a throw-away Windows XP machine under Wine (a minute or two) ...", flush=True)
        m.make_template(work / "template")
        helpers = m.build_helpers(work / "helpers")
        with m.Machine(work / "template", work / "machine", helpers, version="winxp") as box:
            box.write_file(m.PROGRAM, exe.read_bytes())
            m.plant(box)
            heading("The infected machine (Windows XP as Wine reports it)")
            print("Backdoor.Ubriel.b: its name in the Winlogon \"Shell\" value, its files in the\n"
                  "system and Windows directories. Backdoor.HacDef.073.b: C:\\ubr2drv.sys held\n"
                  "open without sharing by a helper process, as its hiding driver holds it.\n")
            state = snapshot(box)
            show_state(state)

            result = box.run([], b"y\r\n")
            show_run("Run 1: the user scans and answers y", r"C:\zorvane.exe", result, "y")
            new = snapshot(box)
            show_changes(state, new)
            state = new
            print("\nThe program asked Windows to restart. The next start is minimal Safe Mode,\n"
                  "whose shell is the command file named by \"AlternateShell\"; the hiding driver\n"
                  "does not load there, so the helper's lock ends. Say one of the backdoor's\n"
                  "libraries is still held by a process: it can only go at the next restart.")

            box.locks.pop().release()
            box.lock(r"C:\windows\system32\hcsrss.dll")
            shell = box.value(m.SAFEBOOT, "AlternateShell")
            result = box.wine("cmd", "/c", shell)
            show_run("Run 2: Safe Mode runs the command file %s" % shell, "cmd /c " + shell, result)
            new = snapshot(box)
            show_changes(state, new)
            state = new

            heading("Restart: a new Wine session carries out the delete-at-restart list")
            box.restart()
            new = snapshot(box)
            show_changes(state, new)
            state = new

            result = box.run([], b"\r\n")
            show_run("Run 3: a final scan after the restart", r"C:\zorvane.exe", result)
            heading("The machine at the end")
            show_state(snapshot(box))
            heading(r"The run log C:\Zorvane.log: one block a run")
            print((box.read_file(r"C:\Zorvane.log") or b"(none)").decode("latin-1").replace("\r\n", "\n"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("\nThe throw-away machine has been removed.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
