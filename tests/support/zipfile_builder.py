#!/usr/bin/env python3
"""Builds a ZIP archive with Python's zipfile from a JSON list of entries.

usage: zipfile_builder.py OUT.zip SPEC.json

Each entry is an object with "name" (a name ending in "/" is a folder) and optionally:
  "text"          content as UTF-8 text (for a symbolic link: its target)
  "random_bytes"  that many pseudo-random (incompressible) bytes, seeded by "seed"
  "repeat"        with "text": the text repeated that many times (compressible)
  "compress"      "deflate" (default) or "store"
  "zip64"         true forces ZIP64 records for the entry
  "mode"          Unix mode with the file type, e.g. 0o100755, 0o120777 for a symbolic link
  "declared_size" the uncompressed size the central directory claims instead of the real one
                  (the archive is then written as to a pipe: local headers carry no sizes)
Non-ASCII names are written as UTF-8 with the UTF-8 flag, as zipfile always does.
"""
import json
import random
import sys
import zipfile


def entry_bytes(entry):
    if "random_bytes" in entry:
        return random.Random(entry.get("seed", 1)).randbytes(entry["random_bytes"])
    return entry.get("text", "").encode("utf-8") * entry.get("repeat", 1)


class Unseekable:
    """A file zipfile cannot seek in, so it writes sizes after the data and not into local headers."""

    def __init__(self, file):
        self.file = file
        self.written = 0

    def write(self, data):
        self.written += len(data)
        return self.file.write(data)

    def tell(self):
        return self.written

    def flush(self):
        self.file.flush()


def main():
    out_path, spec_path = sys.argv[1], sys.argv[2]
    with open(spec_path, encoding="utf-8") as spec_file:
        entries = json.load(spec_file)
    declared = any("declared_size" in entry for entry in entries)
    with open(out_path, "wb") as out, \
            zipfile.ZipFile(Unseekable(out) if declared else out, "w") as archive:
        for entry in entries:
            info = zipfile.ZipInfo(entry["name"], date_time=(2024, 5, 17, 12, 30, 0))
            folder = entry["name"].endswith("/")
            mode = entry.get("mode", 0o40755 if folder else 0o100644)
            info.create_system = 3
            info.external_attr = (mode << 16) | (0x10 if folder else 0)
            stored = folder or entry.get("compress", "deflate") == "store"
            info.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
            data = b"" if folder else entry_bytes(entry)
            if folder:
                archive.writestr(info, b"")
                continue
            with archive.open(info, "w", force_zip64=entry.get("zip64", False)) as member:
                member.write(data)
            if "declared_size" in entry:
                archive.getinfo(entry["name"]).file_size = entry["declared_size"]
    return 0


if __name__ == "__main__":
    sys.exit(main())
