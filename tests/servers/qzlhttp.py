"""HTTP routes for the HTTP client tests and the HTTP benchmark.

qzlserver.py calls register() with itself; the routes then answer in its
"http" mode, over plain TCP or TLS alike:

    /basic                 Basic authentication (user Mufasa, password "Circle Of Life")
    /digest                Digest authentication, same credentials; query:
                             qop=auth (default) | both ("auth,auth-int") | authint
                                 ("auth-int" alone) | none (RFC 2069)
                             algorithm=A,B,...: a challenge per algorithm (default MD5);
                                 only the MD5 one can be answered
                             nonce=fixed (default): one nonce for the server's life
                             nonce=changing: every answer is 401 with a new nonce
                             nonce=once: a nonce serves one request; its reuse gets
                                         401 with stale=TRUE and a new nonce
    /redirect?status=N&location=URL      answers N with that Location
    /status?code=N                       answers N with a short body
    /continue              "100 Continue" first, then 200 (in separate segments)
    /chunked               chunked body with extensions, cut into small writes
                           (a chunk-size line is split in two); ?gzip=1 gzips it first
                           as content coding, ?te=gzip as transfer coding
    /gzip, /deflate, /rawdeflate         the text of /chunked, content-coded
    /bomb?size=N           gzip of N zero bytes
    /nolength?size=N       N pattern bytes, no Content-Length, then close
    /overflow              declares 5 bytes, sends 10
    /declare?length=N      declares N bytes, sends 16, then waits for the client to go
    /hugechunk             a chunk of 0x10000000 bytes announced, then waits
    /endlessheaders        header lines without end
    /head?fields=N&size=S&junk=J&interim=K&reason=R
                           K interim heads (reason phrase of R bytes), then 200;
                           each head has N fields and J lines that are no header, of S bytes
    /download?size=N       N pattern bytes with Content-Length
                           (both: &bytewise=1 sends each byte of the answer in a
                           TLS record of its own, a send of its own over TCP)
    /upload                reads the body (Content-Length or chunked), answers
                           "<count> <md5 hex>"
    /sink                  reads the body, answers "<count>" (no digest: fast)
    /slow?delay=S          waits S seconds, then answers "slow"
    /requests?path=P       what the server saw for P, one line per request:
                           "<method> <target>|<Authorization or ->|<Host>"
"""

import base64
import gzip
import hashlib
import os
import threading
import time
import urllib.parse
import zlib

USER = "Mufasa"
PASSWORD = "Circle Of Life"
REALM = "testrealm@host.com"
OPAQUE = "5ccc069c403ebaf9f0171e9517f40e41"

TEXT = (b"The quick brown fox jumps over the lazy dog. " * 40)[:1500]

_lock = threading.Lock()
_seen = {}            # path -> list of lines
_fixed_nonce = None
_nonces = {}          # nonce -> highest nonce count seen (0: none yet)
_used_once = set()    # nonces of nonce=once that served a request
_counter = [0]


def _new_nonce():
    with _lock:
        _counter[0] += 1
        return hashlib.md5(os.urandom(16) + str(_counter[0]).encode()).hexdigest()


def _record(request):
    path = request.path.split("?", 1)[0]
    line = "%s %s|%s|%s" % (request.command, request.path,
                            request.headers.get("Authorization", "-"), request.headers.get("Host", "-"))
    with _lock:
        _seen.setdefault(path, []).append(line)


def _query(request):
    query = request.path.split("?", 1)[1] if "?" in request.path else ""
    return {k: v[-1] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}


def _pattern(size):
    block = bytes(range(251)) * 4096
    while size > 0:
        piece = block[:size]
        yield piece
        size -= len(piece)


def _raw(request, data, pause=0.0):
    """Writes bytes as they are (no framing of http.server)."""
    request.wfile.write(data)
    request.wfile.flush()
    if pause:
        time.sleep(pause)


def _bytewise(request, data):
    request.wfile.flush()
    for start in range(0, len(data), 4096):
        for byte in data[start:start + 4096]:
            request.conn.sendall(bytes((byte,)), flush=False)
        request.conn.sendall(b"")


def _head(request, status, headers, reason=None):
    text = "HTTP/1.1 %d %s\r\n" % (status, reason or request.responses.get(status, ("Unknown",))[0])
    for name, value in headers:
        text += "%s: %s\r\n" % (name, value)
    _raw(request, (text + "\r\n").encode("latin-1"))


def _wait_for_close(request):
    request.close_connection = True
    try:
        while request.conn.recv(65536):
            pass
    except OSError:
        pass


def _read_body(request, consume):
    """Reads a Content-Length or chunked body piece by piece; returns the count."""
    count = 0
    if request.headers.get("Transfer-Encoding", "").lower() == "chunked":
        while True:
            line = request.rfile.readline()
            size = int(line.split(b";", 1)[0].strip() or b"0", 16)
            if size == 0:
                while request.rfile.readline() not in (b"\r\n", b"\n", b""):
                    pass
                return count
            left = size
            while left:
                data = request.rfile.read(min(left, 1 << 20))
                if not data:
                    return count
                consume(data)
                left -= len(data)
                count += len(data)
            request.rfile.readline()
    left = int(request.headers.get("Content-Length") or 0)
    if left:
        # What http.server has buffered first, then straight from the connection:
        # the buffered reader would copy every byte once more.
        data = request.rfile.read1(left)
        consume(data)
        left -= len(data)
        count += len(data)
    plain = getattr(request.conn, "tls", None) is None
    buffer = bytearray(1 << 20)
    view = memoryview(buffer)
    while left > 0:
        if plain:
            received = request.conn.sock.recv_into(view, min(left, len(buffer)))
            data = view[:received]
        else:
            data = request.conn.recv(min(left, 1 << 20))
            received = len(data)
        if not received:
            break
        consume(data)
        left -= received
        count += received
    return count


def _parse_authorization(value):
    scheme, _, rest = value.partition(" ")
    items = {}
    i = 0
    while i < len(rest):
        while i < len(rest) and rest[i] in " ,\t\r\n":
            i += 1
        eq = rest.find("=", i)
        if eq < 0:
            break
        name = rest[i:eq].strip().lower()
        i = eq + 1
        if i < len(rest) and rest[i] == '"':
            i += 1
            text = ""
            while i < len(rest) and rest[i] != '"':
                if rest[i] == "\\" and i + 1 < len(rest):
                    i += 1
                text += rest[i]
                i += 1
            i += 1
        else:
            end = rest.find(",", i)
            end = len(rest) if end < 0 else end
            text = rest[i:end].strip()
            i = end
        items[name] = text
    return scheme, items


def _md5(text):
    return hashlib.md5(text.encode("utf-8")).hexdigest()


def register(server):
    route = server.route

    @route("/requests")
    def requests_seen(request):
        path = _query(request).get("path", "/")
        with _lock:
            lines = list(_seen.get(path, []))
        request.answer(200, "".join(line + "\n" for line in lines).encode("latin-1"))

    @route("/basic")
    def basic(request):
        _record(request)
        expected = "Basic " + base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode()).decode()
        if request.headers.get("Authorization") == expected:
            request.answer(200, b"basic ok")
        else:
            request.answer(401, b"basic needed", headers=[("WWW-Authenticate", 'Basic realm="%s"' % REALM)])

    @route("/digest")
    def digest(request):
        global _fixed_nonce
        _record(request)
        query = _query(request)
        qop_mode = query.get("qop", "auth")
        nonce_mode = query.get("nonce", "fixed")
        qop_offer = {"auth": "auth", "both": "auth,auth-int", "authint": "auth-int", "none": None}[qop_mode]
        algorithms = query.get("algorithm", "MD5").split(",")

        def challenge(nonce, stale=False):
            headers = []
            for algorithm in algorithms:
                own = nonce if algorithm == "MD5" else algorithm + "-" + nonce
                text = 'Digest realm="%s", nonce="%s", opaque="%s", algorithm=%s' % (REALM, own, OPAQUE, algorithm)
                if qop_offer:
                    text += ', qop="%s"' % qop_offer
                if stale:
                    text += ", stale=TRUE"
                headers.append(("WWW-Authenticate", text))
            request.answer(401, b"digest needed", headers=headers)

        with _lock:
            if _fixed_nonce is None:
                _fixed_nonce = hashlib.md5(os.urandom(16)).hexdigest()
            fixed = _fixed_nonce
        if nonce_mode == "changing":
            challenge(_new_nonce())
            return
        value = request.headers.get("Authorization")
        if not value:
            challenge(fixed if nonce_mode == "fixed" else _new_nonce())
            return
        scheme, items = _parse_authorization(value)
        nonce = items.get("nonce", "")
        ha1 = _md5("%s:%s:%s" % (USER, REALM, PASSWORD))
        ha2 = _md5("%s:%s" % (request.command, items.get("uri", "")))
        qop = items.get("qop")
        if qop:
            expected = _md5("%s:%s:%s:%s:%s:%s" % (ha1, nonce, items.get("nc", ""), items.get("cnonce", ""), qop, ha2))
        else:
            expected = _md5("%s:%s:%s" % (ha1, nonce, ha2))
        valid = ("MD5" in algorithms and scheme == "Digest" and items.get("username") == USER and items.get("realm") == REALM
                 and items.get("uri") == request.path and items.get("opaque") == OPAQUE
                 and items.get("response") == expected
                 and (qop == "auth" if qop_offer else qop is None))
        if not valid:
            challenge(fixed if nonce_mode == "fixed" else _new_nonce())
            return
        with _lock:
            if nonce_mode == "fixed":
                fresh = nonce == fixed
                count = int(items.get("nc", "0") or "0", 16)
                if fresh and qop:
                    fresh = count > _nonces.get(nonce, 0)
                    _nonces[nonce] = count
            else:
                fresh = nonce not in _used_once
                _used_once.add(nonce)
        if not fresh:
            # A replayed count is refused; a used one-time nonce is stale.
            challenge(fixed if nonce_mode == "fixed" else _new_nonce(), stale=nonce_mode == "once")
            return
        request.answer(200, ("digest ok nc=%s" % items.get("nc", "-")).encode())

    @route("/redirect")
    def redirect(request):
        _record(request)
        query = _query(request)
        request.read_body()
        request.answer(int(query.get("status", "302")), b"moved",
                       headers=[("Location", query.get("location", ""))])

    @route("/status")
    def status(request):
        _record(request)
        code = int(_query(request).get("code", "200"))
        request.answer(code, ("status %d" % code).encode())

    @route("/continue")
    def continue_first(request):
        _record(request)
        _raw(request, b"HTTP/1.1 100 Continue\r\n\r\n", pause=0.05)
        _raw(request, b"HTTP/1.1 102 Processing\r\nX-Interim: yes\r\n\r\n", pause=0.05)
        request.answer(200, b"final answer")

    @route("/chunked")
    def chunked(request):
        _record(request)
        query = _query(request)
        body = TEXT
        headers = [("Content-Type", "text/plain"), ("Transfer-Encoding", "chunked")]
        if query.get("gzip"):
            body = gzip.compress(body)
            headers.append(("Content-Encoding", "gzip"))
        if query.get("te") == "gzip":
            body = gzip.compress(body)
            headers[1] = ("Transfer-Encoding", "gzip, chunked")
        _head(request, 200, headers)
        third = len(body) // 3
        pieces = [body[:third], body[third:third + 1], body[third + 1:]]
        for index, piece in enumerate(pieces):
            size = b"%x" % len(piece)
            # The size line reaches the client in two reads, with an extension.
            _raw(request, b"\r\n" if index else b"", pause=0.02)
            _raw(request, size[:1], pause=0.02)
            _raw(request, size[1:] + b";name=value\r\n", pause=0.02)
            _raw(request, piece[:len(piece) // 2], pause=0.02)
            _raw(request, piece[len(piece) // 2:], pause=0.02)
        _raw(request, b"\r\n0\r\nX-Trailer: ignored\r\n\r\n")
        request.close_connection = True

    def coded(request, coding, data):
        _record(request)
        request.answer(200, data, headers=[("Content-Encoding", coding)])

    @route("/gzip")
    def gzip_body(request):
        coded(request, "gzip", gzip.compress(TEXT))

    @route("/deflate")
    def deflate_body(request):
        coded(request, "deflate", zlib.compress(TEXT))

    @route("/rawdeflate")
    def raw_deflate_body(request):
        compressor = zlib.compressobj(wbits=-15)
        coded(request, "deflate", compressor.compress(TEXT) + compressor.flush())

    @route("/bomb")
    def bomb(request):
        size = int(_query(request).get("size", "0"))
        compressor = zlib.compressobj(wbits=31)
        data = b"".join(compressor.compress(piece) for piece in _pattern_zero(size)) + compressor.flush()
        coded(request, "gzip", data)

    @route("/nolength")
    def no_length(request):
        _record(request)
        size = int(_query(request).get("size", "0"))
        _head(request, 200, [("Content-Type", "application/octet-stream"), ("Connection", "close")])
        time.sleep(0.05)
        for piece in _pattern(size):
            _raw(request, piece)
        request.close_connection = True

    @route("/overflow")
    def overflow(request):
        _record(request)
        # Head and all ten bytes in one write, so that they arrive in one read.
        _raw(request, b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n0123456789")
        request.close_connection = True

    @route("/declare")
    def declare(request):
        _record(request)
        length = _query(request).get("length", "0")
        _head(request, 200, [("Content-Type", "application/octet-stream"), ("Content-Length", length)])
        _raw(request, b"0123456789abcdef")
        _wait_for_close(request)

    @route("/hugechunk")
    def huge_chunk(request):
        _record(request)
        _head(request, 200, [("Content-Type", "application/octet-stream"), ("Transfer-Encoding", "chunked")])
        _raw(request, b"10000000\r\n0123456789")
        _wait_for_close(request)

    @route("/endlessheaders")
    def endless_headers(request):
        _record(request)
        _raw(request, b"HTTP/1.1 200 OK\r\n")
        line = b"X-Filler: " + b"f" * 1000 + b"\r\n"
        try:
            for _ in range(100000):
                _raw(request, line * 64)
        except OSError:
            pass
        request.close_connection = True

    @route("/head")
    def head(request):
        _record(request)
        query = {k: int(v) for k, v in _query(request).items()}
        fields = b"".join(b"X-F%d: %s\r\n" % (i, b"v" * query.get("size", 1)) for i in range(query.get("fields", 0)))
        fields += (b"no header" + b"j" * query.get("size", 1) + b"\r\n") * query.get("junk", 0)
        interim = b"HTTP/1.1 100 " + b"c" * query.get("reason", 8) + b"\r\n" + fields + b"\r\n"
        answer = interim * query.get("interim", 0) + b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n" + fields + b"\r\nok"
        try:
            (_bytewise if query.get("bytewise") else _raw)(request, answer)
        except OSError:
            pass
        request.close_connection = True

    @route("/download")
    def download(request):
        _record(request)
        size = int(_query(request).get("size", "0"))
        _head(request, 200, [("Content-Type", "application/octet-stream"), ("Content-Length", str(size))])
        for piece in _pattern(size):
            if _query(request).get("bytewise"):
                _bytewise(request, piece)
            else:
                request.wfile.write(piece)
        request.wfile.flush()
        request.close_connection = True

    @route("/upload")
    def upload(request):
        _record(request)
        md5 = hashlib.md5()
        count = _read_body(request, md5.update)
        request.answer(200, ("%d %s" % (count, md5.hexdigest())).encode())

    @route("/sink")
    def sink(request):
        _record(request)
        count = _read_body(request, lambda data: None)
        request.answer(200, str(count).encode())

    @route("/slow")
    def slow(request):
        _record(request)
        time.sleep(float(_query(request).get("delay", "2")))
        request.answer(200, b"slow")


def _pattern_zero(size):
    block = bytes(1 << 20)
    while size > 0:
        piece = block[:size]
        yield piece
        size -= len(piece)
