#!/usr/bin/env python3
"""Station benchmark: one station run onto four sticks against four unattended runs, one after
the other, onto the same four sticks.

usage: station_bench.py --installer BUILD/app/installer [--work DIR] [--size-mib 256] [--rounds 3]

1. Builds a package of about --size-mib MiB (media files and pages, deflated) and serves it from
   a loopback HTTP server (tests/support/http_test_server.py).
2. Each round makes four exFAT images afresh, each on a loop device mounted through exfat-fuse,
   and a volume map naming them as removable drives E: to H: (reported free space 8 GiB).
   - station: the archive already lies in the work folder, so nothing is downloaded; then
     `installer --station --count 4`, all four sticks at once;
   - sequential: four `installer --unattended` runs, one stick in the map each time; each run
     downloads the package again, as a normal run does.
   Both read every stick back. The order alternates between rounds.
3. Reports the median wall time of each, their ratio (target: at most 0.70) and the station
   run's peak resident memory (target: at most 64 MiB).

Needs root, /dev/fuse, loop devices, exfatprogs, exfat-fuse and GNU time. Removes everything it
made (mounts and loop devices included), also when interrupted.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import zipfile

from extract_bench import GNU_TIME, MiB, ExfatImage, Pools, build_archive, exfat_missing, run_measured

KEY = "BENCH-STATION"
ARCHIVE = "bench.zip"  # the key up to its first "-", lowered
LETTERS = ("E", "F", "G", "H")
SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support")


def package_plan(size):
    """Four fifths in eight media files, the rest in pages of 4 to 32 KiB."""
    plan = [(f"kelvoClient/media/lesson{i}.mp4", size * 4 // 5 // 8, "random", "deflate") for i in range(8)]
    pages = size // 5 // (16 * 1024)
    plan += [(f"kelvoClient/pages/unit{i // 100:02d}/page{i:04d}.html", (4 + i % 8 * 4) * 1024, "text", "deflate")
             for i in range(pages)]
    return plan


class Server:
    """The loopback server of the tests, serving the --files folder under /setup/."""

    def __init__(self, files):
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(SUPPORT, "http_test_server.py"), "--files", files],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.port = self.process.stdout.readline().split()[1]

    def stop(self):
        self.process.stdin.close()
        self.process.wait()


def write_map(path, disk, sticks):
    with open(path, "w", encoding="utf-8") as volume_map:
        volume_map.write(f"C fixed {disk} free=20G\n")
        for letter, image in zip(LETTERS, sticks):
            volume_map.write(f"{letter} removable {image.mount} free=8G\n")


def run_station(installer, environment, disk, archive, images):
    os.makedirs(os.path.join(disk, "kelvo"), exist_ok=True)
    shutil.copyfile(archive, os.path.join(disk, "kelvo", ARCHIVE))
    write_map(environment["INSTALLER_VOLUME_MAP"], disk, images)
    subprocess.run(["sync"], check=True)
    seconds, _, peak, output = run_measured(
        ["env"] + [f"{k}={v}" for k, v in environment.items()] +
        [installer, "--station", "--count", "4", "--package-key", KEY])
    if output.count("安装完成") != 4:
        raise RuntimeError("station run did not install four sticks:\n" + output)
    return seconds, peak


def run_sequential(installer, environment, disk, images):
    total = 0.0
    peak = 0
    for image in images:
        write_map(environment["INSTALLER_VOLUME_MAP"], disk, [image])
        seconds, _, resident, output = run_measured(
            ["env"] + [f"{k}={v}" for k, v in environment.items()] +
            [installer, "--unattended", "--package-key", KEY])
        if "安装完成" not in output:
            raise RuntimeError("unattended run did not install:\n" + output)
        total += seconds
        peak = max(peak, resident)
    return total, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--installer", required=True, help="the installer executable")
    parser.add_argument("--work", help="folder for the package and the images (default: new under $TMPDIR)")
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    installer = os.path.abspath(args.installer)
    reason = exfat_missing()
    if reason:
        sys.exit(f"station benchmark: {reason}")
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit(f"{GNU_TIME} is missing (Debian package time)")

    work = tempfile.mkdtemp(prefix="station-bench-", dir=args.work)
    images = [ExfatImage(work, "stick-" + letter, args.size_mib * 2 * MiB + 256 * MiB) for letter in LETTERS]
    server = None
    try:
        cloud = os.path.join(work, "cloud")
        os.makedirs(cloud)
        archive = os.path.join(cloud, ARCHIVE)
        content = build_archive(archive, package_plan(args.size_mib * MiB), Pools())
        with zipfile.ZipFile(archive) as package:
            entries = len(package.infolist())
        print(f"package: {os.path.getsize(archive) / MiB:.1f} MiB holding {content / MiB:.1f} MiB in {entries} "
              f"files", flush=True)
        server = Server(cloud)
        runtime = tempfile.mkdtemp(dir=work)
        url = f"http://127.0.0.1:{server.port}/setup/"
        environment = {
            "INSTALLER_VOLUME_MAP": os.path.join(work, "volumes.map"),
            "INSTALLER_CLOUD_BASE_URL": url,
            "INSTALLER_CLOUD_BASE_URL_ALT": url,
            "INSTALLER_PROBE_ADDRESS": f"127.0.0.1:{server.port}",
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(work, "no-bus"),
            "QT_QPA_PLATFORM": "offscreen",
            "XDG_RUNTIME_DIR": runtime,
        }
        times = {"station": [], "sequential": []}
        peaks = {"station": [], "sequential": []}
        for round_index in range(args.rounds):
            order = ["station", "sequential"] if round_index % 2 == 0 else ["sequential", "station"]
            for mode in order:
                disk = os.path.join(work, "disk")
                shutil.rmtree(disk, ignore_errors=True)
                os.makedirs(disk)
                for image in images:
                    image.make()
                if mode == "station":
                    seconds, peak = run_station(installer, environment, disk, archive, images)
                else:
                    seconds, peak = run_sequential(installer, environment, disk, images)
                for image in images:
                    image.unmake()
                times[mode].append(seconds)
                peaks[mode].append(peak)
                print(f"  round {round_index + 1} {mode:10s} {seconds:7.2f} s  peak resident {peak / 1024:6.1f} MiB",
                      flush=True)
        station = statistics.median(times["station"])
        sequential = statistics.median(times["sequential"])
        print(f"four sticks (median of {args.rounds}): station {station:.2f} s, four unattended runs "
              f"{sequential:.2f} s; wall-time ratio {station / sequential:.2f} (target <= 0.70)", flush=True)
        print(f"peak resident memory: station {max(peaks['station']) / 1024:.1f} MiB (target <= 64 MiB), "
              f"one unattended run {max(peaks['sequential']) / 1024:.1f} MiB", flush=True)
    finally:
        if server:
            server.stop()
        for image in images:
            image.unmake()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
