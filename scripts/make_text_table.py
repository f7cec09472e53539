#!/usr/bin/env python3
"""Converts a localisation table from its readable source to the shipped form.

Usage: make_text_table.py [--require CODES] INPUT OUTPUT

INPUT is UTF-8 (an optional UTF-8 byte-order mark is dropped) with any line
ends; OUTPUT is UTF-16 LE with the byte-order mark FF FE and CR LF line ends,
as the programs' "TEXT" resources hold it. Both programs' tables use this
script: resources/launcher_texts.txt and resources/faultcourier_texts.txt.

The table is checked before anything is written; a damaged table stops the
build with a message naming the line:
  - sections begin with "[KEY]" and are separated by one empty line;
  - every other line of a section is Xx="text" (a language code, a quoted text
    with "" for a quote, which may span lines) or the last line Translated=...;
  - no key and no language appears twice;
  - no line inside a text begins with "[" (the reader would end the section).
--require En,Fr,... also demands a line for each of those languages in every
section; the build asks it of both programs' tables.
"""

import re
import sys

LANGUAGE_LINE = re.compile(r'([A-Z][a-z])="')
KEY_LINE = re.compile(r'\[([^\[\]\r\n]+)\]$')


class TableError(Exception):
    pass


def parse_sections(text):
    """Returns [(key, {code: text}, line number)] or raises TableError."""
    lines = text.split('\n')
    sections = []
    i = 0
    while i < len(lines):
        if lines[i] == '':
            i += 1
            continue
        start = i + 1
        match = KEY_LINE.match(lines[i])
        if not match:
            raise TableError(f'line {start}: expected [KEY], found {lines[i]!r}')
        key = match.group(1)
        texts = {}
        i += 1
        translated = False
        while i < len(lines) and lines[i] != '':
            line = lines[i]
            if translated:
                raise TableError(f'line {i + 1}: text after the Translated= line of [{key}]')
            if line.startswith('Translated='):
                translated = True
                i += 1
                continue
            match = LANGUAGE_LINE.match(line)
            if not match:
                raise TableError(f'line {i + 1}: expected Xx="text" in [{key}], found {line!r}')
            code = match.group(1)
            if code in texts:
                raise TableError(f'line {i + 1}: language {code} twice in [{key}]')
            value, i = read_quoted(lines, i, match.end(), key)
            texts[code] = value
        if not translated:
            raise TableError(f'line {start}: [{key}] has no Translated= line')
        sections.append((key, texts, start))
    return sections


def read_quoted(lines, index, column, key):
    """Reads a quoted text that starts at lines[index][column:]; returns the
    text and the index of the line after its closing quote."""
    parts = []
    line = lines[index]
    pos = column
    while True:
        quote = line.find('"', pos)
        if quote < 0:
            parts.append(line[pos:] + '\n')
            index += 1
            if index >= len(lines):
                raise TableError(f'unterminated text in [{key}]')
            line = lines[index]
            if line.startswith('['):
                # The programs end a section at a line feed followed by "[".
                raise TableError(f'line {index + 1}: a text line of [{key}] begins with "["')
            pos = 0
            continue
        if line.startswith('""', quote):
            parts.append(line[pos:quote] + '"')
            pos = quote + 2
            continue
        parts.append(line[pos:quote])
        if line[quote + 1:].strip():
            raise TableError(f'line {index + 1}: text after the closing quote in [{key}]')
        return ''.join(parts), index + 1


def check(sections, required):
    seen = set()
    for key, texts, line in sections:
        if key in seen:
            raise TableError(f'line {line}: key [{key}] twice')
        seen.add(key)
        missing = [code for code in required if code not in texts]
        if missing:
            raise TableError(f'line {line}: [{key}] lacks {",".join(missing)}')


def convert(source_bytes, required=()):
    text = source_bytes.decode('utf-8')
    if text.startswith('\ufeff'):
        text = text[1:]
    text = text.replace('\r\n', '\n').replace('\r', '\n')
    check(parse_sections(text), required)
    return b'\xff\xfe' + text.replace('\n', '\r\n').encode('utf-16-le')


def main(argv):
    required = ()
    args = list(argv[1:])
    if len(args) >= 2 and args[0] == '--require':
        required = tuple(code for code in args[1].split(',') if code)
        args = args[2:]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    source, target = args
    with open(source, 'rb') as f:
        data = f.read()
    try:
        shipped = convert(data, required)
    except (TableError, UnicodeDecodeError) as error:
        print(f'{source}: {error}', file=sys.stderr)
        return 1
    with open(target, 'wb') as f:
        f.write(shipped)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
