"""The program's console texts, byte for byte, as the end-to-end cases expect them."""

import pathlib
import re

SOURCE = pathlib.Path(__file__).resolve().parents[2] / "src" / "frontend"

CRLF = b"\r\n"
BORDER = b"+---------------------------------------------------------+"
TITLE = b"| Zorvane utility for detecting and removing some viruses |"
VERSION = b"|                          version 0.1 beta (30 Jul 2004) |"

LIST = (b" Created 30 Jul 2004. Known 2 viruses:\r\n  - Backdoor.Ubriel.b\r\n"
        b"  - Backdoor.HacDef.073.b\r\n")
CLEAN = b" No known viruses and trojan programs found." + CRLF
FOUND = (b" System INFECTED by: Backdoor.Ubriel.b\r\n"
         b" System INFECTED by: Backdoor.HacDef.073.b\r\n")
QUESTION = b"Start cure you system: Y/N? (system will be rebooted automatically): "
UBRIEL_DELETED = b" Backdoor.Ubriel.b     - DELETED" + CRLF
HACDEF_DELETED = b" Backdoor.HacDef.073.b - DELETED" + CRLF
DELETED = UBRIEL_DELETED + HACDEF_DELETED
PAUSE = b" Press Enter to exit ..."

_FRAMED = re.compile(rb'"(\|[^"\\]{57}\|)"')


def banner():
    """The seven banner lines. Lines 3 and 4 (the maker's notice and contact) are the program's
    own choice, so they are read from its sources: the two framed lines between the title and
    the version line."""
    for source in sorted(SOURCE.glob("*.cpp")):
        framed = _FRAMED.findall(source.read_bytes())
        start = framed.index(TITLE) if TITLE in framed else len(framed)
        if framed[start + 3:start + 4] == [VERSION]:
            return CRLF.join([BORDER, *framed[start:start + 4], BORDER, b""]) + CRLF
    raise LookupError("banner lines not found in " + str(SOURCE))
