#!/usr/bin/python3
"""A stick that lies, as a FUSE file system over a folder, for the read-back tests.

Every write is answered as done, but once --keep-bytes bytes have been stored in all (the
stick's real capacity) the rest is stored as zeros, as fake-capacity sticks do; --flip PATH:OFFSET
stores the byte at OFFSET of the file PATH (relative to the root) inverted, as worn flash may;
--pull-after-read N ends the file system without unmounting it once N bytes have been read from
it, so that every later call fails as it does for a stick pulled out (ENOTCONN).
--write-delay SECONDS makes every write take that long, a slow stick to stop midway.
Mounted with the kernel's page cache kept across opens (kernel_cache), so a read served from
the cache shows what was written and only a read that reaches this file system shows the loss;
with --direct-io nothing of its files is cached at all: an image file on it is the flash of a
stick whose block device (a loop device over the image) is the only cache left. --keep-offset N
stores zeros for every byte written at an offset of N or more in its file: such an image is the
flash of a fake-capacity stick.

Prints "mounted MOUNTPOINT" once mounted. Unmounts and ends when its standard input closes
(the test that started it ended) or after --lifetime seconds.

Runs under /usr/bin/python3, where Debian's python3-fusepy is.
"""

import argparse
import os
import subprocess
import sys
import threading
import time

from fusepy import FUSE, Operations

from script_lifetime import wait_for_end


class LyingStick(Operations):
    def __init__(self, backing, keep_bytes, flips, pull_after_read, write_delay=0.0):
        self.write_delay = write_delay
        self.backing = backing
        self.pull_after_read = pull_after_read
        self.read_bytes = 0
        self.keep_bytes = keep_bytes
        self.keep_offset = 1 << 62
        self.flips = flips   # path -> set of offsets
        self.stored = 0

    def _real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        st = os.lstat(self._real(path))
        return {key: getattr(st, key) for key in (
            "st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_atime", "st_mtime", "st_ctime")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._real(path))

    def statfs(self, path):
        st = os.statvfs(self._real(path))
        return {key: getattr(st, key) for key in (
            "f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail", "f_files", "f_ffree", "f_namemax")}

    def mkdir(self, path, mode):
        os.mkdir(self._real(path), mode)

    def unlink(self, path):
        os.unlink(self._real(path))

    def chmod(self, path, mode):
        os.chmod(self._real(path), mode)

    def utimens(self, path, times=None):
        os.utime(self._real(path), times)

    def truncate(self, path, length, fh=None):
        os.truncate(self._real(path), length)

    def create(self, path, mode, fi=None):
        return os.open(self._real(path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

    def open(self, path, flags):
        return os.open(self._real(path), flags & ~(os.O_CREAT | os.O_EXCL | os.O_NOCTTY))

    def read(self, path, size, offset, fh):
        self.read_bytes += size
        if self.pull_after_read is not None and self.read_bytes > self.pull_after_read:
            os._exit(0)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        if self.write_delay:
            time.sleep(self.write_delay)
        real = max(0, min(len(data), self.keep_bytes - self.stored, self.keep_offset - offset))
        self.stored += len(data)
        stored = bytearray(data[:real]) + bytes(len(data) - real)
        for flip in self.flips.get(path.lstrip("/"), ()):
            if offset <= flip < offset + len(data):
                stored[flip - offset] ^= 0xFF
        os.pwrite(fh, bytes(stored), offset)
        return len(data)

    def release(self, path, fh):
        os.close(fh)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--backing", required=True)
    parser.add_argument("--mountpoint", required=True)
    parser.add_argument("--keep-bytes", type=int, default=1 << 62)
    parser.add_argument("--flip", action="append", default=[], help="PATH:OFFSET")
    parser.add_argument("--pull-after-read", type=int)
    parser.add_argument("--write-delay", type=float, default=0.0)
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--direct-io", action="store_true")
    parser.add_argument("--keep-offset", type=int, default=1 << 62)
    options = parser.parse_args()

    flips = {}
    for flip in options.flip:
        path, offset = flip.rsplit(":", 1)
        flips.setdefault(path, set()).add(int(offset))
    stick = LyingStick(os.path.abspath(options.backing), options.keep_bytes, flips, options.pull_after_read,
                        options.write_delay)
    stick.keep_offset = options.keep_offset
    mountpoint = os.path.abspath(options.mountpoint)

    def announce_and_wait():
        deadline = time.monotonic() + 10
        while not os.path.ismount(mountpoint):
            if time.monotonic() > deadline:
                os._exit(1)
            time.sleep(0.02)
        print("mounted", mountpoint, flush=True)
        wait_for_end(options.lifetime)
        subprocess.run(["umount", "-l", mountpoint], check=False)

    threading.Thread(target=announce_and_wait, daemon=True).start()
    caching = {"direct_io": True} if options.direct_io else {"kernel_cache": True}
    FUSE(stick, mountpoint, foreground=True, nothreads=True, big_writes=True, max_write=131072,
         fsname="lyingstick", **caching)
    return 0


if __name__ == "__main__":
    sys.exit(main())
