"""Answers the web-service tests need that routes cannot give.

  GET|POST /webapi-test/unsized?bytes=N   200, no Content-Length, N bytes of
                                          "0123456789" repeated, then the
                                          connection is closed
"""
import urllib.parse

PREFIX = "/webapi-test/"


def register(state):
    return {"handle": handle}


def handle(handler, method, path, body):
    parsed = urllib.parse.urlsplit(path)
    if not parsed.path.startswith(PREFIX):
        return False
    name = parsed.path[len(PREFIX):]
    query = urllib.parse.parse_qs(parsed.query)
    if name != "unsized":
        return False
    count = min(int(query.get("bytes", ["0"])[0]), 8 << 20)
    payload = (b"0123456789" * (count // 10 + 1))[:count]
    handler.close_connection = True
    handler.send_response(200)
    handler.send_header("Content-Type", "text/plain")
    handler.send_header("Connection", "close")
    handler.end_headers()
    handler.wfile.write(payload)
    handler.wfile.flush()
    return True
