#!/usr/bin/env python3
"""A local HTTPS update service for the update checker's tests.

Makes two self-signed certificates for "localhost" with openssl: one the test
adds to the Wine prefix's trusted roots (trusted.pem), one it does not
(untrusted.pem). Serves the first on one port and the second on another, and
writes "TRUSTED_PORT UNTRUSTED_PORT" into ports.txt once both listen. Each
request is logged as "path<TAB>user agent" into requests.log. The first part
of the path picks the answer (see ANSWERS). Ends on /quit, or by itself after
two minutes, so a failed test never leaves it behind.
"""
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

state = sys.argv[1]
os.makedirs(state, exist_ok=True)

GOOD = b"lastversion=2.15.0.0\nupdateurl=https://localhost/download\n"
ANSWERS = {
    "newer": (200, GOOD),
    "same": (200, b"lastversion=2.14.1.0\nupdateurl=https://localhost/download\n"),
    "short": (200, b"lastversion=2.14\nupdateurl=https://localhost/download\n"),
    "missing": (200, b"lastversion=2.15.0.0\n"),
    "nolf": (200, b"updateurl=https://localhost/download\nlastversion=2.15.0.0"),
    "crlf": (200, b"LastVersion=2.15.0.0\r\nUpdateURL=https://localhost/download\r\n"),
    "notfound": (404, GOOD),
    "error": (500, GOOD),
    "fileurl": (200, b"lastversion=2.15.0.0\nupdateurl=file:///C:/windows/system32/calc.exe\n"),
}


def make_cert(name):
    cert, key = os.path.join(state, name + ".pem"), os.path.join(state, name + ".key")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                        "-addext", "basicConstraints=critical,CA:TRUE"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, chunk=None, pause=0.0):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        step = chunk or len(body) or 1
        for i in range(0, len(body), step):
            self.wfile.write(body[i:i + step])
            self.wfile.flush()
            time.sleep(pause)

    def do_GET(self):
        with open(os.path.join(state, "requests.log"), "a") as log:
            log.write("%s\t%s\n" % (self.path, self.headers.get("User-Agent", "")))
        scenario = self.path.strip("/").split("/")[0]
        port = self.server.server_address[1]
        if scenario == "quit":
            self.send_body(200, b"bye")
            threading.Thread(target=stop_all).start()
        elif scenario == "tohttp":
            self.send_response(302)
            self.send_header("Location", "http://localhost:%d/newer/checkupdates" % port)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif scenario == "tohttps":
            self.send_response(302)
            self.send_header("Location", "/newer/checkupdates?moved=1")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif scenario == "slow":
            self.send_body(200, GOOD, chunk=7, pause=0.05)
        elif scenario == "hang":
            time.sleep(3)
            self.send_body(200, GOOD)
        elif scenario in ANSWERS:
            self.send_body(*ANSWERS[scenario])
        else:
            self.send_body(404, b"no such answer")


servers = []


def stop_all():
    for s in servers:
        s.shutdown()


def serve(name):
    cert, key = make_cert(name)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    servers.append(server)
    return server


trusted, untrusted = serve("trusted"), serve("untrusted")
threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
for t in threads:
    t.start()
with open(os.path.join(state, "ports.tmp"), "w") as f:
    f.write("%d %d\n" % (trusted.server_address[1], untrusted.server_address[1]))
os.replace(os.path.join(state, "ports.tmp"), os.path.join(state, "ports.txt"))
threading.Timer(120, stop_all).start()
for t in threads:
    t.join()
os._exit(0)
