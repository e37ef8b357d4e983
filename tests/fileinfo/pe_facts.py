#!/usr/bin/python3
"""Version facts of PE files as pefile reads them, for the comparison in
real_files_test.cpp. Reads file paths from stdin, one per line; writes one
line per file:

  path TAB kind TAB fixed TAB translation TAB company TAB file_version TAB product

kind is "none" (no RT_VERSION 1) or "version"; fixed is 13 hex words joined
by commas or "-"; translation is the first entry as 8 hex digits
(language, code page) or "-"; the texts are hex-encoded UTF-8 (empty for
an empty text) or "-" when absent.
"""
import sys

import pefile

RT_VERSION = 16
# The loader's choice for a neutral lookup, the user's language taken as
# English: neutral, the default languages, English, then the first.
PREFERRED_LANGUAGES = (0x0000, 0x0400, 0x0800, 0x0409, 0x0009)


def version_entry(pe):
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in root.entries if root else []:
        if entry.id != RT_VERSION or not hasattr(entry, "directory"):
            continue
        for name in entry.directory.entries:
            if name.id == 1 and hasattr(name, "directory") and name.directory.entries:
                languages = name.directory.entries
                for wanted in PREFERRED_LANGUAGES:
                    for language in languages:
                        if language.id == wanted:
                            return language
                return languages[0]
    return None


def text(value):
    if value is None:
        return "-"
    return value.split(b"\0")[0].hex()


def facts(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    language = version_entry(pe)
    if language is None or not hasattr(language, "data"):
        return ["none"]
    for attribute in ("VS_VERSIONINFO", "VS_FIXEDFILEINFO", "FileInfo"):
        if hasattr(pe, attribute):
            delattr(pe, attribute)
    pe.parse_version_information(language.data.struct)
    fixed = "-"
    if getattr(pe, "VS_FIXEDFILEINFO", None):
        f = pe.VS_FIXEDFILEINFO[0]
        words = [f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS,
                 f.ProductVersionMS, f.ProductVersionLS, f.FileFlagsMask, f.FileFlags,
                 f.FileOS, f.FileType, f.FileSubtype, f.FileDateMS, f.FileDateLS]
        fixed = ",".join("%08x" % w for w in words)
    translation = None
    tables = {}
    for item in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        if item.Key == b"VarFileInfo":
            for var in item.Var:
                value = var.entry.get(b"Translation")
                if value and translation is None:
                    language_id, code_page = value.split()[:2]
                    translation = "%04X%04X" % (int(language_id, 16), int(code_page, 16))
        elif item.Key == b"StringFileInfo":
            for table in item.StringTable:
                tables.setdefault(table.LangID.decode("ascii", "replace").upper(),
                                  table.entries)
    strings = tables.get(translation, {}) if translation else {}
    return ["version", fixed, translation or "-", text(strings.get(b"CompanyName")),
            text(strings.get(b"FileVersion")), text(strings.get(b"ProductName"))]


def main():
    for line in sys.stdin:
        path = line.rstrip("\n")
        if not path:
            continue
        try:
            fields = facts(path)
        except pefile.PEFormatError:
            fields = ["none"]
        print("\t".join([path] + fields))


if __name__ == "__main__":
    main()
