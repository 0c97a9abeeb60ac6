#!/usr/bin/env python3
"""Loopback servers for the network tests (Python standard library only).

    qzlserver.py MODE [options]

The server listens on 127.0.0.1 on a port the system picks. With --port-file
it writes "PORT <n>" and "CONTROL <m>" into that file (whole, at once) and
lives until the first connection to the control port closes: the test holds
that connection, so the server ends with the test, even when the test crashes.
When nobody connects there, or without --port-file (then it prints "PORT <n>"
as its first line), it lives --lifetime seconds.

Every mode runs once per accepted connection, each in a thread of its own, and
works over plain TCP or, with --tls, over TLS with a certificate made when the
server starts (or given by --cert and --key). --chunk N cuts everything the
server writes, TLS handshake included, into N-byte TCP segments.

New modes are functions decorated with @mode("name") that take the connection
and the options; HTTP routes are functions decorated with @route("/path").
"""

import argparse
import hashlib
import http.server
import importlib.util
import io
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time

MODES = {}
ROUTES = {}


def mode(name):
    def register(function):
        MODES[name] = function
        return function
    return register


def route(path):
    def register(function):
        ROUTES[path] = function
        return function
    return register


# --- transports -------------------------------------------------------------

class PlainConnection:
    """A TCP connection whose writes may be cut into small segments."""

    def __init__(self, sock, options):
        self.sock = sock
        self.chunk = options.chunk
        self.pause = options.pause
        self.server_name = None
        self.version = None
        if self.chunk:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def send_raw(self, data):
        if not self.chunk:
            self.sock.sendall(data)
            return
        for start in range(0, len(data), self.chunk):
            self.sock.sendall(data[start:start + self.chunk])
            # Without a pause the pieces would reach the peer as one read.
            time.sleep(self.pause)

    def recv_raw(self, size=65536):
        try:
            return self.sock.recv(size)
        except ConnectionError:
            return b""

    def handshake(self):
        pass

    def recv(self, size=65536):
        return self.recv_raw(size)

    def sendall(self, data, flush=True):
        self.send_raw(data)

    def close(self):
        self.sock.close()

    def reset(self):
        # SO_LINGER with a zero time makes close send RST instead of FIN.
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()


class TlsConnection(PlainConnection):
    """TLS through memory buffers, so that every byte on the wire, the handshake
    included, goes through send_raw."""

    def __init__(self, sock, options, context):
        super().__init__(sock, options)
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def flush(self):
        data = self.outgoing.read()
        if data:
            self.send_raw(data)

    def fill(self):
        data = self.recv_raw()
        if data:
            self.incoming.write(data)
        else:
            self.incoming.write_eof()
        return bool(data)

    def handshake(self):
        while True:
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self.flush()
                if not self.fill():
                    raise ConnectionError("peer closed during the handshake")
        # The last handshake flight stays unsent, so that a greeting written
        # next travels in the same segment.
        self.version = self.tls.version()
        self.server_name = getattr(self.tls, "qzl_server_name", None)

    def recv(self, size=65536):
        while True:
            try:
                return self.tls.read(size)
            except ssl.SSLWantReadError:
                self.flush()
                if not self.fill():
                    return b""
            except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
                return b""

    def sendall(self, data, flush=True):
        view = memoryview(data)
        while view:
            written = self.tls.write(view)
            view = view[written:]
        if flush:
            self.flush()

    def close(self):
        try:
            self.tls.unwrap()
        except (ssl.SSLWantReadError, ssl.SSLError, OSError):
            pass  # the peer's own close_notify is not awaited
        try:
            self.flush()
        except OSError:
            pass
        self.sock.close()

    def reset(self):
        self.flush()
        super().reset()


TLS_VERSIONS = {"1.0": ssl.TLSVersion.TLSv1, "1.1": ssl.TLSVersion.TLSv1_1, "1.2": ssl.TLSVersion.TLSv1_2}


def make_tls_context(options):
    cert, key = options.cert, options.key
    if not cert:
        folder = tempfile.mkdtemp(prefix="qzlserver")
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        # RSA: Wine's certificate chain check fails some ECDSA signatures.
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048",
                        "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=localhost",
                        "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    if options.max_tls:
        # Old protocol versions need the lowest security level of OpenSSL 3.
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        context.minimum_version = ssl.TLSVersion.MINIMUM_SUPPORTED
        context.maximum_version = TLS_VERSIONS[options.max_tls]
    if not options.cert:
        shutil.rmtree(os.path.dirname(cert), ignore_errors=True)

    def remember_server_name(tls, server_name, _context):
        tls.qzl_server_name = server_name

    context.sni_callback = remember_server_name
    return context


# --- modes ------------------------------------------------------------------

def pattern(size):
    block = bytes(range(251))
    return (block * (size // len(block) + 1))[:size]


@mode("echo")
def echo(conn, options):
    """Sends back what arrives until the peer closes; then closes."""
    while True:
        data = conn.recv()
        if not data:
            break
        if options.delay:
            time.sleep(options.delay)
        conn.sendall(data)
    conn.close()


@mode("slow")
def slow(conn, options):
    """An echo that waits --delay seconds (default 2) before each answer."""
    options.delay = options.delay or 2.0
    echo(conn, options)


@mode("silent")
def silent(conn, options):
    """Reads and drops everything, never writes."""
    while conn.recv():
        pass
    conn.close()


@mode("close")
def close(conn, options):
    """Closes at once (after the greeting, if any); with TLS after close_notify."""
    if options.delay:
        time.sleep(options.delay)
    conn.close()


@mode("reset")
def reset(conn, options):
    """Aborts the connection with a TCP reset (after the greeting, if any)."""
    if options.delay:
        time.sleep(options.delay)
    conn.reset()


@mode("source")
def source(conn, options):
    """Sends --size bytes of a fixed pattern (byte i is i modulo 251), then closes."""
    conn.sendall(pattern(options.size))
    conn.close()


@mode("digest")
def digest(conn, options):
    """Reads --size bytes and answers with their MD5 in hexadecimal, then closes."""
    md5 = hashlib.md5()
    left = options.size
    while left > 0:
        data = conn.recv(min(left, 65536))
        if not data:
            break
        md5.update(data)
        left -= len(data)
    conn.sendall(("%d %s\r\n" % (options.size - left, md5.hexdigest())).encode())
    conn.close()


@mode("info")
def info(conn, options):
    """Answers with the TLS version and the server name the client asked for."""
    line = "version=%s sni=%s\r\n" % (conn.version or "none", conn.server_name or "none")
    conn.sendall(line.encode())
    conn.close()


class FramingError(Exception):
    pass


class ByteReader:
    """Reads exact amounts and lines from a connection, keeping what is over."""

    def __init__(self, conn):
        self.conn = conn
        self.buffer = b""
        self.raw = b""

    def fill(self):
        data = self.conn.recv()
        if not data:
            raise FramingError("peer closed after %d bytes" % len(self.raw))
        self.buffer += data
        self.raw += data

    def until(self, marker):
        while marker not in self.buffer:
            self.fill()
        end = self.buffer.index(marker) + len(marker)
        data, self.buffer = self.buffer[:end], self.buffer[end:]
        return data

    def exactly(self, size):
        while len(self.buffer) < size:
            self.fill()
        data, self.buffer = self.buffer[:size], self.buffer[size:]
        return data


def read_strict_request(conn):
    """One HTTP request read by the letter of RFC 7230: the head, then a body
    framed by chunks or by Content-Length (none without either). Returns the
    raw bytes, the framing and the decoded body; FramingError when the bytes
    do not follow the framing the head announced."""
    reader = ByteReader(conn)
    head = reader.until(b"\r\n\r\n")
    headers = {}
    for line in head.split(b"\r\n")[1:]:
        if line:
            name, _, value = line.partition(b":")
            headers.setdefault(name.strip().lower(), value.strip())
    coding = headers.get(b"transfer-encoding", b"").lower()
    if coding == b"chunked":
        body = b""
        while True:
            line = reader.until(b"\r\n")[:-2]
            size_text = line.split(b";", 1)[0].strip()
            try:
                size = int(size_text, 16)
            except ValueError:
                raise FramingError("bad chunk size line %r" % line[:40])
            if size == 0:
                while reader.until(b"\r\n") != b"\r\n":
                    pass
                break
            body += reader.exactly(size)
            if reader.exactly(2) != b"\r\n":
                raise FramingError("chunk of %d bytes not followed by CR LF" % size)
        return reader.raw, "chunked", body
    if coding:
        raise FramingError("transfer coding %r" % coding)
    if b"content-length" in headers:
        body = reader.exactly(int(headers[b"content-length"]))
        return reader.raw, "length", body
    return reader.raw, "none", b""


@mode("request")
def request(conn, options):
    """Reads one request strictly (see read_strict_request) and answers 200
    with the request's bytes as they arrived as the body; the framing, the
    decoded body's length and MD5 go into X-Framing, X-Body-Length and
    X-Body-MD5. A request that breaks its framing gets 400 with the reason."""
    try:
        raw, framing, body = read_strict_request(conn)
        status, extra = "200 OK", ("X-Framing: %s\r\nX-Body-Length: %d\r\nX-Body-MD5: %s\r\n"
                                   % (framing, len(body), hashlib.md5(body).hexdigest()))
    except FramingError as error:
        raw, status, extra = str(error).encode(), "400 Bad Request", ""
    head = ("HTTP/1.1 %s\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n%s"
            "Connection: close\r\n\r\n" % (status, len(raw), extra))
    conn.sendall(head.encode("latin-1") + raw)
    conn.close()


# --- HTTP -------------------------------------------------------------------

class ConnectionIO(io.RawIOBase):
    """The connection as a file, for http.server."""

    def __init__(self, conn):
        self.conn = conn

    def readable(self):
        return True

    def writable(self):
        return True

    def readinto(self, buffer):
        data = self.conn.recv(len(buffer))
        buffer[:len(data)] = data
        return len(data)

    def write(self, data):
        self.conn.sendall(bytes(data))
        return len(data)


class HttpHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def __init__(self, conn, options):
        self.conn = conn
        self.options = options
        raw = ConnectionIO(conn)
        self.rfile = io.BufferedReader(raw)
        self.wfile = io.BufferedWriter(raw)
        self.client_address = ("127.0.0.1", 0)
        self.close_connection = True
        self.handle_one_request()
        while not self.close_connection:
            self.handle_one_request()
        self.wfile.flush()

    def log_message(self, format, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def answer(self, status, body, content_type="text/plain", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.wfile.flush()

    def dispatch(self):
        path = self.path.split("?", 1)[0]
        handler = ROUTES.get(path)
        if handler is None:
            self.answer(404, b"not found")
        else:
            handler(self)

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = dispatch


@route("/")
def http_hello(request):
    request.answer(200, b"hello")


@route("/echo")
def http_echo(request):
    """The request's method, target, headers and body as the client sent them."""
    head = "%s %s %s\r\n%s\r\n" % (request.command, request.path, request.request_version, request.headers)
    request.answer(200, head.encode("latin-1") + request.read_body())


@mode("http")
def http_mode(conn, options):
    """HTTP/1.1 with the routes above; the connection closes after each answer
    unless the client asks to keep it."""
    try:
        HttpHandler(conn, options)
    except (ConnectionError, ValueError):
        pass
    conn.close()


# The HTTP client's routes (authentication, redirections, body framings and
# codings) live in a module of their own beside this file.
import qzlhttp  # noqa: E402  (the script's folder is on the path)
qzlhttp.register(sys.modules[__name__])


# --- server -----------------------------------------------------------------

def serve_connection(sock, options, context):
    try:
        conn = TlsConnection(sock, options, context) if context else PlainConnection(sock, options)
        conn.handshake()
        if options.greeting:
            conn.sendall(options.greeting.encode("latin-1").decode("unicode_escape").encode("latin-1"))
        MODES[options.mode](conn, options)
    except (OSError, ssl.SSLError, ConnectionError):
        pass
    finally:
        try:
            sock.close()
        except OSError:
            pass


def accept_loop(listener, options, context):
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve_connection, args=(sock, options, context), daemon=True).start()


def fill_listen_queue(listener):
    """Fills the queue of a listener with a backlog of 0 that nobody accepts
    from: the system then drops every further SYN, and a client's connect
    waits (in SYN_SENT) until it gives up or is aborted."""
    port = listener.getsockname()[1]
    fillers = [socket.create_connection(("127.0.0.1", port), timeout=5)]
    extra = socket.socket()
    extra.setblocking(False)
    try:
        extra.connect(("127.0.0.1", port))
    except BlockingIOError:
        pass
    fillers.append(extra)
    return fillers


def load_routes(path):
    """Runs register(server) of a routes file kept elsewhere (a stand-in's)."""
    source = importlib.util.spec_from_file_location(os.path.splitext(os.path.basename(path))[0], path)
    module = importlib.util.module_from_spec(source)
    source.loader.exec_module(module)
    module.register(sys.modules[__name__])


def write_port_file(path, port, control_port):
    temporary = path + ".part"
    with open(temporary, "w") as f:
        f.write("PORT %d\nCONTROL %d\n" % (port, control_port))
    os.replace(temporary, path)


class ArgumentParser(argparse.ArgumentParser):
    def error(self, message):
        raise SystemExit("usage: " + message)


def main():
    parser = ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=sorted(MODES))
    parser.add_argument("--tls", action="store_true", help="speak TLS (certificate made at start)")
    parser.add_argument("--cert", help="PEM certificate instead of a new one")
    parser.add_argument("--key", help="PEM private key for --cert")
    parser.add_argument("--max-tls", choices=sorted(TLS_VERSIONS), help="highest TLS version to accept")
    parser.add_argument("--chunk", type=int, default=0, help="cut every write into pieces of this size")
    parser.add_argument("--pause", type=float, default=0.02, help="seconds between the pieces of --chunk")
    parser.add_argument("--delay", type=float, default=0.0, help="seconds to wait before answering")
    parser.add_argument("--size", type=int, default=0, help="byte count for source and digest")
    parser.add_argument("--greeting", default="", help="text sent first (backslash escapes allowed)")
    parser.add_argument("--stall", action="store_true",
                        help="never accept; the listen queue is kept full, so that a connect hangs")
    parser.add_argument("--port-file", help="file that receives the ports")
    parser.add_argument("--lifetime", type=float, default=300.0,
                        help="seconds to live when nobody holds the control connection")
    parser.add_argument("--routes", action="append", default=[],
                        help="a Python file whose register(server) adds HTTP routes (stand-ins)")
    options = parser.parse_args()
    for path in options.routes:
        load_routes(path)

    context = make_tls_context(options) if options.tls else None
    listener = socket.create_server(("127.0.0.1", 0), backlog=0 if options.stall else 64)
    control = socket.create_server(("127.0.0.1", 0))
    port, control_port = listener.getsockname()[1], control.getsockname()[1]
    if options.stall:
        fillers = fill_listen_queue(listener)  # held, or the queue would empty again
    else:
        threading.Thread(target=accept_loop, args=(listener, options, context), daemon=True).start()
    if options.port_file:
        write_port_file(options.port_file, port, control_port)
    else:
        print("PORT %d" % port, flush=True)

    control.settimeout(options.lifetime)
    try:
        lifeline, _ = control.accept()
        lifeline.settimeout(None)
        while lifeline.recv(4096):
            pass
    except OSError:
        pass
    # Daemon threads may be blocked in I/O; leave without waiting for them.
    sys.stdout.flush()
    os._exit(0)


def report_failure():
    """Puts the reason into the port file, where the waiting test finds it."""
    if "--port-file" in sys.argv[:-1]:
        path = sys.argv[sys.argv.index("--port-file") + 1]
        with open(path + ".part", "w") as f:
            f.write("ERROR %s\n" % (sys.exc_info()[1] or "exit"))
        os.replace(path + ".part", path)


if __name__ == "__main__":
    try:
        main()
    except BaseException:
        report_failure()
        raise
