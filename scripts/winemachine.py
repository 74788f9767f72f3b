"""A throw-away 32-bit Windows machine under Wine for running the real zorvane.exe, and the
infected Windows XP machine that the demo and the end-to-end suite start from.

One template prefix is made once; each machine is a copy of it with its own wineserver.
Files are planted and read through the prefix's drive_c, the registry through Wine's reg.exe,
and restart requests are recorded by a stand-in for wineboot.exe (see restartlog.c) so that the
caller decides when the machine restarts.
"""

import os
import pathlib
import shutil
import subprocess
import types

HERE = pathlib.Path(__file__).resolve().parent
MINGW_CC = "x86_64-w64-mingw32-gcc-posix"
# Wine's 64-bit loader, called directly: it runs on any x86-64 kernel, while the 32-bit one
# (/usr/bin/wine picks it whenever it is installed) needs a kernel that runs 32-bit code, or
# qemu's emulation, which makes every process start cost a minute. The programs run here are
# 64-bit builds of the same source as zorvane.exe (see cmake/mingw-x86_64-posix.cmake).
WINE = "/usr/lib/wine/wine64"

HKLM = "HKEY_LOCAL_MACHINE"
WINLOGON = HKLM + r"\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon"
SAFEBOOT = HKLM + r"\SYSTEM\ControlSet001\Control\SafeBoot"
RUNONCE = HKLM + r"\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce"
SESSION_MANAGER = HKLM + r"\SYSTEM\CurrentControlSet\Control\Session Manager"
AEDEBUG = HKLM + r"\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AeDebug"
WINE_SETTINGS = r"HKEY_CURRENT_USER\Software\Wine"

TEMP_DIR = r"C:\windows\temp"

# Time limits are guards against a hung Wine on a busy machine.
SLOW = 10

# Files under the template's windows directory that no case ever writes: hard-linked into each
# copy instead of copied (the prefix is about 600 MB, nearly all of it these).
_SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".tlb", ".ocx", ".acm", ".cpl", ".ax",
                    ".nls", ".ttf", ".fon", ".mui", ".ds", ".msstyles", ".vxd", ".com"}


def wine_env(prefix, lang=None):
    """lang: a generated Unix locale such as ru_RU.UTF-8; Wine takes its ANSI and OEM code pages
    from it."""
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win64", WINELOADER=WINE,
               WINEDEBUG="-all")
    if lang:
        env.update(LANG=lang, LC_ALL=lang)
    env.pop("DISPLAY", None)
    env.pop("WINEDLLOVERRIDES", None)
    return env


def build_helpers(out_dir):
    """Compiles the suite's small Windows programs; returns {name: path}."""
    built = {name: pathlib.Path(out_dir) / (name + ".exe")
             for name in ("holdopen", "restartlog", "settle")}
    pathlib.Path(out_dir).mkdir(parents=True, exist_ok=True)
    for name, exe in built.items():
        subprocess.run([MINGW_CC, "-Os", "-s", "-o", exe, HERE / (name + ".c")], check=True)
    return built


def make_template(prefix):
    """A fresh 32-bit prefix with Wine's crash debugger switched off."""
    env = wine_env(prefix)
    # No Mono or Gecko: nothing here needs them, and their installers only slow the boot.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30 * SLOW)
    # Without a debugger command Wine falls back to winedbg; an empty one makes the unhandled-
    # exception filter answer "execute handler" at once, as Windows does with no debugger set.
    subprocess.run([WINE, "reg", "add", AEDEBUG.replace("HKEY_LOCAL_MACHINE", "HKLM"), "/v",
                    "Debugger", "/d", "", "/f"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=12 * SLOW)
    # The version a machine plays is set before its session starts: the kernel's shared data
    # page, which the program reads for the real version, is filled at the boot.
    subprocess.run([WINE, "reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", "winxp",
                    "/f"], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=12 * SLOW)
    subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=12 * SLOW)


def clone_prefix(template, target):
    windows = pathlib.Path(template) / "drive_c" / "windows"

    def copy(src, dst):
        src_path = pathlib.Path(src)
        if windows in src_path.parents and src_path.suffix.lower() in _SHARED_SUFFIXES:
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)

    shutil.copytree(template, target, symlinks=True, copy_function=copy)


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def start_session(env):
    # A wineserver started by a process whose output is captured would hold the pipe open until
    # the server quits, seconds after each run; so the server is started on its own and
    # persistent, and the first process boots the prefix with the real wineboot.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=env, timeout=12 * SLOW, **quiet)
    subprocess.run([WINE, "cmd", "/c", "exit"], env=env, timeout=30 * SLOW, **quiet)


class Lock:
    """A file held open without sharing by holdopen.exe until release()."""

    def __init__(self, machine, dos_path):
        self.process = subprocess.Popen([WINE, TEMP_DIR + r"\holdopen.exe", dos_path],
                                        env=machine.env, cwd=machine.c, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if not self.process.stdout.readline().startswith(b"locked"):
            self.release()
            raise RuntimeError("holdopen could not lock " + dos_path)

    def release(self):
        # The end of its input lets the holder close the file itself.
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(timeout=2 * SLOW)


class Machine:
    """A copy of the template prefix. Use as a context manager: the copy goes at the end."""

    def __init__(self, template, work_dir, helpers, version="winxp", lang=None):
        self.root = pathlib.Path(work_dir)
        self.prefix = self.root / "prefix"
        self.c = self.prefix / "drive_c"
        self.env = wine_env(self.prefix, lang)
        self.locks = []
        clone_prefix(template, self.prefix)
        for helper in ("holdopen", "settle"):
            shutil.copy2(helpers[helper], self.unix(TEMP_DIR + "\\" + helper + ".exe"))
        # The stand-in replaces the hard link to the template's file, not the file.
        self.unix(r"C:\windows\system32\wineboot.exe").unlink()
        shutil.copy2(helpers["restartlog"], self.unix(r"C:\windows\system32\wineboot.exe"))
        start_session(self.env)
        self.record_restarts()
        if version != "winxp":  # the template's: another one takes a new session to show
            self.set_registry({WINE_SETTINGS: {"Version": version}})
            self.restart()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.wineserver("-k")  # ending every process, the lock holders too
        shutil.rmtree(self.root, ignore_errors=True)

    # --- processes ---------------------------------------------------------------------------

    def wine(self, *args, stdin=b"", stdout=subprocess.PIPE):
        """Runs a Wine program; stdout may be an open file (such as /dev/full), not a pipe."""
        done = subprocess.run([WINE, *args], input=stdin, stdout=stdout, env=self.env,
                              stderr=subprocess.PIPE, cwd=self.c, timeout=30 * SLOW)
        return types.SimpleNamespace(rc=done.returncode, out=done.stdout, err=done.stderr)

    def wineserver(self, flag):
        subprocess.run(["wineserver", flag], env=self.env, timeout=12 * SLOW, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, args=(), stdin=b"", exe=r"C:\zorvane.exe", **options):
        return self.wine(exe, *args, stdin=stdin, **options)

    def lock(self, dos_path):
        self.locks.append(Lock(self, dos_path))

    # --- restarts ----------------------------------------------------------------------------

    def record_restarts(self, on=True):
        """While on, ExitWindowsEx only appends its wineboot command line to the log: Wine runs
        the stand-in in place of wineboot.exe only with the native override."""
        overrides = {"wineboot.exe": "native" if on else None}
        self.set_registry({WINE_SETTINGS + r"\DllOverrides": overrides})

    def restart_requests(self):
        """The wineboot arguments of each recorded restart request, in order."""
        if self.wine(TEMP_DIR + r"\settle.exe").rc != 0:
            raise RuntimeError("a restart request is still being recorded")
        return [line.partition(" ")[2] for line in
                (self.read_file(TEMP_DIR + r"\restarts.log") or b"").decode("latin-1").splitlines()]

    def restart(self):
        """Shuts Wine down (ending every process, locks included) and starts a new session, whose
        boot carries out the delete-at-restart list and runs the RunOnce entries before the
        first process goes on. Restart requests are recorded again afterwards; the log is kept."""
        self.record_restarts(False)
        self.locks = []
        self.wineserver("-k")
        self.wineserver("-w")
        start_session(self.env)
        self.record_restarts()

    # --- files -------------------------------------------------------------------------------

    def drive_link(self, letter):
        return self.prefix / "dosdevices" / (letter.lower() + ":")

    def unix(self, dos_path):
        """The Unix path of a drive path; existing components are matched without regard to
        case, as Windows does."""
        drive, _, rest = dos_path.partition(":\\")
        path = self.drive_link(drive)
        if not path.is_dir():
            raise RuntimeError("drive not mapped: " + dos_path)
        path = path.resolve()
        for part in filter(None, rest.split("\\")):
            found = os.listdir(path) if path.is_dir() else []
            path = path / next((e for e in found if e.lower() == part.lower()), part)
        return path

    def write_file(self, dos_path, data, attributes=""):
        """attributes: any of "r", "h", "s" (read-only, hidden, system)."""
        path = self.unix(dos_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        if path.exists():
            path.chmod(0o644)
        path.write_bytes(data)
        # Wine keeps hidden and system in the user.DOSATTRIB attribute and read-only in the mode.
        flags = (2 if "h" in attributes else 0) | (4 if "s" in attributes else 0)
        if flags:
            os.setxattr(path, "user.DOSATTRIB", b"0x%x" % flags)
        path.chmod(0o444 if "r" in attributes else 0o644)

    def attributes(self, dos_path):
        path = self.unix(dos_path)
        try:
            flags = int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
        except OSError:
            flags = 0
        return "".join(a for a, on in (("r", not path.stat().st_mode & 0o222), ("h", flags & 2),
                                       ("s", flags & 4)) if on)

    def read_file(self, dos_path):
        path = self.unix(dos_path)
        return path.read_bytes() if path.is_file() else None

    # --- registry ----------------------------------------------------------------------------

    def set_registry(self, changes):
        """Applies {key: {name: value}} in one reg.exe run; values: str (REG_SZ), int (REG_DWORD),
        None deletes the value."""
        lines = ["REGEDIT4"]
        for key, values in changes.items():
            lines += ["", "[" + key + "]"] + [_reg_string(name) + "=" + (
                "-" if value is None else "dword:%08x" % value if isinstance(value, int)
                else _reg_string(value)) for name, value in values.items()]
        dos = TEMP_DIR + r"\changes.reg"
        self.write_file(dos, "\r\n".join(lines + ["", ""]).encode("latin-1"))
        result = self.wine("reg", "import", dos)
        if result.rc != 0:
            raise RuntimeError("reg import failed: %r %r" % (result.out, result.err))

    def key(self, key):
        """{name: text} of a key's values, or None when the key does not exist."""
        result = self.wine("reg", "query", key)
        if result.rc != 0:
            return None
        # reg.exe lists each value indented as: name, type and text, four blanks apart.
        rows = [line[4:].split("    ", 2) + [""] for line in
                result.out.decode("latin-1").splitlines() if line.startswith("    ")]
        return {row[0]: row[2] for row in rows if len(row) > 2}

    def value(self, key, name):
        return (self.key(key) or {}).get(name)


# --- the infected Windows XP machine ------------------------------------------------------------

PROGRAM = r"C:\zorvane.exe"
UBRIEL_FILES = [r"C:\windows\system32\ubr2.exe", r"C:\windows\system32\hcsrss.dll",
                r"C:\windows\system32\icsrss.dll", r"C:\ubr2.exe", r"C:\windows\icsrss.dll",
                r"C:\windows\system\ubr2.exe"]
INFECTED_SHELL = "Explorer.exe ubr2.exe"
DRIVER = r"C:\ubr2drv.sys"
SERVICE_KEYS = [HKLM + r"\SYSTEM\ControlSet00%d\Services\ubr2drv" % n for n in (1, 2)]
LEGACY_KEYS = [HKLM + r"\SYSTEM\ControlSet00%d\Enum\Root\LEGACY_UBR2DRV" % n for n in (1, 2)]

BOOT_INI = r"C:\boot.ini"
BACKUP = r"C:\boot.ini.ZRVBACKUP"
COMMAND_FILE = r"C:\Zorvane.cmd"
ORIGINAL_BOOT_INI = (
    b"[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    b"[operating systems]\r\n"
    b'multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="Microsoft Windows XP Professional" '
    b"/noexecute=optin /fastdetect\r\n"
    b'C:\\CMDCONS\\BOOTSECT.DAT="Microsoft Windows Recovery Console" /cmdcons\r\n')
# What Windows names the device of the running system by (XP on the first partition).
BOOT_DEVICE = {HKLM + r"\SYSTEM\CurrentControlSet\Control":
               {"SystemBootDevice": "multi(0)disk(0)rdisk(0)partition(1)"}}


def plant(box):
    """Plants both threats' marks and the XP boot.ini; the HacDef driver file is held open
    without sharing."""
    changes = dict(BOOT_DEVICE, **{WINLOGON: {"Shell": INFECTED_SHELL}})
    for path in UBRIEL_FILES:
        box.write_file(path, b"MZ backdoor", "rh" if path == r"C:\ubr2.exe" else "")
    for key in SERVICE_KEYS:
        # A driver that has run has subkeys, which RegDeleteKeyA alone leaves in place.
        changes.update({key: {"ImagePath": r"\??\c:\ubr2drv.sys", "Type": 1, "Start": 3},
                        key + r"\Enum": {"Count": 1}})
    for key in LEGACY_KEYS:
        changes.update({key: {"NextInstance": 1}, key + r"\0000": {"Service": "ubr2drv"}})
    box.write_file(BOOT_INI, ORIGINAL_BOOT_INI, "rhs")
    box.set_registry(changes)
    box.lock(DRIVER)
