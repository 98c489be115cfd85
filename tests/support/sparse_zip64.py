#!/usr/bin/env python3
"""Writes a ZIP64 archive of one stored entry of SIZE zero bytes, the entry's data a hole:
sparse_zip64.py PATH SIZE [NAME]. The archive takes almost no room on the disk."""

import struct
import sys
import zlib


def main():
    path, size = sys.argv[1], int(sys.argv[2])
    name = (sys.argv[3] if len(sys.argv) > 3 else "kelvoClient/big.bin").encode()
    crc = 0
    block = bytes(1 << 24)
    left = size
    while left > 0:
        crc = zlib.crc32(block[:min(left, len(block))], crc)
        left -= len(block)
    local_extra = struct.pack("<HHQQ", 1, 16, size, size)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0, 0x21, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                        len(name), len(local_extra)) + name + local_extra
    central_extra = struct.pack("<HHQQQ", 1, 24, size, size, 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0, 0x21, crc, 0xFFFFFFFF,
                          0xFFFFFFFF, len(name), len(central_extra), 0, 0, 0, 0, 0) + name + central_extra
    directory_offset = len(local) + size
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), directory_offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, directory_offset + len(central), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), 0xFFFFFFFF, 0)
    with open(path, "wb") as out:
        out.write(local)
        out.seek(directory_offset)
        out.write(central + zip64_end + locator + end)


if __name__ == "__main__":
    main()
