#!/usr/bin/env python3
"""Writes the small executable files of the sample systems.

Each is a minimal valid PE32 image whose only content is a version
resource (VS_VERSIONINFO with one string table and a translation table),
so that the scanner's company names have something real to read.
Run from the repository root: python3 samples/tools/make_pe.py
"""
import os
import struct

FILES = [
    # path under samples/, company, description, file version, type (1 exe, 2 dll)
    ("xp-home/drive_c/WINDOWS/explorer.exe", "Microsoft Corporation", "Windows Explorer", "6.00.2900.5512", 1),
    ("xp-home/drive_c/WINDOWS/notepad.exe", "Microsoft Corporation", "Notepad", "5.1.2600.5512", 1),
    ("xp-home/drive_c/WINDOWS/system32/shdocvw.dll", "Microsoft Corporation", "Shell Doc Object and Control Library", "6.00.2900.5512", 2),
    ("xp-home/drive_c/WINDOWS/system32/msi.dll", "Microsoft Corporation", "Windows Installer", "3.1.4001.5512", 2),
    ("xp-home/drive_c/WINDOWS/system32/mswsock.dll", "Microsoft Corporation", "Microsoft Windows Sockets 2.0 Service Provider", "5.1.2600.5512", 2),
    ("xp-home/drive_c/WINDOWS/system32/ctfmon.exe", "Microsoft Corporation", "CTF Loader", "5.1.2600.5512", 1),
    ("xp-home/drive_c/WINDOWS/system32/msxtb.dll", "Hotbar.com, Inc.", "Hotbar browser helper", "4.1.8.0", 2),
    ("xp-home/drive_c/WINDOWS/system32/winsrv32.dll", "", "", "1.0.0.1", 2),
    ("xp-home/drive_c/Program Files/SearchBar/sbar.exe", "SearchBar Ltd", "Search toolbar updater", "2.0.0.14", 1),
    ("xp-home/drive_c/Program Files/SearchBar/sbarhook.dll", "SearchBar Ltd", "Search toolbar", "2.0.0.14", 2),
    ("xp-home/drive_c/Program Files/Java/jre6/bin/jusched.exe", "Sun Microsystems, Inc.", "Java(TM) Update Scheduler", "2.0.2.4", 1),
]


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def block(key, value=b"", children=b"", text=False, value_length=None):
    """One version block: header, key, padding, value, padding, children."""
    head_key = pad4(b"\0" * 6 + utf16z(key))[6:]
    body = head_key
    if value:
        body = pad4(b"\0" * 6 + head_key + value)[6:]
    body += children
    if value_length is None:
        value_length = len(value) // 2 if text else len(value)
    return pad4(struct.pack("<HHH", 6 + len(body), value_length, 1 if text else 0) + body)


def version_info(company, description, version, file_type):
    parts = [int(p) for p in version.split(".")]
    ms, ls = (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 0x40004,
                        file_type, 0, 0, 0)
    strings = b""
    for key, value in (("CompanyName", company), ("FileDescription", description),
                       ("FileVersion", version), ("ProductVersion", version)):
        if value:
            strings += block(key, utf16z(value), text=True)
    table = block("040904B0", children=strings, text=True)
    string_info = block("StringFileInfo", children=table, text=True)
    var_info = block("VarFileInfo", children=block("Translation", struct.pack("<HH", 0x409, 0x4B0)),
                     text=True)
    return block("VS_VERSION_INFO", fixed, string_info + var_info)


def resource_section(data, rva):
    """Type 16 / name 1 / language 0x409 directory tree, then the data."""
    def directory(entry_id, offset, is_dir):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack(
            "<II", entry_id, offset | (0x80000000 if is_dir else 0))
    tree = directory(16, 0x18, True) + directory(1, 0x30, True) + directory(0x409, 0x48, False)
    entry = struct.pack("<IIII", rva + 0x58, len(data), 0, 0)
    return tree + entry + data


def pe_file(company, description, version, file_type):
    rsrc = resource_section(version_info(company, description, version, file_type), 0x1000)
    raw_size = len(rsrc) + (-len(rsrc) % 0x200)
    dos = b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40)
    characteristics = 0x0102 | (0x2000 if file_type == 2 else 0)
    coff = b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 1, 0x4A000000, 0, 0, 0xE0, characteristics)
    size_of_image = 0x1000 + ((raw_size + 0xFFF) & ~0xFFF)
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 8, 0, 0, raw_size, 0, 0,
                           0x1000, 0x1000, 0x400000, 0x1000, 0x200, 5, 1, 5, 1, 4, 0, 0,
                           size_of_image, 0x200, 0, 2, 0, 0x100000, 0x1000, 0x100000, 0x1000,
                           0, 16)
    directories = [(0, 0)] * 16
    directories[2] = (0x1000, len(rsrc))
    optional += b"".join(struct.pack("<II", *d) for d in directories)
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), 0x1000, raw_size, 0x200, 0, 0,
                          0, 0, 0x40000040)
    header = dos + coff + optional + section
    header += b"\0" * (0x200 - len(header))
    return header + rsrc + b"\0" * (raw_size - len(rsrc))


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    for path, company, description, version, file_type in FILES:
        target = os.path.join(here, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(pe_file(company, description, version, file_type))


if __name__ == "__main__":
    main()
