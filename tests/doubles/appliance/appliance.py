"""Stand-in for the appliance's web API: HTTP routes for tests/servers/qzlserver.py.

    qzlserver.py http --tls --routes appliance.py

The seven scripts under /cgi-mod/ answer as the appliance does. The probe
scripts need no authentication; the others need Digest (MD5, qop auth) as
"<identity>===<client id>" with the shared secret that addin_auth_confirm.cgi
agreed (or that /_account set). Every script request is recorded.

    addin_auth_request.cgi   GET client_id, user: issues a probe token (recorded)
    addin_auth_confirm.cgi   GET client_id, shared_secret, token, user: the
                             token must be the one issued for the client id;
                             the account is then known (else 403)
    mark.cgi                 GET id, Spam=Y|N
    whitelist.cgi            POST form Addresses=a,b,... (read by a form decoder)
    get_info.cgi             GET: text/xml <info><max_kvd_file_size>
    stub_attachment.cgi      POST multipart/form-data: text/plain attachment id
    stub_preamble.cgi        POST text/xml doFormatStub: text/html preamble

Control routes, never authenticated or recorded:

    /_account?user=U&secret=S     a Digest account known from now on
    /_switch?script=S&NAME=VALUE  a switch for one script (all without script=);
                                  /_switch?clear=1 removes every switch
    /_seen                        JSON list of the recorded requests: method,
                                  target, headers, user (Digest), body_length,
                                  body_md5, body (up to 64 KiB, latin-1), form,
                                  parts, status, token, start and end time,
                                  dropped (reset=1 ended it)

Switches, for what goes wrong in the field:
    nonce=changing   every attempt gets 401 with a new nonce
    challenge=basic  a Basic challenge instead of Digest (an answer is never accepted)
    status=N         this status once authenticated; reason=TEXT its phrase
                     (else the standard one, none for a status without one)
    delay=S          waits S seconds before answering
    reset=1          aborts the connection instead of answering
    silent=1         reads the request and never answers (recorded at once,
                     with status 0, so that a test knows it is being held)
    trickle=1        every answer, a challenge included, one byte a second
    flood=N          N interim heads ("100 Continue") before the answer
    pad=N            a body of N zero bytes instead (with gzip=1: a small body
                     that inflates to N bytes)
    gzip=1           gzip-coded body
    type=T           this Content-Type (type=none: no Content-Type)
    body=TEXT        this body instead
    hexbody=HEX      this body instead, as hexadecimal bytes (a NUL, say)
    redirect=HOST    a request addressed to another host name gets 302 to the
                     same port and target on HOST (before authentication,
                     after the delay)
"""

import gzip
import hashlib
import json
import os
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ElementTree

import qzlhttp

REALM = "Quenzal Inbox Rampart"
OPAQUE = "a0b1c2d3e4f5a6b7c8d9e0f1a2b3c4d5"
KEEP = 64 * 1024

_lock = threading.Lock()
_nonce = hashlib.md5(os.urandom(16)).hexdigest()
_accounts = {}   # user -> secret
_tokens = {}     # client id -> token
_switches = {}   # script ("" for all) -> {name: value}
_seen = []
_stored = [0]


def _switch(script):
    with _lock:
        merged = dict(_switches.get("", {}))
        merged.update(_switches.get(script, {}))
    return merged


class MultipartReader:
    """Splits a multipart body as it streams in, keeping per part its headers,
    length, MD5 and (when small) its bytes."""

    def __init__(self, boundary):
        self.delimiter = b"\r\n--" + boundary
        self.buffer = b"\r\n"  # the body's first delimiter has no line break before it
        self.state = "preamble"
        self.parts = []

    def feed(self, data):
        self.buffer += data
        while self.step():
            pass

    def step(self):
        if self.state in ("preamble", "data"):
            at = self.buffer.find(self.delimiter)
            keep = len(self.delimiter) - 1
            if at < 0:
                cut = max(0, len(self.buffer) - keep)
                self.take(self.buffer[:cut])
                self.buffer = self.buffer[cut:]
                return False
            self.take(self.buffer[:at])
            self.buffer = self.buffer[at + len(self.delimiter):]
            self.state = "delimiter"
        if self.state == "delimiter":
            end = self.buffer.find(b"\r\n")
            if end < 0:
                return False
            closing = self.buffer.startswith(b"--")
            self.buffer = self.buffer[end + 2:]
            self.state = "epilogue" if closing else "headers"
        if self.state == "headers":
            end = self.buffer.find(b"\r\n\r\n")
            if self.buffer.startswith(b"\r\n"):
                end = -2
            elif end < 0:
                return False
            part = {"headers": {}, "length": 0, "md5": hashlib.md5(), "data": b""}
            for line in self.buffer[:max(end, 0)].split(b"\r\n"):
                name, _, value = line.decode("latin-1").partition(":")
                part["headers"][name.strip().lower()] = value.strip()
            self.parts.append(part)
            self.buffer = self.buffer[end + 4:]
            self.state = "data"
            return True
        if self.state == "epilogue":
            self.buffer = b""
        return False

    def take(self, data):
        if self.state != "data" or not data:
            return
        part = self.parts[-1]
        part["length"] += len(data)
        part["md5"].update(data)
        if len(part["data"]) < KEEP:
            part["data"] += data[:KEEP - len(part["data"])]

    def summary(self):
        result = []
        for part in self.parts:
            disposition = part["headers"].get("content-disposition", "")
            params = dict(p.strip().partition("=")[::2] for p in disposition.split(";")[1:])
            result.append({"name": params.get("name", "").strip('"'),
                           "filename": params.get("filename", "").strip('"') if "filename" in params else None,
                           "content_type": part["headers"].get("content-type"),
                           "length": part["length"], "md5": part["md5"].hexdigest(),
                           "data": part["data"].decode("latin-1")})
        return result


def _read(request, record):
    """Reads the whole body (also before a challenge, so that the client's
    send completes) into the record."""
    content_type = request.headers.get("Content-Type", "")
    md5 = hashlib.md5()
    kept = bytearray()
    reader = None
    if content_type.startswith("multipart/"):
        boundary = content_type.partition("boundary=")[2].split(";")[0].strip('"')
        reader = MultipartReader(boundary.encode("latin-1"))

    def consume(data):
        md5.update(data)
        if len(kept) < KEEP:
            kept.extend(data[:KEEP - len(kept)])
        if reader:
            reader.feed(bytes(data))

    record["body_length"] = qzlhttp._read_body(request, consume)
    record["body_md5"] = md5.hexdigest()
    record["body"] = bytes(kept).decode("latin-1")
    if reader:
        record["parts"] = reader.summary()
    if content_type.startswith("application/x-www-form-urlencoded"):
        record["form"] = urllib.parse.parse_qs(bytes(kept).decode("latin-1"), keep_blank_values=True,
                                               encoding="latin-1")


def _authorized(request, record, switches):
    """The Digest user when the request's answer is right; else None after a 401."""
    changing = switches.get("nonce") == "changing"
    refuse = changing or switches.get("challenge") == "basic"
    value = request.headers.get("Authorization", "")
    scheme, items = qzlhttp._parse_authorization(value) if value else ("", {})
    record["user"] = items.get("username")
    with _lock:
        secret = _accounts.get(items.get("username"))
    if scheme == "Digest" and secret is not None and not refuse and items.get("nonce") == _nonce \
            and items.get("uri") == request.path and items.get("realm") == REALM and items.get("qop") == "auth":
        ha1 = qzlhttp._md5("%s:%s:%s" % (items["username"], REALM, secret))
        ha2 = qzlhttp._md5("%s:%s" % (request.command, request.path))
        expected = qzlhttp._md5(":".join([ha1, _nonce, items.get("nc", ""), items.get("cnonce", ""), "auth", ha2]))
        if items.get("response") == expected:
            return items["username"]
    nonce = hashlib.md5(os.urandom(16)).hexdigest() if changing else _nonce
    challenge = 'Digest realm="%s", nonce="%s", opaque="%s", algorithm=MD5, qop="auth"' % (REALM, nonce, OPAQUE)
    if switches.get("challenge") == "basic":
        challenge = 'Basic realm="%s"' % REALM
    _answer(request, record, {}, 401, b"Authentication required", "text/plain", [("WWW-Authenticate", challenge)])
    return None


def _answer(request, record, switches, status, body, content_type, headers=()):
    if switches.get("delay"):
        time.sleep(float(switches["delay"]))
    if switches.get("reset"):
        record["status"] = 0
        record["dropped"] = True
        request.close_connection = True
        request.wfile.flush()
        request.conn.reset()
        return
    reason = None
    if "status" in switches:
        status, reason = int(switches["status"]), switches.get("reason")
    if "body" in switches:
        body = switches["body"].encode("utf-8")
    if "hexbody" in switches:
        body = bytes.fromhex(switches["hexbody"])
    if "pad" in switches:
        body = bytes(int(switches["pad"]))
    if "type" in switches:
        content_type = None if switches["type"] == "none" else switches["type"]
    headers = list(headers)
    if switches.get("gzip"):
        body = gzip.compress(body)
        headers.append(("Content-Encoding", "gzip"))
    record["status"] = status
    # Stamped before the answer leaves, so that a request that waited for
    # this answer always starts after this end.
    record["end"] = time.time()
    try:
        request.wfile.write(b"HTTP/1.1 100 Continue\r\n\r\n" * int(switches.get("flood", 0)))
    except OSError:
        request.close_connection = True
        return
    request.send_response(status, reason)
    if content_type:
        headers.append(("Content-Type", content_type))
    for name, value in headers + [("Content-Length", str(len(body))), ("Connection", "close")]:
        request.send_header(name, value)
    request.end_headers()
    request.wfile.write(body)
    request.wfile.flush()
    request.close_connection = True


class _Trickle:
    """An answer's file that lets one byte a second out."""

    def __init__(self, conn):
        self.conn = conn

    def write(self, data):
        for i in range(len(data)):
            self.conn.sendall(bytes(data[i:i + 1]))
            time.sleep(1)
        return len(data)

    def flush(self):
        pass


def _hold(request, record):
    """Keeps the connection open without a word until the client gives up."""
    record["status"] = 0
    with _lock:
        _seen.append(record)
    try:
        while request.conn.recv(65536):
            pass
    except OSError:
        pass
    request.close_connection = True


def _script(name, needs_account):
    def decorate(function):
        def handle(request):
            query = urllib.parse.parse_qsl(request.path.partition("?")[2], keep_blank_values=True)
            record = {"method": request.command, "target": request.path, "script": name,
                      "headers": [[k, v] for k, v in request.headers.items()], "query": query, "user": None, "start": time.time()}
            held = False
            try:
                _read(request, record)
                switches = _switch(name)
                host, _, port = request.headers.get("Host", "").rpartition(":")
                if switches.get("redirect", host) != host:
                    location = "https://%s:%s%s" % (switches["redirect"], port, request.path)
                    slow = {"delay": switches["delay"]} if "delay" in switches else {}
                    _answer(request, record, slow, 302, b"", None, [("Location", location)])
                    return
                if switches.get("trickle"):
                    request.wfile = _Trickle(request.conn)
                if switches.get("silent"):
                    held = True
                    _hold(request, record)
                    return
                if needs_account and _authorized(request, record, switches) is None:
                    return
                status, body, content_type = function(dict(query), record)
                _answer(request, record, switches, status, body, content_type)
            finally:
                # Recorded once answered, so that /_seen never reads a record being filled.
                if not held:
                    record.setdefault("end", time.time())
                    with _lock:
                        _seen.append(record)
        return handle
    return decorate


@_script("addin_auth_request.cgi", False)
def auth_request(query, record):
    if not query.get("client_id") or not query.get("user"):
        return 400, b"client_id and user required", "text/plain"
    token = hashlib.md5(os.urandom(16)).hexdigest()
    with _lock:
        _tokens[query["client_id"]] = token
    record["token"] = token
    return 200, b"Authentication probe sent", "text/plain"


@_script("addin_auth_confirm.cgi", False)
def auth_confirm(query, record):
    client = query.get("client_id", "")
    with _lock:
        valid = client and query.get("token") and _tokens.get(client) == query.get("token")
        if valid and query.get("shared_secret") and query.get("user"):
            _accounts["%s===%s" % (query["user"], client)] = query["shared_secret"]
            return 200, b"Authenticated", "text/plain"
    return 403, b"Invalid token", "text/plain"


@_script("mark.cgi", True)
def mark(query, record):
    if not query.get("id") or query.get("Spam") not in ("Y", "N"):
        return 400, b"id and Spam required", "text/plain"
    return 200, b"Marked", "text/plain"


@_script("whitelist.cgi", True)
def whitelist(query, record):
    if "Addresses" not in record.get("form", {}):
        return 400, b"Addresses required", "text/plain"
    return 200, b"Whitelisted", "text/plain"


@_script("get_info.cgi", True)
def get_info(query, record):
    return 200, b"<?xml version=\"1.0\"?>\n<info><max_kvd_file_size>104857600</max_kvd_file_size></info>\n", \
        "text/xml"


@_script("stub_attachment.cgi", True)
def stub_attachment(query, record):
    files = [part for part in record.get("parts", []) if part["name"] == "attachment"]
    if not files or files[0]["filename"] is None:
        return 400, b"attachment required", "text/plain"
    with _lock:
        _stored[0] += 1
        number = _stored[0]
    return 200, ("KVD%04d-%s" % (number, files[0]["md5"][:8])).encode(), "text/plain"


@_script("stub_preamble.cgi", True)
def stub_preamble(query, record):
    try:
        root = ElementTree.fromstring(record["body"].encode("latin-1"))
    except ElementTree.ParseError:
        return 400, b"malformed XML", "text/plain"
    links = "".join('<li><a href="https://appliance/kvd/%s">%s</a> (%s bytes)</li>'
                    % (link.findtext("id"), link.findtext("filename"), link.findtext("size"))
                    for link in root.findall("link"))
    return 200, ("<div class=\"kvd\"><ul>%s</ul></div>" % links).encode("utf-8"), "text/html; charset=utf-8"


def register(server):
    route = server.route
    for name, handler in [("addin_auth_request.cgi", auth_request), ("addin_auth_confirm.cgi", auth_confirm),
                          ("mark.cgi", mark), ("whitelist.cgi", whitelist), ("get_info.cgi", get_info),
                          ("stub_attachment.cgi", stub_attachment), ("stub_preamble.cgi", stub_preamble)]:
        route("/cgi-mod/" + name)(handler)

    @route("/_account")
    def account(request):
        query = qzlhttp._query(request)
        with _lock:
            _accounts[query["user"]] = query["secret"]
        request.answer(200, b"ok")

    @route("/_switch")
    def switch(request):
        query = qzlhttp._query(request)
        with _lock:
            if query.pop("clear", None):
                _switches.clear()
            script = query.pop("script", "")
            if query:
                _switches.setdefault(script, {}).update(query)
        request.answer(200, b"ok")

    @route("/_seen")
    def seen(request):
        with _lock:
            text = json.dumps(_seen)
        request.answer(200, text.encode("utf-8"), "application/json")
