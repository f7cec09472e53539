#!/usr/bin/env python3
"""Writes the zips the browser tests read: stored and deflated entries, data
descriptors, an archive with a damaged entry, one whose directory points
three entries at one deflate stream, and one with more entries than the
reader takes."""
import io
import struct
import sys
import zipfile
import zlib
from pathlib import Path


class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors."""

    def __init__(self):
        self.buffer = bytearray()

    def writable(self):
        return True

    def write(self, data):
        self.buffer += data
        return len(data)


def range_body():
    return bytes((i * 7) % 251 for i in range(2000))


def shared_stream_zip():
    """Three directory entries, one local entry: every entry names the same
    deflated megabyte."""
    body = bytes(1 << 20)
    packed = zlib.compressobj(9, zlib.DEFLATED, -15)
    stream = packed.compress(body) + packed.flush()
    crc = zlib.crc32(body)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(stream), len(body), 4, 0)
    data = local + b"a.js" + stream
    directory = b""
    for name in (b"a.js", b"b.js", b"c.js"):
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc, len(stream),
                                 len(body), len(name), 0, 0, 0, 0, 0, 0) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 3, 3, len(directory), len(data), 0)
    return data + directory + end


def main(out):
    out.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(out / "mixed.zip", "w") as z:
        z.writestr("index.html", "<html>index</html>" * 20, zipfile.ZIP_DEFLATED)
        z.writestr("images/logo.png", b"\x89PNG fake", zipfile.ZIP_STORED)
        z.writestr("a%20b.css", "body{}", zipfile.ZIP_STORED)
        z.writestr("a b.css", "blank{}", zipfile.ZIP_STORED)
        z.writestr("data.bin", range_body(), zipfile.ZIP_DEFLATED)
        z.writestr("sub/", b"")
        z.writestr("empty.txt", b"")
        z.writestr("noext", b"plain")
        z.writestr("dup.txt", b"first")
        z.writestr("DUP.txt", b"second")

    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in (("first.js", "var a = 1;" * 50), ("second.js", "var b = 2;" * 50)):
            with z.open(name, "w") as entry:
                entry.write(text.encode())
    (out / "descriptors.zip").write_bytes(bytes(stream.buffer))

    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("one.html", "one " * 100)
        z.writestr("two.html", "two " * 100)
        z.writestr("three.html", "three " * 100)
    data = bytearray(buffer.getvalue())
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as z:
        info = z.getinfo("two.html")
    start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
    for i in range(start, start + info.compress_size):
        data[i] ^= 0x5A
    (out / "damaged.zip").write_bytes(bytes(data))

    (out / "shared_stream.zip").write_bytes(shared_stream_zip())

    with zipfile.ZipFile(out / "many.zip", "w", zipfile.ZIP_STORED) as z:
        for index in range(4100):
            z.writestr("f%04d.txt" % index, "x")


if __name__ == "__main__":
    main(Path(sys.argv[1]))
