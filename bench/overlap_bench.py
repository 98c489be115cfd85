#!/usr/bin/python3
"""The installation against the peers' tools on a throttled network and a throttled USB stick.

    bench/overlap_bench.py --installer build/app/installer [--size-mib 32] [--rounds 2]
                           [--settings 3,3,6 12.5,8,20 3,15,30] [--work DIR]

One guest boot (tests/support/guest_vm.py) with a FAT32 USB stick that QEMU throttles
(guest_throttle) and the package on a loopback server in the guest that sends at most N MB/s.
For each setting (N, W, R) = network, stick write, stick read in MB/s, and each round, it times:

  installer          the unattended installer: the stick written while the package downloads
  installer serial   the same with INSTALLER_SERIAL_INSTALL=1 (download, then writing)
  peers serial       curl -o; bsdtar -x; sync; a plain read of every file past the page cache
  peers overlapped   curl -o & tail -f | bsdtar -x; sync; the same read

The stick is emptied and the caches dropped before every run. It prints the medians, the ratios
of the installer to the others, and whether the installer's NAME.zip equals the source. The
installer's times include its 1 s start pause, the size probe and the network check. Exit code 77
when no guest can be had here.
"""

import argparse
import os
import pathlib
import random
import statistics
import subprocess
import sys
import tempfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "support"))
import guest_vm  # noqa: E402

NAME = "bench"
VARIANTS = ("installer", "installer serial", "peers serial", "peers overlapped")


def package(path, size_mib):
    """A courseware-like package: a few small files, then media files of 4 MiB (incompressible)."""
    rng = random.Random(11)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for i in range(20):
            archive.writestr(f"kelvoClient/第{i}课.html", ("<p>课文</p>\n" * 200).encode())
        for i in range(max(1, size_mib // 4)):
            archive.writestr(f"kelvoClient/media/{i:02d}.bin", rng.randbytes(4 << 20))


def fat32_stick(path):
    path.unlink(missing_ok=True)
    subprocess.run(["truncate", "-s", "5G", str(path)], check=True)
    subprocess.run(["sfdisk", "-q", str(path)], input=b"start=2048, type=c\n", check=True)
    subprocess.run(["mkfs.vfat", "-F", "32", "--offset", "2048", "-n", "KESTICK", str(path)], check=True,
                   stdout=subprocess.DEVNULL)


def fixed_disk(path):
    path.unlink(missing_ok=True)
    subprocess.run(["truncate", "-s", "8G", str(path)], check=True)
    subprocess.run(["mkfs.ext4", "-q", "-F", str(path)], check=True)


SCRIPT = r"""
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/user/0
mkdir -p -m 0700 /run/user/0 /srv/disk /media/KESTICK
mount -t ext4 /dev/vda /srv/disk
disk=$(guest_wait_stick fat) || {{ echo "no stick"; exit 1; }}
i=0; while [ ! -e /dev/${{disk}}1 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
mount -t vfat -o utf8 /dev/${{disk}}1 /media/KESTICK || exit 1
now() {{ cut -d' ' -f1 /proc/uptime; }}
fresh() {{
    rm -rf /media/KESTICK/* /srv/disk/kelvo /srv/disk/peer.zip; sync
    echo 3 > /proc/sys/vm/drop_caches
}}
plain_read() {{ sync; echo 3 > /proc/sys/vm/drop_caches; find /media/KESTICK -type f -exec cat {{}} + >/dev/null; }}
serve() {{  # serve RATE: the loopback server for this setting; sets URL and PROBE
    [ -n "$keep" ] && kill $keep 2>/dev/null
    rm -f /tmp/port /tmp/keep; mkfifo /tmp/keep
    /usr/bin/python3 {support}/http_test_server.py --files {cloud} --rate $1 --lifetime 7200 </tmp/keep >/tmp/port &
    sleep 100000 >/tmp/keep & keep=$!
    while ! grep -q port /tmp/port 2>/dev/null; do sleep 0.1; done
    port=$(cut -d' ' -f2 /tmp/port)
    URL=http://127.0.0.1:$port/setup/
    export INSTALLER_CLOUD_BASE_URL=$URL INSTALLER_CLOUD_BASE_URL_ALT=$URL INSTALLER_PROBE_ADDRESS=127.0.0.1:$port
}}
timed() {{  # timed SETTING VARIANT COMMAND...
    setting=$1; variant=$2; shift 2
    fresh; t0=$(now)
    "$@" >/tmp/run.out 2>&1; code=$?
    t1=$(now)
    echo "@@time $setting|$variant|$code|$(awk "BEGIN {{ print $t1 - $t0 }}")"
    grep '^@@same' /tmp/run.out
    [ $code -eq 0 ] || tail -5 /tmp/run.out
}}
installer() {{ {installer} --unattended --package-key {name}-1 && cmp -s /srv/disk/kelvo/{name}.zip {cloud}/{name}.zip && echo "@@same $setting|$variant"; }}
serial() {{ INSTALLER_SERIAL_INSTALL=1 installer; }}
peers_serial() {{ curl -sf -o /srv/disk/peer.zip "${{URL}}{name}.zip" && bsdtar -xf /srv/disk/peer.zip -C /media/KESTICK && plain_read; }}
peers_overlapped() {{
    : >/srv/disk/peer.zip
    curl -sf -o /srv/disk/peer.zip "${{URL}}{name}.zip" & c=$!
    tail -s 0.1 -c +1 -f --pid=$c /srv/disk/peer.zip | bsdtar -xf - -C /media/KESTICK
    wait $c && plain_read
}}
{runs}
kill $keep 2>/dev/null
umount /media/KESTICK
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--installer", required=True)
    parser.add_argument("--size-mib", type=int, default=32)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--settings", nargs="+", default=["3,3,6", "12.5,8,20", "3,15,30"])
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "installer-overlap-bench"))
    parser.add_argument("--echo", action="store_true")
    arguments = parser.parse_args()
    work = pathlib.Path(arguments.work)
    cloud = work / "cloud"
    cloud.mkdir(parents=True, exist_ok=True)
    package(cloud / (NAME + ".zip"), arguments.size_mib)
    fat32_stick(work / "fat.img")
    fixed_disk(work / "disk.img")

    runs = []
    for setting in arguments.settings:
        n, w, r = (float(x) for x in setting.split(","))
        runs.append(f"serve {int(n * 1e6)}")
        runs.append(f"guest_throttle fat {int(r * 1e6)} {int(w * 1e6)}")
        for _ in range(arguments.rounds):
            for variant, command in zip(VARIANTS, ("installer", "serial", "peers_serial", "peers_overlapped")):
                runs.append(f"timed '{setting}' '{variant}' {command}")
    script = SCRIPT.format(installer=pathlib.Path(arguments.installer).resolve(), name=NAME, cloud=cloud,
                           support=ROOT / "tests" / "support", runs="\n".join(runs))
    try:
        vm = guest_vm.GuestVm(work / "vm", [("fat", work / "fat.img")], [work / "disk.img"])
        result = vm.run(script, timeout=3600, echo=arguments.echo)
    except guest_vm.Unavailable as reason:
        print("guest unavailable: " + str(reason), file=sys.stderr)
        return 77

    times, failed, same = {}, [], set()
    for line in result.output.splitlines():
        if line.startswith("@@time "):
            setting, variant, code, seconds = line[len("@@time "):].split("|")
            if code != "0":
                failed.append(f"{setting} {variant}: exit {code}")
            times.setdefault((setting, variant), []).append(float(seconds))
        elif line.startswith("@@same "):
            same.add(tuple(line[len("@@same "):].split("|")))
    print(f"package {arguments.size_mib} MiB, {arguments.rounds} rounds; medians in seconds")
    print(f"{'N,W,R MB/s':<12}" + "".join(f"{v:>18}" for v in VARIANTS) +
          f"{'inst/peer-ser':>15}{'inst/peer-ovl':>15}{'inst/serial':>13}")
    for setting in arguments.settings:
        medians = [statistics.median(times.get((setting, v), [float("nan")])) for v in VARIANTS]
        print(f"{setting:<12}" + "".join(f"{m:>18.1f}" for m in medians) +
              f"{medians[0] / medians[2]:>15.2f}{medians[0] / medians[3]:>15.2f}{medians[0] / medians[1]:>13.2f}")
    for setting in arguments.settings:
        for variant in VARIANTS[:2]:
            print(f"{setting} {variant}: NAME.zip equals the source: {(setting, variant) in same}")
    for line in failed:
        print("FAILED: " + line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
