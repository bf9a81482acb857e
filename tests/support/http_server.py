#!/usr/bin/env python3
"""A scriptable HTTP server for the tests, listening on 127.0.0.1 only.

The first line of standard output is the port it listens on; after it comes one
JSON line per request, printed before the answer is sent:
    {"line": request line, "host": Host header, "agent": User-Agent header,
     "absolute": true when the request line named an absolute URI}

Routes (a query string is ignored):
    /file/N          N bytes of the pattern (byte i is i % 251), with Content-Length
    /chunked/N       the same bytes, chunked, without Content-Length
    /chunked-cut/N   chunked, closes after about half of N without the last chunk
    /status/C        status C with a small HTML page
    /redirect/REST   302 (with a small page) to /REST; nest it for longer chains
    /loop            302 to itself
    /close-mid/N     announces N bytes, sends half of them, closes
    /short/N         announces N bytes, sends N - 1, closes
    /stall/N         announces N bytes, sends half of them, then nothing more
    /hang            reads the request and never answers
    /last            the record of the last other request
    /download/NAME   with --downloads DIR: the file DIR/NAME, or 404 when there is none

A request line with an absolute URI, as a client sends it to a proxy
(GET http://some.host:1234/file/10 HTTP/1.1), is answered as if it had been sent
to that host.

Options: --port P listens on P (default 0: a free port chosen by the system);
--downloads DIR serves the files of DIR under /download/;
--tls DIR serves https with a self-signed certificate for 127.0.0.1 that it makes
in DIR (cert.pem, key.pem) with the openssl tool.
"""

import argparse
import http.server
import json
import os
import select
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

output_lock = threading.Lock()
DOWNLOADS = None
last_record = {}


def pattern(start, count):
    """Bytes start .. start + count of the pattern."""
    offset = start % len(UNIT)
    repeats = (offset + count) // len(UNIT) + 1
    return (UNIT * repeats)[offset:offset + count]


def emit(text):
    with output_lock:
        sys.stdout.write(text + "\n")
        sys.stdout.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestHttpServer"
    sys_version = ""

    def setup(self):
        super().setup()
        if isinstance(self.request, ssl.SSLSocket):
            self.request.do_handshake()

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        absolute = bool(parts.scheme)
        path = parts.path or "/"
        if path != "/last":
            record = {
                "line": self.requestline,
                "host": self.headers.get("Host", ""),
                "agent": self.headers.get("User-Agent", ""),
                "absolute": absolute,
            }
            with output_lock:
                last_record.clear()
                last_record.update(record)
            emit(json.dumps(record))
        try:
            self.route(path)
        except (ConnectionError, ssl.SSLError, socket.timeout):
            self.close_connection = True

    def route(self, path):
        segments = [s for s in path.split("/") if s]
        head = segments[0] if segments else ""
        number = None
        if len(segments) == 2 and segments[1].isdigit():
            number = int(segments[1])
        if head == "file" and number is not None:
            self.answer(200, number, number)
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
        elif head == "close-mid" and number is not None:
            self.answer(200, number, number // 2)
        elif head == "short" and number is not None:
            self.answer(200, number, max(number - 1, 0))
        elif head == "stall" and number is not None:
            self.answer(200, number, number // 2, stall=True)
        elif head == "download" and len(segments) == 2 and DOWNLOADS:
            self.serve_file(os.path.join(DOWNLOADS, segments[1]))
        elif head == "hang":
            self.wait_for_client()
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

    def serve_file(self, name):
        try:
            with open(name, "rb") as file:
                body = file.read()
        except OSError:
            self.page(404, "Not Found")
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

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

    def page(self, status, text):
        body = ("<html><body><h1>%s</h1></body></html>" % text).encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
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

    def wait_for_client(self):
        """Sends nothing until the client closes the connection (or a long while)."""
        self.wfile.flush()
        self.close_connection = True
        deadline = time.monotonic() + STALL_SECONDS
        while time.monotonic() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 0.5)
            if readable:
                try:
                    if not self.connection.recv(4096):
                        return
                except (ConnectionError, ssl.SSLError, OSError):
                    return


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that drop the connection (cancel, time-out, failed handshake) are
        # part of the tests, not errors of the server.
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, ssl.SSLError, socket.timeout, OSError)):
            return
        super().handle_error(request, client_address)


def make_certificate(folder):
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1"],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls", metavar="DIR")
    parser.add_argument("--downloads", metavar="DIR")
    options = parser.parse_args()
    global DOWNLOADS
    DOWNLOADS = options.downloads

    try:
        server = Server(("127.0.0.1", options.port), Handler)
    except OSError as error:
        sys.stderr.write("http_server.py: cannot listen on port %d: %s\n" % (options.port, error.strerror))
        return 1
    if options.tls:
        cert, key = make_certificate(options.tls)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        # The handshake runs in the request's thread (Handler.setup), so a client
        # that never completes it cannot block the accepting loop.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    emit(str(server.server_address[1]))
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
