#!/usr/bin/env python3
"""Benchmark of the content update end to end: the demo release (without the
launcher's own files, so no run hands over to another copy) served by nginx
on 127.0.0.1 at full speed, Launcher.exe under Wine with "-headless", beside
the GNU tools on the same objects from the same nginx:

  download + decode + verify of the content and cache passes, 1 download
  thread and one per core  vs  curl | xz -d | md5sum, one object at a time
  and as many at a time as the launcher has threads
  verify of the installed release (a run that finds everything current)
  vs  md5sum over the same files
  peak memory (maximum resident set) of Launcher.exe in each run

Used by scripts/bench_content.sh, which prepares the build and the prefix
build/bench/wine. "--content-mib N" makes a release of about N MiB of
content and cache (build/bench/release-N) instead of the demo's own, so
that the transfer, not the start-up, dominates the figures.
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


def launcher_peaks():
    """Peak resident KiB (VmHWM) of every running Launcher.exe, by process id.
    The process that "wine" starts is only Wine's loader: the launcher runs
    in a process of its own, found by its command line."""
    peaks = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                # Not Wine's "start.exe /exec ...\Launcher.exe" beside it.
                if not f.read().split(b"\0")[0].lower().endswith(b"launcher.exe"):
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
        peaks.update(launcher_peaks())
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--content-mib", type=int, default=None,
                        help="content and cache of about this many MiB (default: the demo's release)")
    args = parser.parse_args()
    paths = demo.Paths(args.build, "bench")
    if args.content_mib:
        paths.release = os.path.join(paths.demo, f"release-{args.content_mib}")
    make_demo_release.make_release(paths.build, paths.release, args.content_mib)

    # The release's manifest without the launcher's own files.
    lines = [line for line in open(os.path.join(paths.release, release_writer.MANIFEST_TEXT)).read().splitlines()
             if line and not line.lower().startswith(demo.LAUNCHER_PREFIXES)]
    os.makedirs(paths.demo, exist_ok=True)
    manifest = os.path.join(paths.demo, "index.txt.lzma")
    release_writer.write_atomically(manifest, release_writer.encode_lzma(("\r\n".join(lines) + "\r\n").encode()))

    # The ready page starts the game's stand-in, which then ends at once.
    env = dict(os.environ, VANTOREL_STANDIN_GAME="exit:0")
    cores = os.cpu_count()
    server = release_server.ReleaseServer(paths.release, os.path.join(paths.demo, "nginx"),
                                          os.path.join(paths.build, "testca", "localhost.pem"), manifest=manifest)
    with server:
        runs = {}
        for threads, aggressive in ((1, 0), (cores, 1)):
            shutil.rmtree(paths.games, ignore_errors=True)
            demo.write_configuration(paths, server, env, {"EnableAggressiveDownload": aggressive,
                                                          "LauncherStats": 1})
            runs[threads] = run_launcher(paths, env)
        verify = run_launcher(paths, env)
        verified, wrong, kept, absent, installed = demo.verify_install(paths)
        if wrong or kept:
            raise RuntimeError(f"installed files differ from the release: {wrong + kept}")

        # The objects of the content and cache passes, as the launcher fetched them.
        fetched = []
        for line in lines:
            name = line.rsplit(",", 1)[0]
            local, path = demo.local_path(paths, name)
            if path in verified and not re.search(r"/(eula|cba)_", path):
                fetched.append((name, os.path.getsize(local)))
        if not fetched:
            raise RuntimeError("the launcher installed none of the release's objects; see the log")
        decoded = sum(size for _, size in fetched)
        objects = sum(os.path.getsize(release_writer.object_path(paths.release, name)) for name, _ in fetched)
        commands = []
        for name, _ in fetched:
            url = f"http://127.0.0.1:{server.content_port}{name}"
            decode = " | xz --format=lzma -d" if name.endswith(".lzma") else ""
            commands.append(f"curl -s '{url}'{decode} | md5sum")
        listing = os.path.join(paths.demo, "fetch.sh")
        with open(listing, "w") as f:
            f.write("\n".join(commands) + "\n")
        gnu_one = timed(f"bash {listing}")
        gnu_many = timed(f"tr '\\n' '\\0' < {listing} | xargs -0 -P {cores} -n 1 bash -c")

        # The files the verify run hashes: every installed file but the caches.
        hashed = [demo.local_path(paths, line.rsplit(",", 1)[0])[0] for line in lines
                  if demo.local_path(paths, line.rsplit(",", 1)[0])[1] in verified and
                  not demo.is_cache(line.rsplit(",", 1)[0].rsplit(".", 2)[0])]
        hashed_bytes = sum(os.path.getsize(p) for p in hashed)
        md5sum = min(timed("md5sum " + " ".join(f"'{p}'" for p in hashed)) for _ in range(3))

    load = open("/proc/loadavg").read().split()[:3]
    print(f"\nDemo release without the launcher's files: {len(lines)} files; nginx on 127.0.0.1 at full speed; "
          f"Wine; {cores} processors, load {' '.join(load)}")
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
    row("curl | xz -d | md5sum, one object at a time", gnu_one, decoded)
    row(f"the same, {cores} at a time", gnu_many, decoded)
    print(f"\n  Throughput against the tools (launcher / tools): 1 thread vs one object at a time "
          f"{ratio(update[1], gnu_one)}; {cores} threads vs {cores} at a time {ratio(update[cores], gnu_many)}")
    print(f"\n  Verify of the installed release: {len(hashed)} files, {hashed_bytes / MIB:.1f} MiB "
          f"(cache files are not hashed)")
    row("Launcher, everything current (Binaries0 + 1)", step_seconds(verify[2], "Binaries0", "Binaries1"),
        hashed_bytes)
    row("md5sum over the same files (best of 3)", md5sum, hashed_bytes)
    print("\n  Peak memory of Launcher.exe (maximum resident set)")
    for threads in sorted(runs):
        print(f"  {'update, ' + ('1 download thread' if threads == 1 else 'one thread per core'):46s} "
              f"{runs[threads][1] / 1024:8.1f} MiB")
    print(f"  {'verify only':46s} {verify[1] / 1024:8.1f} MiB")
    print(f"  (whole runs: {', '.join(f'{runs[t][0]:.1f} s' for t in sorted(runs))}, verify {verify[0]:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
