#!/usr/bin/env python3
"""Writes the demo release: a release folder (see release_writer.py) of the
launcher's own files, the agreements, the game's stand-in, content and cache
files, and a message of the day in each language.

  launcher files   /Tools/Launcher.exe, /Tools/FaultCourier.exe (when built),
                   /Tools/CEF3_1/launcher.zip and the browser runtime below
                   /Tools/CEF3_1/V5/ (when installed)
  agreements       /Agreements/eula_<language>.rtf, /Agreements/cba_<language>.rtf
  game             /Vantorel.x64.exe (the stand-in)
  content          /Data/... (LZMA objects of compressible bytes, bulk objects
                   of incompressible ones)
  cache            /Cache.Windows/<name>.toc and .cache pairs, one pair for
                   DirectX 10 only
  not listed       /Ornix/Language/MOTD_<language>.rtf.lzma

With "--files N" the content is N files shaped as a game's are (mostly small,
some of a few hundred KiB, a few of some MiB, about 90 KiB on average, in
nested folders) and the cache one small pair, for timing the per-file work.

Generated files are the same every time; objects already in the folder are
kept, so only what changed (the launcher after a build) is encoded again.

    make_demo_release.py BUILD RELEASE [--content-mib N | --files N]
"""
import argparse
import concurrent.futures
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_writer  # noqa: E402

LANGUAGES = ["en", "fr", "it", "de", "es", "pt", "ru", "pl", "uk", "tr", "ja", "zh", "tc", "ko"]
LANGUAGE_NAMES = ["English", "French", "Italian", "German", "Spanish", "Portuguese", "Russian", "Polish",
                  "Ukrainian", "Turkish", "Japanese", "Simplified Chinese", "Traditional Chinese", "Korean"]
MIB = 1 << 20
# LZMA preset of the demo's objects: quick to make, decoded like any other.
PRESET = 1


def rtf(title, paragraphs):
    body = "".join(f"\\par {line}\n" for line in paragraphs)
    return ("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20\n"
            f"{{\\b {title}}}\n\\par\n{body}}}\n").encode("ascii")


def agreement(kind, language, name):
    title = {"eula": "Vantorel demo end-user licence agreement",
             "cba": "Vantorel demo code of behaviour agreement"}[kind]
    lines = [f"This is the {kind.upper()} of the local demo release ({name}, \"{language}\").",
             "It is shown once; pressing I AGREE records its MD5, and a new version of the",
             "document (another MD5) is shown again."]
    lines += [f"Clause {k}. The demo content is generated and carries no meaning." for k in range(1, 13)]
    return rtf(title, lines)


def motd(language, name):
    return rtf(f"Message of the day ({name})",
               [f"Served by the local content server as MOTD_{language}.rtf.lzma.",
                "Everything in this release was made by scripts/make_demo_release.py."])


# (path, size in MiB, seed, compressible, LZMA object); sizes scale with --content-mib.
CONTENT = [(f"/Data/Levels/level_{k:02d}.pak", 16, 100 + k, True, True) for k in range(1, 7)] + [
    (f"/Data/Movies/intro_{k:02d}.bik", 16, 200 + k, False, False) for k in range(1, 4)] + [
    ("/Data/Sounds/ambience.bank", 24, 300, False, False),
    ("/Data/Config/defaults.cfg", 0.05, 301, True, True),
]
CACHE = [
    ("/Cache.Windows/world_xx", 48, 400),
    ("/Cache.Windows/shaders_dx11", 16, 410),
    ("/Cache.Windows/shaders_dx10", 16, 420),  # not taken with DirectX 11 or 12
]


MANY_FILE_EXTENSIONS = [".pak", ".dat", ".dds", ".ogg", ".xml", ".lua", ".bin", ".txt"]


def many_files(count):
    """Recipes of a release of count content files: 85 % of 0.5 to 40 KiB,
    14 % of 64 to 512 KiB, 1 % of 1 to 6 MiB; a third of the small ones
    compressible LZMA objects, the rest raw; 16 top folders of up to 25
    folders each, every fifth of those with a folder below it."""
    import random
    recipes = []
    for k in range(count):
        rng = random.Random(k * 7919 + 13)
        kind = rng.random()
        if kind < 0.85:
            size = rng.randint(512, 40 << 10)
        elif kind < 0.99:
            size = rng.randint(64 << 10, 512 << 10)
        else:
            size = rng.randint(1 << 20, 6 << 20)
        packed = size < (64 << 10) and rng.random() < 0.33
        folder = f"/Data/Pack{k % 16:02d}/Set{(k // 16) % 25:02d}"
        if (k // 16) % 5 == 0:
            folder += f"/Part{(k // 400) % 4}"
        path = f"{folder}/file_{k:05d}{MANY_FILE_EXTENSIONS[k % len(MANY_FILE_EXTENSIONS)]}"
        recipes.append((path, size, 1000 + k, packed, packed))
    return recipes


def generated(recipe):
    path, size, seed, compressible, packed = recipe
    data = (release_writer.make_content if compressible else release_writer.make_noise)(size, seed)
    return path, data, packed


def encode(job):
    """Process-pool job: writes one object; gives its remote name."""
    folder, path, source, packed = job
    if isinstance(source, tuple):
        _, data, _ = generated(source)
    else:
        with open(source, "rb") as f:
            data = f.read()
    return release_writer.ReleaseFolder(folder).add(path, data, packed, PRESET)


def file_md5(source):
    with open(source, "rb") as f:
        return release_writer.md5_text(f.read())


def launcher_files(build):
    """(manifest path, local source, LZMA object) of the launcher's own files."""
    x64 = os.path.join(build, "x64")
    files = [("/Tools/Launcher.exe", os.path.join(x64, "Launcher.exe"), True)]
    for tree in ("x86", "fc64"):
        courier = os.path.join(build, tree, "FaultCourier.exe")
        if os.path.isfile(courier):
            files.append(("/Tools/FaultCourier.exe", courier, True))
            break
    runtime = os.path.join(build, "cef", "CEF3_1", "V5")
    interface = os.path.join(x64, "launcher.zip")
    if os.path.isfile(os.path.join(runtime, "libcef.dll")) and os.path.isfile(interface):
        files.append(("/Tools/CEF3_1/launcher.zip", interface, False))
        for top, _, names in sorted(os.walk(runtime)):
            for name in sorted(names):
                source = os.path.join(top, name)
                relative = os.path.relpath(source, runtime).replace(os.sep, "/")
                files.append((f"/Tools/CEF3_1/V5/{relative}", source, True))
    return files


def make_release(build, folder, content_mib=None, workers=None, files=None):
    """Writes the release; gives the manifest text. files: a release of
    that many content files instead (see many_files)."""
    release = release_writer.ReleaseFolder(folder)
    memo_path = os.path.join(folder, "generated.json")
    memo = json.load(open(memo_path)) if os.path.isfile(memo_path) else {}
    scale = 1.0 if content_mib is None else content_mib / 200.0

    plan = []  # (path, source, packed, md5 when known)
    for path, source, packed in launcher_files(build):
        plan.append((path, source, packed, file_md5(source)))
    game = os.path.join(build, "x64", "Vantorel.x64.exe")
    plan.append(("/Vantorel.x64.exe", game, False, file_md5(game)))
    if files:
        recipes = many_files(files)
    else:
        recipes = [(path, max(1024, int(size * scale * MIB)), seed, compressible, packed)
                   for path, size, seed, compressible, packed in CONTENT]
    for stem, size, seed in CACHE:
        # A cache changes with its table of contents: the table's bytes
        # follow from the cache's size and seed.
        cache_size = 1 << 20 if files else max(1024, int(size * scale * MIB))
        recipes.append((stem + ".toc", 64 << 10, seed * 1000003 + cache_size, True, True))
        recipes.append((stem + ".cache", cache_size, seed + 1, False, False))
    for recipe in recipes:
        plan.append((recipe[0], recipe, recipe[4], memo.get(json.dumps(recipe))))
    documents = []
    for kind in ("eula", "cba"):
        for language, name in zip(LANGUAGES, LANGUAGE_NAMES):
            documents.append((f"/Agreements/{kind}_{language}.rtf", agreement(kind, language, name)))

    # Objects missing from the folder are encoded side by side.
    names = {}
    jobs = []
    for path, source, packed, md5 in plan:
        name = release_writer.remote_name(path, md5, packed) if md5 else None
        if name and release.has(name):
            names[path] = name
        else:
            jobs.append((folder, path, source, packed))
    if jobs:
        print(f"encoding {len(jobs)} objects of the demo release", flush=True)
        with concurrent.futures.ProcessPoolExecutor(max_workers=workers or min(4, os.cpu_count())) as pool:
            for (_, path, source, _), name in zip(jobs, pool.map(encode, jobs, chunksize=16)):
                names[path] = name
                if isinstance(source, tuple):
                    memo[json.dumps(source)] = name.rsplit(".", 2)[1]
    for path, _, _, _ in plan:
        release.list(names[path])
    for path, data in documents:
        release.add(path, data, True)
    for language, name in zip(LANGUAGES, LANGUAGE_NAMES):
        release.add_served(f"/Ornix/Language/MOTD_{language}.rtf.lzma", motd(language, name), True)
    text = release.publish()
    release_writer.write_atomically(memo_path, json.dumps(memo, indent=1).encode())
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("release")
    parser.add_argument("--content-mib", type=float, default=None,
                        help="content and cache bytes, about (default: 200)")
    parser.add_argument("--files", type=int, default=None,
                        help="content of this many files shaped as a game's (see many_files)")
    args = parser.parse_args()
    text = make_release(args.build, args.release, args.content_mib, files=args.files)
    total = sum(int(line.rsplit(",", 1)[1]) for line in text.decode().split("\r\n") if line)
    count = text.count(b"\n")
    print(f"{count} files, {total / MIB:.1f} MiB of objects in {args.release}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
