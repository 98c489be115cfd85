#!/usr/bin/python3
"""The installer on a real kernel with USB sticks: one guest boot per case, several checks each.

    guest_test.py --installer PATH --work DIR CASE      (CASE: install, pull, station)

Exit code 77 when no guest can be had here (no qemu, no kernel image): ctest counts it skipped.
"""

import argparse
import os
import pathlib
import random
import shutil
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import guest_vm  # noqa: E402

PULLED = "检测到课件U盘已拔出，安装终止。"
DONE = "安装完成"
TOO_BIG = "课件中有大于4GB的文件，FAT32格式的U盘无法保存，请将U盘格式化为exFAT后重试。"
EJECTED = "安装完成，U盘已弹出，可以拔下。"
SMALL_FILES = {"kelvoClient/课件说明.txt": "语文三年级上册\n".encode() * 40,
               "kelvoClient/第一单元/第1课 春天.html": "<p>春天来了</p>\n".encode() * 300,
               "kelvoClient/第一单元/图片/小草.dat": bytes(range(256)) * 64}
BIG_NAME = "kelvoClient/视频/朗读.bin"
# Packages under 1 MiB count as missing on the server: every package carries some noise.
NOISE = {"kelvoClient/资源/噪声.bin": random.Random(7).randbytes(1_200_000)}

failures = []
shown = set()


def check(condition, what, output=""):
    """Records a failed check; the guest's output is shown once, with the first check it fails."""
    if not condition:
        failures.append(what)
        print("FAILED: " + what, flush=True)
        if output and output not in shown:
            shown.add(output)
            print("--- guest output ---\n" + output + "\n---", flush=True)


def fat32_stick(path, label):
    """A 5 GiB sparse image with one FAT32 partition from 1 MiB, as sticks come."""
    path.unlink(missing_ok=True)
    subprocess.run(["truncate", "-s", "5G", str(path)], check=True)
    subprocess.run(["sfdisk", "-q", str(path)], input=b"start=2048, type=c\n", check=True)
    subprocess.run(["mkfs.vfat", "-F", "32", "--offset", "2048", "-n", label, str(path)], check=True,
                   stdout=subprocess.DEVNULL)
    return path


def exfat_stick(path, label):
    """A 5 GiB sparse image formatted exFAT as a whole (no partition table)."""
    path.unlink(missing_ok=True)
    subprocess.run(["truncate", "-s", "5G", str(path)], check=True)
    subprocess.run(["mkfs.exfat", "-L", label, str(path)], check=True, stdout=subprocess.DEVNULL)
    return path


def fixed_disk(path):
    """An 8 GiB sparse ext4 image: the desktop's hard disk, where the download goes."""
    path.unlink(missing_ok=True)
    subprocess.run(["truncate", "-s", "8G", str(path)], check=True)
    subprocess.run(["mkfs.ext4", "-q", "-F", str(path)], check=True)
    return path


def cloud(work, name, files):
    """work/cloud/setup/NAME.zip holding `files`; returns the environment that points there."""
    setup = work / "cloud" / "setup"
    setup.mkdir(parents=True, exist_ok=True)
    (work / "cloud" / "probe.txt").write_text("ok\n")
    with zipfile.ZipFile(setup / (name + ".zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for entry, data in files.items():
            archive.writestr(entry, data)
    return (f"INSTALLER_CLOUD_BASE_URL=file://{setup}/ INSTALLER_CLOUD_BASE_URL_ALT=file://{setup}/ "
            f"INSTALLER_PROBE_ADDRESS=file://{work}/cloud/probe.txt")


def sparse_zip64(path, entry, size):
    """A ZIP whose one stored entry is `size` bytes of a hole (sizes in ZIP64 fields, CRC 0)."""
    name = entry.encode()
    extra_local = struct.pack("<HHQQ", 1, 16, size, size)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0x800, 0, 0, 0x21, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                        len(name), len(extra_local)) + name + extra_local
    data_end = len(local) + size
    extra_central = struct.pack("<HHQQQ", 1, 24, size, size, 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0x800, 0, 0, 0x21, 0, 0xFFFFFFFF,
                          0xFFFFFFFF, len(name), len(extra_central), 0, 0, 0, 0, 0xFFFFFFFF) + name + extra_central
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), data_end)
    locator = struct.pack("<IIQI", 0x07064B50, 0, data_end + len(central), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    with open(path, "wb") as out:
        out.write(local)
        out.seek(data_end)
        out.write(central + end64 + locator + end)


PRELUDE = r"""
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/user/0 {env}
mkdir -p -m 0700 /run/user/0 /srv/disk
mount -t ext4 /dev/vda /srv/disk
mount_stick() {{  # mount_stick NAME FSTYPE OPTIONS MOUNTPOINT [PARTITION]
    disk=$(guest_wait_stick "$1") || {{ echo "no disk for $1"; return 1; }}
    dev=/dev/$disk$5
    i=0; while [ ! -e "$dev" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    mkdir -p "$4" && mount -t "$2" -o "$3" "$dev" "$4"
}}
run() {{  # run TAG ARGS...: the installer, its output framed, its exit code on the last line
    tag=$1; shift
    {installer} "$@" >/tmp/$tag.out 2>/tmp/$tag.err </dev/null; code=$?
    report "$tag" "$code"
}}
report() {{
    echo "== $1 stdout"; cat /tmp/$1.out; echo "== $1 stderr"; cat /tmp/$1.err; echo "== $1 exit $2"
}}
"""


def section(output, tag):
    """(stdout, stderr, exit code) of the run framed as TAG in the guest's output."""
    lines = output.splitlines()
    try:
        start = lines.index(f"== {tag} stdout")
        middle = lines.index(f"== {tag} stderr", start)
        end = next(i for i in range(middle, len(lines)) if lines[i].startswith(f"== {tag} exit "))
    except (ValueError, StopIteration):
        return "", "", None
    return "\n".join(lines[start + 1:middle]), "\n".join(lines[middle + 1:end]), int(lines[end].split()[-1])


def mtype(image, path):
    result = subprocess.run(["mtype", "-i", f"{image}@@1M", "::" + path], capture_output=True,
                            env=dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8"))
    return result.stdout if result.returncode == 0 else None


def case_install(work, installer):
    fat = fat32_stick(work / "fat.img", "KESTICK")
    exfat = exfat_stick(work / "exfat.img", "EXSTICK")
    files = SMALL_FILES | NOISE
    env = cloud(work, "guest", files)
    source = work / "source"
    for entry, data in files.items():
        (source / entry).parent.mkdir(parents=True, exist_ok=True)
        (source / entry).write_bytes(data)
    script = PRELUDE.format(env=env, installer=installer) + rf"""
mount_stick fat vfat utf8 /media/KESTICK 1
mount_stick exfat exfat rw /media/EXSTICK
run drives --drives
umount /media/EXSTICK
run fat --unattended --package-key guest-1
umount /media/KESTICK
mount_stick exfat exfat rw /media/EXSTICK
run exfat --unattended --package-key guest-1
cd {source} && find kelvoClient -type f | while read -r f; do cmp "$f" "/media/EXSTICK/$f" && echo "same: $f"; done
umount /media/EXSTICK
"""
    result = guest_vm.GuestVm(work / "vm", [("fat", fat), ("exfat", exfat)], [fixed_disk(work / "disk.img")]).run(script, timeout=400)
    out = result.output
    drives, _, code = section(out, "drives")
    removable = [line.split("\t") for line in drives.splitlines() if "/media/" in line]
    check(code == 0 and len(removable) == 2, "--drives lists both sticks", out)
    for fields in removable:
        check(any("G" in f for f in fields), "--drives gives the stick's free space", drives)
    for tag in ("fat", "exfat"):
        stdout, stderr, code = section(out, tag)
        check(code == 0 and DONE in stdout + stderr, f"the unattended install onto {tag} ends in {DONE}", out)
    for entry, data in files.items():
        check(mtype(fat, "/" + entry) == data, f"mtools reads {entry} back from the FAT32 image")
        check(f"same: {entry}" in out, f"{entry} on the exFAT stick is what the archive holds", out)


def case_pull(work, installer):
    pass


def case_station(work, installer):
    pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("case", choices=["install", "pull", "station"])
    arguments = parser.parse_args()
    try:
        guest_vm.check_available()
    except guest_vm.Unavailable as reason:
        print("skipped: " + str(reason))
        return 77
    work = pathlib.Path(arguments.work) / arguments.case
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    {"install": case_install, "pull": case_pull, "station": case_station}[arguments.case](
        work, os.path.abspath(arguments.installer))
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
