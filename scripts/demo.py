#!/usr/bin/env python3
"""The launcher's main job under Wine against a local copy of the maker's
servers, in the Wine prefix build/demo/wine.

The demo release (make_demo_release.py) is served by nginx (release_server.py);
Launcher.exe runs from build/demo/Tools, which holds nothing but the program
and its server configuration, so the first run fetches the launcher's own
files and hands over to the downloaded copy. With --driven (no display of
the person's own) launcher_driver.exe reports each page, a screenshot of it
is kept in build/demo/screenshots, and the driver presses I AGREE and PLAY;
otherwise the person clicks through. A summary ends the run.
"""
import argparse
import glob
import os
import pwd
import re
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_demo_release  # noqa: E402
import release_server  # noqa: E402
import release_writer  # noqa: E402

MIB = 1 << 20
PRESSED_CAPTIONS = ("I AGREE", "PLAY")
# One download connection at the speed of a home line, so that the progress,
# the speed and the estimate of the time left can be watched (the estimate
# shows once a pass has run for ten seconds with half a minute left).
DEMO_RATE = "2m"
DEMO_SETTINGS = {"EnableAggressiveDownload": 0}
LAUNCHER_PREFIXES = ("/tools/launcher.exe", "/tools/faultcourier.exe", "/tools/windows/x64/dbghelp.dll",
                     "/tools/windows/x64/symsrv.dll", "/tools/cef3_1/")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_quietly(command, env, timeout=120):
    return subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=timeout).returncode


class Paths:
    """The folders of a run below build/<name> (the release is the demo's)."""

    def __init__(self, build, name="demo"):
        self.build = os.path.abspath(build)
        self.demo = os.path.join(self.build, name)
        self.release = os.path.join(self.build, "demo", "release")
        self.tools = os.path.join(self.demo, "Tools")
        self.games = os.path.join(self.demo, "Games")
        self.install = os.path.join(self.games, "Public")
        self.screenshots = os.path.join(self.demo, "screenshots")
        self.record = os.path.join(self.demo, "game_starts.txt")
        user = pwd.getpwuid(os.geteuid()).pw_name
        self.local = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", user, "AppData", "Local",
                                  "Vantorel")
        self.downloaded = os.path.join(self.local, "Downloaded", "Public")
        self.log = os.path.join(self.local, "Launcher.log")


def write_configuration(paths, server, env, settings=None):
    """The Tools folder with the program and its configuration (the
    downloaded copy the program hands over to is told of the same file), and
    the settings: the install folder, English, the browser without GPU, and
    the given numbers."""
    shutil.rmtree(paths.tools, ignore_errors=True)
    os.makedirs(paths.tools)
    shutil.copy2(os.path.join(paths.build, "x64", "Launcher.exe"), paths.tools)
    lines = []
    for cluster in ("Public", "Test", "Dev"):
        lines += [f"[{cluster}]", f"Content=127.0.0.1:{server.content_port}",
                  f"Origin=localhost:{server.secure_port}", f"Api=localhost:{server.secure_port}"]
    ini = ("\r\n".join(lines) + "\r\n").encode()
    with open(os.path.join(paths.tools, "Vantorel.ini"), "wb") as f:
        f.write(ini)
    os.makedirs(paths.games, exist_ok=True)
    registry = os.path.join(paths.demo, "settings.reg")
    download_dir = windows_path(paths.games).replace("\\", "\\\\")
    numbers = dict({"LauncherGPU": 0}, **(settings or {}))
    with open(registry, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Zethrane\\Vantorel\\Launcher]\r\n"
                f"\"DownloadDir\"=\"{download_dir}\"\r\n"
                "\"Language\"=\"en\"\r\n" +
                "".join(f"\"{name}\"=dword:{value:08x}\r\n" for name, value in numbers.items()))
    if run_quietly(["wine", "reg", "import", windows_path(registry)], env) != 0:
        raise RuntimeError("could not write the launcher's settings into the Wine prefix")


class Driver:
    """launcher_driver.exe: its lines in a queue read by the main thread."""

    def __init__(self, paths, env, limit):
        self.process = subprocess.Popen(["wine", os.path.join(paths.build, "x64", "launcher_driver.exe"),
                                         str(int(limit))], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = []
        self.ready = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            with self.ready:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self.ready.notify()
        with self.ready:
            self.lines.append(None)
            self.ready.notify()

    def next(self, deadline):
        with self.ready:
            while not self.lines:
                if not self.ready.wait(max(0.1, deadline - time.time())) and time.time() >= deadline:
                    return None
            return self.lines.pop(0)

    def answer(self, text):
        try:
            self.process.stdin.write((text + "\n").encode())
            self.process.stdin.flush()
        except OSError:
            pass


def screenshot(paths, number, name):
    slug = re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-") or "page"
    target = os.path.join(paths.screenshots, f"{number:02d}-{slug}.png")
    subprocess.run(["import", "-window", "root", target], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                    timeout=30)
    return target


def drive(paths, env, driven, limit):
    """Runs the launcher to its end; gives the events seen: (seconds, kind, fields)."""
    events = []
    start = time.time()
    deadline = start + limit
    launcher = subprocess.Popen(["wine", os.path.join(paths.tools, "Launcher.exe")] + env["DEMO_ARGS"].split(),
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = Driver(paths, env, limit)
    shots = 0
    while True:
        line = driver.next(deadline)
        if line is None or line == "EXIT":
            if line is None:
                events.append((time.time() - start, "TIMEOUT", []))
            break
        kind, *fields = line.split("\t")
        events.append((time.time() - start, kind, fields))
        if kind == "PAGE":
            _, status, button, enabled = fields[:4]
            detail = fields[5] if len(fields) > 5 else ""
            if driven:
                shots += 1
                screenshot(paths, shots, status or button)
            press = driven and enabled == "1" and button in PRESSED_CAPTIONS
            print(f"  {time.time() - start:6.1f} s  page: {status or '-'} [{button}{'' if enabled == '1' else ', off'}]"
                  f"{'  ' + detail if detail else ''}{'  -> press' if press else ''}", flush=True)
            driver.answer("press" if press else "wait")
        elif kind == "GAME":
            print(f"  {time.time() - start:6.1f} s  the game's window is up", flush=True)
            if driven:
                shots += 1
                screenshot(paths, shots, "game")
            driver.answer("close" if driven else "wait")
        elif kind.startswith("PRESS"):
            if kind == "PRESS-FAILED":
                print(f"  {time.time() - start:6.1f} s  the press of {fields[0]} did not take", flush=True)
    seconds = time.time() - start
    if events and events[-1][1] == "TIMEOUT":
        # An abandoned run: whatever it started in the demo's prefix ends.
        print(f"  {seconds:6.1f} s  time is up", flush=True)
        run_quietly(["wineserver", "-k"], env)
    for process in (driver.process, launcher):
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
    return events, seconds


def local_path(paths, name):
    path = name.rsplit(".", 2)[0]
    folder = paths.downloaded if path.lower().startswith(LAUNCHER_PREFIXES) else paths.install
    return os.path.join(folder, *path.lstrip("/").split("/")), path


def is_cache(path):
    lowered = path.lower()
    return ".cache" in lowered or ".toc" in lowered


def verify_install(paths):
    """(verified, wrong, kept, absent, installed bytes) over the release's
    files. The launcher takes a cache file only when it is missing (the
    game's repair applet checks the caches): a different one is kept."""
    verified, wrong, kept, absent, size = [], [], [], [], 0
    with open(os.path.join(paths.release, release_writer.MANIFEST_TEXT)) as manifest:
        for line in manifest:
            if not line.strip():
                continue
            name = line.strip().rsplit(",", 1)[0]
            local, path = local_path(paths, name)
            if not os.path.isfile(local):
                absent.append(path)
                continue
            with open(local, "rb") as f:
                data = f.read()
            if release_writer.md5_text(data) == name.rsplit(".", 2)[1]:
                verified.append(path)
                size += len(data)
            else:
                (kept if is_cache(path) else wrong).append(path)
    return verified, wrong, kept, absent, size


def game_starts(paths):
    """(game command lines, applet names) that the stand-in recorded."""
    if not os.path.exists(paths.record):
        return [], []
    text = open(paths.record, "rb").read().decode("utf-8", "replace")
    commands = [c.strip() for c in re.findall(r"^command=(.*)$", text, re.M)]
    applets = [re.search(r"-applet:\S*/(\w+)", c).group(1) for c in commands if re.search(r"-applet:\S*/\w+", c)]
    return [c for c in commands if "-applet:" not in c], applets


def summary(paths, server, events, seconds):
    log = open(paths.log, "rb").read().decode("latin-1") if os.path.exists(paths.log) else ""
    shutil.copy2(paths.log, os.path.join(paths.demo, "Launcher.log")) if log else None
    verified, wrong, kept, absent, size = verify_install(paths)
    requests = server.requests()
    content = [r for r in requests if r[0] == server.content_port]
    secure = [r for r in requests if r[0] == server.secure_port]
    pages = [(at, fields) for at, kind, fields in events if kind == "PAGE"]
    ready = next((at for at, fields in pages if fields[2] == "PLAY" and fields[3] == "1"), None)
    agreements = sum(1 for _, fields in pages if fields[2] == "I AGREE")
    started, applets = game_starts(paths)
    print("\nDemo summary")
    print(f"  release:    {len(verified) + len(wrong) + len(kept) + len(absent)} files in {paths.release}, served by nginx on "
          f"127.0.0.1:{server.content_port} (content) and :{server.secure_port} (origin, web API)")
    print(f"  installed:  {len(verified)} files verified ({size / MIB:.1f} MiB, MD5 against the manifest)"
          f"{f', {len(wrong)} DIFFERENT: ' + ' '.join(wrong[:5]) if wrong else ''}"
          f"{f', {len(kept)} older cache files kept' if kept else ''}; "
          f"{len(absent)} not installed ({', '.join(absent[:3])}{', ...' if len(absent) > 3 else ''})")
    print(f"  downloaded: {sum(r[4] for r in content if r[3] in (200, 206)) / MIB:.1f} MiB in {len(content)} "
          f"requests to the content server; {len(secure)} to the origin and web API "
          f"({', '.join(sorted({f'{r[1]} {r[2].split(chr(63))[0]}' for r in secure})) or 'none'})")
    print(f"  pages:      {len(pages)}, {agreements} of them agreements"
          f"{f'; screenshots in {paths.screenshots}' if glob.glob(os.path.join(paths.screenshots, '*.png')) else ''}")
    for line in re.findall(r"Downloaded [\d,]+ bytes total[^\r\n]*", log):
        print(f"  launcher:   {line}")
    steps = re.findall(r"Finished (\w+) \(([\d.]+) seconds\)", log)
    if steps:
        print("  steps:      " + ", ".join(f"{name} {value} s" for name, value in steps))
    print(f"  time:       {seconds:.1f} s in all" +
          (f", {ready:.1f} s to the ready page" if ready is not None else ", no ready page was shown"))
    print(f"  applets:    {', '.join(applets) if applets else 'none ran'}")
    command = started[0] if started else ""
    print(f"  game:       {'started: ' + command[:110] + ('...' if len(command) > 110 else '') if started else 'not started'}")
    print(f"  log:        {os.path.join(paths.demo, 'Launcher.log')}")
    timed_out = any(kind == "TIMEOUT" for _, kind, _ in events)
    finished = "Finished ReadyToPlay" in log or ready is not None
    return 0 if finished and not wrong and not timed_out else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--driven", action="store_true", help="no person: the driver presses the buttons")
    parser.add_argument("--timeout", type=float, default=None, help="seconds (default 600, 1800 with a person)")
    parser.add_argument("args", nargs="*", help="launcher options")
    args = parser.parse_args()
    limit = args.timeout or (600 if args.driven else 1800)
    paths = Paths(args.build)

    print("Demo release:", flush=True)
    make_demo_release.make_release(paths.build, paths.release)
    env = dict(os.environ, VANTOREL_STANDIN_RECORD=windows_path(paths.record), DEMO_ARGS=" ".join(args.args))
    # Whatever a stopped earlier run left in the demo's prefix goes first.
    run_quietly(["wineserver", "-k"], env)
    run_quietly(["wineserver", "-w"], env)
    shutil.rmtree(paths.screenshots, ignore_errors=True)
    os.makedirs(paths.screenshots)
    if os.path.exists(paths.record):
        os.remove(paths.record)
    server = release_server.ReleaseServer(paths.release, os.path.join(paths.demo, "nginx"),
                                          os.path.join(paths.build, "testca", "localhost.pem"), DEMO_RATE)
    with server:
        write_configuration(paths, server, env, DEMO_SETTINGS)
        server.mark()
        print(f"Launcher.exe from {paths.tools}" +
              (" (driven on a virtual display)" if args.driven else ": click through its pages"), flush=True)
        events, seconds = drive(paths, env, args.driven, limit)
        code = summary(paths, server, events, seconds)
    if args.driven:
        run_quietly(["wineserver", "-k"], env)
    return code


if __name__ == "__main__":
    sys.exit(main())
