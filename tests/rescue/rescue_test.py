#!/usr/bin/python3
"""End-to-end tests of zorvane-rescue: installations built on a plain folder and on an NTFS image
mounted with ntfs-3g, scanned, cured and put back by the real program; the hives checked with an
independent reader; then a fault sweep over the file-system calls of a cure.

    rescue_test.py --exe build/rescue/zorvane-rescue --fault build/rescue/fault.so [--only NAME]
"""
import argparse
import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

import hivex

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import rescue_install as install  # noqa: E402

HEADER = "action\troot\tpath\tsize\tsha256\tsha256_after\tstored"
WINLOGON = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
REFUSED = {"hiberfil": "Windows is hibernated or was shut down with fast startup (hiberfil.sys)",
           "readonly": "the volume is mounted read-only"}
args = None
results = [0, 0]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def run(*arguments, env=None):
    done = subprocess.run([args.exe, *arguments], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, **(env or {})))
    return done.returncode, done.stdout, done.stderr


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def snapshot(volume, skip=("Zorvane.quarantine", "Zorvane.log")):
    """Every entry below VOLUME: its kind and content (files by SHA-256, links by target)."""
    found = {}
    for top, folders, files in os.walk(volume):
        for name in folders + files:
            path = os.path.join(top, name)
            relative = os.path.relpath(path, volume)
            if relative.split(os.sep)[0] in skip:
                continue
            mode = os.lstat(path).st_mode
            found[relative] = os.readlink(path) if stat.S_ISLNK(mode) else \
                sha(path) if stat.S_ISREG(mode) else "folder"
    return found


def hive_dump(path):
    """The hive as sorted (key, value name, type, data) rows, or None when hivex refuses it."""
    try:
        h = hivex.Hivex(path)
    except RuntimeError:
        return None
    rows, todo = [], [(h.root(), "")]
    while todo:
        node, name = todo.pop()
        rows.append((name,))
        rows += [(name, h.value_key(v), *h.value_value(v)) for v in h.node_values(node)]
        todo += [(c, name + "\\" + h.node_name(c)) for c in h.node_children(node)]
    return sorted(rows)


def export(path):
    return subprocess.run(["hivexregedit", "--export", path, "\\"], capture_output=True,
                          text=True, check=True).stdout


def reference_cure(path):
    """What a cure is to make of a hive, done here through hivex on a copy: returns the copy."""
    copy = path + ".expected"
    shutil.copyfile(path, copy)
    h = hivex.Hivex(copy, write=True)

    def key(*names):
        node = h.root()
        for name in names:
            node = node and h.node_get_child(node, name)
        return node

    def put(node, name, data):
        kept = [{"key": h.value_key(v), "t": h.value_value(v)[0], "value": h.value_value(v)[1]}
                for v in h.node_values(node) if h.value_key(v) not in (name, "OLDAutoAdminLogon")]
        h.node_set_values(node, kept + [install.value(name, data)])

    def get(node, name):  # hivex reports a missing value as an error
        try:
            return h.value_string(h.node_get_value(node, name))
        except RuntimeError:
            return None

    winlogon = key(*WINLOGON.split("\\"))
    if winlogon:
        old = get(winlogon, "OLDAutoAdminLogon")
        put(winlogon, "Shell", "Explorer.exe")
        if old is not None:
            put(winlogon, "AutoAdminLogon", old)
    for sets in h.node_children(h.root()):
        if h.node_name(sets).startswith("ControlSet"):
            for path in (("Services", "ubr2drv"), ("Enum", "Root", "LEGACY_UBR2DRV")):
                node = key(h.node_name(sets), *path)
                if node:
                    h.node_delete_child(node)
            safe_boot = key(h.node_name(sets), "Control", "SafeBoot")
            if safe_boot and "Zorvane" in get(safe_boot, "AlternateShell"):
                put(safe_boot, "AlternateShell", "cmd.exe")
    h.commit(copy)
    return copy


def manifests(volume):
    """Rows of every manifest under VOLUME/Zorvane.quarantine, with the folder holding each."""
    rows, top = [], os.path.join(volume, "Zorvane.quarantine")
    for stamp in sorted(os.listdir(top)) if os.path.isdir(top) else []:
        if not check(os.path.exists(os.path.join(top, stamp, "manifest.tsv")),
                     "%s has no manifest" % stamp):
            continue
        with open(os.path.join(top, stamp, "manifest.tsv")) as f:
            lines = f.read().splitlines()
        check(lines[:1] in ([HEADER], []), "manifest header: %r" % lines[:1])
        rows += [(os.path.join(top, stamp), line.split("\t")) for line in lines[1:]]
    return rows


def infected(volume, **options):
    os.makedirs(volume)
    return install.build(volume, unfinished_cure=True, services=5, **options)


INFECTED_FILES = [name.format(w="WINDOWS") for name in install.UBRIEL_FILES] + [
    "ubr2drv.sys", "Zorvane.cmd", "ZRVCURE.EXE", "boot.ini.ZRVBACKUP"]


# --- cases: each takes a fresh folder on the file system under test -------------------------

def case_scan(base):
    """A clean and an infected XP installation: exit codes, findings with their evidence, and
    nothing written; bad usage."""
    clean = os.path.join(base, "clean")
    os.makedirs(clean)
    install.build(clean, clean=True)
    before = snapshot(clean)
    code, out, _ = run(clean)
    check(code == 0, "clean scan exit %d" % code)
    for line in ["Windows installation: WINDOWS (Microsoft Windows XP 5.1 Service Pack 2)",
                 " Backdoor.Ubriel.b - not found", " Backdoor.HacDef.073.b - not found"]:
        check(line in out.splitlines(), "clean scan lacks %r:\n%s" % (line, out))
    check("Unfinished cure" not in out, "clean scan: %s" % out)
    check(snapshot(clean, ()) == before, "clean scan changed the volume")

    volume = os.path.join(base, "infected")
    infected(volume)
    before = snapshot(volume, ())
    code, out, _ = run(volume)
    check(code == 2, "infected scan exit %d" % code)
    lines, flat = out.splitlines(), out.replace("\\", "/")
    for line in [" Backdoor.Ubriel.b - found", " Backdoor.HacDef.073.b - found",
                 " Unfinished cure of zorvane.exe - found",
                 '   Winlogon "Shell" = "Explorer.exe ubr2.exe"'] + [
            '   ControlSet00%d\\Services\\ubr2drv (ImagePath "\\??\\C:\\ubr2drv.sys", Start 1)'
            % n for n in (1, 2)]:
        check(line in lines, "infected scan lacks %r:\n%s" % (line, out))
    for name in INFECTED_FILES[:-3]:
        size = os.path.getsize(os.path.join(volume, name))
        check("%s (%d bytes)" % (name, size) in flat, "scan names no %s (%d bytes)" % (name, size))
    for word in ("LEGACY_UBR2DRV", "boot.ini.ZRVBACKUP", "AlternateShell", "OLDAutoAdminLogon",
                 "Zorvane.cmd", "ZRVCURE.EXE"):
        check(word in out, "scan names no %s" % word)
    check(snapshot(volume, ()) == before, "infected scan changed the volume")
    for bad in (["--cure"], ["--bogus", base], ["--undo"], [base, base]):
        code, _, err = run(*bad)
        check(code == 64 and err.strip(), "usage %s: %d" % (bad, code))


def case_cure_and_undo(base):
    """XP infected with both threats and left by an unfinished cure: the cure removes exactly
    what it should (hives compared with hivexregedit against the edits made here through hivex),
    quarantines everything, logs; the undo puts it all back, but not over a changed item."""
    volume = os.path.join(base, "xp")
    infected(volume)
    config = os.path.join(volume, "WINDOWS", "system32", "config")
    before = snapshot(volume)
    with open(os.path.join(volume, "boot.ini.ZRVBACKUP"), "rb") as f:
        boot_ini = f.read()
    expected = {hive: export(reference_cure(os.path.join(config, hive)))
                for hive in ("SYSTEM", "SOFTWARE")}
    for hive in expected:
        os.remove(os.path.join(config, hive + ".expected"))
    code, out, _ = run("--cure", volume)
    check(code == 0 and out.splitlines()[-1:] == ["Cure complete."], "cure: %d\n%s" % (code, out))
    for hive, text in expected.items():
        check(export(os.path.join(config, hive)) == text, "%s differs from the expected" % hive)
    after = snapshot(volume)
    with open(os.path.join(volume, "boot.ini"), "rb") as f:
        check(f.read() == boot_ini, "boot.ini is not the one of before the unfinished cure")
    gone = sorted(set(before) - set(after))
    check(gone == sorted(INFECTED_FILES), "removed: %s" % gone)
    changed = sorted(p for p in after if after[p] != before.get(p))
    check(changed == ["WINDOWS/system32/config/SOFTWARE", "WINDOWS/system32/config/SYSTEM",
                      "boot.ini"], "changed: %s" % changed)
    flat = out.replace("\\", "/")
    for name in gone:
        check("   removed %s" % name in flat.splitlines(), "no line: removed %s" % name)

    rows = manifests(volume)
    check(len({folder for folder, _ in rows}) == 1, "not one quarantine folder")
    folder = rows[0][0] if rows else volume
    for path in (folder, os.path.dirname(folder)):  # ntfs-3g, as mounted here, keeps no modes
        check(stat.S_IMODE(os.stat(path).st_mode) in ({0o700, 0o777} if "/ntfs/" in path
                                                      else {0o700}), "%s not 0700" % path)
    listed = {}
    for _, row in rows:
        action, root, path, size, digest, digest_after, stored = row
        listed[path] = action
        check(root == "volume" and before.get(path) == digest, "manifest row %s" % row)
        check(sha(os.path.join(folder, stored)) == digest and int(size) == os.path.getsize(
            os.path.join(folder, stored)), "stored copy of %s" % path)
        check(not stored.lower().endswith((".exe", ".dll", ".sys", ".cmd")), "stored " + stored)
        check(digest_after == (after.get(path) if action == "changed" else "-"), "after " + path)
    check(listed == dict({p: "removed" for p in gone}, **{p: "changed" for p in changed}) or
          listed == dict({p: "removed" for p in gone if p != "boot.ini.ZRVBACKUP"},
                         **{p: "changed" for p in changed}), "manifest lists %s" % listed)
    with open(os.path.join(volume, "Zorvane.log"), "rb") as f:
        log = f.read()
    check(log.startswith(b"==== ") and b"Zorvane rescue 0.1" in log and
          log.endswith(b"Exit code: 0\r\n") and b"\n" not in log.replace(b"\r\n", b""),
          "Zorvane.log: %r" % log[:300])
    code, out, _ = run(volume)
    check(code == 0, "scan after the cure: %d\n%s" % (code, out))

    code, out, _ = run("--undo", folder, volume)
    check(code == 0 and out.splitlines()[-1:] == ["Undo complete."], "undo: %d\n%s" % (code, out))
    check(snapshot(volume) == before, "the undo did not bring back the volume of before")

    # An item changed since the cure is named and left, the rest put back.
    shutil.rmtree(os.path.join(volume, "Zorvane.quarantine"))
    code, out, _ = run("--cure", volume)
    folder = manifests(volume)[0][0]
    install.write_file(os.path.join(volume, "ubr2drv.sys"), "a new file")
    software = os.path.join(config, "SOFTWARE")
    h = hivex.Hivex(software, write=True)
    h.node_set_value(h.root(), install.value("Changed", "after the cure"))
    h.commit(software)
    changed = snapshot(volume)
    code, out, _ = run("--undo", folder, volume)
    check(code == 1 and out.splitlines()[-1:] == ["Undo incomplete."], "undo over changes: %d"
          % code)
    check("   NOT put back WINDOWS/system32/config/SOFTWARE: changed since the cure" in
          out.replace("\\", "/").splitlines(), "the changed hive is not named:\n" + out)
    now = snapshot(volume)
    for path in ("WINDOWS/system32/config/SOFTWARE", "ubr2drv.sys"):
        check(now[path] == changed[path], "undo overwrote " + path)
    check(now["WINDOWS/system32/config/SYSTEM"] == before["WINDOWS/system32/config/SYSTEM"] and
          now["WINDOWS/system32/ubr2.exe"] == before["WINDOWS/system32/ubr2.exe"],
          "undo did not put back the unchanged items")


def case_nt4(base):
    """NT 4.0: WINNT, "lf" lists, SYSTEM.ALT cured alike, 'c:\\' on a separate partition."""
    volume, boot = os.path.join(base, "nt4"), os.path.join(base, "nt4-c")
    os.makedirs(volume)
    os.makedirs(boot)
    install.build(volume, nt4=True, services=5, system_partition=boot)
    config = os.path.join(volume, "WINNT", "system32", "config")
    code, out, _ = run("--system-partition", boot, volume)
    check(code == 2 and "Windows installation: WINNT (Microsoft Windows NT 4.0 Service Pack 6)"
          in out.splitlines(), "NT 4.0 scan: %d\n%s" % (code, out))
    expected = {hive: hive_dump(reference_cure(os.path.join(config, hive)))
                for hive in ("SYSTEM", "SYSTEM.ALT", "SOFTWARE")}
    code, out, _ = run("--cure", "--system-partition", boot, volume)
    check(code == 0, "NT 4.0 cure: %d\n%s" % (code, out))
    for hive, rows in expected.items():
        check(hive_dump(os.path.join(config, hive)) == rows, "NT 4.0 %s not as expected" % hive)
    check(sorted(os.listdir(boot)) == ["boot.ini"], "left on C: %s" % os.listdir(boot))
    check({row[1] for _, row in manifests(volume) if row[2] in ("ubr2drv.sys", "ubr2.exe")} ==
          {"system-partition"}, "manifest roots of C:")


def case_refusals(base, readonly_ok):
    """Each reason to refuse a cure: one line, exit code 1, nothing changed."""
    volume = os.path.join(base, "refused")
    infected(volume)
    config = os.path.join(volume, "WINDOWS", "system32", "config")

    def refused(reason, *extra, at=volume):
        before = snapshot(volume, ())
        code, out, _ = run("--cure", *extra, at)
        check(code == 1 and out.splitlines().count(out.strip()) == 1 and
              out.strip().startswith("Cure refused: " + reason), "%s: %d\n%s" % (reason, code, out))
        check(snapshot(volume, ()) == before, "refusal changed the volume: " + reason)

    for signature in ("hibr", "HIBR", "wake", "WAKE", "RSTR"):
        install.hibernate(volume, signature)
        refused(REFUSED["hiberfil"])
    os.remove(os.path.join(volume, "hiberfil.sys"))
    for hive in ("SYSTEM", "SOFTWARE"):
        install.set_sequence(os.path.join(config, hive), 7, 6)
        refused("hive WINDOWS")  # the path's separators are the product's own choice
        install.set_sequence(os.path.join(config, hive), 7, 7)
    if readonly_ok:
        view = volume + "-ro"
        os.makedirs(view)
        subprocess.run(["mount", "--bind", volume, view], check=True)
        try:
            subprocess.run(["mount", "-o", "remount,ro,bind", view], check=True)
            refused(REFUSED["readonly"], at=view)
            code, out, _ = run(view)
            check(code == 2, "scan of the read-only view: %d" % code)
        finally:
            subprocess.run(["umount", view], check=True)
    else:
        print("skipped: read-only refusal (needs root)")
    install.build(volume, nt4=True, services=5)
    refused("several Windows installations: name one with --windows (")
    refused("no Windows installation named WIN98", "--windows", "WIN98")
    code, out, _ = run(volume)
    check(code == 2 and out.count("Windows installation: ") == 2, "scan of two: %s" % out)
    before = snapshot(os.path.join(volume, "WINDOWS"))
    code, out, _ = run("--cure", "--windows", "WINNT", volume)
    check(code == 0, "cure of the one named: %d\n%s" % (code, out))
    check(snapshot(os.path.join(volume, "WINDOWS")) == before, "the other installation changed")


def case_links_and_odd_files(base):
    """Links out of the volume are not followed, folders and links not removed."""
    volume, outside = os.path.join(base, "links"), os.path.join(base, "outside")
    infected(volume)
    install.write_file(os.path.join(outside, "ubr2.exe"), "outside the volume")
    system32 = os.path.join(volume, "WINDOWS", "system32")
    os.remove(os.path.join(system32, "ubr2.exe"))
    os.symlink(os.path.join(outside, "ubr2.exe"), os.path.join(system32, "ubr2.exe"))
    shutil.rmtree(os.path.join(volume, "WINDOWS", "system"))
    os.symlink(outside, os.path.join(volume, "WINDOWS", "system"))
    os.remove(os.path.join(volume, "WINDOWS", "icsrss.dll"))
    os.makedirs(os.path.join(volume, "WINDOWS", "icsrss.dll", "inside"))
    before, outside_before = snapshot(volume), snapshot(outside)
    code, out, _ = run("--cure", volume)
    check(snapshot(outside) == outside_before, "outside the volume changed")
    check(code == 1 and out.splitlines()[-1] == "Cure incomplete.", "exit %d\n%s" % (code, out))
    for path in ("WINDOWS/system32/ubr2.exe", "WINDOWS/icsrss.dll"):
        check(any(line.startswith("   NOT removed " + path) for line in
                  out.replace("\\", "/").splitlines()), "%s not named:\n%s" % (path, out))
    after = snapshot(volume)
    for path in ("WINDOWS/system32/ubr2.exe", "WINDOWS/system", "WINDOWS/icsrss.dll/inside"):
        check(after.get(path) == before[path], "%s was removed or changed" % path)
    check("WINDOWS/system32/hcsrss.dll" not in after, "the regular files stayed")


def case_hard_hives(base):
    """hivex's limits and corrupted hives: "li" lists above the driver's keys, 3,000 services,
    damaged hives: never a crash, never a half-written hive."""
    # Where hivex cannot delete the driver's keys, the driver is disabled (Start 4) and named.
    volume, plain = os.path.join(base, "li"), os.path.join(base, "plain")
    for at in (volume, plain):
        os.makedirs(at)
        install.build(at, li_lists=at == volume, services=5)
    system = os.path.join(volume, "WINDOWS", "system32", "config", "SYSTEM")
    h = hivex.Hivex(system, write=True)
    for sets in ("ControlSet001", "ControlSet002"):
        node = h.node_get_child(h.node_get_child(h.node_get_child(h.root(), sets), "Services"),
                                "ubr2drv")
        h.node_set_value(node, install.value("Start", 4))
    h.commit(system + ".disabled")
    disabled, before = hive_dump(system + ".disabled"), hive_dump(system)
    os.remove(system + ".disabled")
    expected = hive_dump(reference_cure(os.path.join(plain, "WINDOWS/system32/config/SYSTEM")))
    code, out, _ = run("--cure", volume)
    check(hive_dump(system) in (before, disabled, expected) and (code == 0) == (
        hive_dump(system) == expected), "li lists: exit %d\n%s" % (code, out))
    check(code == 0 or out.count("   NOT removed WINDOWS/system32/config/SYSTEM\\") == 4,
          "li lists: the keys left are not named\n" + out)
    volume = os.path.join(base, "many")
    os.makedirs(volume)
    install.build(volume, services=3000)
    system = os.path.join(volume, "WINDOWS", "system32", "config", "SYSTEM")
    expected = hive_dump(reference_cure(system))
    code, out, _ = run("--cure", volume)
    check(code == 0 and hive_dump(system) == expected, "3,000 services: %d\n%s" % (code, out))
    volume = os.path.join(base, "loop")
    infected(volume)
    install.corrupt(os.path.join(volume, "WINDOWS/system32/config/SYSTEM"), "loop")
    for command in ([], ["--cure"]):  # ends, whatever it makes of it
        code, out, err = run(*command, volume)
        check(code in (0, 1, 2), "loop %s: %d\n%s%s" % (command, code, out, err))
    for hive in ("SYSTEM", "SOFTWARE"):
        for how in ("short", "root", "bins"):
            volume = os.path.join(base, "corrupt-%s-%s" % (hive, how))
            os.makedirs(volume)
            install.build(volume, clean=True, services=5)
            install.corrupt(os.path.join(volume, "WINDOWS", "system32", "config", hive), how)
            before = snapshot(volume, ())
            code, out, err = run(volume)
            check(code == 1 and "could not be checked" in out, "%s %s scan: %d\n%s%s" % (
                hive, how, code, out, err))
            code, out, err = run("--cure", volume)
            check(code == 1 and snapshot(volume, ())[
                "WINDOWS/system32/config/" + hive] == before["WINDOWS/system32/config/" + hive],
                "%s %s cure: %d\n%s%s" % (hive, how, code, out, err))


def fault_sweep(base):
    """Fails the Nth file-system call of a cure for every N until the cure runs through: the
    hives and files stay whole or cured, the quarantine lists every change made, a second cure
    without faults ends in the state of an undisturbed one."""
    prepared, model = os.path.join(base, "prepared"), os.path.join(base, "model")
    infected(prepared)
    shutil.copytree(prepared, model, symlinks=True)
    log = os.path.join(base, "calls")
    run("--cure", model, env={"LD_PRELOAD": args.fault, "ZRV_FAULT_LOG": log})
    with open(log) as f:
        calls = f.read().splitlines()
    kinds = {line.split()[1] for line in calls}  # the library sees what the cure does
    check({"openat", "write", "fsync", "renameat", "unlinkat", "mkdirat"} <= kinds, str(kinds))
    hives = ["WINDOWS/system32/config/" + h for h in ("SYSTEM", "SOFTWARE")]

    def state(volume):  # hives by content: a commit stamps the time into the keys it writes
        found = snapshot(volume)
        return dict(found, **{h: hive_dump(os.path.join(volume, h)) for h in hives if h in found})

    digests, original, cured = snapshot(prepared), state(prepared), state(model)
    trial, exits = 0, [0, 0]
    while not failures and trial <= len(calls):
        trial += 1
        volume = os.path.join(base, "trial")
        shutil.rmtree(volume, ignore_errors=True)
        shutil.copytree(prepared, volume, symlinks=True)
        code, out, err = run("--cure", volume, env={"LD_PRELOAD": args.fault,
                                                    "ZRV_FAULT_AT": str(trial)})
        what = "fault at call %s: " % (calls[trial - 1] if trial <= len(calls) else "none")
        # Every failed call is a step not done, not durable or not logged, and says so, or keeps
        # the quarantine from being made.
        lines = out.splitlines()
        said = lines[-1:] == ["Cure incomplete."] and any(l.startswith("   NOT ") for l in lines)
        said = said or lines[-1:] != [] and lines[-1].startswith("Cure refused: the quarantine")
        if not check(code in (0, 1) and (trial > len(calls) or code == 1 and said),
                     what + "exit %d\n%s%s" % (code, out, err)):
            break
        exits[code] += 1
        now, listed = state(volume), {row[2]: row[4] for _, row in manifests(volume)}
        for path, before in original.items():
            if now.get(path) != before and now.get(path) != cured.get(path):
                failures.append(what + "%s is neither original nor cured" % path)
            elif now.get(path) != before and listed.get(path) != digests[path]:
                failures.append(what + "%s changed, not in the manifest" % path)
        if trial > len(calls):
            check(code == 0 and now == cured, what + "the cure differs from the model")
            break
        code, out, _ = run("--cure", volume)
        now = state(volume)
        check(code == 0 and now == cured, what + "second cure: %d\n%s%s" % (code, out, sorted(
            p for p in set(now) | set(cured) if now.get(p) != cured.get(p))))
    print("fault sweep: %d trials over %d calls; %d cures ended complete, %d incomplete" % (
        trial, len(calls), exits[0], exits[1]))


def ntfs_mount(work):
    """An NTFS image mounted with ntfs-3g, or the reason why there is none."""
    if os.geteuid() != 0 or not os.path.exists("/dev/fuse") or not shutil.which("ntfs-3g"):
        return None, "needs root, /dev/fuse and ntfs-3g"
    image, mount = os.path.join(work, "ntfs.img"), os.path.join(work, "ntfs")
    os.makedirs(mount)
    with open(image, "wb") as f:
        f.truncate(96 << 20)
    for command in (["mkntfs", "-F", "-Q", "-q", image], ["ntfs-3g", image, mount]):
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode:
            return None, "%s: %s" % (command[0], done.stderr.strip())
    return mount, None


def main():
    global args
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--fault", required=True)
    parser.add_argument("--only")
    args = parser.parse_args()
    args.exe, args.fault = os.path.abspath(args.exe), os.path.abspath(args.fault)
    cases = [case_scan, case_cure_and_undo, case_nt4, case_refusals, case_links_and_odd_files,
             case_hard_hives, fault_sweep]
    # In memory where possible: a cure flushes every file it writes, and the sweep runs hundreds.
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(dir=shm) as work:
        ntfs, why = ntfs_mount(work)
        try:
            for system, top in (("folder", os.path.join(work, "folder")), ("ntfs", ntfs)):
                for case in cases:
                    name = "%s on %s" % (case.__name__, system)
                    if args.only and args.only not in name:
                        continue
                    if top is None or (system == "ntfs" and case is fault_sweep):
                        if top is None and case is cases[0]:
                            print("skipped: the NTFS cases (%s)" % why)
                        continue
                    base = os.path.join(top, case.__name__)
                    os.makedirs(base)
                    del failures[:]
                    begun = time.time()
                    try:
                        if case is case_refusals:
                            case(base, os.geteuid() == 0)
                        else:
                            case(base)
                    except Exception as error:  # a broken case counts as failed, the rest run
                        failures.append("%s: %s" % (type(error).__name__, error))
                    results[bool(failures)] += 1
                    print("%s %s (%.1f s)%s" % ("FAILED" if failures else "ok", name,
                                              time.time() - begun,
                                              "".join("\n    " + f for f in failures[:8])))
                    sys.stdout.flush()
        finally:
            if ntfs:
                subprocess.run(["umount", ntfs])
    print("%d passed, %d failed" % tuple(results))
    return 1 if results[1] else 0


if __name__ == "__main__":
    sys.exit(main())
