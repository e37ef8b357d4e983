#!/usr/bin/env python3
"""Puts a sample system's files into a Wine prefix and describes the result
for the Linux side of the Wine tests (scripts/test-windows.sh).

  stage_prefix.py copy SAMPLE_DIR DRIVE_C SKIPPED
      copies SAMPLE_DIR/drive_c into the prefix's drive_c. Folder names are
      matched without regard to case, as Windows does, so the sample's
      "WINDOWS" lands in the prefix's "windows" instead of beside it. An
      executable that Wine already has there (shell32.dll, notepad.exe) is
      kept: Wine runs on it. SKIPPED lists those, one sample path a line.

  stage_prefix.py facts SAMPLE_DIR SKIPPED EXTRA DRIVE_C FILES_TSV ATTRIBUTES
      applies the sample's files.tsv times to the copied files and writes
        FILES_TSV   a files.tsv for a system folder whose drive_c is the
                    prefix's drive_c: the sample's lines and those of EXTRA
                    (lines "C:\\path<TAB>letters" of files the test made),
                    with each file's time as it now stands;
        ATTRIBUTES  "C:\\path<TAB>letters" lines for test-prepare.exe attrib,
                    which sets them the Windows way inside Wine.
The time zone is UTC throughout, so local times and file times agree.
"""
import calendar
import os
import shutil
import sys
import time


def resolve(root, parts, create_dirs=False):
    """The real path below root for Windows path parts, any case."""
    path = root
    for i, part in enumerate(parts):
        match = None
        if os.path.isdir(path):
            for name in os.listdir(path):
                if name.lower() == part.lower():
                    match = name
                    break
        if match is None:
            match = part
            if create_dirs and i < len(parts) - 1:
                os.makedirs(os.path.join(path, match), exist_ok=True)
        path = os.path.join(path, match)
    return path


def is_executable(path):
    with open(path, "rb") as handle:
        return handle.read(2) == b"MZ"


def copy(sample_dir, drive_c, skipped_list):
    source = os.path.join(sample_dir, "drive_c")
    skipped = []
    if os.path.isdir(source):
        copy_tree(source, drive_c, skipped)
    with open(skipped_list, "w", encoding="latin-1") as handle:
        for path in skipped:
            handle.write(path + "\n")


def copy_tree(source, drive_c, skipped):
    for folder, dirs, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        parts = [] if relative == "." else relative.split(os.sep)
        for name in dirs:
            os.makedirs(resolve(drive_c, parts + [name], create_dirs=True), exist_ok=True)
        for name in files:
            target = resolve(drive_c, parts + [name], create_dirs=True)
            if os.path.isfile(target) and is_executable(target):
                skipped.append("/".join(["drive_c"] + parts + [name]))
                continue
            shutil.copy2(os.path.join(folder, name), target)


def read_tsv(path):
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path, encoding="latin-1") as handle:
        for line in handle:
            line = line.rstrip("\r\n")
            if line and not line.startswith("#"):
                rows.append(line.split("\t"))
    return rows


def facts(sample_dir, skipped_list, extra, drive_c, files_tsv, attributes):
    with open(skipped_list, encoding="latin-1") as handle:
        skipped = {line.rstrip("\n").lower() for line in handle}
    entries = []  # (Windows path parts below C:, letters, time or None)
    for path, letters, stamp in read_tsv(os.path.join(sample_dir, "files.tsv")):
        parts = path.split("/")
        if len(parts) < 2 or parts[0].lower() != "drive_c" or path.lower() in skipped:
            continue  # only drive C: is staged, and only the sample's files
        entries.append((parts[1:], letters, stamp))
    for path, letters in read_tsv(extra):
        entries.append((path[3:].split("\\"), letters, None))

    with open(files_tsv, "w", encoding="latin-1") as table, \
         open(attributes, "w", encoding="latin-1") as wine:
        for parts, letters, stamp in entries:
            real = resolve(drive_c, parts)
            if stamp is not None:
                seconds = calendar.timegm(time.strptime(stamp, "%Y-%m-%d %H:%M:%S"))
                os.utime(real, (seconds, seconds))
            now = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(os.stat(real).st_mtime))
            relative = os.path.relpath(real, os.path.dirname(drive_c.rstrip("/")))
            table.write(f"{relative}\t{letters}\t{now}\n")
            wine.write("C:\\" + "\\".join(os.path.relpath(real, drive_c).split(os.sep)) +
                       f"\t{letters}\n")


def main(argv):
    if len(argv) == 5 and argv[1] == "copy":
        copy(argv[2], argv[3], argv[4])
    elif len(argv) == 8 and argv[1] == "facts":
        facts(*argv[2:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
