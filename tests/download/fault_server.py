"""A test HTTP server of our own, on 127.0.0.1, that serves generated files and injects faults.

Per test it can honour or ignore Range (and If-Range), stand in for a captive portal, cut 206
answers short, compress the body, tell a wrong total once, send, omit or change Last-Modified
(and an ETag) on every answer or name them on the probe only, leave out Content-Length (chunked
or close-delimited bodies), drop the connection, reset it or stall after a number of body bytes,
close connections before any answer, answer with a fixed status or an empty 200, answer 416
without Content-Range as Apache and lighttpd do, answer a range with a Content-Range that starts
elsewhere, gzip every body (with Content-Encoding), redirect paths elsewhere, speak TLS, and it
records every request's headers and the body bytes it sent. Given a folder (`root`), it also
serves that folder's files as they are on disk at each request.

Used by fetch_tests.py; run it alone to serve a file by hand:
    python3 fault_server.py --size 1000000 [--port 8080] [--ignore-range] [--chunked] ...
"""

import argparse
import email.utils
import gzip
import http.server
import os
import random
import socket
import ssl
import struct
import sys
import threading
import time
import zlib

FIXED_LAST_MODIFIED = "Tue, 01 Aug 2023 10:00:00 GMT"


class ServedFile:
    """A file's bytes, held in memory or made up on demand (for sizes beyond memory)."""

    def __init__(self, data=None, size=None):
        self.data = data
        self.size = len(data) if data is not None else size

    def read(self, start, end):
        """Bytes start..end-1."""
        if self.data is not None:
            return self.data[start:end]
        return pattern_bytes(start, end)


def pattern_bytes(start, end):
    """The made-up content of a large file: every byte depends on its offset, and the first
    two are "MZ", as a program's are."""
    data = bytes(((i * 31) ^ (i >> 11)) & 0xFF for i in range(start, end))
    if start < 2:
        head = b"MZ"[start:min(end, 2)]
        data = head + data[len(head):]
    return data


def random_bytes(size, seed):
    return random.Random(seed).randbytes(size)


class Behaviour:
    """What the server does; tests change the fields between runs."""

    def __init__(self):
        self.honour_range = True
        self.last_modified = FIXED_LAST_MODIFIED  # None: no Last-Modified header
        self.changing_last_modified = False  # a different value on every answer
        self.body = "length"  # "length", "chunked" or "close" (ends with the connection)
        self.close_after = None  # body bytes sent before the connection is dropped
        self.stall_after = None  # body bytes sent before the server stops sending
        self.status = None  # answer every request with this status (404, 500, 416)
        self.range_from_zero = False  # a 206 whose Content-Range starts at 0 whatever was asked
        self.probe_stall_after = None  # a one-byte range gets the whole file, stalling after n bytes
        self.gzip = False  # bodies gzip-compressed, with Content-Encoding: gzip
        self.probe_range_only = False  # Range honoured for the one-byte probe only
        self.faults_left = None  # answers that close_after and stall_after apply to; None: all
        self.portal = None  # bytes: every request gets this page, 200, no Last-Modified
        self.range_limit = None  # a 206 carries at most this many bytes (its range ends early)
        self.content_encoding = None  # "gzip": the body is sent compressed
        self.lies = []  # per request, in order: {"total": n} shown in a 206, or {"status": 416} with a "total" or none
        self.etag = False  # send an ETag made from the Last-Modified value
        self.version_on_probe_only = False  # Last-Modified and ETag only with one-byte ranges
        self.honour_if_range = True  # If-Range that names another version gets the whole file
        self.bare_416 = False  # a 416 past the end names no size (Apache, lighttpd)
        self.reset_after = None  # body bytes sent before the connection is reset (RST)
        self.drop_requests = set()  # numbers (from 0) of requests whose connection closes before any answer
        self.content_type = None  # the Content-Type of files (none unless set)
        self.later_last_modified = None  # Last-Modified of every answer but the probe's: a file changed meanwhile
        self.empty_answers = 0  # file requests answered "200, Content-Length: 0"
        self.range_unit = "bytes"  # the unit a Content-Range names (letter case is free)
        self.extra_headers = {}  # more headers for every file answer, replacing those of the same name


class FaultServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port=0, root=None, tls=None):
        """tls: (certificate file, key file) to speak HTTPS, addressed as localhost."""
        super().__init__(("127.0.0.1", port), Handler)
        self.scheme = "http"
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self.socket = context.wrap_socket(self.socket, server_side=True)
            self.scheme = "https"
        self.files = {}
        self.redirects = {}  # path -> where a 302 sends it
        self.root = root
        self.behaviour = Behaviour()
        self.requests = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.answers = 0
        self.thread = None

    @property
    def port(self):
        return self.server_address[1]

    def url(self, path):
        # Wine's TLS refuses certificates for IP addresses: a secure server goes by its name.
        host = "localhost" if self.scheme == "https" else "127.0.0.1"
        return "%s://%s:%d%s" % (self.scheme, host, self.port, path)

    def start(self):
        self.thread = threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
        self.thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()
        self.thread.join(5)

    def handle_error(self, request, client_address):
        # Clients that drop a connection are part of the tests.
        if not isinstance(sys.exc_info()[1], OSError):
            super().handle_error(request, client_address)

    def reset(self):
        with self.lock:
            self.behaviour = Behaviour()
            self.requests = []

    def recorded(self):
        with self.lock:
            return list(self.requests)

    def next_last_modified(self):
        with self.lock:
            self.answers += 1
            if self.behaviour.changing_last_modified:
                return email.utils.formatdate(1700000000 + self.answers, usegmt=True)
            return self.behaviour.last_modified


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        b = server.behaviour
        record = {"path": self.path, "headers": dict(self.headers.items()),
                  "range": self.headers.get("Range"), "status": None, "body_sent": 0}
        with server.lock:
            number = len(server.requests)
            server.requests.append(record)
        if self.path.split("?")[0] in server.redirects:
            record["status"] = 302
            self.send_response(302)
            self.send_header("Location", server.redirects[self.path.split("?")[0]])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        served = server.files.get(self.path.split("?")[0]) or self.from_root()
        probe_request = self.headers.get("Range") == "bytes=0-0"
        with server.lock:
            lie = b.lies.pop(0) if b.lies else {}
            faulty = b.faults_left is None or b.faults_left > 0
            if b.faults_left and served is not None and not probe_request:
                b.faults_left -= 1
            drop = number in b.drop_requests
            empty = b.empty_answers > 0 and not probe_request and served is not None
            if empty:
                b.empty_answers -= 1
        if drop:
            record["status"] = "dropped"
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if empty:
            record["status"] = 200
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if b.portal is not None:
            self.answer_portal(record, b.portal)
            return
        if lie.get("status") == 416:
            self.answer_416(record, lie.get("total"))
            return
        if b.status is not None or served is None:
            self.answer_without_body(record, b.status or 404, served)
            return
        size = served.size
        first, last = parse_range(self.headers.get("Range"), size)
        probe = first == 0 and last == 0
        stamp = server.next_last_modified()
        if b.later_last_modified and not probe:
            stamp = b.later_last_modified
        etag = '"%08x"' % zlib.crc32(stamp.encode()) if stamp and b.etag else None
        if_range = self.headers.get("If-Range")
        if if_range and b.honour_if_range and if_range not in (stamp, etag):
            first, last = None, None  # another version: the whole file
        stall_after = b.stall_after if faulty else None
        close_after = b.close_after if faulty else None
        if probe and b.probe_stall_after is not None:
            first, last, stall_after = None, None, b.probe_stall_after
        elif not b.honour_range or (b.probe_range_only and not probe):
            first, last = None, None
        if first is not None and first >= size:
            self.answer_without_body(record, 416, None if b.bare_416 else served)
            return
        headers = {"Accept-Ranges": "bytes"}
        if b.content_type:
            headers["Content-Type"] = b.content_type
        if first is None:
            status, start, end = 200, 0, size
        else:
            status, start, end = 206, first, min(last + 1, size)
            shown = 0 if b.range_from_zero else start
            if b.range_from_zero:
                end = size
            if b.range_limit is not None:
                end = min(end, start + b.range_limit)
            headers["Content-Range"] = "%s %d-%d/%d" % (b.range_unit, shown, shown + (end - start) - 1,
                                                        lie.get("total", size))
        if not (b.version_on_probe_only and not probe):
            if stamp:
                headers["Last-Modified"] = stamp
            if etag:
                headers["ETag"] = etag
        headers.update(b.extra_headers)
        record["status"] = status
        if b.content_encoding == "gzip":
            self.answer_compressed(record, status, headers, gzip.compress(served.read(start, end)))
            return
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        if b.gzip:
            body = gzip.compress(served.read(start, end))
            self.send_header("Content-Encoding", "gzip")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            record["body_sent"] = len(body)
            return
        if b.body == "length":
            self.send_header("Content-Length", str(end - start))
        elif b.body == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        reset_after = b.reset_after if faulty else None
        self.send_body(record, served, start, end, b.body == "chunked", close_after, stall_after, reset_after)

    def answer_portal(self, record, page):
        record["status"] = 200
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)
        record["body_sent"] = len(page)

    def answer_416(self, record, total):
        record["status"] = 416
        self.send_response(416)
        if total is not None:
            self.send_header("Content-Range", "bytes */%d" % total)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def answer_compressed(self, record, status, headers, body):
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        record["body_sent"] = len(body)

    def from_root(self):
        """The file of the root folder that the path names, or None."""
        name = self.path.split("?")[0].lstrip("/")
        if not self.server.root or not name or "/" in name or name.startswith("."):
            return None
        try:
            with open(os.path.join(self.server.root, name), "rb") as f:
                return ServedFile(f.read())
        except OSError:
            return None

    def answer_without_body(self, record, status, served):
        record["status"] = status
        # A page, as real servers send with their errors: only a file's bytes are judged.
        text = b"<html><body>no</body></html>\n"
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        if status == 416 and served is not None and self.server.behaviour.status is None:
            self.send_header("Content-Range", "bytes */%d" % served.size)
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)

    def send_body(self, record, served, start, end, chunked, close_after, stall_after, reset_after=None):
        position = start
        limit = end
        if close_after is not None:
            limit = min(limit, start + close_after)
        if stall_after is not None:
            limit = min(limit, start + stall_after)
        if reset_after is not None:
            limit = min(limit, start + reset_after)
        try:
            while position < limit:
                piece = served.read(position, min(position + 65536, limit))
                if chunked:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                else:
                    self.wfile.write(piece)
                position += len(piece)
                record["body_sent"] = position - start
            if position < end:
                self.wfile.flush()
                if reset_after is not None and position == start + reset_after:
                    # Closed with the linger time 0: the peer gets a reset, not an orderly end.
                    self.close_connection = True
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.connection.close()
                    return
                if stall_after is not None and (close_after is None or stall_after <= close_after):
                    self.server.stopping.wait(60)
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        except OSError:
            self.close_connection = True


def parse_range(header, size):
    """(first, last) of a "bytes=a-b" or "bytes=a-" header; (None, None) when absent."""
    if not header or not header.startswith("bytes="):
        return None, None
    first, _, last = header[len("bytes="):].partition("-")
    try:
        first = int(first)
        last = int(last) if last.strip() else size - 1
    except ValueError:
        return None, None
    return first, last


def free_port():
    """A port on 127.0.0.1 that nothing listens on right now."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--size", type=int, default=1 << 20)
    parser.add_argument("--path", default="/Setup.exe")
    parser.add_argument("--ignore-range", action="store_true")
    parser.add_argument("--no-last-modified", action="store_true")
    parser.add_argument("--changing-last-modified", action="store_true")
    parser.add_argument("--body", choices=["length", "chunked", "close"], default="length")
    parser.add_argument("--close-after", type=int)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--status", type=int)
    parser.add_argument("--gzip", action="store_true")
    args = parser.parse_args()
    server = FaultServer(args.port)
    server.files[args.path] = ServedFile(b"MZ" + random_bytes(args.size - 2, 1))  # a program's first bytes
    b = server.behaviour
    b.honour_range = not args.ignore_range
    b.last_modified = None if args.no_last_modified else FIXED_LAST_MODIFIED
    b.changing_last_modified = args.changing_last_modified
    b.gzip = args.gzip
    b.body, b.close_after, b.stall_after, b.status = args.body, args.close_after, args.stall_after, args.status
    print("serving %s" % server.url(args.path), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.stopping.set()
        server.server_close()


if __name__ == "__main__":
    main()
