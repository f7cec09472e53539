#!/usr/bin/env python3
"""Benchmark of the content update end to end: the demo release (without the
launcher's own files, so no run hands over to another copy) served by nginx
on 127.0.0.1 at full speed, Launcher.exe under Wine with "-headless", beside
the GNU tools on the same objects from the same nginx:

  download + decode + verify of the content and cache passes, 1 download
  thread and one per core  vs  curl | xz -d | md5sum, one object at a time
  and as many at a time as the launcher has threads; the tools take the
  content pass's objects and then the cache pass's, as the launcher does
  verify of the installed release (the content pass of a run that finds
  everything current)  vs  md5sum over the same files, in one process and
  in as many processes side by side as the machine has processors
  for each "--files N" (default 8000): a release of N content files shaped
  as a game's, its first install with one thread per core against the
  tools as many at a time, and its verify against md5sum (one process,
  and as many side by side)
  peak memory (maximum resident set) of Launcher.exe in each run

Used by scripts/bench_content.sh, which prepares the build and the prefix
build/bench/wine. "--content-mib N" makes a release of about N MiB of
content and cache (build/bench/release-N) instead of the demo's own, so
that the transfer, not the start-up, dominates the figures. The ratios
printed at the end are all of the same run, so both sides see the same
load of the machine.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import demo  # noqa: E402
import make_demo_release  # noqa: E402
import release_server  # noqa: E402
import release_writer  # noqa: E402

MIB = 1 << 20


def launcher_peaks(prefix):
    """Peak resident KiB (VmHWM) of every running Launcher.exe of the Wine
    prefix, by process id. The process that "wine" starts is only Wine's
    loader: the launcher runs in a process of its own, found by its command
    line; launchers of other prefixes (other people's runs) are left out."""
    peaks = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                # Not Wine's "start.exe /exec ...\Launcher.exe" beside it.
                if not f.read().split(b"\0")[0].lower().endswith(b"launcher.exe"):
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if b"WINEPREFIX=" + prefix not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peaks[pid] = int(line.split()[1])
        except OSError:
            continue
    return peaks


def run_launcher(paths, env):
    """One headless run; gives (seconds, peak resident KiB, log text)."""
    if os.path.exists(paths.log):
        os.remove(paths.log)
    start = time.time()
    process = subprocess.Popen(["wine", os.path.join(paths.tools, "Launcher.exe"), "-headless", "-relaunched"],
                               env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    # A process's peak only grows: the last reading before it ends is its peak.
    peaks = {}
    while process.poll() is None:
        if time.time() - start > 1800:
            process.kill()
            raise RuntimeError("the launcher did not end within 30 minutes")
        peaks.update(launcher_peaks(os.fsencode(env["WINEPREFIX"])))
        time.sleep(0.1)
    seconds = time.time() - start
    peak = max(peaks.values(), default=0)
    # The game that the ready page starts, and whatever else is left, go.
    demo.run_quietly(["wineserver", "-k"], env)
    demo.run_quietly(["wineserver", "-w"], env)
    log = open(paths.log, "rb").read().decode("latin-1") if os.path.exists(paths.log) else ""
    return seconds, peak, log


def step_seconds(log, *names):
    total = 0.0
    for name in names:
        found = re.search(rf"Finished {name} \(([\d.]+) seconds\)", log)
        if not found:
            raise RuntimeError(f"the run did not finish {name}; see the log")
        total += float(found.group(1))
    return total


def timed(command):
    start = time.time()
    subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL)
    return time.time() - start


def row(label, seconds, decoded, extra=""):
    rate = f"{decoded / seconds / 1e6:8.1f}" if seconds else "       -"
    print(f"  {label:46s} {seconds:8.2f} {rate}  {extra}")


def ratio(launcher, gnu):
    """How the launcher's throughput compares with the tools' (above 1: faster)."""
    return f"{gnu / launcher:.2f}" if launcher else "-"


def manifest_without_launcher(paths, release):
    """The release's manifest lines without the launcher's own files, and
    the manifest object of them that the origin serves."""
    lines = [line for line in open(os.path.join(release, release_writer.MANIFEST_TEXT)).read().splitlines()
             if line and not line.lower().startswith(demo.LAUNCHER_PREFIXES)]
    os.makedirs(paths.demo, exist_ok=True)
    manifest = os.path.join(paths.demo, f"index-{os.path.basename(release)}.txt.lzma")
    release_writer.write_atomically(manifest, release_writer.encode_lzma(("\r\n".join(lines) + "\r\n").encode()))
    return lines, manifest


def installed_objects(paths, lines):
    """(remote name, decoded size, pass) of the objects of the content and
    cache passes that the launcher installed; pass 1 content, 2 cache."""
    verified, wrong, kept, absent, installed = demo.verify_install(paths)
    if wrong or kept:
        raise RuntimeError(f"installed files differ from the release: {(wrong + kept)[:10]}")
    verified = set(verified)
    fetched = []
    for line in lines:
        name = line.rsplit(",", 1)[0]
        local, path = demo.local_path(paths, name)
        if path in verified and not re.search(r"/(eula|cba)_", path):
            fetched.append((name, os.path.getsize(local), 2 if demo.is_cache(path) else 1))
    if not fetched:
        raise RuntimeError("the launcher installed none of the release's objects; see the log")
    return fetched


def tools_fetch(paths, server, fetched, at_once):
    """curl | xz -d | md5sum over the objects, at_once at a time, the
    content pass's objects first and then the cache pass's, as the launcher
    runs its passes one after the other; gives the seconds."""
    total = 0.0
    for step in (1, 2):
        commands = []
        for name, _, kind in fetched:
            if kind != step:
                continue
            url = f"http://127.0.0.1:{server.content_port}{name}"
            # xz may add a complaint after the whole stream when the stream
            # also ends with an end marker; the bytes and the digest are whole.
            decode = " | xz --format=lzma -d 2>/dev/null" if name.endswith(".lzma") else ""
            commands.append(f"curl -s '{url}'{decode} | md5sum")
        if not commands:
            continue
        listing = os.path.join(paths.demo, f"fetch-{step}.sh")
        with open(listing, "w") as f:
            f.write("\n".join(commands) + "\n")
        if at_once == 1:
            total += timed(f"bash {listing}")
        else:
            total += timed(f"tr '\\n' '\\0' < {listing} | xargs -0 -P {at_once} -n 1 bash -c")
    return total


def md5sum_seconds(paths, files, at_once):
    """md5sum over the files (best of 3), the names handed over by xargs:
    one process over all of them, and at_once processes side by side, each
    over a share of about the same bytes (the largest files dealt first,
    each to the share with the fewest bytes so far). Gives the seconds of
    both and the bytes hashed."""
    listing = os.path.join(paths.demo, "hashed.lst")
    with open(listing, "wb") as f:
        f.write(b"".join(os.fsencode(p) + b"\0" for p in files))
    sizes = {p: os.path.getsize(p) for p in files}
    shares = [[0, []] for _ in range(max(1, min(at_once, len(files))))]
    for p in sorted(files, key=lambda p: -sizes[p]):
        share = min(shares, key=lambda s: s[0])
        share[0] += sizes[p]
        share[1].append(p)
    listings = []
    for k, (_, share) in enumerate(shares):
        listings.append(os.path.join(paths.demo, f"hashed-{k}.lst"))
        with open(listings[-1], "wb") as f:
            f.write(b"".join(os.fsencode(p) + b"\0" for p in share))
    one = min(timed(f"xargs -0 md5sum < '{listing}'") for _ in range(3))
    side_by_side = " & ".join(f"xargs -0 md5sum < '{name}'" for name in listings) + " & wait"
    many = min(timed(side_by_side) for _ in range(3))
    return one, many, sum(sizes.values())


def content_files(paths, lines, fetched):
    """Local paths of the installed files that the content pass hashes."""
    return [demo.local_path(paths, name)[0] for name, _, kind in fetched if kind == 1]


def install(paths, server, env, threads):
    shutil.rmtree(paths.games, ignore_errors=True)
    demo.write_configuration(paths, server, env, {"EnableAggressiveDownload": 0 if threads == 1 else 1,
                                                  "LauncherStats": 1})
    return run_launcher(paths, env)


def bench_big(paths, env, cores, release):
    """Downloads with 1 and with one thread per core, and the verify of the
    installed release, against the tools; gives the figures."""
    paths.release = release
    lines, manifest = manifest_without_launcher(paths, release)
    server = release_server.ReleaseServer(release, os.path.join(paths.demo, "nginx"),
                                          os.path.join(paths.build, "testca", "localhost.pem"), manifest=manifest)
    with server:
        runs = {threads: install(paths, server, env, threads) for threads in (1, cores)}
        verify = run_launcher(paths, env)
        fetched = installed_objects(paths, lines)
        gnu = {1: tools_fetch(paths, server, fetched, 1), cores: tools_fetch(paths, server, fetched, cores)}
        hashed = content_files(paths, lines, fetched)
        md5sum, md5sum_many, hashed_bytes = md5sum_seconds(paths, hashed, cores)
    return dict(lines=lines, runs=runs, verify=verify, fetched=fetched, gnu=gnu, hashed=hashed, md5sum=md5sum,
                md5sum_many=md5sum_many, hashed_bytes=hashed_bytes)


def bench_many(paths, env, cores, release):
    """The first install of a release of many files with one thread per core
    against the tools as many at a time, and the verify that follows
    against md5sum; gives the figures."""
    paths.release = release
    lines, manifest = manifest_without_launcher(paths, release)
    server = release_server.ReleaseServer(release, os.path.join(paths.demo, "nginx"),
                                          os.path.join(paths.build, "testca", "localhost.pem"), manifest=manifest)
    with server:
        first = install(paths, server, env, cores)
        verify = run_launcher(paths, env)
        fetched = installed_objects(paths, lines)
        gnu = tools_fetch(paths, server, fetched, cores)
        hashed = content_files(paths, lines, fetched)
        md5sum, md5sum_many, hashed_bytes = md5sum_seconds(paths, hashed, cores)
    return dict(lines=lines, first=first, verify=verify, fetched=fetched, gnu=gnu, hashed=hashed, md5sum=md5sum,
                md5sum_many=md5sum_many, hashed_bytes=hashed_bytes)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--content-mib", type=int, default=None,
                        help="content and cache of about this many MiB (default: the demo's release)")
    parser.add_argument("--files", default="8000",
                        help="releases of this many files shaped as a game's, comma-separated (0: none)")
    args = parser.parse_args()
    counts = [int(c) for c in args.files.split(",") if int(c) > 0]
    paths = demo.Paths(args.build, "bench")
    big_release = paths.release
    if args.content_mib:
        big_release = os.path.join(paths.demo, f"release-{args.content_mib}")
    make_demo_release.make_release(paths.build, big_release, args.content_mib)
    many_releases = {}
    for count in counts:
        many_releases[count] = os.path.join(paths.demo, f"release-files-{count}")
        make_demo_release.make_release(paths.build, many_releases[count], files=count)

    # The ready page starts the game's stand-in, which then ends at once.
    env = dict(os.environ, VANTOREL_STANDIN_GAME="exit:0")
    cores = os.cpu_count()
    big = bench_big(paths, env, cores, big_release)
    many = {count: bench_many(paths, env, cores, many_releases[count]) for count in counts}
    load = open("/proc/loadavg").read().split()[:3]

    lines, runs, fetched, gnu = big["lines"], big["runs"], big["fetched"], big["gnu"]
    print(f"\nRelease without the launcher's files: {len(lines)} files; nginx on 127.0.0.1 at full speed; "
          f"Wine; {cores} processors, load {' '.join(load)} at the end")
    decoded = sum(size for _, size, _ in fetched)
    objects = sum(os.path.getsize(release_writer.object_path(big_release, name)) for name, _, _ in fetched)
    print(f"\n  Download + decode + verify: content and cache passes, {len(fetched)} objects, "
          f"{objects / MIB:.1f} MiB served, {decoded / MIB:.1f} MiB decoded")
    print(f"  {'':46s} {'seconds':>8s} {'MB/s':>8s}  (decoded bytes a second)")
    update = {}
    for threads in sorted(runs):
        seconds, peak, log = runs[threads]
        network = re.findall(r"Downloaded ([\d,]+) bytes total ~ ([\d,]+) B/s", log)
        rate = ", ".join(f"{int(r.replace(',', '')) / 1e6:.1f}" for _, r in network)
        update[threads] = step_seconds(log, "Binaries1", "Binaries2")
        row("Launcher, 1 download thread" if threads == 1 else "Launcher, one download thread per core",
            update[threads], decoded, f"(its own figures: {rate} MB/s)")
    row("curl | xz -d | md5sum, one object at a time", gnu[1], decoded)
    row(f"the same, {cores} at a time", gnu[cores], decoded)
    print("  (the tools take the content pass's objects, then the cache pass's)")
    big_verify = step_seconds(big["verify"][2], "Binaries1")
    hashed_bytes = big["hashed_bytes"]
    print(f"\n  Verify of the installed release: {len(big['hashed'])} content files, {hashed_bytes / MIB:.1f} MiB")
    row("Launcher, everything current (Binaries1)", big_verify, hashed_bytes)
    row("md5sum, one process (best of 3)", big["md5sum"], hashed_bytes)
    row(f"md5sum, {cores} side by side (best of 3)", big["md5sum_many"], hashed_bytes)

    ratios = [("1 thread vs one object at a time", ratio(update[1], gnu[1])),
              (f"{cores} threads vs {cores} at a time", ratio(update[cores], gnu[cores])),
              ("verify of big files vs md5sum, one process", ratio(big_verify, big["md5sum"])),
              (f"verify of big files vs md5sum, {cores} side by side", ratio(big_verify, big["md5sum_many"]))]
    for count in counts:
        figures = many[count]
        first = step_seconds(figures["first"][2], "Binaries1", "Binaries2")
        verify = step_seconds(figures["verify"][2], "Binaries1")
        hashed_bytes = figures["hashed_bytes"]
        decoded = sum(size for _, size, _ in figures["fetched"])
        print(f"\n  Release of {len(figures['lines'])} files ({count} content files shaped as a game's)")
        row(f"Launcher, first install, {cores} threads (Binaries1 + 2)", first, decoded)
        row(f"curl | xz -d | md5sum, {cores} at a time", figures["gnu"], decoded)
        row(f"Launcher, verify of {len(figures['hashed'])} files (Binaries1)", verify, hashed_bytes)
        row("md5sum, one process (best of 3)", figures["md5sum"], hashed_bytes)
        row(f"md5sum, {cores} side by side (best of 3)", figures["md5sum_many"], hashed_bytes)
        ratios.append((f"verify of {count} small files vs md5sum, one process", ratio(verify, figures["md5sum"])))
        ratios.append((f"verify of {count} small files vs md5sum, {cores} side by side",
                       ratio(verify, figures["md5sum_many"])))
        ratios.append((f"first install of {count} files, {cores} threads vs {cores} at a time",
                       ratio(first, figures["gnu"])))

    print("\n  Throughput against the tools (tools' seconds / launcher's seconds; 1: as fast, 0.5: half as fast)")
    for label, value in ratios:
        print(f"  {label:60s} {value}")
    print("\n  Peak memory of Launcher.exe (maximum resident set)")
    for threads in sorted(runs):
        print(f"  {'update, ' + ('1 download thread' if threads == 1 else 'one thread per core'):46s} "
              f"{runs[threads][1] / 1024:8.1f} MiB")
    print(f"  {'verify only':46s} {big['verify'][1] / 1024:8.1f} MiB")
    for count in counts:
        print(f"  {f'verify only, {count} files':46s} {many[count]['verify'][1] / 1024:8.1f} MiB")
    print(f"  (whole runs: {', '.join(f'{runs[t][0]:.1f} s' for t in sorted(runs))}, verify {big['verify'][0]:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
