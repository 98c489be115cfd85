#!/usr/bin/env python3
"""Extraction benchmark: ExtractZipArchive (through extract_bench) against `bsdtar -xf`.

usage: extract_bench.py --bench BUILD/bench/extract_bench [--work DIR] [--rounds 5] [--skip-large]
                        [--skip-mixed] [--skip-exfat] [--exfat-rounds 2]

1. Builds a ZIP archive of about 1 GiB of mixed files: incompressible media and images,
   compressible pages and data, all deflated as packaging tools do.
2. Extracts it ROUNDS times with each tool, alternating, each time into a fresh folder beside
   the other's, and times each run up to the end of a flush of the file system (the extractor
   flushes with syncfs itself; bsdtar is followed by `sync -f`). Reports the median
   throughput of each (uncompressed bytes per second), their ratio and the median of the
   ratios within a round (target: at least 0.9), and each tool's peak resident memory.
3. Builds a ZIP64 archive of more than 5 GiB (one stored entry above 4 GiB among deflated ones)
   and extracts it twice with each tool (in the order bsdtar, extractor, extractor, bsdtar),
   reporting times and peak resident memory (target for the extractor: under 64 MiB).
4. Many small files on a real stick's file system: an archive of 20 000 small entries extracted
   onto an exFAT image mounted through exfat-fuse, against `bsdtar -xf` onto a second image of
   the same size, each timed up to the end of a flush (needs root, /dev/fuse, loop devices and
   the Debian packages exfatprogs and exfat-fuse; skipped with a reason otherwise). Each round
   makes both file systems afresh.
5. Removes everything it made (mounts and loop devices included), also when interrupted.

It needs about 12 GiB free in the work folder (default: a new folder under $TMPDIR); it
checks before it starts.
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

MiB = 1 << 20
GiB = 1 << 30
CHUNK = 1 * MiB
GNU_TIME = "/usr/bin/time"


class Pools:
    """Source bytes: a random pool (incompressible) and a text pool (about 3:1 under deflate)."""

    def __init__(self, seed=2024):
        rng = random.Random(seed)
        self.random = rng.randbytes(64 * MiB)
        syllables = ["ke", "lv", "o", "cla", "ss", "ro", "om", "le", "ss", "on", "te", "ach", "er",
                     "wa", "ve", "fo", "rm", "qu", "iz", "an", "sw", "ch", "ap", "ti"]
        words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(3000)]
        parts = []
        size = 0
        while size < 16 * MiB:
            line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 16))) + "\n"
            parts.append(line)
            size += len(line)
        self.text = "".join(parts).encode()

    def stream(self, kind, size, seed):
        """Yields `size` bytes of the kind in chunks, starting at a seeded place in its pool."""
        pool = self.random if kind == "random" else self.text
        rng = random.Random(seed)
        left = size
        while left > 0:
            n = min(CHUNK, left)
            start = rng.randrange(0, len(pool) - n)
            yield pool[start:start + n]
            left -= n


def mixed_plan():
    """About 1.36 GiB of content that deflates to about 1 GiB."""
    rng = random.Random(7)
    plan = []
    for i in range(6):
        plan.append((f"kelvoClient/media/lesson{i:02d}.mp4", 112 * MiB, "random", "deflate"))
    for i in range(1200):
        plan.append((f"kelvoClient/images/{i // 100:02d}/img{i:04d}.png", rng.randint(16, 256) * 1024,
                     "random", "deflate"))
    for i in range(3000):
        plan.append((f"kelvoClient/pages/unit{i // 250:02d}/page{i:04d}.html", rng.randint(2, 96) * 1024,
                     "text", "deflate"))
    for i in range(24):
        plan.append((f"kelvoClient/data/lesson{i:02d}.xml", 16 * MiB, "text", "deflate"))
    return plan


def large_plan():
    """More than 5 GiB of archive: one stored entry above 4 GiB, deflated media, pages."""
    plan = [("kelvoClient/media/full-course.mp4", 4 * GiB + 256 * MiB, "random", "store")]
    for i in range(3):
        plan.append((f"kelvoClient/media/extra{i}.mp4", 256 * MiB, "random", "deflate"))
    for i in range(200):
        plan.append((f"kelvoClient/pages/page{i:03d}.html", 64 * 1024, "text", "deflate"))
    return plan


def build_archive(path, plan, pools):
    with zipfile.ZipFile(path, "w", allowZip64=True) as archive:
        for index, (name, size, kind, method) in enumerate(plan):
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 17, 12, 30, 0))
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_STORED if method == "store" else zipfile.ZIP_DEFLATED
            with archive.open(info, "w", force_zip64=size >= zipfile.ZIP64_LIMIT) as member:
                for chunk in pools.stream(kind, size, index):
                    member.write(chunk)
    return sum(size for _, size, _, _ in plan)


def run_measured(command):
    """Runs the command under GNU time; returns (seconds, CPU seconds, peak resident KiB, output).

    The peak comes from GNU time, which forks the command from a small process: a child forked
    from this (large) Python process would carry its resident size into the child's peak.
    """
    with tempfile.NamedTemporaryFile() as peak, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        start = time.monotonic()
        result = subprocess.run([GNU_TIME, "-f", "%U %S %M", "-o", peak.name] + command, stdout=out, stderr=err)
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        if result.returncode != 0:
            raise RuntimeError(f"{' '.join(command)} failed ({result.returncode}): {err.read().decode().strip()}")
        user, system, resident = open(peak.name).read().split()[-3:]
        return seconds, float(user) + float(system), int(resident), out.read().decode()


def extract_once(tool, bench, archive, destination):
    """One timed extraction into a fresh folder, flush included; (seconds, CPU seconds, peak KiB)."""
    shutil.rmtree(destination, ignore_errors=True)
    os.makedirs(destination)
    subprocess.run(["sync", "-f", destination], check=True)
    if tool == "extractor":
        seconds, cpu, peak, _ = run_measured([bench, archive, destination])
    else:
        start = time.monotonic()
        _, cpu, peak, _ = run_measured(["bsdtar", "-xf", archive, "-C", destination])
        subprocess.run(["sync", "-f", destination], check=True)
        seconds = time.monotonic() - start
    shutil.rmtree(destination, ignore_errors=True)
    return seconds, cpu, peak


def small_files_plan():
    """20 000 small text files (about 4 KiB each) in 200 folders, as a package of many pages."""
    rng = random.Random(11)
    return [(f"kelvoClient/pages/unit{i // 100:03d}/page{i:05d}.html", rng.randint(1, 8) * 1024, "text", "deflate")
            for i in range(20000)]


class ExfatImage:
    """An exFAT file system in an image file on a loop device, mounted through exfat-fuse."""

    def __init__(self, folder, name, size):
        self.image = os.path.join(folder, name + ".img")
        self.mount = os.path.join(folder, name)
        self.size = size
        self.device = None
        os.makedirs(self.mount, exist_ok=True)

    def make(self):
        self.unmake()
        with open(self.image, "wb") as image:
            image.truncate(self.size)
        subprocess.run(["mkfs.exfat", self.image], check=True, stdout=subprocess.DEVNULL)
        self.device = subprocess.run(["losetup", "-f", "--show", self.image], check=True, capture_output=True,
                                     text=True).stdout.strip()
        subprocess.run(["mount.exfat-fuse", self.device, self.mount], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def unmake(self):
        if os.path.ismount(self.mount):
            subprocess.run(["umount", self.mount], check=False)
        if self.device:
            subprocess.run(["losetup", "-d", self.device], check=False)
            self.device = None


def exfat_missing():
    if os.geteuid() != 0:
        return "needs root"
    if not os.path.exists("/dev/fuse") or not os.path.exists("/dev/loop-control"):
        return "needs /dev/fuse and loop devices"
    for tool in ("mkfs.exfat", "mount.exfat-fuse", "losetup"):
        if shutil.which(tool) is None:
            return f"{tool} is missing (Debian packages exfatprogs, exfat-fuse)"
    return None


def exfat_small_files(bench, work, pools, rounds):
    reason = exfat_missing()
    if reason:
        print(f"exFAT small files: skipped ({reason})", flush=True)
        return
    archive = os.path.join(work, "small.zip")
    content = build_archive(archive, small_files_plan(), pools)
    print(f"small-files archive: {os.path.getsize(archive) / MiB:.1f} MiB holding {content / MiB:.1f} MiB "
          f"in 20000 files", flush=True)
    images = {tool: ExfatImage(work, "exfat-" + tool, GiB) for tool in ("extractor", "bsdtar")}
    times = {"extractor": [], "bsdtar": []}
    cpus = {"extractor": [], "bsdtar": []}
    try:
        for round_index in range(rounds):
            order = ["extractor", "bsdtar"] if round_index % 2 == 0 else ["bsdtar", "extractor"]
            for tool in order:
                image = images[tool]
                image.make()
                if tool == "extractor":
                    seconds, cpu, _, _ = run_measured([bench, archive, image.mount])
                else:
                    start = time.monotonic()
                    _, cpu, _, _ = run_measured(["bsdtar", "-xf", archive, "-C", image.mount])
                    subprocess.run(["sync", "-f", image.mount], check=True)
                    seconds = time.monotonic() - start
                image.unmake()
                times[tool].append(seconds)
                cpus[tool].append(cpu)
                print(f"  round {round_index + 1} {tool:9s} {seconds:6.2f} s  cpu {cpu:5.2f} s", flush=True)
    finally:
        for image in images.values():
            image.unmake()
    wall = statistics.median(times["bsdtar"]) / statistics.median(times["extractor"])
    cpu = statistics.median(cpus["bsdtar"]) / statistics.median(cpus["extractor"])
    print(f"exFAT small files (median of {rounds}): extractor {statistics.median(times['extractor']):.2f} s, "
          f"bsdtar {statistics.median(times['bsdtar']):.2f} s; speed ratio wall {wall:.2f}, CPU {cpu:.2f} "
          f"(target >= 0.90)", flush=True)
    os.remove(archive)


def same_tree(left, right):
    result = subprocess.run(["diff", "-r", "-q", left, right], stdout=subprocess.DEVNULL)
    return result.returncode == 0


def mixed_archive(bench, work, pools, rounds):
    """The 1 GiB mixed archive onto the work folder's file system, ROUNDS times with each tool."""
    archive = os.path.join(work, "mixed.zip")
    started = time.monotonic()
    content = build_archive(archive, mixed_plan(), pools)
    print(f"mixed archive: {os.path.getsize(archive) / GiB:.2f} GiB holding {content / GiB:.2f} GiB "
          f"in {len(mixed_plan())} files (built in {time.monotonic() - started:.0f} s)", flush=True)

    # Both tools must produce the same tree before their speeds mean anything.
    check_ours = os.path.join(work, "check-extractor")
    check_bsdtar = os.path.join(work, "check-bsdtar")
    os.makedirs(check_ours)
    os.makedirs(check_bsdtar)
    run_measured([bench, archive, check_ours])
    run_measured(["bsdtar", "-xf", archive, "-C", check_bsdtar])
    if not same_tree(check_ours, check_bsdtar):
        sys.exit("the extractor and bsdtar produced different trees")
    shutil.rmtree(check_ours)
    shutil.rmtree(check_bsdtar)

    times = {"extractor": [], "bsdtar": []}
    cpus = {"extractor": [], "bsdtar": []}
    peaks = {"extractor": [], "bsdtar": []}
    for round_index in range(rounds):
        order = ["extractor", "bsdtar"] if round_index % 2 == 0 else ["bsdtar", "extractor"]
        for tool in order:
            seconds, cpu, peak = extract_once(tool, bench, archive, os.path.join(work, "out-" + tool))
            times[tool].append(seconds)
            cpus[tool].append(cpu)
            peaks[tool].append(peak)
            print(f"  round {round_index + 1} {tool:9s} {seconds:6.2f} s  {content / seconds / 1e6:7.1f} MB/s  "
                  f"cpu {cpu:5.2f} s  peak {peak / 1024:6.1f} MiB", flush=True)
    speed = {tool: content / statistics.median(times[tool]) for tool in times}
    # The machine's load drifts; a round's two runs are close in time, so their ratio is steadier.
    paired = statistics.median(b / e for e, b in zip(times["extractor"], times["bsdtar"]))
    print(f"throughput (median of {rounds}): extractor {speed['extractor'] / 1e6:.1f} MB/s, "
          f"bsdtar {speed['bsdtar'] / 1e6:.1f} MB/s, ratio {speed['extractor'] / speed['bsdtar']:.2f}, "
          f"median ratio within a round {paired:.2f} (target >= 0.90)")
    print(f"CPU time (median): extractor {statistics.median(cpus['extractor']):.2f} s, "
          f"bsdtar {statistics.median(cpus['bsdtar']):.2f} s, ratio "
          f"{statistics.median(cpus['bsdtar']) / statistics.median(cpus['extractor']):.2f} "
          f"(steadier than wall time on a busy machine)")
    print(f"peak resident memory: extractor {max(peaks['extractor']) / 1024:.1f} MiB, "
          f"bsdtar {max(peaks['bsdtar']) / 1024:.1f} MiB", flush=True)
    os.remove(archive)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench", required=True, help="the extract_bench executable")
    parser.add_argument("--work", help="folder for archives and extractions (default: new under $TMPDIR)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--skip-large", action="store_true", help="skip the 5 GiB ZIP64 memory run")
    parser.add_argument("--skip-mixed", action="store_true", help="skip the 1 GiB mixed archive")
    parser.add_argument("--skip-exfat", action="store_true", help="skip the small files onto exFAT")
    parser.add_argument("--exfat-rounds", type=int, default=2)
    args = parser.parse_args()
    bench = os.path.abspath(args.bench)
    if shutil.which("bsdtar") is None:
        sys.exit("bsdtar is missing (Debian package libarchive-tools)")
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit(f"{GNU_TIME} is missing (Debian package time)")

    work = tempfile.mkdtemp(prefix="extract-bench-", dir=args.work)
    try:
        free = shutil.disk_usage(work).free
        needed = 4 * GiB if args.skip_large else 12 * GiB
        print(f"work folder {work}: {free / GiB:.1f} GiB free, {needed / GiB:.0f} GiB needed", flush=True)
        if free < needed:
            sys.exit("not enough free space")
        pools = Pools()

        if not args.skip_mixed:
            mixed_archive(bench, work, pools, args.rounds)
        if not args.skip_exfat:
            exfat_small_files(bench, work, pools, args.exfat_rounds)

        if not args.skip_large:
            archive = os.path.join(work, "large-zip64.zip")
            started = time.monotonic()
            content = build_archive(archive, large_plan(), pools)
            print(f"ZIP64 archive: {os.path.getsize(archive) / GiB:.2f} GiB holding {content / GiB:.2f} GiB "
                  f"(built in {time.monotonic() - started:.0f} s)", flush=True)
            # Whichever tool goes first after the archive is written runs slower: ABBA order.
            for tool in ("bsdtar", "extractor", "extractor", "bsdtar"):
                seconds, cpu, peak = extract_once(tool, bench, archive, os.path.join(work, "out-" + tool))
                print(f"  {tool:9s} {seconds:6.2f} s  {content / seconds / 1e6:7.1f} MB/s  cpu {cpu:5.2f} s  peak resident "
                      f"{peak / 1024:.1f} MiB" + ("  (target < 64 MiB)" if tool == "extractor" else ""),
                      flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
