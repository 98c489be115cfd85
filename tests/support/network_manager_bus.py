#!/usr/bin/python3
"""A private D-Bus system bus for tests, with a NetworkManager stand-in on it when --state is
given (python3-dbusmock's networkmanager template, global state NMState).

Prints "address ADDRESS" once the bus (and NetworkManager) is ready; point
DBUS_SYSTEM_BUS_ADDRESS at it. Ends, taking the bus down, when standard input closes or after
--lifetime seconds. Run it with Debian's /usr/bin/python3, which sees python3-dbusmock.
"""

import argparse
import os
import subprocess

import dbus
from dbusmock import DBusTestCase

from script_lifetime import wait_for_end


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state", type=int, help="NetworkManager's State; none: no NetworkManager")
    parser.add_argument("--lifetime", type=float, default=300.0)
    options = parser.parse_args()

    DBusTestCase.start_system_bus()
    stand_in = None
    try:
        if options.state is not None:
            stand_in, _ = DBusTestCase.spawn_server_template(
                "networkmanager", {"State": dbus.UInt32(options.state)},
                stdout=subprocess.DEVNULL, system_bus=True)
        print("address", os.environ["DBUS_SYSTEM_BUS_ADDRESS"], flush=True)
        wait_for_end(options.lifetime)
    finally:
        if stand_in is not None:
            stand_in.terminate()
            stand_in.wait()
        DBusTestCase.tearDownClass()


if __name__ == "__main__":
    main()
