"""The program's console texts, byte for byte, as the end-to-end cases expect them."""

import pathlib
import re

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "src" / "frontend"

CRLF = b"\r\n"
BORDER = b"+---------------------------------------------------------+"
TITLE = b"| Zorvane utility for detecting and removing some viruses |"
VERSION = b"|                          version 0.1 beta (30 Jul 2004) |"

HELP = CRLF + CRLF.join([
    b" /H      - This Help message",
    b" /NoCure - Don't cure system (only check)",
    b" /Auto   - No questions, auto mode (auto cure and auto reboot)",
    b" /List   - Show list of known viruses and trojans",
]) + CRLF
LIST = CRLF.join([
    b" Created 30 Jul 2004. Known 2 viruses:",
    b"  - Backdoor.Ubriel.b",
    b"  - Backdoor.HacDef.073.b",
]) + CRLF
CLEAN = b" No known viruses and trojan programs found." + CRLF
UBRIEL_FOUND = b" System INFECTED by: Backdoor.Ubriel.b" + CRLF
HACDEF_FOUND = b" System INFECTED by: Backdoor.HacDef.073.b" + CRLF
QUESTION = b"Start cure you system: Y/N? (system will be rebooted automatically): "
UBRIEL_DELETED = b" Backdoor.Ubriel.b     - DELETED" + CRLF
HACDEF_DELETED = b" Backdoor.HacDef.073.b - DELETED" + CRLF
UBRIEL_NOT_REMOVED = b" Backdoor.Ubriel.b     - could not be removed" + CRLF
HACDEF_NOT_REMOVED = b" Backdoor.HacDef.073.b - could not be removed" + CRLF
PAUSE = b" Press Enter to exit ..."

_FRAMED = re.compile(rb'"(\|[^"\\]{57}\|)"')


def banner():
    """The seven banner lines. Lines 3 and 4 (the maker's notice and contact) are the program's
    own choice, so they are read from its sources: the two framed lines between the title and
    the version line."""
    for source in sorted(SOURCE.glob("*.cpp")):
        framed = _FRAMED.findall(source.read_bytes())
        if TITLE in framed and VERSION in framed:
            start = framed.index(TITLE)
            if framed[start + 3:start + 4] == [VERSION]:
                lines = [BORDER, TITLE, framed[start + 1], framed[start + 2], VERSION, BORDER, b""]
                return CRLF.join(lines) + CRLF
    raise LookupError("banner lines not found in " + str(SOURCE))
