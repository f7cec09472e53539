#!/usr/bin/env python3
"""Packs the launcher's HTML interface into launcher.zip: the pages, style
and script from resources/interface, the launcher's own artwork and the
chime the ready page plays, which is made here."""
import io
import math
import struct
import sys
import wave
import zipfile
from pathlib import Path

ARTWORK = ("launcher.ico", "main_normal.bmp", "main_hover.bmp", "main_disabled.bmp")
SOUND_NAME = "download_end.wav"
SAMPLE_RATE = 22050
# Two rising notes (hertz, seconds), each struck and fading out.
CHIME = ((659.25, 0.16), (987.77, 0.34))


def chime_wav():
    """A short two-note chime as 16-bit mono PCM WAV bytes."""
    samples = []
    for frequency, seconds in CHIME:
        count = int(SAMPLE_RATE * seconds)
        for n in range(count):
            t = n / SAMPLE_RATE
            attack = min(1.0, n / (0.005 * SAMPLE_RATE))
            envelope = attack * math.exp(-5.0 * t / seconds)
            tone = math.sin(2 * math.pi * frequency * t) + 0.3 * math.sin(4 * math.pi * frequency * t)
            samples.append(int(12000 * envelope * tone))
    body = io.BytesIO()
    with wave.open(body, "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(SAMPLE_RATE)
        sound.writeframes(struct.pack("<%dh" % len(samples), *samples))
    return body.getvalue()


def main(output, sources, artwork):
    temporary = Path(output + ".tmp")
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as archive:
        for path in sorted(Path(sources).iterdir()):
            archive.write(path, path.name)
        for name in ARTWORK:
            archive.write(Path(artwork) / name, name)
        archive.writestr(zipfile.ZipInfo(SOUND_NAME, (2020, 1, 1, 0, 0, 0)), chime_wav(), zipfile.ZIP_DEFLATED)
    temporary.replace(output)


if __name__ == "__main__":
    main(*sys.argv[1:4])
