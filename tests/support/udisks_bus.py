#!/usr/bin/python3
"""A private D-Bus system bus with a udisks2 stand-in on it (python3-dbusmock): two block
devices, one with a file system mounted at / and one mounted at --mount-point on a drive of its
own. Every Unmount and PowerOff is appended to --call-log as "METHOD OBJECT".

Prints "address ADDRESS" once ready; point DBUS_SYSTEM_BUS_ADDRESS at it. Ends, taking the bus
down, when standard input closes or after --lifetime seconds. Run it with Debian's
/usr/bin/python3, which sees python3-dbusmock.
"""

import argparse
import os
import subprocess
import sys

import dbus
from dbusmock import DBusTestCase

from script_lifetime import wait_for_end

SERVICE = "org.freedesktop.UDisks2"
ROOT = "/org/freedesktop/UDisks2"
MOCK = "org.freedesktop.DBus.Mock"


def logging_method(name, call_log, path):
    """A method taking udisks2's options that only appends itself to the call log."""
    line = f"{name} {path}\n"
    return (name, "a{sv}", "", f"open({call_log!r}, 'a').write({line!r})")


def add_block(bus, call_log, name, mount_point, drive):
    path = f"{ROOT}/block_devices/{name}"
    bus.get_object(SERVICE, ROOT).AddObject(
        path, "org.freedesktop.UDisks2.Block", {"Drive": dbus.ObjectPath(drive)}, [], dbus_interface=MOCK)
    points = dbus.Array([dbus.ByteArray(mount_point.encode() + b"\0")], signature="ay")
    block = bus.get_object(SERVICE, path)
    block.AddProperties("org.freedesktop.UDisks2.Filesystem", {"MountPoints": points}, dbus_interface=MOCK)
    block.AddMethod("org.freedesktop.UDisks2.Filesystem", *logging_method("Unmount", call_log, path),
                    dbus_interface=MOCK)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mount-point", required=True)
    parser.add_argument("--call-log", required=True)
    parser.add_argument("--lifetime", type=float, default=300.0)
    options = parser.parse_args()

    DBusTestCase.start_system_bus()
    stand_in = subprocess.Popen(  # pylint: disable=consider-using-with
        [sys.executable, "-m", "dbusmock", "--system", "--is-object-manager", SERVICE, ROOT,
         "org.freedesktop.UDisks2.Manager"], stdout=subprocess.DEVNULL)
    try:
        DBusTestCase.wait_for_bus_object(SERVICE, ROOT, system_bus=True)
        bus = dbus.SystemBus()
        drive = f"{ROOT}/drives/Stick"
        bus.get_object(SERVICE, ROOT).AddObject(
            drive, "org.freedesktop.UDisks2.Drive", {}, [logging_method("PowerOff", options.call_log, drive)],
            dbus_interface=MOCK)
        add_block(bus, options.call_log, "sda1", "/", "/")
        add_block(bus, options.call_log, "sdb1", options.mount_point, drive)
        print("address", os.environ["DBUS_SYSTEM_BUS_ADDRESS"], flush=True)
        wait_for_end(options.lifetime)
    finally:
        stand_in.terminate()
        stand_in.wait()
        DBusTestCase.tearDownClass()


if __name__ == "__main__":
    main()
