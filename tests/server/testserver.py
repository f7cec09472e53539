#!/usr/bin/env python3
"""Local HTTP and HTTPS peer for the tests.

One process serves plain HTTP on 127.0.0.1 and HTTPS (certificate for the
name "localhost", signed by the test CA) on a second port, and HTTPS again on
a third, a server elsewhere that the same CA vouches for. All share one
state: the routes a test sets and the record of every request received. The
TLS of each connection is made in memory (tls_connection.py), so that an
answer's bytes on the wire can be held to a rate below its records.

Control API (plain HTTP, never recorded):
  POST /__ctl/reset               forget routes and records (and extension state)
  POST /__ctl/route               add a route, JSON body:
        {"method": "GET" | "*", "path": "/x", "prefix": false,
         "status": 200, "headers": {"Name": "value"},
         "body": "text" | "body_b64": "...",
         "delay": 0.0,            seconds before answering (capped at 60)
         "drop": false,           close the connection without an answer
         "times": 0}              uses before the route is gone (0: unlimited)
  GET  /__ctl/requests            JSON list of {"method","path","headers","body_b64","tls","port"}
  GET  /__ctl/requests?format=lines
                                  one request a line: method TAB path TAB
                                  base64(headers, "Name: value" CRLF-joined)
                                  TAB base64(body) TAB 0|1 (TLS) TAB the port
                                  it came to
Routes are matched newest first. Unmatched requests get 404.

Extensions: every module named ext_*.py beside this file is imported; its
register(state) may return a function handle(handler, method, path, body)
that answers a request itself and returns True (tried before the routes),
and a function control(handler, name, query, body) for "/__ctl/<name>" that
returns True when it answered.

The process ends by itself after --max-seconds.
"""
import argparse
import base64
import glob
import importlib.util
import json
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from tls_connection import TlsConnection


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.routes = []
        self.records = []
        self.extensions = []

    def reset(self):
        with self.lock:
            self.routes = []
            self.records = []
        for ext in self.extensions:
            reset = getattr(ext["module"], "reset", None)
            if reset:
                reset()

    def take_route(self, method, path):
        with self.lock:
            for route in reversed(self.routes):
                if route.get("method", "*") not in ("*", method):
                    continue
                wanted = route.get("path", "/")
                bare = path.split("?", 1)[0]
                if route.get("prefix"):
                    if not path.startswith(wanted):
                        continue
                elif wanted != path and wanted != bare:
                    continue
                if route.get("times", 0) > 0:
                    route["times"] -= 1
                    if route["times"] == 0:
                        self.routes.remove(route)
                return dict(route)
        return None


STATE = State()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 10  # idle keep-alive connections are closed

    def log_message(self, fmt, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send_bytes(self, status, body, headers=None, content_type="text/plain"):
        self.send_response(status)
        headers = dict(headers or {})
        names = {k.lower() for k in headers}
        if "content-type" not in names:
            headers["Content-Type"] = content_type
        if "content-length" not in names:
            headers["Content-Length"] = str(len(body))
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.wfile.flush()

    def handle_any(self):
        method = self.command
        path = self.path
        body = self.read_body()
        if path.startswith("/__ctl/"):
            self.control(path, body)
            return
        with STATE.lock:
            STATE.records.append({
                "method": method,
                "path": path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body_b64": base64.b64encode(body).decode(),
                "tls": isinstance(self.connection, TlsConnection),
                "port": self.server.server_address[1],
            })
        for ext in STATE.extensions:
            handle = ext.get("handle")
            if handle and handle(self, method, path, body):
                return
        route = STATE.take_route(method, path)
        if route is None:
            self.send_bytes(404, b"not found")
            return
        delay = min(float(route.get("delay", 0)), 60.0)
        if delay > 0:
            time.sleep(delay)
        if route.get("drop"):
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        if "body_b64" in route:
            payload = base64.b64decode(route["body_b64"])
        else:
            payload = route.get("body", "").encode("utf-8")
        self.send_bytes(int(route.get("status", 200)), payload, route.get("headers"))

    def control(self, path, body):
        parsed = urllib.parse.urlsplit(path)
        name = parsed.path[len("/__ctl/"):]
        query = urllib.parse.parse_qs(parsed.query)
        if name == "reset":
            STATE.reset()
            self.send_bytes(200, b"ok")
        elif name == "route":
            route = json.loads(body.decode("utf-8"))
            with STATE.lock:
                STATE.routes.append(route)
            self.send_bytes(200, b"ok")
        elif name == "requests":
            with STATE.lock:
                records = list(STATE.records)
            if query.get("format") == ["lines"]:
                lines = []
                for r in records:
                    headers = "\r\n".join(f"{k}: {v}" for k, v in r["headers"])
                    lines.append("\t".join([
                        r["method"], r["path"],
                        base64.b64encode(headers.encode("latin-1", "replace")).decode(),
                        r["body_b64"], "1" if r["tls"] else "0", str(r["port"])]))
                self.send_bytes(200, ("\n".join(lines) + ("\n" if lines else "")).encode())
            else:
                self.send_bytes(200, json.dumps(records).encode(), content_type="application/json")
        else:
            for ext in STATE.extensions:
                control = ext.get("control")
                if control and control(self, name, query, body):
                    return
            self.send_bytes(404, b"unknown control")

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = handle_any


def load_extensions():
    here = os.path.dirname(os.path.abspath(__file__))
    for path in sorted(glob.glob(os.path.join(here, "ext_*.py"))):
        found = importlib.util.spec_from_file_location(os.path.basename(path)[:-3], path)
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        hooks = module.register(STATE) or {}
        hooks["module"] = module
        STATE.extensions.append(hooks)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class TlsServer(Server):
    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def get_request(self):
        sock, addr = self.socket.accept()
        sock.settimeout(10)
        try:
            return TlsConnection(sock, self.context), addr
        except (ssl.SSLError, OSError):
            sock.close()
            raise


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--cert", help="PEM with the localhost certificate and key")
    parser.add_argument("--max-seconds", type=float, default=1800)
    args = parser.parse_args()

    load_extensions()
    http = Server(("127.0.0.1", 0), Handler)
    servers = [http]
    https_ports = [0, 0]
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert)
        for k in range(len(https_ports)):
            https = TlsServer(("127.0.0.1", 0), Handler, context)
            servers.append(https)
            https_ports[k] = https.server_address[1]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()

    tmp = args.ports_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(f"{http.server_address[1]} {https_ports[0]} {https_ports[1]}\n")
    os.replace(tmp, args.ports_file)

    deadline = time.time() + args.max_seconds
    while time.time() < deadline:
        time.sleep(0.5)
    for server in servers:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
