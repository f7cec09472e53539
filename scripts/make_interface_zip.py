#!/usr/bin/env python3
"""Packs the launcher's HTML interface into launcher.zip: the pages, style
and script from resources/interface and the launcher's own artwork."""
import sys
import zipfile
from pathlib import Path

ARTWORK = ("launcher.ico", "main_normal.bmp", "main_hover.bmp", "main_disabled.bmp")


def main(output, sources, artwork):
    temporary = Path(output + ".tmp")
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as archive:
        for path in sorted(Path(sources).iterdir()):
            archive.write(path, path.name)
        for name in ARTWORK:
            archive.write(Path(artwork) / name, name)
    temporary.replace(output)


if __name__ == "__main__":
    main(*sys.argv[1:4])
