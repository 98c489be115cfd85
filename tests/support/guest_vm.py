#!/usr/bin/python3
"""A Linux guest with USB sticks, for tests that need a real kernel.

Boots Debian's linux-image-amd64 (the uncompressed kernel taken out of its vmlinuz) in
qemu-system-x86_64 under TCG with a busybox-static initramfs made here. The guest sees this
machine's root file system read-only over 9p with a tmpfs overlay on top, so the build tree and
its libraries run inside unchanged, and nothing the guest does reaches this machine's files. Raw
stick images are attached as usb-storage devices (removable=on) on a qemu-xhci controller with
-blockdev backends, so a stick can be unplugged (QMP device_del) and plugged back.

One boot runs one shell script as root (pid 1's child). Its output comes back on the serial
console. The script asks for a pull with `guest_unplug NAME` and for the stick back with
`guest_plug NAME` (both return once the guest's kernel has seen it), and can make a stick
slow (`guest_throttle NAME READ_BPS WRITE_BPS`); the host can also unplug at
a time after the guest is up (Guest.run(unplug_at=...)).

Usable as a library (GuestVm) and from the command line:
    guest_vm.py [--stick NAME=IMAGE]... SCRIPT
"""

import argparse
import json
import lzma
import os
import pathlib
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time

MODULES = ["virtio_pci", "9pnet_virtio", "9p", "overlay", "xhci-pci", "usb-storage", "sd_mod", "vfat", "exfat",
           "nls_utf8", "nls_cp437", "nls_ascii", "nls_iso8859-1",
           "virtio_blk", "ext4", "crc32c_generic"]
BUSYBOX = pathlib.Path("/bin/busybox")
KERNEL_CACHE = pathlib.Path(os.environ.get("INSTALLER_GUEST_KERNEL_ROOT", "/var/cache/installer-guest/kernel"))
MARK = "@@guest"


class Unavailable(Exception):
    """What a guest needs is not on this machine (the reason is the message)."""


def find_kernel():
    """(vmlinuz, modules folder) of an amd64 kernel from /boot, or from the extracted package."""
    for root in (pathlib.Path("/"), KERNEL_CACHE):
        for image in sorted((root / "boot").glob("vmlinuz-*-amd64"), reverse=True):
            version = image.name[len("vmlinuz-"):]
            modules = root / "lib" / "modules" / version
            if (modules / "kernel").is_dir():
                return image, modules
    raise Unavailable("no linux-image-amd64 in /boot or " + str(KERNEL_CACHE) + " (scripts/deps.sh puts one there)")


def check_available():
    if shutil.which("qemu-system-x86_64") is None:
        raise Unavailable("qemu-system-x86_64 is not installed (Debian package qemu-system-x86)")
    if not BUSYBOX.is_file():
        raise Unavailable("/bin/busybox is not installed (Debian package busybox-static)")
    return find_kernel()


def uncompressed_kernel(vmlinuz, cache):
    """The ELF inside a bzImage: the xz stream that starts at its magic, decompressed once."""
    target = cache / (vmlinuz.name + ".elf")
    if target.is_file() and target.stat().st_mtime >= vmlinuz.stat().st_mtime:
        return target
    data = vmlinuz.read_bytes()
    start = data.find(b"\xfd7zXZ\x00")
    if start < 0:
        raise Unavailable(str(vmlinuz) + " holds no xz-compressed kernel")
    elf = lzma.LZMADecompressor().decompress(data[start:])
    partial = target.with_suffix(".part")
    partial.write_bytes(elf)
    partial.rename(target)
    return target


def module_depends(path):
    """The modules a .ko needs, from its modinfo's depends= string (no depmod needed)."""
    data = path.read_bytes()
    at = data.find(b"\0depends=")
    if at < 0:
        return []
    value = data[at + len(b"\0depends="):data.index(b"\0", at + 1)].decode()
    return [name for name in value.split(",") if name]


def module_order(modules_dir, wanted):
    """The .ko paths (relative to modules_dir) for `wanted` and what they need, needs first."""
    by_name = {p.name.split(".ko")[0].replace("-", "_"): p for p in (modules_dir / "kernel").rglob("*.ko")}
    order = []

    def add(name):
        key = name.replace("-", "_")
        if key not in by_name:
            raise Unavailable("the guest kernel has no module " + name)
        path = by_name[key]
        if path in order:
            return
        for dependency in module_depends(path):
            add(dependency)
        order.append(path)

    for name in wanted:
        add(name)
    return [p.relative_to(modules_dir) for p in order]


class Cpio:
    """A newc archive of a few files, written by hand so no cpio binary is needed."""

    def __init__(self):
        self.parts = []
        self.inode = 1

    def add(self, name, mode, data=b""):
        self.inode += 1
        fields = [self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
        header = b"070701" + b"".join(b"%08x" % f for f in fields)
        self.parts.append(header + name.encode() + b"\0")
        self.pad()
        self.parts.append(data)
        self.pad()

    def pad(self):
        size = sum(len(p) for p in self.parts)
        self.parts.append(b"\0" * (-size % 4))

    def folder(self, name):
        self.add(name, stat.S_IFDIR | 0o755)

    def file(self, name, data, mode=0o644):
        self.add(name, stat.S_IFREG | mode, data)

    def bytes(self):
        self.add("TRAILER!!!", 0)
        return b"".join(self.parts)


INIT = r"""#!/bin/busybox sh
B=/bin/busybox
$B mkdir -p /proc /sys /dev /lower /upper /newroot
$B mount -t proc proc /proc
$B mount -t sysfs sysfs /sys
$B mount -t devtmpfs devtmpfs /dev
for m in $($B cat /modules.order); do $B insmod /lib/modules/$m || echo "guest init: insmod $m failed"; done
$B mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose root /lower || $B poweroff -f
$B mount -t tmpfs -o size=3g,mode=0755 upper /upper
$B mkdir /upper/data /upper/work
$B mount -t overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work overlay /newroot || $B poweroff -f
stage=$($B sed -n 's/.*guest\.stage=\([^ ]*\).*/\1/p' /proc/cmdline)
for d in proc sys dev; do $B mount --move /$d /newroot/$d; done
$B mount -t tmpfs -o mode=0755 run /newroot/run
$B mkdir /newroot/run/upper
$B mount --move /upper /newroot/run/upper
exec $B switch_root /newroot /bin/sh "$stage"
"""

STAGE = r"""#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM=dumb
mkdir -p /dev/shm /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t devpts devpts /dev/pts
busybox ip link set lo up
busybox hostname guest
echo "@@guest ready"
/bin/sh {script} </dev/null
echo "@@guest exit $?"
sync
busybox poweroff -f
"""

HELPERS = r"""# Helpers for guest scripts (prepended by the guest harness).
guest_stick_disk() {  # the sdX of the stick whose USB serial is $1, or nothing
    for b in /sys/block/sd*; do
        [ -e "$b" ] || continue
        d=$(readlink -f "$b/device")
        while [ "$d" != / ] && [ ! -f "$d/serial" ]; do d=${d%/*}; [ -n "$d" ] || d=/; done
        [ -f "$d/serial" ] && [ "$(cat "$d/serial")" = "$1" ] && { echo "${b##*/}"; return 0; }
    done
    return 1
}
guest_wait_stick() {  # waits up to 30 s for stick $1's disk (and its partitions) to appear
    i=0
    while [ $i -lt 300 ]; do
        disk=$(guest_stick_disk "$1") && [ -e "/dev/$disk" ] && { echo "$disk"; return 0; }
        sleep 0.1; i=$((i + 1))
    done
    return 1
}
guest_unplug() {  # pulls stick $1 and waits until its disk has left
    disk=$(guest_stick_disk "$1")
    echo "@@guest unplug $1" >/dev/ttyS0
    while [ -n "$disk" ] && [ -e "/sys/block/$disk" ]; do sleep 0.02; done
}
guest_throttle() {  # stick $1 reads at most $2 and writes at most $3 bytes a second (0: no limit)
    echo "@@guest throttle $1 $2 $3" >/dev/ttyS0
    sleep 0.5
}
guest_plug() {  # plugs stick $1 back in and prints its disk
    echo "@@guest plug $1" >/dev/ttyS0
    guest_wait_stick "$1"
}
"""


class Qmp:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        for _ in range(200):
            try:
                self.sock.connect(str(path))
                break
            except OSError:
                time.sleep(0.05)
        else:
            raise RuntimeError("QEMU's QMP socket did not open")
        self.reader = self.sock.makefile("r")
        self.lock = threading.Lock()
        json.loads(self.reader.readline())
        self.command("qmp_capabilities")

    def command(self, name, **arguments):
        with self.lock:
            self.sock.sendall(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
            while True:
                reply = json.loads(self.reader.readline())
                if "return" in reply:
                    return reply["return"]
                if "error" in reply:
                    raise RuntimeError(name + ": " + reply["error"]["desc"])

    def close(self):
        self.sock.close()


class GuestResult:
    def __init__(self, exit_code, output, events):
        self.exit_code = exit_code
        self.output = output  # everything the script printed, the console's lines
        self.events = events  # (seconds after ready, "unplug NAME" / "plug NAME")


class GuestVm:
    def __init__(self, workdir, sticks=(), disks=(), memory_mb=1536, cpus=2):
        self.workdir = pathlib.Path(workdir)
        self.workdir.mkdir(parents=True, exist_ok=True)
        self.sticks = dict(sticks)  # name -> raw image path
        self.disks = list(disks)  # raw images attached as fixed virtio disks (/dev/vda, ...)
        self.memory_mb = memory_mb
        self.cpus = cpus

    def prepare(self):
        vmlinuz, modules = check_available()
        kernel = uncompressed_kernel(vmlinuz, self.workdir)
        initrd = self.workdir / "initramfs.cpio"
        if not getattr(self, "_initrd_made", False):
            archive = Cpio()
            for name in ("bin", "lib", "lib/modules"):
                archive.folder(name)
            archive.file("bin/busybox", BUSYBOX.read_bytes(), 0o755)
            order = module_order(modules, MODULES)
            for path in order:
                archive.file("lib/modules/" + pathlib.Path(path).name, (modules / path).read_bytes())
            archive.file("modules.order", "\n".join(pathlib.Path(p).name for p in order).encode())
            archive.file("init", INIT.encode(), 0o755)
            initrd.write_bytes(archive.bytes())
            self._initrd_made = True
        return kernel, initrd

    def _device(self, name):
        return {"driver": "usb-storage", "bus": "xhci.0", "drive": name, "id": name + "-usb", "serial": name,
                "removable": True}

    def run(self, script, timeout=300, unplug_at=(), echo=False):
        """Runs `script` (shell text) inside a fresh boot; unplug_at: (seconds after ready, stick)."""
        kernel, initrd = self.prepare()
        run_dir = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=self.workdir))
        (run_dir / "script.sh").write_text(HELPERS + "\n" + script)
        (run_dir / "stage.sh").write_text(STAGE.replace("{script}", str(run_dir / "script.sh")))
        qmp_path = run_dir / "qmp.sock"
        command = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-smp", str(self.cpus),
                   "-m", str(self.memory_mb), "-display", "none", "-no-reboot", "-monitor", "none",
                   "-serial", "stdio", "-kernel", str(kernel), "-initrd", str(initrd),
                   "-append", "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init guest.stage=" +
                   str(run_dir / "stage.sh"),
                   "-virtfs", "local,path=/,mount_tag=root,readonly=on,security_model=none,multidevs=remap",
                   "-device", "qemu-xhci,id=xhci", "-qmp", "unix:" + str(qmp_path) + ",server=on,wait=off"]
        for image in self.disks:
            command += ["-drive", f"file={image},if=virtio,format=raw,cache=unsafe"]
        for name, image in self.sticks.items():
            # A throttle node on top, so a script can make the stick slow (guest_throttle).
            command += ["-object", f"throttle-group,id={name}-limits"]
            command += ["-blockdev", json.dumps({"driver": "throttle", "node-name": name,
                                                 "throttle-group": name + "-limits", "file": {
                                                     "driver": "raw", "file": {"driver": "file",
                                                                               "filename": str(image)}}})]
            command += ["-device", ",".join(f"{k}={'on' if v is True else v}" for k, v in self._device(name).items())]
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        qmp = Qmp(qmp_path)
        output, events, state = [], [], {"ready": None, "exit": None}
        timers = []

        def unplug(name):
            events.append((time.monotonic() - (state["ready"] or time.monotonic()), "unplug " + name))
            qmp.command("device_del", id=name + "-usb")

        def plug(name):
            events.append((time.monotonic() - (state["ready"] or time.monotonic()), "plug " + name))
            qmp.command("device_add", **self._device(name))

        started = time.monotonic()
        deadline = threading.Timer(timeout, process.kill)
        deadline.start()
        try:
            for raw in process.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\r\n")
                if echo:
                    print(f"[{time.monotonic() - started:6.1f}] {line}", flush=True)
                if line.startswith(MARK + " "):
                    what = line[len(MARK) + 1:].split()
                    if what[0] == "ready":
                        state["ready"] = time.monotonic()
                        for seconds, name in unplug_at:
                            timer = threading.Timer(seconds, unplug, (name,))
                            timer.start()
                            timers.append(timer)
                    elif what[0] == "exit":
                        state["exit"] = int(what[1])
                    elif what[0] == "unplug":
                        unplug(what[1])
                    elif what[0] == "plug":
                        plug(what[1])
                    elif what[0] == "throttle":
                        qmp.command("qom-set", path=what[1] + "-limits", property="limits",
                                    value={"bps-read": int(what[2]), "bps-write": int(what[3])})
                    continue
                if state["ready"] is not None and state["exit"] is None:
                    output.append(line)
                elif state["ready"] is None:
                    output.append(line)  # the boot's lines, kept for a guest that never came up
            process.wait()
        finally:
            deadline.cancel()
            for timer in timers:
                timer.cancel()
            if process.poll() is None:
                process.kill()
                process.wait()
            qmp.close()
            shutil.rmtree(run_dir, ignore_errors=True)
        if state["exit"] is None:
            raise RuntimeError("the guest did not finish its script:\n" + "\n".join(output[-60:]))
        return GuestResult(state["exit"], "\n".join(output), events)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stick", action="append", default=[], help="NAME=IMAGE")
    parser.add_argument("--workdir", default=os.path.join(tempfile.gettempdir(), "installer-guest"))
    parser.add_argument("script")
    arguments = parser.parse_args()
    sticks = [tuple(s.split("=", 1)) for s in arguments.stick]
    try:
        result = GuestVm(arguments.workdir, sticks).run(pathlib.Path(arguments.script).read_text(), echo=True)
    except Unavailable as reason:
        print("guest unavailable: " + str(reason), file=sys.stderr)
        return 77
    return result.exit_code


if __name__ == "__main__":
    sys.exit(main())
