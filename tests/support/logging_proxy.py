#!/usr/bin/env python3
"""A logging web proxy on loopback for the network client's tests.

Listens on 127.0.0.1 on a free port and prints "port N" once it is ready; ends when its
standard input closes or after --lifetime seconds.

CONNECT HOST:PORT opens a tunnel; a request with an absolute URL ("GET http://HOST:PORT/PATH")
is forwarded as one request (the answer is relayed until the server closes). Each request line
is appended to --log as it arrived ("CONNECT package.test:4430 HTTP/1.1"). --map NAME=ADDRESS
(repeatable) makes NAME reach ADDRESS, so a test's server can have a name only the proxy knows.
"""

import argparse
import socket
import socketserver
import threading
import urllib.parse

from script_lifetime import wait_for_end

options = None
log_lock = threading.Lock()


def relay(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    try:
        target.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def connect(host, port):
    return socket.create_connection((options.map.get(host, host), port), timeout=10)


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        request_line = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
        headers = []
        while True:
            line = self.rfile.readline(65536)
            if line in (b"\r\n", b"\n", b""):
                break
            headers.append(line)
        with log_lock, open(options.log, "a") as log:
            log.write(request_line + "\n")
        method, target, version = request_line.split(" ", 2)
        if method == "CONNECT":
            host, _, port = target.rpartition(":")
            upstream = connect(host, int(port))
            self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self.wfile.flush()
            upstream.settimeout(None)
            threading.Thread(target=relay, args=(upstream, self.connection), daemon=True).start()
            relay(self.connection, upstream)
            return
        url = urllib.parse.urlsplit(target)
        upstream = connect(url.hostname, url.port or 80)
        path = url.path or "/"
        if url.query:
            path += "?" + url.query
        kept = [h for h in headers if not h.lower().startswith((b"proxy-", b"connection:"))]
        upstream.sendall(("%s %s %s\r\n" % (method, path, version)).encode("latin-1") + b"".join(kept) +
                         b"Connection: close\r\n\r\n")
        upstream.settimeout(None)
        relay(upstream, self.connection)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--log", required=True)
    parser.add_argument("--map", action="append", default=[])
    parser.add_argument("--lifetime", type=float, default=600.0)
    global options
    options = parser.parse_args()
    options.map = dict(entry.split("=", 1) for entry in options.map)
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("port %d" % server.server_address[1], flush=True)
    wait_for_end(options.lifetime)


if __name__ == "__main__":
    main()
