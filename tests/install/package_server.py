#!/usr/bin/python3
"""Serves the files of one folder over HTTP on 127.0.0.1, for the download window's tests.

usage: package_server.py FOLDER

Every file is sent with its Content-Length, as cloud storage sends a package archive; a
missing file is a 404. Prints "port N" once it listens, and ends when its standard input
closes (the test that started it ended) or after --lifetime seconds.
"""

import argparse
import functools
import http.server
import os
import select
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # noqa: A002 - quiet server
        pass


def wait_for_end(lifetime):
    remaining = lifetime
    while remaining > 0:
        ready, _, _ = select.select([sys.stdin], [], [], min(remaining, 1.0))
        remaining -= 1.0
        if ready and not os.read(sys.stdin.fileno(), 4096):
            return


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--lifetime", type=float, default=600.0)
    options = parser.parse_args()

    handler = functools.partial(Handler, directory=options.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("port %d" % server.server_address[1], flush=True)
    wait_for_end(options.lifetime)
    os._exit(0)


if __name__ == "__main__":
    main()
