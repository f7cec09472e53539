"""Content server for the update tests: objects under their remote names, the
manifest, resumption by Range, and failures injected per object and attempt.

Objects (GET, HTTP/1.1 keep-alive):
  <remote name>                      an object put below; "Range: bytes=N-"
                                     gives 206 with "Content-Range:
                                     bytes N-<last>/<length>" (416 past the end)
  /origin/<8 hex>/index.txt.lzma     the manifest (any number)

Control:
  POST /__ctl/content/put   JSON {"name": "/Data/a.bin.{md5}.lzma",
                                  "data_b64": "..." | "size": N, "seed": S,
                                  "format": "lzma" | "raw" (default: by name),
                                  "size_header": N   (".lzma": a wrong decoded size),
                                  "dict_size": N,    (".lzma": default 1 MiB)
                                  "preset": 0..9}
        "{md5}" in the name is replaced by the content's MD5 (upper case).
        Answer: JSON {"name", "md5", "size" (content bytes),
                      "object_size" (served bytes)}
  POST /__ctl/content/manifest  body: the manifest text (bytes); stored as
                                the ".lzma" manifest object. Answer as put.
  GET  /__ctl/content/object?name=<remote name>   the served bytes
  POST /__ctl/content/fail  JSON {"name": <remote name> | "manifest",
                                  "attempts": [injection | null, ...],
                                  "fresh": injection, "resume": injection}
        Attempt i (counted per object from 0, all requests) takes the i-th
        injection; later attempts are served normally. Optional "fresh" and
        "resume" injections are taken by every later attempt without and
        with a Range header, so an object can fail the same way for good.
        Injections:
          {"head_delay": T}        wait T seconds (<= 60) before the status line;
                                   combines with the others
          {"status": 404}          that status, a short text body
          {"status": 404, "empty": true}
                                   that status with no body (Content-Length: 0)
          {"redirect": "<base>"}   302 to <base> followed by the asked path (for
                                   example the HTTPS side, "https://localhost:<port>");
                                   the redirected request is the next attempt
          {"location": "<url>"}    302 to <url> as it stands (another path, or a
                                   relative address)
          {"close": true}          close the connection without an answer
          {"ignore_range": true}   answer a Range request with 200 and the whole object
          {"content_range": "..."} 206 from the asked offset with this Content-Range
          {"reset_after": K}       send K body bytes, then reset the connection
          {"close_after": K}       send K body bytes, then close it cleanly
          {"stall": T, "after": K} send K body bytes, then wait T seconds (<= 60)
          {"rate": R, "piece": P}  send the body (after any stall) at R bytes a
                                   second, in pieces of P bytes (default 512)
          {"line_rate": R}         the line itself carries R bytes a second while
                                   this answer is sent: over TLS the body is
                                   written whole, in records of 16 KiB, and their
                                   bytes on the wire trickle in 512-byte pieces
                                   (over plain HTTP: the body in 512-byte pieces)
          {"flip": K}              byte K of the body inverted
          {"length": N}            a Content-Length of N (the body as it is, then
                                   the connection is closed)
          {"chunked": true}        the body in chunks: what comes before a stall
                                   in one, the rest in another, then the last
                                   chunk (a stall after every byte holds the
                                   body's end)
          {"lzma_size": N}         the ".lzma" header of this answer declares N
                                   decoded bytes
          {"pad": N}               N zero bytes behind the object's, without a
                                   length: the connection is closed after them
          {"pad": N, "declared": true}  the same, counted in the Content-Length
  GET  /__ctl/content/attempts?name=...   JSON {"count": requests so far,
                                   "injected": requests that met an injection,
                                   "stalling": answers now waiting in a stall}
  POST /__ctl/content/archive  JSON {"names": [remote name, ...],
                                     "part_sizes": [N, ...] (all parts but the last),
                                     "flip": {remote name: K}  (byte K of that object inverted)}
        An offline installer archive of those served objects, written by
        scripts/make_offline_archive.py. Answer: JSON {"parts": [base64, ...],
        "index_length": N, "addresses": {name: address}}
"""
import base64
import importlib.util
import json
import os
import re
import socket
import struct
import tempfile
import threading
import time
import urllib.parse

from tls_connection import TlsConnection

MANIFEST_PATH = re.compile(r"^/origin/[0-9A-Fa-f]{8}/index\.txt\.lzma$")
LOCK = threading.Lock()
OBJECTS = {}    # remote name -> served bytes
FAILURES = {}   # remote name -> list of injections
LASTING = {}    # remote name -> {"fresh": injection, "resume": injection}
ATTEMPTS = {}   # remote name -> requests so far
INJECTED = {}   # remote name -> requests that met an injection
STALLING = {}   # remote name -> answers now waiting in a stall


def reset():
    with LOCK:
        OBJECTS.clear()
        FAILURES.clear()
        LASTING.clear()
        ATTEMPTS.clear()
        INJECTED.clear()
        STALLING.clear()


def script_module(name):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", name + ".py")
    found = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


# The objects' encoding is the release writer's.
RELEASE = script_module("release_writer")
make_content = RELEASE.make_content
encode_lzma = RELEASE.encode_lzma


def register(state):
    return {"handle": handle, "control": control}


def store(name, content, fmt, size_header=None, dict_size=1 << 20, preset=6):
    md5 = RELEASE.md5_text(content)
    name = name.replace("{md5}", md5)
    if fmt is None:
        fmt = "lzma" if ".lzma" in name else "raw"
    served = encode_lzma(content, size_header, dict_size, preset) if fmt == "lzma" else content
    with LOCK:
        OBJECTS[name] = served
        ATTEMPTS.pop(name, None)
        INJECTED.pop(name, None)
    return {"name": name, "md5": md5, "size": len(content), "object_size": len(served)}


def archive_writer():
    return script_module("make_offline_archive")


def make_archive(req):
    """Lays the objects out as a release (manifest and objects) and runs the
    script's writer over it."""
    writer = archive_writer()
    with tempfile.TemporaryDirectory() as release:
        lines = []
        with LOCK:
            for name in req["names"]:
                data = bytearray(OBJECTS[name])
                flip = req.get("flip", {}).get(name)
                if flip is not None:
                    data[int(flip)] ^= 0xFF
                path = os.path.join(release, *name.lstrip("/").split("/"))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
                lines.append(f"{name},{len(data)}\n")
        with open(os.path.join(release, "index.txt"), "w", encoding="utf-8") as f:
            f.writelines(lines)
        objects, _ = writer.read_release(release)
        installer = os.path.join(release, "out", "Setup.exe")
        os.makedirs(os.path.dirname(installer))
        count = writer.write_archive(objects, installer, list(req.get("part_sizes", [])))
        parts = []
        for k in range(count):
            with open(writer.part_path(installer, k), "rb") as f:
                parts.append(base64.b64encode(f.read()).decode())
    index_length = len(writer.encode_index(objects))
    addresses, at = {}, index_length
    for name, data in objects:
        addresses[name] = at
        at += len(data)
    return {"parts": parts, "index_length": index_length, "addresses": addresses}


def reply_json(handler, value):
    handler.send_bytes(200, json.dumps(value).encode(), content_type="application/json")


def control(handler, name, query, body):
    if not name.startswith("content/"):
        return False
    what = name[len("content/"):]
    if what == "put":
        req = json.loads(body.decode("utf-8"))
        if "data_b64" in req:
            content = base64.b64decode(req["data_b64"])
        else:
            content = make_content(int(req.get("size", 0)), req.get("seed", 1))
        reply_json(handler, store(req["name"], content, req.get("format"), req.get("size_header"),
                                  int(req.get("dict_size", 1 << 20)), int(req.get("preset", 6))))
    elif what == "manifest":
        result = store("manifest", body, "lzma")
        reply_json(handler, result)
    elif what == "object":
        with LOCK:
            served = OBJECTS.get(query.get("name", [""])[0])
        if served is None:
            handler.send_bytes(404, b"no such object")
        else:
            handler.send_bytes(200, served, content_type="application/octet-stream")
    elif what == "fail":
        req = json.loads(body.decode("utf-8"))
        with LOCK:
            FAILURES[req["name"]] = list(req.get("attempts", []))
            LASTING[req["name"]] = {kind: req[kind] for kind in ("fresh", "resume") if req.get(kind)}
            ATTEMPTS.pop(req["name"], None)
            INJECTED.pop(req["name"], None)
        handler.send_bytes(200, b"ok")
    elif what == "archive":
        reply_json(handler, make_archive(json.loads(body.decode("utf-8"))))
    elif what == "attempts":
        name = query.get("name", [""])[0]
        with LOCK:
            counts = {"count": ATTEMPTS.get(name, 0), "injected": INJECTED.get(name, 0),
                      "stalling": STALLING.get(name, 0)}
        reply_json(handler, counts)
    else:
        return False
    return True


def parse_range(header):
    match = re.fullmatch(r"\s*bytes=(\d+)-\s*", header or "")
    return int(match.group(1)) if match else None


def abort_connection(handler, reset):
    handler.close_connection = True
    sock = handler.connection
    try:
        if reset:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
        else:
            sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass


def write_slowly(write, handler, data, rate, piece):
    """Writes data in pieces, each flushed, at about rate bytes a second."""
    piece = max(1, piece)
    rate = max(1.0, rate)
    start = time.monotonic()
    for at in range(0, len(data), piece):
        write(data[at:at + piece])
        handler.wfile.flush()
        due = start + (at + piece) / rate
        pause = due - time.monotonic()
        if pause > 0:
            time.sleep(pause)


def handle(handler, method, path, body):
    bare = urllib.parse.urlsplit(path).path
    key = "manifest" if MANIFEST_PATH.match(bare) else urllib.parse.unquote(bare)
    with LOCK:
        served = OBJECTS.get(key)
        if served is None:
            return False
        attempt = ATTEMPTS.get(key, 0)
        ATTEMPTS[key] = attempt + 1
        plan = FAILURES.get(key, [])
        if attempt < len(plan):
            injection = plan[attempt] or {}
        else:
            lasting = "resume" if parse_range(handler.headers.get("Range")) is not None else "fresh"
            injection = LASTING.get(key, {}).get(lasting, {})
        if injection:
            INJECTED[key] = INJECTED.get(key, 0) + 1

    if "head_delay" in injection:
        time.sleep(min(float(injection["head_delay"]), 60.0))
    if "redirect" in injection:
        handler.send_bytes(302, b"", {"Location": str(injection["redirect"]) + path})
        return True
    if "location" in injection:
        handler.send_bytes(302, b"", {"Location": str(injection["location"])})
        return True
    if "status" in injection:
        handler.send_bytes(int(injection["status"]), b"" if injection.get("empty") else b"injected failure")
        return True
    if injection.get("close"):
        abort_connection(handler, reset=False)
        return True

    if "lzma_size" in injection and len(served) >= 13:
        size = int(injection["lzma_size"]) & 0xFFFFFFFFFFFFFFFF
        served = served[:5] + struct.pack("<Q", size) + served[13:]
    total = len(served)
    offset = parse_range(handler.headers.get("Range"))
    headers = {"Content-Type": "application/octet-stream"}
    status = 200
    if offset is not None and not injection.get("ignore_range"):
        if offset >= total:
            handler.send_bytes(416, b"", {"Content-Range": f"bytes */{total}"})
            return True
        status = 206
        headers["Content-Range"] = injection.get("content_range", f"bytes {offset}-{total - 1}/{total}")
    else:
        offset = 0
    payload = bytearray(served[offset:])
    if "flip" in injection and 0 <= int(injection["flip"]) < len(payload):
        payload[int(injection["flip"])] ^= 0xFF
    chunked = bool(injection.get("chunked"))
    pad = int(injection.get("pad", 0))
    if chunked:
        headers["Transfer-Encoding"] = "chunked"
    elif pad and not injection.get("declared"):
        headers["Connection"] = "close"  # the body ends where the connection does
        handler.close_connection = True
    else:
        headers["Content-Length"] = str(injection.get("length", len(payload) + pad))

    line_rate = float(injection.get("line_rate", 0))
    tls = isinstance(handler.connection, TlsConnection)
    if line_rate > 0 and tls:
        handler.connection.line_rate = line_rate
    try:
        send_answer(handler, method, key, injection, status, headers, payload, chunked, line_rate)
    except OSError:
        handler.close_connection = True  # the client has gone
    finally:
        if tls:
            handler.connection.line_rate = 0
    return True


def send_answer(handler, method, key, injection, status, headers, payload, chunked, line_rate):
    def write(data):
        if chunked and data:
            data = b"%x\r\n" % len(data) + data + b"\r\n"
        handler.wfile.write(data)

    handler.send_response(status)
    for name, value in headers.items():
        handler.send_header(name, value)
    handler.end_headers()
    if method == "HEAD":
        return
    cut = None
    for kind in ("reset_after", "close_after", "after"):
        if kind in injection:
            cut = int(injection[kind])
    first = bytes(payload if cut is None else payload[:cut])
    rest = b"" if cut is None else bytes(payload[cut:])
    rate = injection.get("rate")
    if rate is None and line_rate > 0 and not isinstance(handler.connection, TlsConnection):
        rate = line_rate  # plain HTTP has no records: the body itself trickles
    if rate is not None and cut is None:
        first, rest = b"", first  # a slow line from the first byte
    write(first)
    handler.wfile.flush()
    if "reset_after" in injection:
        # A reset discards what the client has not read yet; give it a moment
        # to take the answer's head, so the reset falls inside the body.
        time.sleep(0.5)
        abort_connection(handler, reset=True)
        return
    if "close_after" in injection:
        abort_connection(handler, reset=False)
        return
    if "stall" in injection:
        with LOCK:
            STALLING[key] = STALLING.get(key, 0) + 1
        try:
            time.sleep(min(float(injection["stall"]), 60.0))
        finally:
            with LOCK:
                STALLING[key] = max(0, STALLING.get(key, 0) - 1)
    try:
        if rate is not None:
            write_slowly(write, handler, rest, float(rate), int(injection.get("piece", 512)))
        elif rest:
            write(rest)
        pad = int(injection.get("pad", 0))
        for at in range(0, pad, 1 << 16):
            write(bytes(min(1 << 16, pad - at)))
        if chunked:
            handler.wfile.write(b"0\r\n\r\n")
        handler.wfile.flush()
    except OSError:
        handler.close_connection = True
    if "length" in injection:
        abort_connection(handler, reset=False)
