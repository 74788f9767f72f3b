#!/usr/bin/python3
"""Builds Windows installations on a folder, for zorvane-rescue's tests, benchmark and demo.

Each hive starts as a minimal empty hive written here (base block with its checksum, one bin
with the root key and one security cell) and is filled through hivex, the library Windows
rescue tools use, so that the hives are what any reader of real hives accepts.

    rescue_install.py VOLUME [--nt4] [--clean] [--unfinished-cure] [--services N]
                      [--software-mb N] [--folder NAME]
"""
import argparse
import os
import struct
import sys

import hivex

REG_SZ, REG_EXPAND_SZ, REG_DWORD = 1, 2, 4
INFECTED_SHELL = "Explorer.exe ubr2.exe"
BOOT_ENTRY = 'multi(0)disk(0)rdisk(0)partition(1)\\{folder}="{title}" /fastdetect'
SAFE_SWITCH = " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"
# The backdoor's files relative to the installation folder ("" = the volume's root).
UBRIEL_FILES = ["{w}/system32/ubr2.exe", "{w}/system32/hcsrss.dll", "{w}/system32/icsrss.dll",
                "{w}/icsrss.dll", "{w}/system/ubr2.exe", "ubr2.exe"]
DRIVER_FILE = "ubr2drv.sys"


def security_descriptor():
    """Self-relative: owner Administrators, group SYSTEM, a DACL giving Everyone full control."""
    admins = struct.pack("<BB6sII", 1, 2, b"\0\0\0\0\0\5", 32, 544)
    system = struct.pack("<BB6sI", 1, 1, b"\0\0\0\0\0\5", 18)
    everyone = struct.pack("<BB6sI", 1, 1, b"\0\0\0\0\0\1", 0)
    ace = struct.pack("<BBHI", 0, 3, 8 + len(everyone), 0x000F003F) + everyone
    acl = struct.pack("<BBHHH", 2, 0, 8 + len(ace), 1, 0) + ace
    owner = 20
    group = owner + len(admins)
    dacl = group + len(system)
    return struct.pack("<BBHIIII", 1, 0, 0x8004, owner, group, 0, dacl) + admins + system + acl


def checksum(block):
    value = 0
    for (word,) in struct.iter_unpack("<I", block[:0x1FC]):
        value ^= word
    return value


def write_empty_hive(path, minor=5, root_name="ROOT"):
    """Writes a hive of one root key and nothing else: 8 KiB, the least hivex opens."""
    block = bytearray(0x1000)
    struct.pack_into("<4sIIQIIIIIII", block, 0, b"regf", 1, 1, 0, 1, minor, 0, 1, 0x20, 0x1000,
                     1)
    name = os.path.basename(path).encode("utf-16-le")[:62]
    block[0x30:0x30 + len(name)] = name
    struct.pack_into("<I", block, 0x1FC, checksum(block))

    bin_ = bytearray(0x1000)
    struct.pack_into("<4sII", bin_, 0, b"hbin", 0, 0x1000)
    name = root_name.encode("ascii")
    nk_at = 0x20
    nk_size = (4 + 0x4C + len(name) + 7) & ~7
    sk_at = nk_at + nk_size
    descriptor = security_descriptor()
    sk_size = (4 + 20 + len(descriptor) + 7) & ~7
    # The root: flags KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME, no subkeys, no values.
    nk = struct.pack("<2sHQIIIIIIIIIIIIIIIHH", b"nk", 0x2C, 0, 0, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF,
                     0xFFFFFFFF, 0, 0xFFFFFFFF, sk_at, 0xFFFFFFFF, 0, 0, 0, 0, 0, len(name), 0)
    struct.pack_into("<i", bin_, nk_at, -nk_size)
    bin_[nk_at + 4:nk_at + 4 + len(nk) + len(name)] = nk + name
    # The one security cell, a ring of itself, used by the root alone.
    sk = struct.pack("<2sHIIII", b"sk", 0, sk_at, sk_at, 1, len(descriptor)) + descriptor
    struct.pack_into("<i", bin_, sk_at, -sk_size)
    bin_[sk_at + 4:sk_at + 4 + len(sk)] = sk
    free_at = sk_at + sk_size
    struct.pack_into("<i", bin_, free_at, 0x1000 - free_at)
    with open(path, "wb") as f:
        f.write(block + bin_)


def value(name, data):
    if isinstance(data, int):
        return {"key": name, "t": REG_DWORD, "value": struct.pack("<I", data)}
    kind = REG_EXPAND_SZ if data.startswith("%") else REG_SZ
    return {"key": name, "t": kind, "value": (data + "\0").encode("utf-16-le")}


class Hive:
    """A hive file filled through hivex: keys given as backslash paths, made as needed."""

    def __init__(self, path, minor=5):
        write_empty_hive(path, minor)
        self.path = path
        self.h = hivex.Hivex(path, write=True)
        self.joins = []

    def key(self, path):
        node = self.h.root()
        for part in filter(None, path.split("\\")):
            child = self.h.node_get_child(node, part)
            node = child if child else self.h.node_add_child(node, part)
        return node

    def set(self, path, **values):
        node = self.key(path)
        for name, data in values.items():
            self.h.node_set_value(node, value("" if name == "default" else name, data))
        return node

    def commit(self):
        self.h.commit(self.path)
        del self.h
        join_groups(self.path, self.joins)
        self.joins = []


def cell_offsets(data, signature):
    """Offsets (from the first bin) of every allocated cell with this signature."""
    at, found = 0x1000, []
    while at + 0x20 <= len(data) and data[at:at + 4] == b"hbin":
        size = struct.unpack_from("<I", data, at + 8)[0]
        cell = at + 0x20
        while cell < at + size:
            length = struct.unpack_from("<i", data, cell)[0]
            if length < 0 and data[cell + 4:cell + 6] == signature:
                found.append(cell - 0x1000)
            cell += abs(length) or size
        at += size
    return found


def rewrite_lists(path, kind, parent_names=None):
    """Turns hivex's "lh" subkey lists into "lf" (as NT 4.0 and 2000 write them) or, for the
    keys named in parent_names, into "li" lists (offsets only), which Windows also writes."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    parents = {}
    for nk in cell_offsets(data, b"nk"):
        at = 0x1000 + nk + 4
        count, lists = struct.unpack_from("<I", data, at + 0x14)[0], \
            struct.unpack_from("<I", data, at + 0x1C)[0]
        name_length = struct.unpack_from("<H", data, at + 0x48)[0]
        if count:
            parents[lists] = bytes(data[at + 0x4C:at + 0x4C + name_length]).decode("latin-1")
    for lh in cell_offsets(data, b"lh"):
        at = 0x1000 + lh + 4
        count = struct.unpack_from("<H", data, at + 2)[0]
        offsets = [struct.unpack_from("<I", data, at + 4 + 8 * i)[0] for i in range(count)]
        if parent_names is not None:
            if parents.get(lh, "").lower() not in parent_names:
                continue
            data[at:at + 2] = b"li"
            for i, child in enumerate(offsets):
                struct.pack_into("<I", data, at + 4 + 4 * i, child)
            continue
        data[at:at + 2] = b"lf"
        for i, child in enumerate(offsets):
            name_at = 0x1000 + child + 4 + 0x4C
            length = struct.unpack_from("<H", data, 0x1000 + child + 4 + 0x48)[0]
            hint = bytes(data[name_at:name_at + min(length, 4)]).ljust(4, b"\0")
            data[at + 8 + 8 * i:at + 12 + 8 * i] = hint
    with open(path, "r+b") as f:
        f.write(data)


def set_sequence(path, seq1, seq2):
    """Sets the base block's two sequence numbers (different: a dirty hive) with its checksum."""
    with open(path, "r+b") as f:
        block = bytearray(f.read(0x200))
        struct.pack_into("<II", block, 4, seq1, seq2)
        struct.pack_into("<I", block, 0x1FC, checksum(block))
        f.seek(0)
        f.write(block)


def add_services(hive, path, count):
    """Adds COUNT services below PATH. hivex copies a key's whole subkey list for each key it
    adds and never reuses the old cell, so thousands of keys under one parent would make a hive
    of quadratic size. Beyond 64 they are made in groups under scratch keys, which join_groups
    turns into the parts of an "ri" list, as Windows keeps long lists, in a cell that hivex
    allocated for the purpose as the data of a value."""
    h = hive.h
    services = hive.key(path)
    size = 64 if count > 64 else max(count, 1)
    groups = []
    for first in range(0, count, size):
        group = h.node_add_child(services, "~%05d" % first) if count > 64 else services
        for i in range(first, min(first + size, count)):
            node = h.node_add_child(group, "Svc%04d" % i)
            h.node_set_values(node, [value("Start", 3), value("Type", 1), value(
                "ErrorControl", 1), value("ImagePath", "system32\\drivers\\svc%04d.sys" % i)])
        groups.append(group)
    if count <= 64:
        return
    h.node_set_value(services, {"key": "~ri", "t": 3, "value": bytes(12 + 4 * len(groups))})
    cell = h.value_data_cell_offset(h.node_get_value(services, "~ri"))[1]
    # hivex's handles are offsets in the file; the hive's own references count from its first bin.
    hive.joins.append((services - 0x1000, [g - 0x1000 for g in groups], cell - 0x1000))


def join_groups(path, joins):
    """Second half of add_services, on the committed file: the scratch keys' lists and the
    parent's own list (less the scratch keys, which sort last) become the parts of the parent's
    "ri" list; the scratch keys and the value that lent its cell are left out."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        u32 = lambda at: struct.unpack_from("<I", data, 0x1000 + at)[0]
        for services, groups, cell in joins:
            nk = services + 4
            own = u32(nk + 0x1C)
            struct.pack_into("<H", data, 0x1000 + own + 6,
                             struct.unpack_from("<H", data, 0x1000 + own + 6)[0] - len(groups))
            parts = [u32(group + 4 + 0x1C) for group in groups] + [own]
            struct.pack_into("<2sH", data, 0x1000 + cell + 4, b"ri", len(parts))
            total = 0
            for i, part in enumerate(parts):
                struct.pack_into("<I", data, 0x1000 + cell + 8 + 4 * i, part)
                entries = struct.unpack_from("<H", data, 0x1000 + part + 6)[0]
                total += entries
                for j in range(entries):
                    struct.pack_into("<I", data, 0x1000 + u32(part + 8 + 8 * j) + 4 + 0x10,
                                     services)
            struct.pack_into("<I", data, 0x1000 + nk + 0x14, total)
            struct.pack_into("<I", data, 0x1000 + nk + 0x1C, cell)
            values, listed = u32(nk + 0x24), u32(nk + 0x28)
            kept = [u32(listed + 4 + 4 * i) for i in range(values)]
            kept = [vk for vk in kept if data[0x1000 + vk + 0x18:0x1000 + vk + 0x1B] != b"~ri"]
            for i, vk in enumerate(kept):
                struct.pack_into("<I", data, 0x1000 + listed + 4 + 4 * i, vk)
            struct.pack_into("<I", data, 0x1000 + nk + 0x24, len(kept))
        f.seek(0)
        f.write(data)


def write_file(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def build(volume, folder=None, nt4=False, clean=False, unfinished_cure=False, services=40,
          software_mb=0, li_lists=False, system_partition=None):
    """Writes one installation on VOLUME; returns its folder name."""
    folder = folder or ("WINNT" if nt4 else "WINDOWS")
    boot_root = system_partition or volume
    config = os.path.join(volume, folder, "system32", "config")
    os.makedirs(config, exist_ok=True)
    minor = 3 if nt4 else 5
    product = ("Microsoft Windows NT", "4.0", "Service Pack 6") if nt4 else \
        ("Microsoft Windows XP", "5.1", "Service Pack 2")

    software = Hive(os.path.join(config, "SOFTWARE"), minor)
    version = "Microsoft\\Windows NT\\CurrentVersion"
    software.set(version, ProductName=product[0], CurrentVersion=product[1],
                 CSDVersion=product[2], SystemRoot="C:\\" + folder)
    logon = dict(Shell="Explorer.exe" if clean else INFECTED_SHELL,
                 Userinit="C:\\%s\\system32\\userinit.exe," % folder, AutoAdminLogon="0",
                 DefaultUserName="Administrator")
    if unfinished_cure:
        logon.update(AutoAdminLogon="1", OLDAutoAdminLogon="0")
    software.set(version + "\\Winlogon", **logon)
    software.set("Microsoft\\Windows\\CurrentVersion\\Run", default="")
    filler = "x" * 200
    group = 0
    while software_mb and os.path.getsize(software.path) < software_mb << 20:
        for key in range(1000):  # 250 a key: see add_services
            node = software.key("Classes\\CLSID\\%03d\\{%08X-0000-0000-C000-000000000046}" %
                                (group * 4 + key // 250, key))
            software.h.node_set_values(node, [value("Value%d" % i, filler) for i in range(12)])
        group += 1
        software.h.commit(software.path)
    software.commit()

    system_path = os.path.join(config, "SYSTEM")
    system = Hive(system_path, minor)
    system.set("Select", Current=1, Default=1, Failed=0, LastKnownGood=2)
    for number in (1, 2):
        sets = "ControlSet%03d" % number
        if not nt4:
            system.set(sets + "\\Control\\SafeBoot", AlternateShell=(
                "C:\\Zorvane.cmd" if unfinished_cure and number == 1 else "cmd.exe"))
            system.set(sets + "\\Control\\SafeBoot\\Minimal\\Base", default="Driver Group")
        system.set(sets + "\\Control\\Session Manager", BootExecute="autocheck autochk *")
        add_services(system, sets + "\\Services", services)
        system.set(sets + "\\Services\\Tcpip\\Parameters", Hostname="victim")
        system.set(sets + "\\Enum\\Root\\LEGACY_BEEP\\0000", Service="Beep")
        if not clean:
            driver = sets + "\\Services\\ubr2drv"
            system.set(driver, ImagePath="\\??\\C:\\ubr2drv.sys", Start=1, Type=1,
                       ErrorControl=1, DisplayName="ubr2drv")
            system.set(driver + "\\Security", Security="x")
            system.set(driver + "\\Enum", Count=1, NextInstance=1, default="")
            system.h.node_set_value(system.key(driver + "\\Enum"),
                                    value("0", "Root\\LEGACY_UBR2DRV\\0000"))
            legacy = sets + "\\Enum\\Root\\LEGACY_UBR2DRV"
            system.set(legacy, NextInstance=1)
            system.set(legacy + "\\0000", Service="ubr2drv", Legacy=1, Class="LegacyDriver")
            system.set(legacy + "\\0000\\Control", ActiveService="ubr2drv")
    system.commit()
    if nt4 or li_lists:
        rewrite_lists(system_path, "lf" if nt4 else "li",
                      {"services", "root"} if li_lists else None)
    if nt4:
        rewrite_lists(software.path, "lf")
        with open(system_path, "rb") as src:
            write_file(system_path + ".ALT", src.read())

    for name in ("system32/ntoskrnl.exe", "system32/userinit.exe", "explorer.exe"):
        write_file(os.path.join(volume, folder, name), "MZ" + name)
    title = "Windows NT Workstation Version 4.00" if nt4 else "Microsoft Windows XP Professional"
    entry = BOOT_ENTRY.format(folder=folder, title=title)
    boot_ini = "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\%s" \
               "\r\n[operating systems]\r\n%s\r\n" % (folder, entry)
    if unfinished_cure:
        write_file(os.path.join(boot_root, "boot.ini.ZRVBACKUP"), boot_ini)
        boot_ini = boot_ini.replace(entry, entry + SAFE_SWITCH)
        write_file(os.path.join(boot_root, "Zorvane.cmd"), "C:\\ZRVCURE.EXE /SAFEMODE /AUTO\r\n")
        write_file(os.path.join(boot_root, "ZRVCURE.EXE"), "MZ zorvane")
    write_file(os.path.join(boot_root, "boot.ini"), boot_ini)
    if not clean:
        for name in UBRIEL_FILES:
            root = boot_root if name == "ubr2.exe" else volume
            write_file(os.path.join(root, name.format(w=folder)), "MZ ubriel " + name)
        write_file(os.path.join(boot_root, DRIVER_FILE), "MZ hacdef driver")
    return folder


def hibernate(volume, signature):
    """hiberfil.sys as a hibernated Windows (or one shut down with fast startup) leaves it."""
    write_file(os.path.join(volume, "hiberfil.sys"), signature.encode() + bytes(4092))


def corrupt(path, how):
    """Damages a hive: "short" (cut in the middle of its first bin), "root" (the root key's
    signature), "bins" (a bin's size pointing far beyond the file), "loop" (in a SYSTEM hive,
    ControlSet001\\Services\\Tcpip's subkey list naming the root key: a walk that follows it
    goes round for ever)."""
    if how == "loop":
        h = hivex.Hivex(path)
        node = h.root()
        for name in ("ControlSet001", "Services", "Tcpip"):
            node = h.node_get_child(node, name)
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        if how == "short":
            data = data[:0x1800]
        elif how == "root":
            data[0x1024:0x1026] = b"xx"
        elif how == "bins":
            struct.pack_into("<I", data, 0x1008, 0x7FFFF000)
        elif how == "loop":
            lists = struct.unpack_from("<I", data, node + 4 + 0x1C)[0]
            struct.pack_into("<I", data, 0x1000 + lists + 8, 0x20)
        f.seek(0)
        f.truncate()
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("volume")
    parser.add_argument("--folder")
    parser.add_argument("--nt4", action="store_true")
    parser.add_argument("--clean", action="store_true")
    parser.add_argument("--unfinished-cure", action="store_true")
    parser.add_argument("--services", type=int, default=40)
    parser.add_argument("--software-mb", type=int, default=0)
    args = parser.parse_args()
    print(build(args.volume, args.folder, args.nt4, args.clean, args.unfinished_cure,
                args.services, args.software_mb))


if __name__ == "__main__":
    sys.exit(main())
