"""Crash server checks for FaultCourier's tests.

Decodes what FaultCourier posts with Python's own readers, so the tests
compare against an independent implementation of the form encoding, Base64
and zip.

  GET  /__ctl/crash_report[?index=N]   the N-th recorded POST to the crash
                                       endpoint (default: the last one)
  POST /__ctl/zip_list                 the body is a zip archive
  POST /__ctl/crash_trickle            JSON {"interval": T, "answer": "text"}:
                                       from now on every crash POST is
                                       answered with status 200 and that
                                       text, one byte every T seconds (<= 60),
                                       status line and headers included

Answers are lines, TAB-separated, texts in hex (empty hex for empty texts):
  count   <number of crash posts recorded>
  form    ok | bad <reason>          every byte outside A-Z a-z 0-9 -._~ escaped
                                     as %XX with upper-case hex, nothing else
  field   <name hex> <value hex>     one per field, in body order
  zip     ok | none | bad <reason>   none: no Zip field, or an empty one
  entry   <name hex> <method> <flags> <size> <date_time> <content hex | ->
                                     content for entries up to 1 MiB
"""
import base64
import binascii
import io
import json
import re
import time
import urllib.parse
import zipfile

CRASH_PATH = "/CrashServer/CrashProcessREST.php"
STATE = None
TRICKLE = {}
CANONICAL = re.compile(rb"^(?:[A-Za-z0-9\-._~]|%[0-9A-F]{2})*$")
MAX_CONTENT = 1 << 20


def register(state):
    global STATE
    STATE = state
    return {"control": control, "handle": handle}


def reset():
    TRICKLE.clear()


def handle(handler, method, path, body):
    if method != "POST" or path.split("?", 1)[0] != CRASH_PATH or not TRICKLE:
        return False
    interval = min(float(TRICKLE["interval"]), 60.0)
    text = TRICKLE["answer"].encode()
    answer = (b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
              b"Connection: close\r\n\r\n" % len(text)) + text
    handler.close_connection = True
    try:
        for i in range(len(answer)):
            handler.wfile.write(answer[i:i + 1])
            handler.wfile.flush()
            time.sleep(interval)
    except OSError:
        pass
    return True


def crash_posts():
    with STATE.lock:
        records = list(STATE.records)
    return [r for r in records
            if r["method"] == "POST" and r["path"].split("?", 1)[0] == CRASH_PATH]


def hexed(data):
    return binascii.hexlify(data).decode()


def zip_lines(data):
    lines = []
    try:
        archive = zipfile.ZipFile(io.BytesIO(data))
        bad = archive.testzip()
        if bad is not None:
            return [f"zip\tbad\tcrc of {bad}"]
        lines.append("zip\tok")
        for info in archive.infolist():
            content = archive.read(info)
            shown = hexed(content) if len(content) <= MAX_CONTENT else "-"
            stamp = "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time
            lines.append("\t".join(["entry", hexed(info.orig_filename.encode("utf-8")),
                                    str(info.compress_type), str(info.flag_bits),
                                    str(info.file_size), stamp, shown]))
    except Exception as error:  # any reader complaint is the answer
        return [f"zip\tbad\t{type(error).__name__}: {error}"]
    return lines


def report_lines(body):
    lines = []
    pairs = body.split(b"&") if body else []
    canonical = True
    fields = []
    for pair in pairs:
        name, sep, value = pair.partition(b"=")
        if not sep or not CANONICAL.match(value) or not CANONICAL.match(name):
            canonical = False
        fields.append((name, value))
    lines.append("form\tok" if canonical else "form\tbad\tnot canonical")
    zip_value = None
    for name, value in fields:
        raw = urllib.parse.unquote_to_bytes(value)
        lines.append(f"field\t{hexed(name)}\t{hexed(raw)}")
        if name == b"Zip":
            zip_value = raw
    if not zip_value:
        lines.append("zip\tnone")
        return lines
    try:
        data = base64.b64decode(zip_value, validate=True)
    except binascii.Error as error:
        lines.append(f"zip\tbad\tbase64: {error}")
        return lines
    return lines + zip_lines(data)


def control(handler, name, query, body):
    if name == "crash_report":
        posts = crash_posts()
        lines = [f"count\t{len(posts)}"]
        index = int(query.get("index", ["-1"])[0])
        if posts and -len(posts) <= index < len(posts):
            lines += report_lines(base64.b64decode(posts[index]["body_b64"]))
        handler.send_bytes(200, ("\n".join(lines) + "\n").encode())
        return True
    if name == "crash_trickle":
        TRICKLE.clear()
        TRICKLE.update(json.loads(body.decode("utf-8")))
        handler.send_bytes(200, b"ok")
        return True
    if name == "zip_list":
        handler.send_bytes(200, ("\n".join(zip_lines(body)) + "\n").encode())
        return True
    return False
