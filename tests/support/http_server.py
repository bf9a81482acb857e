#!/usr/bin/env python3
"""A scriptable HTTP server for the tests, listening on 127.0.0.1 only.

The first line of standard output is the port it listens on; after it comes one
JSON line per request (CONNECT included), printed before the answer is sent:
    {"line": request line, "host": Host header, "agent": User-Agent header,
     "absolute": true when the request line named an absolute URI,
     "range": Range header, "if_range": If-Range header,
     "condition": "If-None-Match: ..." or "If-Modified-Since: ...", whichever came,
     "connection": the number of the connection it came on, counted from 1}
(a header that is absent is recorded as ""). With --records FILE the request lines
go to the end of FILE instead, each flushed before its answer, for a client that
cannot read the server's output (a Windows program under Wine).

Routes (a query string is ignored, except for the parameters named below):
    /file/N          N bytes of the pattern (byte i is i % 251), with Content-Length
    /chunked/N       the same bytes, chunked, without Content-Length
    /chunked-cut/N   chunked, closes after about half of N without the last chunk
    /status/C        status C with a small HTML page
    /redirect/REST   302 (with a small page) to /REST; nest it for longer chains
    /loop            302 to itself
    /goto?to=URL     302 (with a small page) to URL, percent-decoded; `to` takes the
                     rest of the query, so URL may carry its own query unescaped
    /close-mid/N     announces N bytes, sends half of them, closes
    /short/N         announces N bytes, sends N - 1, closes
    /stall/N         announces N bytes, sends half of them, then nothing more
    /hang            reads the request and never answers
    /not-http        answers with bytes that are no HTTP (no status line), then closes
    /unended         sends a status line and a header, then nothing more: the headers
                     never end
    /trickle         sends a status line, then one byte of a header a second, without
                     end: the headers never end
    /last            the record of the last other request
    /download/NAME   with --downloads DIR, or ?from=DIR: the file DIR/NAME, or 404 when
                     there is none; when DIR/NAME.query exists, its text is a query string
                     whose parameters apply as if the request had carried them first. A
                     DIR on Wine's drive Z: (Z:\\...), as a program under Wine names it,
                     is the Linux folder it stands for

/file/N and /download/NAME are served as a file server would serve them: with
    ETag: "..."            strong; the same for the same route, size and content
    Last-Modified: DATE    a fixed date
    Accept-Ranges: bytes
and they honour Range: bytes=A- and bytes=A-B with 206 Partial Content and
Content-Range: bytes A-E/L, and 416 (Content-Range: bytes */L) when A is at or past
the end. Any other Range (several ranges, a suffix, garbage) is ignored: 200 whole.
If-Range lets the range through only when it equals the strong ETag or the
Last-Modified that the answer carries, character for character; else 200 whole.
If-None-Match that names the answer's ETag (weak or strong), or else If-Modified-Since
equal to its Last-Modified, is answered 304 Not Modified, with the validators and no body.
Their query parameters (unknown ones are ignored):
    validator=both|etag|date|none   which validators are sent (default both); If-Range
                                    matches only a validator that is sent
    weak=1              the ETag is weak (W/"..."), so it never satisfies If-Range
    version=changing    both validators change on every request, as if the file were
                        replaced in between; the body stays the same
    ranges=ignore       Range is ignored (200 whole, no Accept-Ranges)
    ranges=416          every request with a Range header gets 416
    cut=K               the first answer with a body to this request target (path and
                        query, counted per target over the server's life) announces
                        its full length but sends only K bytes of its body, then closes
    cuts=C              the first C such answers are cut (default 1); later ones are whole
    cutmode=stall       a cut answer sends its K bytes and then nothing more, until the
                        client closes, instead of closing
    ifrange=ignore      Range is honoured whatever If-Range says, as a stale cache does
    later=M             every answer after the first one to this request target (counted
                        as for cut) is of another file of M bytes (byte i is (i + 7) % 251),
                        under the first one's validators, as a server that does not notice
                        a change would send it
    digest=FORM[-KIND]  states a SHA-256 of the whole file (of the version answered, also
                        in a 206): FORM repr sends Repr-Digest: sha-256=:BASE64:, legacy
                        sends Digest: SHA-256=BASE64; KIND wrong states the digest of other
                        bytes, lastbyte the file's with its last byte changed, malformed one
                        that is no SHA-256 (repr: cut short; legacy: in hex), other only
                        another algorithm's (sha-512, MD5), sha3 (repr) a 32-byte sha3-256 of
                        other bytes, twice (repr) a wrong sha-256 and then the right one in
                        one line; several FORM-KINDs parted by "," are sent as header lines
                        of their own, in that order
    conditional=ignore  If-None-Match and If-Modified-Since are ignored (200 whole)
    rangeshift=N        a 206 starts N bytes after where the Range asked it to
    extra=N             a 206 sends N bytes more than its Content-Range announces (and
                        counts them in its Content-Length)

A request line with an absolute URI, as a client sends it to a proxy
(GET http://some.host:1234/file/10 HTTP/1.1), is answered as if it had been sent
to that host.

Options: --port P listens on P (default 0: a free port chosen by the system);
--downloads DIR serves the files of DIR under /download/;
--tls DIR serves https. It makes in DIR, with the openssl tool, a certificate
authority "Tessaly Test CA" (ca.pem, ca-key.pem), the server's certificate signed by
it for IP 127.0.0.1, localhost and www.kestrelweave.com (cert.pem, key.pem), and
DIR/authorities/ holding ca.pem in OpenSSL's hashed layout (HASH.0), so a client
trusts the server through SSL_CERT_FILE=DIR/ca.pem or SSL_CERT_DIR=DIR/authorities;
--tunnel DIR listens in plain HTTP, makes the same files in DIR and acts as an https
proxy: CONNECT host:port is answered "200 Connection established", after which the
connection speaks TLS with the server's certificate and the routes above are served
inside it (keep-alive included), whatever the host. CONNECT to a host whose name
starts with "forbidden." is answered 403 and closed. Without --tunnel, CONNECT is
not supported (501).
"""

import argparse
import base64
import email.utils
import hashlib
import http.server
import io
import json
import os
import re
import select
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

UNIT = bytes(range(251))
PIECE = 64 * 1024
# How long a stalled answer waits at most for its client to give up.
STALL_SECONDS = 300
# Last-Modified of every served file; a changing version moves it on by one second
# per request.
MODIFIED = 1740819600  # 2025-03-01 09:00:00 UTC
CERTIFICATE_DAYS = "2"

OPENSSL_CONFIG = """\
[ req ]
distinguished_name = name
prompt = no
[ name ]
CN = unused
[ authority ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign
subjectKeyIdentifier = hash
[ server ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost, DNS:www.kestrelweave.com
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""

output_lock = threading.Lock()
DOWNLOADS = None
RECORDS = None
last_record = {}
# Answers so far per request target, for cut=; and the version=changing counter.
state_lock = threading.Lock()
answers_per_target = {}
# Answers so far per request target, for later=.
versions_per_target = {}
changes = 0
# Connections accepted so far, numbering each.
connections = 0
# SHA-256 of whole files served, by (length, first bytes): computing one is costly.
digests = {}


def pattern(start, count):
    """Bytes start .. start + count of the pattern."""
    offset = start % len(UNIT)
    repeats = (offset + count) // len(UNIT) + 1
    return (UNIT * repeats)[offset:offset + count]


def answered_before(counters, target):
    """How many answers `counters` counted for `target` before this one, which it counts."""
    with state_lock:
        served = counters.get(target, 0)
        counters[target] = served + 1
    return served


def whole_digest(length, read):
    """The SHA-256 of the `length` bytes that `read(start, count)` gives."""
    key = (length, read(0, 64))
    if key not in digests:
        hash = hashlib.sha256()
        for start in range(0, length, PIECE):
            hash.update(read(start, min(PIECE, length - start)))
        digests[key] = hash.digest()
    return digests[key]


def digest_header(spec, digest):
    """(name, value) of the digest header that `spec` of the digest= parameter asks for."""
    form, _, kind = spec.partition("-")
    right = base64.b64encode(digest).decode()
    if kind == "wrong":
        digest = hashlib.sha256(digest).digest()
    elif kind == "lastbyte":
        digest = digest[:-1] + bytes([digest[-1] ^ 1])
    encoded = base64.b64encode(digest).decode()
    if form == "repr":
        if kind == "sha3":
            return "Repr-Digest", "sha3-256=:%s:" % base64.b64encode(hashlib.sha3_256(digest).digest()).decode()
        if kind == "twice":
            wrong = base64.b64encode(hashlib.sha256(digest).digest()).decode()
            return "Repr-Digest", "sha-256=:%s:, sha-256=:%s:" % (wrong, right)
        if kind == "malformed":
            return "Repr-Digest", "sha-256=:%s:" % encoded[:-4]
        if kind == "other":
            return "Repr-Digest", "sha-512=:%s:" % base64.b64encode(hashlib.sha512(digest).digest()).decode()
        return "Repr-Digest", "sha-256=:%s:" % encoded
    if form == "legacy":
        if kind == "malformed":
            return "Digest", "SHA-256=%s" % digest.hex()
        if kind == "other":
            return "Digest", "MD5=%s" % base64.b64encode(hashlib.md5(digest).digest()).decode()
        return "Digest", "SHA-256=%s" % encoded
    return None


def emit(text, output=None):
    output = output or sys.stdout
    with output_lock:
        output.write(text + "\n")
        output.flush()


def parameters(query):
    values = {}
    for field in query.split("&"):
        name, _, value = field.partition("=")
        values[urllib.parse.unquote(name)] = urllib.parse.unquote(value)
    return values


def download_folder(query):
    folder = parameters(query).get("from") or DOWNLOADS
    if folder and re.match(r"[zZ]:\\", folder):
        folder = folder[2:].replace("\\", "/")
    return folder


def count_parameter(values, name, default=None):
    text = values.get(name, "")
    return int(text) if text.isdigit() else default


def byte_range(header, length):
    """(first, last) of a single `bytes=A-` or `bytes=A-B`, clamped to the length;
    "unsatisfiable" when A is at or past the end; None when it is anything else."""
    match = re.fullmatch(r"\s*bytes\s*=\s*(\d+)\s*-\s*(\d*)\s*", header, re.IGNORECASE)
    if not match:
        return None
    first = int(match.group(1))
    if match.group(2) and int(match.group(2)) < first:
        return None
    if first >= length:
        return "unsatisfiable"
    last = int(match.group(2)) if match.group(2) else length - 1
    return first, min(last, length - 1)


class SocketWriter(io.BufferedIOBase):
    """Unbuffered writes that always send everything, as the handler's own wfile does."""

    def __init__(self, connection):
        self._connection = connection

    def writable(self):
        return True

    def write(self, data):
        self._connection.sendall(data)
        return len(data)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestHttpServer"
    sys_version = ""
    tunnel = None

    def setup(self):
        super().setup()
        global connections
        with state_lock:
            connections += 1
            self.connection_number = connections
        if isinstance(self.request, ssl.SSLSocket):
            self.request.do_handshake()

    def finish(self):
        super().finish()
        # The accepting loop shuts down the socket it handed over, which the tunnel's
        # TLS layer has taken from it.
        if self.tunnel is not None:
            try:
                self.tunnel.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            self.tunnel.close()

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def record(self, absolute):
        record = {
            "line": self.requestline,
            "host": self.headers.get("Host", ""),
            "agent": self.headers.get("User-Agent", ""),
            "absolute": absolute,
            "range": self.headers.get("Range", ""),
            "if_range": self.headers.get("If-Range", ""),
            "connection": self.connection_number,
            "condition": "; ".join("%s: %s" % (name, self.headers[name])
                                   for name in ("If-None-Match", "If-Modified-Since") if name in self.headers),
        }
        with output_lock:
            last_record.clear()
            last_record.update(record)
        emit(json.dumps(record), RECORDS)

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        path = parts.path or "/"
        if path != "/last":
            self.record(bool(parts.scheme))
        try:
            self.route(path, parts.query)
        except (ConnectionError, ssl.SSLError, socket.timeout):
            self.close_connection = True

    def do_CONNECT(self):
        context = self.server.tunnel_context
        if context is None:
            self.send_error(501, "Unsupported method ('CONNECT')")
            return
        self.record(False)
        authority = self.path
        if authority.startswith("["):
            host = authority[1:].partition("]")[0]
        else:
            host = authority.rpartition(":")[0] if ":" in authority else authority
        if host.lower().startswith("forbidden."):
            self.page(403, "Forbidden", [("Connection", "close")])
            self.close_connection = True
            return
        try:
            self.send_response(200, "Connection established")
            self.end_headers()
            tunnel = context.wrap_socket(self.connection, server_side=True)
        except (ssl.SSLError, OSError):
            # A client that does not trust the certificate gives up in the handshake.
            self.close_connection = True
            return
        self.rfile.close()
        self.wfile.close()
        self.tunnel = self.connection = self.request = tunnel
        self.rfile = tunnel.makefile("rb")
        self.wfile = SocketWriter(tunnel)
        self.close_connection = False

    def route(self, path, query):
        segments = [s for s in path.split("/") if s]
        head = segments[0] if segments else ""
        number = None
        if len(segments) == 2 and segments[1].isdigit():
            number = int(segments[1])
        if head == "file" and number is not None:
            self.serve(path, query, number, "pattern", pattern)
        elif head == "chunked" and number is not None:
            self.chunked(number, number)
        elif head == "chunked-cut" and number is not None:
            self.chunked(number, number // 2)
        elif head == "status" and number is not None:
            self.page(number, "Status %d" % number)
        elif head == "redirect":
            self.redirect("/" + "/".join(segments[1:]))
        elif head == "loop":
            self.redirect("/loop")
        elif head == "goto" and len(segments) == 1:
            self.goto(query)
        elif head == "close-mid" and number is not None:
            self.answer(200, number, number // 2)
        elif head == "short" and number is not None:
            self.answer(200, number, max(number - 1, 0))
        elif head == "stall" and number is not None:
            self.answer(200, number, number // 2, stall=True)
        elif head == "download" and len(segments) == 2 and download_folder(query):
            self.serve_file(path, query, os.path.join(download_folder(query), segments[1]))
        elif head == "hang":
            self.wait_for_client()
        elif head == "not-http" and len(segments) == 1:
            self.wfile.write(b"Hello, this is no web server.\r\n" * 4)
            self.close_connection = True
        elif head == "unended" and len(segments) == 1:
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n")
            self.wait_for_client()
        elif head == "trickle" and len(segments) == 1:
            self.trickle()
        elif head == "last":
            with output_lock:
                body = json.dumps(last_record).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.page(404, "No such route")

    def serve_file(self, path, query, name):
        try:
            with open(name, "rb") as file:
                body = file.read()
        except OSError:
            self.page(404, "Not Found")
            return
        try:
            with open(name + ".query", "r") as file:
                query = "&".join(part for part in (file.read().strip(), query) if part)
        except OSError:
            pass
        self.serve(path, query, len(body), hashlib.sha1(body).hexdigest(),
                   lambda start, count: body[start:start + count])

    def serve(self, path, query, length, content, read):
        """Answers a file route: validators, Range and If-Range, cuts (see the routes).
        `content` tells contents of the same length apart; `read(start, count)` gives
        the body's bytes."""
        global changes
        values = parameters(query)
        # The validators are those of the first version, whatever is sent later.
        first_length = length
        later = count_parameter(values, "later")
        if later is not None:
            if answered_before(versions_per_target, path + "?" + query) > 0:
                length = later
                read = lambda start, count: pattern(start + 7, count)  # noqa: E731
        version = 0
        if values.get("version") == "changing":
            with state_lock:
                changes += 1
                version = changes
        tag = hashlib.sha1(("%s %d %s %d" % (path, first_length, content, version)).encode()).hexdigest()[:20]
        etag = ('W/"%s"' if values.get("weak") == "1" else '"%s"') % tag
        modified = email.utils.formatdate(MODIFIED + version, usegmt=True)
        validator = values.get("validator")
        if validator not in ("etag", "date", "none"):
            validator = "both"
        validators = []
        if validator in ("both", "etag"):
            validators.append(("ETag", etag))
        if validator in ("both", "date"):
            validators.append(("Last-Modified", modified))
        # Only a strong tag may select a range.
        matching = [value for name, value in validators if not value.startswith("W/")]

        if values.get("conditional") != "ignore":
            sent_tag = dict(validators).get("ETag")
            none_match = self.headers.get("If-None-Match")
            since = self.headers.get("If-Modified-Since")
            bare = lambda tag: tag[2:] if tag.startswith("W/") else tag  # noqa: E731
            if none_match is not None:
                unchanged = sent_tag is not None and bare(sent_tag) in [bare(t.strip()) for t in none_match.split(",")]
            else:
                unchanged = since is not None and since == dict(validators).get("Last-Modified")
            if unchanged:
                self.send_response(304)
                for name, value in validators:
                    self.send_header(name, value)
                self.end_headers()
                return

        ranges = values.get("ranges")
        requested = self.headers.get("Range")
        span = None
        if requested is not None and ranges != "ignore":
            if ranges == "416":
                span = "unsatisfiable"
            else:
                condition = self.headers.get("If-Range")
                if condition is None or condition.strip() in matching or values.get("ifrange") == "ignore":
                    span = byte_range(requested, length)
        if span == "unsatisfiable":
            self.page(416, "Range Not Satisfiable", [("Content-Range", "bytes */%d" % length)] + validators,
                      reason="Range Not Satisfiable")
            return

        first, last = span if span else (0, length - 1)
        if span:
            first = min(first + (count_parameter(values, "rangeshift") or 0), last)
        count = last - first + 1
        extra = (count_parameter(values, "extra") or 0) if span else 0
        self.send_response(206 if span else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(count + extra))
        if span:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, length))
        if ranges != "ignore":
            self.send_header("Accept-Ranges", "bytes")
        for name, value in validators:
            self.send_header(name, value)
        for spec in filter(None, values.get("digest", "").split(",")):
            header = digest_header(spec, whole_digest(length, read))
            if header:
                self.send_header(*header)
        self.end_headers()

        sent = count + extra
        cut = count_parameter(values, "cut")
        if cut is not None:
            if answered_before(answers_per_target, path + "?" + query) < count_parameter(values, "cuts", 1):
                sent = min(cut, count)
            else:
                cut = None
        for start in range(0, sent, PIECE):
            self.wfile.write(read(first + start, min(PIECE, sent - start)))
        self.wfile.flush()
        if cut is not None:
            if values.get("cutmode") == "stall":
                self.wait_for_client()
            self.close_connection = True

    def goto(self, query):
        # `to` takes the rest of the query, so that a URL with its own query needs
        # no escaping.
        match = re.search(r"(?:^|&)to=(.*)", query, re.DOTALL)
        location = urllib.parse.unquote(match.group(1)) if match else ""
        if not location or not all(0x21 <= ord(c) < 0x7F for c in location):
            self.page(400, "No URL to go to")
            return
        self.redirect(location)

    def answer(self, status, announced, sent, stall=False):
        """Announces `announced` bytes of the pattern and sends the first `sent`."""
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(announced))
        self.end_headers()
        for start in range(0, sent, PIECE):
            self.wfile.write(pattern(start, min(PIECE, sent - start)))
        self.wfile.flush()
        if stall:
            self.wait_for_client()
        if sent < announced:
            self.close_connection = True

    def chunked(self, total, sent):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        # Chunks of uneven sizes, so that they never line up with the reader's blocks.
        sizes = [1, 700, 4096, 3, 1500]
        position, index = 0, 0
        while position < sent:
            size = min(sizes[index % len(sizes)], sent - position)
            self.wfile.write(b"%x\r\n" % size + pattern(position, size) + b"\r\n")
            position += size
            index += 1
        if sent < total:
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(b"0\r\n\r\n")

    def page(self, status, text, headers=(), reason=None):
        body = ("<html><body><h1>%s</h1></body></html>" % text).encode()
        self.send_response(status, reason)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, location):
        body = b"<html><body>Moved</body></html>"
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def client_closed(self, seconds):
        """Waits up to `seconds` for the client; true once it has closed the connection."""
        readable, _, _ = select.select([self.connection], [], [], seconds)
        if not readable:
            return False
        try:
            return not self.connection.recv(4096)
        except (ConnectionError, ssl.SSLError, OSError):
            return True

    def trickle(self):
        """A status line, then a header one byte a second until the client closes."""
        self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Trickle: ")
        self.close_connection = True
        deadline = time.monotonic() + STALL_SECONDS
        while time.monotonic() < deadline and not self.client_closed(1.0):
            try:
                self.wfile.write(b"a")
            except (ConnectionError, ssl.SSLError, OSError):
                return

    def wait_for_client(self):
        """Sends nothing until the client closes the connection (or a long while)."""
        self.wfile.flush()
        self.close_connection = True
        deadline = time.monotonic() + STALL_SECONDS
        while time.monotonic() < deadline and not self.client_closed(0.5):
            pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    tunnel_context = None

    def handle_error(self, request, client_address):
        # Clients that drop the connection (cancel, time-out, failed handshake) are
        # part of the tests, not errors of the server.
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, ssl.SSLError, socket.timeout, OSError)):
            return
        super().handle_error(request, client_address)


def make_certificates(folder):
    """The test authority and the server's certificate signed by it; (cert, key)."""
    config = os.path.join(folder, "openssl.cnf")
    with open(config, "w") as file:
        file.write(OPENSSL_CONFIG)
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca-key.pem")
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    new_key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", CERTIFICATE_DAYS]
    quiet = {"check": True, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run(["openssl", "req", "-config", config, "-x509", *new_key, "-keyout", ca_key, "-out", ca,
                    "-subj", "/CN=Tessaly Test CA", "-extensions", "authority"], **quiet)
    subprocess.run(["openssl", "req", "-config", config, "-x509", *new_key, "-keyout", key, "-out", cert,
                    "-subj", "/CN=127.0.0.1", "-CA", ca, "-CAkey", ca_key, "-extensions", "server"], **quiet)
    subject_hash = subprocess.run(["openssl", "x509", "-hash", "-noout", "-in", ca], check=True,
                                  capture_output=True, text=True).stdout.strip()
    authorities = os.path.join(folder, "authorities")
    os.makedirs(authorities, exist_ok=True)
    shutil.copyfile(ca, os.path.join(authorities, subject_hash + ".0"))
    return cert, key


def server_context(folder):
    cert, key = make_certificates(folder)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    secure = parser.add_mutually_exclusive_group()
    secure.add_argument("--tls", metavar="DIR")
    secure.add_argument("--tunnel", metavar="DIR")
    parser.add_argument("--downloads", metavar="DIR")
    parser.add_argument("--records", metavar="FILE")
    options = parser.parse_args()
    global DOWNLOADS, RECORDS
    DOWNLOADS = options.downloads
    if options.records:
        RECORDS = open(options.records, "a", encoding="utf-8")

    try:
        server = Server(("127.0.0.1", options.port), Handler)
    except OSError as error:
        sys.stderr.write("http_server.py: cannot listen on port %d: %s\n" % (options.port, error.strerror))
        return 1
    if options.tls:
        # The handshake runs in the request's thread (Handler.setup), so a client
        # that never completes it cannot block the accepting loop.
        server.socket = server_context(options.tls).wrap_socket(
            server.socket, server_side=True, do_handshake_on_connect=False)
    if options.tunnel:
        server.tunnel_context = server_context(options.tunnel)
    emit(str(server.server_address[1]))
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
