#!/usr/bin/env python3
"""Writes an offline installer archive from a release.

A release is a folder laid out as the content server serves it: the manifest
text "index.txt" (one line per file, "<path>.<MD5>.lzma,<size>" or
"<path>.<MD5>.bulk,<size>") and every object under its remote name below the
folder. Every object of the manifest that the release holds goes into the
archive, in manifest order; objects the release lacks, and empty ones (the
format cannot hold them), are left to the network and named on stderr.

The archive is one byte stream split into part files named after the
installer path with its last three characters replaced by "b00", "b01", ...
The stream begins with the index (little-endian): the object count (16 bits),
then per object the name length (8 bits), the UTF-8 name and the stored size
(64 bits); the objects follow back to back in record order. The installer
file itself is created empty when it does not exist, since the launcher's
"OfflineInstall" setting names it.

    make_offline_archive.py RELEASE INSTALLER [--part-size BYTES]
"""
import argparse
import os
import re
import struct
import sys

LINE = re.compile(r"^(/.*\.[0-9A-Fa-f]{32}\.(?:lzma|bulk)),(\d+)\s*$")


def encode_index(objects):
    """The index of (name, stored bytes) pairs."""
    if not objects or len(objects) > 0xFFFF:
        raise ValueError("an archive holds 1 to 65535 objects")
    out = bytearray(struct.pack("<H", len(objects)))
    for name, data in objects:
        raw = name.encode("utf-8")
        if not 0 < len(raw) <= 255:
            raise ValueError(f"name of {len(raw)} bytes: {name}")
        if not data:
            raise ValueError(f"empty object: {name}")
        out += struct.pack("<B", len(raw)) + raw + struct.pack("<Q", len(data))
    return bytes(out)


def archive_bytes(objects):
    """The whole archive stream: index, then the objects in order."""
    return encode_index(objects) + b"".join(data for _, data in objects)


def split_parts(stream, part_sizes):
    """Cuts the stream into parts: part_sizes gives the size of each part but
    the last (an int gives them all the same size); the last takes the rest."""
    if isinstance(part_sizes, int):
        if part_sizes <= 0:
            raise ValueError("part size must be positive")
        return [stream[i:i + part_sizes] for i in range(0, len(stream), part_sizes)] or [b""]
    parts, at = [], 0
    for size in part_sizes:
        parts.append(stream[at:at + size])
        at += size
    parts.append(stream[at:])
    return parts


def part_path(installer, k):
    if len(installer) <= 3:
        raise ValueError("the installer path needs more than three characters")
    return installer[:-3] + "b%02d" % k


def read_release(release):
    """(name, bytes) of every manifest object the release holds."""
    objects, missing = [], []
    with open(os.path.join(release, "index.txt"), encoding="utf-8") as manifest:
        for line in manifest:
            match = LINE.match(line.strip())
            if not match:
                continue
            name = match.group(1)
            path = os.path.join(release, *name.lstrip("/").split("/"))
            if not os.path.isfile(path) or os.path.getsize(path) == 0:
                missing.append(name)
                continue
            with open(path, "rb") as f:
                objects.append((name, f.read()))
    return objects, missing


def write_archive(objects, installer, part_size):
    parts = split_parts(archive_bytes(objects), part_size)
    folder = os.path.dirname(installer)
    if folder:
        os.makedirs(folder, exist_ok=True)
    for k, data in enumerate(parts):
        with open(part_path(installer, k), "wb") as f:
            f.write(data)
    # A part left from an earlier, longer archive would be read as its tail.
    k = len(parts)
    while os.path.exists(part_path(installer, k)):
        os.remove(part_path(installer, k))
        k += 1
    if not os.path.exists(installer):
        open(installer, "wb").close()
    return len(parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("release")
    parser.add_argument("installer")
    parser.add_argument("--part-size", type=int, default=1 << 30)
    args = parser.parse_args()
    objects, missing = read_release(args.release)
    for name in missing:
        print(f"not in the archive: {name}", file=sys.stderr)
    if not objects:
        print("the release holds no object of its manifest", file=sys.stderr)
        return 1
    count = write_archive(objects, args.installer, args.part_size)
    print(f"{len(objects)} objects in {count} parts")
    return 0


if __name__ == "__main__":
    sys.exit(main())
