#!/usr/bin/env python3
"""A logging web proxy on 127.0.0.1; prints "port N" when ready, ends when stdin closes.

Every request line is appended to --log as it arrived. CONNECT HOST:PORT opens a tunnel, with
--map NAME=ADDRESS (repeatable) making NAME reach ADDRESS, so that a server can have a name only
the proxy knows; any other request is answered by the proxy itself with 200 "ok". With --ask-password every
request, CONNECT included, is answered 407 with a short page.
"""

import argparse
import socket
import socketserver
import threading

from script_lifetime import wait_for_end


def pump(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
        target.shutdown(socket.SHUT_WR)
    except OSError:
        pass


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        request = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
        while self.rfile.readline(65536) not in (b"\r\n", b"\n", b""):
            pass
        with open(options.log, "a") as log:
            log.write(request + "\n")
        method, target, _ = request.split(" ", 2)
        if options.ask_password:
            page = b"<html><body>407 Proxy Authentication Required</body></html>\n"
            self.wfile.write(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                             b"Proxy-Authenticate: Basic realm=\"school\"\r\n"
                             b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(page) + page)
            return
        if method != "CONNECT":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")
            return
        host, _, port = target.rpartition(":")
        upstream = socket.create_connection((options.map.get(host, host), int(port)))
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        threading.Thread(target=pump, args=(upstream, self.connection), daemon=True).start()
        pump(self.connection, upstream)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True


parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--log", required=True)
parser.add_argument("--map", action="append", default=[])
parser.add_argument("--ask-password", action="store_true")
options = parser.parse_args()
options.map = dict(entry.split("=", 1) for entry in options.map)
server = Server(("127.0.0.1", 0), Handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
print("port %d" % server.server_address[1], flush=True)
wait_for_end(600.0)
