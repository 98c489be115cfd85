#!/usr/bin/env python3
"""Loopback HTTP(S) server for the network client's tests and benchmarks.

Listens on 127.0.0.1 on a free port and prints "port N" once it is ready. It ends when its
standard input closes (the test that started it ended) or after --lifetime seconds.

Modes:
  serve      answer the routes below (the default)
  silent     accept connections and never answer
  no-accept  listen but never accept, with the accept queue full, so connecting hangs

Routes of the serve mode (GET and HEAD):
  /                 200 "ok"
  /file/N           N bytes of the test pattern with Content-Length
  /chunked/N        N bytes of the pattern, chunked, without Content-Length
  /status/CODE      that status with a short body
  /redirect         302 to /file/100 with a short body
  /drop/N           Content-Length N, half of the body, then the connection is closed
  /stall/N          Content-Length N, 16 bytes of the body, then nothing until the server ends
  /setup/NAME       the file NAME (percent-decoded) of the --files folder (404 with a short
                    body when missing);
                    --head-length N or "none" changes what HEAD reports for it, --rate B sends
                    its body at about B bytes a second, --head-delay S answers its HEAD
                    after S seconds, --first-byte-delay S holds every GET's answer back
                    until S seconds after the first GET (a cache filling once), --repr-digest V sends "Repr-Digest: V" with every GET,
                    --missing-without-length answers HEAD for a missing file with 404 and
                    no length (GET with 404 and a short body), --lying-part N answers a GET
                    without Range with 206 and its first N bytes, --chunked-parts sends 206
                    answers chunked, without Content-Length; --cut-at B ends every answer's
                    body at byte B of the file and closes the connection.
                    It sends an ETag ("SIZE-MTIME_NS" of the file, or --etag) and answers
                    "Range: bytes=N-" and "bytes=N-M" with 206 and Content-Range unless
                    --no-range is given or an If-Range names another ETag; --drop-after B
                    closes the connection after B bytes of the body of each of the first
                    --drops K (default 1) GETs that ask for no range or an open one;
                    --whole-on-resume answers "bytes=N-" with the whole file (200);
                    --swap-after-range FILE serves FILE's bytes under the name once a
                    "bytes=N-M" range was answered (the package changed on the server)

--sent-log FILE appends the number of body bytes each answer of /setup/ sent.

--request-log FILE appends "METHOD PATH" for every request, the path as it arrived, followed by
" bytes=N-" when the request asked for a range.

The pattern byte at offset i is ((i % 251) * 31 + 7) % 256.

--tls-dir DIR makes a CA (DIR/ca.pem) and a server certificate with openssl and serves HTTPS.
The certificate names 127.0.0.1 and localhost, or only --tls-host when that is given.
"""

import argparse
import http.server
import os
import socket
import socketserver
import ssl
import subprocess
import threading
import time
import urllib.parse

from script_lifetime import wait_for_end

PATTERN_PERIOD = 251
# About 1 MiB, a whole number of pattern periods, so that consecutive sends continue the pattern.
PATTERN_BLOCK = bytes(((i % PATTERN_PERIOD) * 31 + 7) % 256 for i in range(PATTERN_PERIOD * 4177))
STALL_PREFIX_BYTES = 16

stopping = threading.Event()
swapped = threading.Event()
log_lock = threading.Lock()
cache_filled_at = None  # --first-byte-delay: when the first GET's wait ends


def cache_filled_in():
    """Seconds until the cache that --first-byte-delay stands for has filled; the first GET
    starts the filling."""
    global cache_filled_at
    with log_lock:
        if cache_filled_at is None:
            cache_filled_at = time.monotonic() + options.first_byte_delay
        return max(0.0, cache_filled_at - time.monotonic())
options = None
drops_left = 0


def pattern_chunks(length):
    """The first `length` bytes of the pattern, in blocks."""
    view = memoryview(PATTERN_BLOCK)
    while length > 0:
        count = min(length, len(PATTERN_BLOCK))
        yield view[:count]
        length -= count


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):  # noqa: A002 - quiet server
        pass

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_GET(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        if options.request_log:
            with log_lock, open(options.request_log, "a", encoding="utf-8") as log:
                asked = self.headers.get("Range")
                log.write("%s %s%s\n" % (self.command, self.path, " " + asked if asked else ""))
        parts = self.path.split("?", 1)[0].strip("/").split("/")
        route, argument = parts[0], (parts[1] if len(parts) > 1 else "")
        try:
            if route == "":
                self.small(200, b"ok\n", send_body)
            elif route == "file":
                self.fixed_length(int(argument), send_body)
            elif route == "chunked":
                self.chunked(int(argument), send_body)
            elif route == "status":
                code = int(argument)
                self.small(code, ("status %d\n" % code).encode(), send_body)
            elif route == "redirect":
                self.small(302, b"moved\n", send_body, [("Location", "/file/100")])
            elif route == "drop":
                self.drop(int(argument), send_body)
            elif route == "stall":
                self.stall(int(argument), send_body)
            elif route == "setup" and options.files:
                self.setup_file(argument, send_body)
            else:
                self.small(404, b"Not Found\n", send_body)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True

    def small(self, code, body, send_body, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def fixed_length(self, length, send_body):
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Content-Length", str(length))
        self.end_headers()
        if send_body:
            for chunk in pattern_chunks(length):
                self.wfile.write(chunk)

    def chunked(self, length, send_body):
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if send_body:
            for chunk in pattern_chunks(length):
                self.wfile.write(b"%x\r\n" % len(chunk) + bytes(chunk) + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")

    def drop(self, length, send_body):
        self.send_response(200)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        if send_body:
            for chunk in pattern_chunks(length // 2):
                self.wfile.write(chunk)
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        self.close_connection = True

    def setup_file(self, name, send_body):
        name = urllib.parse.unquote(name)
        path = os.path.join(options.files, os.path.basename(name))
        if swapped.is_set() and send_body:
            path = options.swap_after_range
        if not name or not os.path.isfile(path):
            if options.missing_without_length and not send_body:
                self.send_response(404)
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                return
            self.small(404, b"<html><body>no such package</body></html>\n", send_body)
            return
        if send_body and options.first_byte_delay:
            stopping.wait(cache_filled_in())
        size = os.path.getsize(path)
        if not send_body and options.head_delay:
            stopping.wait(options.head_delay)
        etag = options.etag or '"%d-%d"' % (size, os.stat(path).st_mtime_ns)
        start, end = self.asked_range(etag, size)
        if send_body and start is None and options.lying_part:
            start, end = 0, min(options.lying_part, size)  # a part where the whole was asked for
        chunked = send_body and start is not None and options.chunked_parts
        self.send_response(200 if start is None else 206)
        self.send_header("Content-Type", "application/zip")
        self.send_header("ETag", etag)
        if send_body and options.repr_digest:
            self.send_header("Repr-Digest", options.repr_digest)
        if start is not None:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))
            self.send_header(*(("Transfer-Encoding", "chunked") if chunked else ("Content-Length", str(end - start))))
        elif send_body or options.head_length is None:
            self.send_header("Content-Length", str(size))
        elif options.head_length != "none":
            self.send_header("Content-Length", options.head_length)
        if not send_body and options.head_length == "none":
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if not send_body:
            return
        step = max(1, options.rate // 20) if options.rate else 1 << 20
        global drops_left
        asked = self.headers.get("Range", "")
        closed_range = asked.startswith("bytes=") and not asked.endswith("-")
        with log_lock:
            drop_after = options.drop_after if drops_left > 0 and not closed_range else None
            drops_left -= 1 if drop_after is not None else 0
        sent = 0
        left = (end if start is not None else size) - (start or 0)
        if options.cut_at is not None:
            # Like a cache holding the file's start from an older version: every answer ends
            # at the same byte of the file.
            left = max(0, min(left, options.cut_at - (start or 0)))
            drop_after = left
        with open(path, "rb") as body, SentLog(lambda: sent):
            body.seek(start or 0)
            while chunk := body.read(min(left - sent, step if drop_after is None else min(step, drop_after - sent))):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk) if chunked else chunk)
                sent += len(chunk)
                if drop_after is not None and sent >= drop_after:
                    self.wfile.flush()
                    self.connection.shutdown(socket.SHUT_RDWR)
                    self.close_connection = True
                    return
                if options.rate:
                    self.wfile.flush()
                    if stopping.wait(0.05):
                        break
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        if closed_range and options.swap_after_range:
            swapped.set()
        if options.cut_at is not None:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True

    def asked_range(self, etag, size):
        """(start, end) of a "bytes=N-" or "bytes=N-M" range the file answers, end exclusive, or
        (None, None) for the whole file."""
        asked = self.headers.get("Range", "")
        if options.no_range or not asked.startswith("bytes=") or "-" not in asked:
            return None, None
        if self.headers.get("If-Range", etag) != etag:
            return None, None
        if options.whole_on_resume and asked.endswith("-"):
            return None, None
        first, _, last = asked[len("bytes="):].partition("-")
        try:
            start = int(first)
            end = min(int(last) + 1, size) if last else size
        except ValueError:
            return None, None
        return (start, end) if 0 <= start < end else (None, None)

    def stall(self, length, send_body):
        self.send_response(200)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        if send_body:
            for chunk in pattern_chunks(min(length, STALL_PREFIX_BYTES)):
                self.wfile.write(chunk)
            self.wfile.flush()
            stopping.wait()
        self.close_connection = True


class SentLog:
    """Appends the count `sent()` gives to --sent-log when the body's sending ends."""

    def __init__(self, sent):
        self.sent = sent

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if options.sent_log:
            with log_lock, open(options.sent_log, "a", encoding="utf-8") as log:
                log.write("%d\n" % self.sent())
        return False


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False
    tls_context = None

    def get_request(self):
        connection, address = self.socket.accept()
        if self.tls_context is not None:
            # The handshake runs lazily in the handler's thread, so a client that never
            # completes it blocks nobody else.
            connection = self.tls_context.wrap_socket(
                connection, server_side=True, do_handshake_on_connect=False)
        return connection, address

    def handle_error(self, request, client_address):
        pass  # clients that give up (untrusted certificate, cancel) are part of the tests


def run_openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(directory, host):
    """A CA and a server certificate it signed; returns (certificate, key) of the server."""
    os.makedirs(directory, exist_ok=True)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run_openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                "-subj", "/CN=Installer Test CA",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)
    names = "DNS:" + host if host else "IP:127.0.0.1,DNS:localhost"
    with open(os.path.join(directory, "server.ext"), "w") as extensions:
        extensions.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\n"
                         "extendedKeyUsage=serverAuth\n" % names)
    run_openssl("req", *ec, "-keyout", "server.key", "-out", "server.csr",
                "-subj", "/CN=" + (host or "127.0.0.1"), cwd=directory)
    run_openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "server.pem", "-days", "2",
                "-extfile", "server.ext", cwd=directory)
    return os.path.join(directory, "server.pem"), os.path.join(directory, "server.key")


def silent_listener():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    held = []

    def accept_forever():
        while True:
            connection, _ = listener.accept()
            held.append(connection)  # kept open, never read, never answered

    threading.Thread(target=accept_forever, daemon=True).start()
    return listener, held


def full_listener():
    """A listening socket whose accept queue is full: further connection attempts hang."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    fillers = []
    for _ in range(2):
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.setblocking(False)
        filler.connect_ex(listener.getsockname())
        fillers.append(filler)
    return listener, fillers


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mode", choices=["serve", "silent", "no-accept"], default="serve")
    parser.add_argument("--tls-dir")
    parser.add_argument("--tls-host")
    parser.add_argument("--lifetime", type=float, default=600.0)
    parser.add_argument("--files")
    parser.add_argument("--head-length")
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--request-log")
    parser.add_argument("--head-delay", type=float, default=0.0)
    parser.add_argument("--etag")
    parser.add_argument("--no-range", action="store_true")
    parser.add_argument("--drop-after", type=int)
    parser.add_argument("--drops", type=int, default=1)
    parser.add_argument("--sent-log")
    parser.add_argument("--lying-part", type=int)
    parser.add_argument("--chunked-parts", action="store_true")
    parser.add_argument("--cut-at", type=int)
    parser.add_argument("--first-byte-delay", type=float, default=0.0)
    parser.add_argument("--repr-digest")
    parser.add_argument("--missing-without-length", action="store_true")
    parser.add_argument("--swap-after-range")
    parser.add_argument("--whole-on-resume", action="store_true")
    global options, drops_left
    options = parser.parse_args()
    drops_left = options.drops if options.drop_after else 0

    keep = None
    if options.mode == "silent":
        keep = silent_listener()
        port = keep[0].getsockname()[1]
    elif options.mode == "no-accept":
        keep = full_listener()
        port = keep[0].getsockname()[1]
    else:
        server = Server(("127.0.0.1", 0), Handler)
        if options.tls_dir:
            certificate, key = make_certificates(options.tls_dir, options.tls_host)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(certificate, key)
            server.tls_context = context
        port = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()

    print("port %d" % port, flush=True)
    wait_for_end(options.lifetime)
    stopping.set()
    os._exit(0)


if __name__ == "__main__":
    main()
