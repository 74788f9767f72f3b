#!/usr/bin/env python3
"""The Wine prefixes of the unit tests: the template of a build directory, and a throw-away copy
of it for each test program (ctest's emulator).

    prefix.py make-template --keep DIR
    prefix.py run-in-copy TEMPLATE EXE [ARG ...]
"""

import pathlib
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import winemachine as m  # noqa: E402


def make_template_once(prefix):
    """The template of a build directory, made by the first caller only."""
    import fcntl
    prefix = pathlib.Path(prefix).resolve()  # Wine takes only an absolute WINEPREFIX
    prefix.parent.mkdir(parents=True, exist_ok=True)
    with open(str(prefix) + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (prefix / "system.reg").exists():
            shutil.rmtree(prefix, ignore_errors=True)
            m.make_template(prefix)
    return prefix


def run_in_copy(template, argv):
    """Runs a Windows program in a throw-away copy of the template; answers its exit code."""
    runs = pathlib.Path(str(template) + ".runs")
    runs.mkdir(parents=True, exist_ok=True)
    prefix = pathlib.Path(tempfile.mkdtemp(dir=runs)) / "prefix"
    m.clone_prefix(template, prefix)
    # A second fixed drive: Windows, or a boot.ini the loader never reads, may be on D:.
    (prefix / "drive_d").mkdir(exist_ok=True)
    (prefix / "dosdevices" / "d:").unlink(missing_ok=True)
    (prefix / "dosdevices" / "d:").symlink_to("../drive_d")
    env = m.wine_env(prefix)
    try:
        m.start_session(env)
        return subprocess.run([m.WINE, *argv], env=env).returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=12 * m.SLOW)
        shutil.rmtree(prefix.parent, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1:3] == ["make-template", "--keep"]:
        make_template_once(sys.argv[3])
    elif len(sys.argv) >= 4 and sys.argv[1] == "run-in-copy":
        sys.exit(run_in_copy(sys.argv[2], sys.argv[3:]))
    else:
        sys.exit(__doc__)
