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
HUGE_NAME = "kelvoClient/大文件.bin"
# Packages under 1 MiB count as missing on the server: every package carries some noise.
NOISE = {"kelvoClient/资源/噪声.bin": random.Random(7).randbytes(1_200_000)}

ECHO = os.environ.get("GUEST_ECHO") == "1"  # the guest's console as it goes, for debugging
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


def huge_package(path):
    """A package with a small file and then one of 4 GiB + 16 MiB of zeros (ZIP64, deflated to
    about 18 MB); made once and kept beside the cases' folders."""
    if not path.is_file():
        partial = path.with_suffix(".part")
        with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
            archive.writestr("kelvoClient/先写.txt", "写在大文件之前\n")
            with archive.open(HUGE_NAME, "w", force_zip64=True) as entry:
                block = bytes(16 << 20)
                for _ in range(257):
                    entry.write(block)
        partial.rename(path)
    return path


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
    "$@" >/tmp/$tag.out 2>/tmp/$tag.err </dev/null; code=$?
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
run drives {installer} --drives
umount /media/EXSTICK
run fat {installer} --unattended --package-key guest-1
umount /media/KESTICK
mount_stick exfat exfat rw /media/EXSTICK
run exfat {installer} --unattended --package-key guest-1
cd {source} && find kelvoClient -type f | while read -r f; do cmp "$f" "/media/EXSTICK/$f" && echo "same: $f"; done
umount /media/EXSTICK
"""
    result = guest_vm.GuestVm(work / "vm", [("fat", fat), ("exfat", exfat)], [fixed_disk(work / "disk.img")]).run(script, timeout=400, echo=ECHO)
    out = result.output
    drives, _, code = section(out, "drives")
    removable = [line.split("\t") for line in drives.splitlines() if "/media/" in line]
    check(code == 0 and len(removable) == 2, "--drives lists both sticks", out)
    for fields in removable:  # letter, type text, free space, folder (from sysfs and statfs), why it is no download disk
        check(len(fields) == 5 and "Removable" in fields[1] and fields[2].startswith("4.9") and
              fields[4].startswith("never the download disk"),
              "--drives gives the stick as removable with its free space", drives)
    for tag in ("fat", "exfat"):
        stdout, stderr, code = section(out, tag)
        check(code == 0 and DONE in stdout + stderr, f"the unattended install onto {tag} ends in {DONE}", out)
    for entry, data in files.items():
        check(mtype(fat, "/" + entry) == data, f"mtools reads {entry} back from the FAT32 image")
        check(f"same: {entry}" in out, f"{entry} on the exFAT stick is what the archive holds", out)


ELSEWHERE = r"""
echo "== elsewhere $1"
(cd /run/upper/data && find . -newer /tmp/stamp ! -type d | grep -v '^./tmp/')
(cd /srv/disk && find . -newer /tmp/stamp ! -type d)
echo "== elsewhere $1 end"
"""


def elsewhere(output, tag):
    lines = output.splitlines()
    try:
        start = lines.index(f"== elsewhere {tag}")
        return lines[start + 1:lines.index(f"== elsewhere {tag} end", start)]
    except ValueError:
        return None


def case_pull(work, installer):
    fat = fat32_stick(work / "fat.img", "KESTICK")
    files = SMALL_FILES | {BIG_NAME: random.Random(3).randbytes(12 << 20)}
    env = cloud(work, "guest", files)
    shutil.copy(huge_package(work.parent / "huge.zip"), work / "cloud" / "setup" / "huge.zip")
    script = PRELUDE.format(env=env, installer=installer) + "elsewhere() {" + ELSEWHERE + "}\n" + rf"""
pulled_while() {{  # TAG CONDITION: an install, the stick pulled once CONDITION holds
    touch /tmp/stamp; sleep 1
    ( {installer} --unattended --package-key guest-1 >/tmp/$1.out 2>/tmp/$1.err </dev/null; echo $? >/tmp/$1.code ) &
    until [ -f /tmp/$1.code ] || eval "$2"; do sleep 0.05; done
    [ -f /tmp/$1.code ] && echo "$1: finished before the pull"
    guest_unplug fat
    wait
    report "$1" "$(cat /tmp/$1.code)"
    elsewhere "$1"
    umount -l /media/KESTICK
}}
mount_stick fat vfat utf8 /media/KESTICK 1
guest_throttle fat 0 2000000
pulled_while writing '[ "$(stat -c %s "/media/KESTICK/{BIG_NAME}" 2>/dev/null || echo 0)" -gt 0 ]'
guest_throttle fat 2000000 0
guest_plug fat >/dev/null && mount_stick fat vfat utf8 /media/KESTICK 1
pulled_while reading 'grep -q 正在校验 /tmp/reading.out'
guest_throttle fat 0 0
guest_plug fat >/dev/null && mount_stick fat vfat utf8 /media/KESTICK 1
run huge {installer} --unattended --no-verify --package-key huge-1
ls -R /media/KESTICK
"""
    result = guest_vm.GuestVm(work / "vm", [("fat", fat)], [fixed_disk(work / "disk.img")]).run(script, timeout=400, echo=ECHO)
    out = result.output
    for tag in ("writing", "reading"):
        stdout, stderr, code = section(out, tag)
        check(f"{tag}: finished before the pull" not in out, f"the stick is pulled while {tag}", out)
        check((tag == "reading") == ("正在校验" in stdout), f"the stick is pulled while {tag}, not later", out)
        check(code == 1 and PULLED in stderr, f"a pull while {tag} is the pulled-stick abort, exit 1", out)
        check(DONE not in stdout + stderr, f"no {DONE} after a pull while {tag}", out)
        # The download and the record of the finished download that made it.
        downloaded = ["./kelvo/guest.zip", "./kelvo/guest.zip.record"]
        check(sorted(elsewhere(out, tag)) == downloaded, f"a pull while {tag} writes nothing but the download", out)
    stdout, stderr, code = section(out, "huge")
    check(code == 1 and TOO_BIG in stdout + stderr, "a 4 GiB file is refused for a FAT32 stick", out)
    check("先写" not in out.split("== huge exit")[-1], "nothing of the package reaches the stick", out)


def case_station(work, installer):
    one, two = fat32_stick(work / "one.img", "STICKONE"), fat32_stick(work / "two.img", "STICKTWO")
    env = cloud(work, "guest", SMALL_FILES | {BIG_NAME: random.Random(5).randbytes(12 << 20)})
    script = PRELUDE.format(env=env, installer=installer) + rf"""
mkdir -p /run/dbus /run/udev
dbus-daemon --system --fork
/lib/systemd/systemd-udevd --daemon >/dev/null 2>&1
udevadm trigger --action=add && udevadm settle --timeout=60
/usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 &
/usr/libexec/udisks2/udisksd --no-debug >/dev/null 2>&1 &
mount_stick one vfat utf8 /media/STICKONE 1
mount_stick two vfat utf8 /media/STICKTWO 1
guest_throttle two 0 1000000
i=0; until udisksctl info -b /dev/$(guest_stick_disk one)1 >/dev/null 2>&1 || [ $i -gt 100 ]; do sleep 0.2; i=$((i+1)); done
( timeout 300 {installer} --station --count 2 --eject --package-key guest-1 >/tmp/station.out 2>/tmp/station.err </dev/null
  echo $? >/tmp/station.code ) &
station=$!
until [ -f /tmp/station.code ] || [ "$(stat -c %s "/media/STICKTWO/{BIG_NAME}" 2>/dev/null || echo 0)" -gt 0 ]; do
    sleep 0.05
done
guest_unplug two
wait $station
report station "$(cat /tmp/station.code)"
echo "stick one still there: $(guest_stick_disk one)"
"""
    result = guest_vm.GuestVm(work / "vm", [("one", one), ("two", two)], [fixed_disk(work / "disk.img")]).run(
        script, timeout=400, echo=ECHO)
    out = result.output
    stdout, stderr, code = section(out, "station")
    lines = stdout.splitlines()
    check(code == 1, "a station run with a stick pulled ends with exit code 1", out)
    check(any("STICKONE" in line and EJECTED in line for line in lines),
          "the stick left in is installed and ejected through udisks2", out)
    check(any("STICKTWO" in line and PULLED in line for line in lines), "the pulled stick is reported pulled", out)
    check("stick one still there: \n" in out + "\n" or out.rstrip().endswith("stick one still there:"),
          "the ejected stick is powered off (its disk left the guest)", out)
    for entry, data in SMALL_FILES.items():
        check(mtype(one, "/" + entry) == data, f"mtools reads {entry} back from the ejected stick")


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
