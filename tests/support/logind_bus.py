#!/usr/bin/python3
"""A private D-Bus system bus with a logind stand-in on it (python3-dbusmock's logind template).

Prints "address ADDRESS" once the bus is ready; point DBUS_SYSTEM_BUS_ADDRESS at it. --log FILE
receives one line "inhibit WHAT WHO WHY MODE" for each Inhibit call and "held N" whenever the
number of inhibitors held changes (an inhibitor goes when its descriptor is closed). Ends when
standard input closes or after --lifetime seconds.
"""

import argparse
import os
import subprocess
import threading
import time

import dbus
from dbusmock import DBusTestCase

from script_lifetime import wait_for_end


def watch(bus, log_path, stopping):
    manager = dbus.Interface(bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1"),
                             "org.freedesktop.login1.Manager")
    mock = dbus.Interface(bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1"),
                          "org.freedesktop.DBus.Mock")
    seen_calls = 0
    held = 0
    while not stopping.is_set():
        calls = [c for c in mock.GetCalls() if c[1] == "Inhibit"]
        inhibitors = len(manager.ListInhibitors())
        with open(log_path, "a", encoding="utf-8") as log:
            for call in calls[seen_calls:]:
                log.write("inhibit %s\n" % " ".join(str(a) for a in call[2]))
            if inhibitors != held:
                log.write("held %d\n" % inhibitors)
        seen_calls, held = len(calls), inhibitors
        time.sleep(0.02)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--log", required=True)
    parser.add_argument("--lifetime", type=float, default=300.0)
    options = parser.parse_args()

    DBusTestCase.start_system_bus()
    stand_in, _ = DBusTestCase.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL, system_bus=True)
    stopping = threading.Event()
    watcher = threading.Thread(target=watch, args=(DBusTestCase.get_dbus(system_bus=True), options.log, stopping),
                               daemon=True)
    watcher.start()
    try:
        print("address", os.environ["DBUS_SYSTEM_BUS_ADDRESS"], flush=True)
        wait_for_end(options.lifetime)
    finally:
        stopping.set()
        watcher.join(timeout=1)
        stand_in.terminate()
        stand_in.wait()
        DBusTestCase.tearDownClass()


if __name__ == "__main__":
    main()
