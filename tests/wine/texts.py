"""The program's console texts, byte for byte, as the end-to-end cases expect them."""

CRLF = b"\r\n"
BORDER = b"+" + b"-" * 57 + b"+\r\n"
BANNER = (BORDER + b"| Zorvane utility for detecting and removing some viruses |\r\n"
          b"|       Copyright (c) 2004 Zorvane. All rights reserved.  |\r\n"
          b"|   www.zorvane.example         support@zorvane.example   |\r\n"
          b"|                          version 0.1 beta (30 Jul 2004) |\r\n" + BORDER + CRLF)

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
