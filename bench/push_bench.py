#!/usr/bin/env python3
"""Pushing writes to the stick as they go: what it costs, and what it gives on a slow stick.

usage: push_bench.py --bench BUILD/bench/extract_bench [--work DIR] [--rounds 2] [--size-mib 512]
                     [--slow-size-mib 48] [--skip-throughput]
                     [--flash-delay 0.002]

1. Throughput: a mixed archive (large incompressible files and many small deflated ones) is
   extracted by extract_bench with pushing and with --no-push (everything left to the final
   flush), alternating, onto a fresh ext4 image on a loop device (the kernel's file system) and
   a fresh exFAT image through exfat-fuse, each time up to the end of the flush. Prints the
   median seconds of each and the cost of pushing (target: a few per cent at most).
2. A slow stick: an ext4 image whose file lies on a FUSE file system that writes through to a
   folder (tests/support/lying_stick.py --direct-io), so the loop device's page cache is the
   only cache between the writer and a slow flash (each write to it takes --flash-delay). Prints, with and without pushing, the
   phase's seconds, how long the bar stood at 100 % while the stick was still written, and how
   long the final flush took (target: the first at 0, the second seconds, not the phase).
3. Removes everything it made (mounts and loop devices included), also when interrupted.

Needs root, loop devices, /dev/fuse, e2fsprogs, exfatprogs, exfat-fuse and python3-fusepy.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support")


def build_archive(path, size_mib, seed=5):
    rng = random.Random(seed)
    large = size_mib * 3 // 4
    with zipfile.ZipFile(path, "w") as archive:
        done = 0
        index = 0
        while done < large:
            mib = min(rng.choice([8, 40, 96]), large - done)
            archive.writestr(f"kelvoClient/media/m{index}.bin", rng.randbytes(mib << 20), zipfile.ZIP_STORED)
            done += mib
            index += 1
        page = ("<p>lesson text " * 200).encode()
        for i in range(((size_mib - large) << 20) // (len(page) * 4)):
            archive.writestr(f"kelvoClient/pages/p{i // 200}/f{i}.html", page * 4 + str(i).encode(),
                             zipfile.ZIP_DEFLATED)


class Image:
    """A file system image on a loop device, mounted on a folder."""

    def __init__(self, image, mount, size_mib, kind):
        self.image, self.mount, self.kind, self.device = image, mount, kind, None
        with open(image, "wb") as f:
            f.truncate(size_mib << 20)
        if kind == "ext4":
            subprocess.run(["mkfs.ext4", "-q", "-F", "-b", "4096", "-E", "lazy_itable_init=0,lazy_journal_init=0",
                            image], check=True)
        else:
            subprocess.run(["mkfs.exfat", image], check=True, stdout=subprocess.DEVNULL)
        self.device = subprocess.run(["losetup", "-f", "--show", image], check=True, capture_output=True,
                                     text=True).stdout.strip()
        os.makedirs(mount, exist_ok=True)
        command = ["mount", "-t", "ext4"] if kind == "ext4" else ["mount.exfat-fuse"]
        subprocess.run(command + [self.device, mount], check=True, stdout=subprocess.DEVNULL)

    def close(self):
        subprocess.run(["umount", self.mount], check=False)
        if self.device:
            subprocess.run(["losetup", "-d", self.device], check=False)
        os.remove(self.image)


def extract(bench, archive, destination, push):
    command = [bench] + ([] if push else ["--no-push"]) + [archive, destination]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return {k: float(v) for k, v in (field.split("=") for field in out.split())}


def throughput(bench, work, size_mib, rounds):
    archive = os.path.join(work, "mixed.zip")
    build_archive(archive, size_mib)
    for kind in ("ext4", "exfat"):
        times = {True: [], False: []}
        for r in range(rounds):
            for push in ((True, False) if r % 2 == 0 else (False, True)):
                image = Image(os.path.join(work, "stick.img"), os.path.join(work, "stick"), size_mib * 2 + 256, kind)
                try:
                    times[push].append(extract(bench, archive, image.mount, push)["seconds"])
                finally:
                    image.close()
        pushed, plain = statistics.median(times[True]), statistics.median(times[False])
        print(f"{kind:5} {size_mib} MiB: pushing {pushed:.2f} s, no pushing {plain:.2f} s, "
              f"cost {100 * (pushed / plain - 1):+.1f} % (rounds {times[True]} / {times[False]})", flush=True)
    os.remove(archive)


def slow_stick(bench, work, size_mib, delay):
    archive = os.path.join(work, "slow.zip")
    build_archive(archive, size_mib, seed=9)
    backing, flash = os.path.join(work, "flash-backing"), os.path.join(work, "flash")
    os.makedirs(backing, exist_ok=True)
    os.makedirs(flash, exist_ok=True)
    for push in (True, False):
        script = subprocess.Popen(["/usr/bin/python3", os.path.join(SUPPORT, "lying_stick.py"), "--backing", backing,
                                   "--mountpoint", flash, "--direct-io", "--write-delay", str(delay)],
                                  stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        try:
            if not script.stdout.readline().startswith("mounted"):
                raise RuntimeError("the slow flash did not mount")
            image = Image(os.path.join(flash, "stick.img"), os.path.join(work, "slow"), size_mib + 64, "ext4")
            try:
                r = extract(bench, archive, image.mount, push)
            finally:
                image.close()
        finally:
            script.stdin.close()
            script.wait(timeout=30)
        print(f"slow ext4 {size_mib} MiB, {'pushing' if push else 'no pushing'}: phase {r['seconds']:.1f} s, "
              f"bar at 100 % for {r['seconds'] - r['full_at']:.1f} s, final flush {r['seconds'] - r['last_below']:.1f} s",
              flush=True)
    os.remove(archive)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench", required=True)
    parser.add_argument("--work")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--size-mib", type=int, default=512)
    parser.add_argument("--slow-size-mib", type=int, default=48)
    parser.add_argument("--skip-throughput", action="store_true", help="only the slow stick")
    parser.add_argument("--flash-delay", type=float, default=0.002, help="seconds each write to the slow flash takes")
    options = parser.parse_args()
    if os.geteuid() != 0:
        print("push_bench.py needs root (loop devices, mounts)", file=sys.stderr)
        return 2
    work = options.work or tempfile.mkdtemp(prefix="push-bench-")
    os.makedirs(work, exist_ok=True)
    try:
        if not options.skip_throughput:
            throughput(os.path.abspath(options.bench), work, options.size_mib, options.rounds)
        slow_stick(os.path.abspath(options.bench), work, options.slow_size_mib, options.flash_delay)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
