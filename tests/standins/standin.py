"""Shared parts of the stand-in services the tests talk to over real HTTPS on 127.0.0.1.

A stand-in is a small HTTP server behind TLS with a certificate issued by a test certificate
authority made for the run (never trusted by the system). It announces itself on standard output
with one JSON line, {"port": N, "ca": "/path/ca.pem", "control": "/_standin"}, once it accepts
connections, and runs until its standard input closes or it is sent SIGTERM.

Every stand-in keeps what it was sent and can be told how to answer through its control
endpoints, under /_standin/ on the same port (so a person trying the program by hand can use
curl --cacert ca.pem):

  GET  /_standin/requests          every request so far, oldest first (method, path, headers, body)
  POST /_standin/reset             forget the requests and the failure plan
  POST /_standin/plan              JSON {"path": "/v1/events", "times": 1, "status": 429,
                                   "headers": {"Retry-After": "10"}, "body": "…",
                                   "delay": 30, "close": false} — the next `times` requests to the
                                   path get this answer instead of the normal one ("delay" holds
                                   the answer back that many seconds, "close" drops the connection)
  POST /_standin/set               JSON object merged into the stand-in's settings (each stand-in
                                   documents its own, e.g. "dateOffset")
"""

import argparse
import json
import os
import signal
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONTROL = "/_standin"


def make_certificates(folder):
    """A certificate authority and a server certificate for 127.0.0.1 and localhost, in `folder`.
    Returns (ca.pem, server.pem, server.key)."""
    os.makedirs(folder, exist_ok=True)
    ca_key = os.path.join(folder, "ca.key")
    ca = os.path.join(folder, "ca.pem")
    key = os.path.join(folder, "server.key")
    csr = os.path.join(folder, "server.csr")
    cert = os.path.join(folder, "server.pem")
    ext = os.path.join(folder, "server.ext")
    if os.path.exists(ca) and os.path.exists(cert) and os.path.exists(key):
        return ca, cert, key

    def run(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-keyout", ca_key, "-out", ca, "-days", "2", "-subj", "/CN=Tarnwhistle test authority",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
        "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        key, "-out", csr, "-subj", "/CN=127.0.0.1")
    with open(ext, "w", encoding="ascii") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
        "-days", "2", "-extfile", ext)
    return ca, cert, key


class StandIn:
    """What a stand-in service keeps: the requests, the failure plan and its settings."""

    def __init__(self, settings=None):
        self.lock = threading.Lock()
        self.requests = []
        self.plans = []
        self.settings = dict(settings or {})

    def record(self, handler, body):
        entry = {
            "method": handler.command,
            "path": handler.path,
            "headers": {k: v for k, v in handler.headers.items()},
            "body": body.decode("utf-8", "replace"),
        }
        with self.lock:
            self.requests.append(entry)

    def take_plan(self, path):
        with self.lock:
            for plan in self.plans:
                if plan.get("path") in (path, path.split("?")[0], "*") and plan.get("times", 1) > 0:
                    plan["times"] = plan.get("times", 1) - 1
                    if plan["times"] <= 0:
                        self.plans.remove(plan)
                    return dict(plan)
        return None

    def setting(self, name, default=None):
        with self.lock:
            return self.settings.get(name, default)


class Handler(BaseHTTPRequestHandler):
    """Base request handler: control endpoints, the failure plan, JSON helpers. A stand-in
    subclasses it and implements `answer(method, path, body)` returning (status, headers, body)."""

    protocol_version = "HTTP/1.1"
    standin = None  # set by serve()

    def log_message(self, fmt, *args):  # quiet
        pass

    def setup(self):
        # The TLS handshake happens here, in the connection's own thread, so that a slow or
        # broken client never holds up the others.
        super().setup()
        try:
            self.request.do_handshake()
        except (ssl.SSLError, OSError):
            self.close_connection = True

    def handle(self):
        try:
            super().handle()
        except (ssl.SSLError, ConnectionError):
            pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, status, headers=None, body=b""):
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode()
            headers = dict(headers or {})
            headers.setdefault("Content-Type", "application/json")
        elif isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, str(value))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)

    def control(self, path, body):
        s = self.standin
        if path == CONTROL + "/requests" and self.command == "GET":
            with s.lock:
                return self.send(200, body=list(s.requests))
        if path == CONTROL + "/reset" and self.command == "POST":
            with s.lock:
                s.requests.clear()
                s.plans.clear()
            return self.send(204)
        if path == CONTROL + "/plan" and self.command == "POST":
            with s.lock:
                s.plans.append(json.loads(body or b"{}"))
            return self.send(204)
        if path == CONTROL + "/set" and self.command == "POST":
            with s.lock:
                s.settings.update(json.loads(body or b"{}"))
            return self.send(204)
        return self.send(404)

    def handle_any(self):
        body = self.read_body()
        path = self.path
        if path.startswith(CONTROL + "/"):
            return self.control(path, body)
        self.standin.record(self, body)
        plan = self.standin.take_plan(path)
        if plan is not None:
            if plan.get("delay"):
                time.sleep(float(plan["delay"]))
            if plan.get("close"):
                self.close_connection = True
                return
            return self.send(int(plan.get("status", 500)), plan.get("headers"),
                             plan.get("body", ""))
        status, headers, reply = self.answer(self.command, path, body)
        return self.send(status, headers, reply)

    def answer(self, method, path, body):  # overridden
        return 404, {}, b""

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = handle_any


def serve(handler_class, description, settings=None):
    """Parses the common options, makes the certificates, starts the server and announces it."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0: any free one)")
    parser.add_argument("--dir", default=None,
                        help="folder for the test certificate authority (default: a new one)")
    args = parser.parse_args()
    folder = args.dir or os.path.join(os.environ.get("TMPDIR", "/tmp"),
                                      "tarnwhistle-standin-%d" % os.getpid())
    ca, cert, key = make_certificates(folder)

    handler_class.standin = StandIn(settings)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), handler_class)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True,
                                        do_handshake_on_connect=False)

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(json.dumps({"port": server.server_address[1], "ca": ca, "control": CONTROL}), flush=True)
    # Runs until standard input closes (the test that started it went away) or a signal.
    try:
        while sys.stdin.read(4096):
            pass
    except KeyboardInterrupt:
        pass
    os._exit(0)
