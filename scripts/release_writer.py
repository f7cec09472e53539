"""Objects of a release as the content server serves them, and a release
folder laid out the same way.

An object is a file's bytes under the remote name "<path>.<MD5>.lzma" (the
bytes LZMA-compressed behind a 13-byte header: 5 property bytes and the exact
decoded size, 64-bit little-endian) or "<path>.<MD5>.bulk" (the bytes as they
are); the MD5 is that of the file, in upper case. A release folder holds
every object under its remote name, the manifest text "index.txt" (one line
"<remote name>,<object size>" per file) and the manifest object
"index.txt.lzma", which the origin serves as "/origin/<8 hex>/index.txt.lzma".

The test server's content module encodes its objects with these functions;
scripts/make_offline_archive.py reads a release folder.
"""
import hashlib
import lzma
import os
import random
import re
import struct

MANIFEST_TEXT = "index.txt"
MANIFEST_OBJECT = "index.txt.lzma"
OBJECT_NAME = re.compile(r"\.[0-9A-F]{32}\.(lzma|bulk)$")


def md5_text(data):
    return hashlib.md5(data).hexdigest().upper()


def make_content(size, seed):
    """Deterministic, moderately compressible bytes."""
    rng = random.Random(seed)
    words = [bytes(rng.randrange(97, 123) for _ in range(rng.randrange(2, 9))) for _ in range(512)]
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.1:
            out += rng.randbytes(rng.randrange(1, 64))
        else:
            out += rng.choice(words) + b" "
    return bytes(out[:size])


def make_noise(size, seed):
    """Deterministic bytes that do not compress (media, packed caches); made
    in pieces, as one call takes at most 256 MiB."""
    rng = random.Random(seed)
    piece = 64 << 20
    if size <= piece:
        return rng.randbytes(size)
    return b"".join(rng.randbytes(min(piece, size - at)) for at in range(0, size, piece))


def encode_lzma(content, size_header=None, dict_size=1 << 20, preset=6):
    """".lzma" object: props, the exact decoded size (or size_header), the stream."""
    filters = [{"id": lzma.FILTER_LZMA1, "preset": preset, "dict_size": dict_size}]
    packed = lzma.compress(content, format=lzma.FORMAT_ALONE, filters=filters)
    size = len(content) if size_header is None else size_header
    return packed[:5] + struct.pack("<Q", size & 0xFFFFFFFFFFFFFFFF) + packed[13:]


def remote_name(path, md5, packed):
    return f"{path}.{md5}.{'lzma' if packed else 'bulk'}"


def object_path(folder, name):
    return os.path.join(folder, *name.lstrip("/").split("/"))


def write_atomically(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


class ReleaseFolder:
    """Writes a release folder. Objects already there under their remote name
    are kept (the name holds the content's MD5), so a release is re-made
    quickly; publish() writes the manifest and removes objects of earlier
    releases that this one no longer lists."""

    def __init__(self, folder):
        self.folder = folder
        self.lines = []  # (remote name, object size), manifest order

    def has(self, name):
        return os.path.isfile(object_path(self.folder, name))

    def add(self, path, content, packed, preset=6, md5=None):
        """Adds a file of the given bytes; gives its remote name."""
        name = remote_name(path, md5 or md5_text(content), packed)
        target = object_path(self.folder, name)
        if not os.path.isfile(target):
            write_atomically(target, encode_lzma(content, preset=preset) if packed else content)
        self.list(name)
        return name

    def list(self, name):
        """Lists an object that is already in the folder."""
        self.lines.append((name, os.path.getsize(object_path(self.folder, name))))

    def add_served(self, name, content, packed, preset=6):
        """An object the content server serves outside the manifest (the
        message of the day), rewritten when its bytes changed."""
        data = encode_lzma(content, preset=preset) if packed else content
        target = object_path(self.folder, name)
        if not os.path.isfile(target) or open(target, "rb").read() != data:
            write_atomically(target, data)

    def publish(self):
        text = "".join(f"{name},{size}\r\n" for name, size in self.lines).encode("ascii")
        write_atomically(os.path.join(self.folder, MANIFEST_TEXT), text)
        write_atomically(os.path.join(self.folder, MANIFEST_OBJECT), encode_lzma(text))
        keep = {os.path.normpath(object_path(self.folder, name)) for name, _ in self.lines}
        for top, _, files in os.walk(self.folder):
            for file in files:
                path = os.path.normpath(os.path.join(top, file))
                if path not in keep and (OBJECT_NAME.search(file) or file.endswith(".part")):
                    os.remove(path)
        return text
