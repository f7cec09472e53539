#!/usr/bin/env python3
"""Runs Launcher.exe under Wine against the local test server and prints its
log. The server is started here, the launcher's configuration file beside
the executable points every role at it, and everything stops at the end."""
import argparse
import json
import os
import shutil
import urllib.request
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def prepare_tools(x64, build, http_port, https_port):
    """A Tools folder with both programs and a configuration file that sends
    every role of every cluster to the local server."""
    tools = os.path.join(build, "demo", "Tools")
    os.makedirs(tools, exist_ok=True)
    shutil.copy2(os.path.join(x64, "Launcher.exe"), tools)
    courier = os.path.join(build, "x86", "FaultCourier.exe")
    if os.path.exists(courier):
        shutil.copy2(courier, tools)
    # The browser runtime that the set-up installed, and the interface.
    runtime = os.path.join(build, "cef", "CEF3_1", "V5")
    interface = os.path.join(x64, "launcher.zip")
    if os.path.isdir(runtime) and os.path.exists(interface):
        folder = os.path.join(tools, "CEF3_1")
        os.makedirs(folder, exist_ok=True)
        if not os.path.lexists(os.path.join(folder, "V5")):
            os.symlink(runtime, os.path.join(folder, "V5"))
        shutil.copy2(interface, folder)
    lines = []
    for cluster in ("Public", "Test", "Dev"):
        lines += [f"[{cluster}]", f"Content=127.0.0.1:{http_port}",
                  f"Origin=localhost:{https_port}", f"Api=localhost:{https_port}"]
    lines += ["[Crash]", f"Server=localhost:{https_port}"]
    with open(os.path.join(tools, "Vantorel.ini"), "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    return tools


def answer(http_port, route):
    request = urllib.request.Request(f"http://127.0.0.1:{http_port}/__ctl/route",
                                     data=json.dumps(route).encode(), method="POST")
    urllib.request.urlopen(request).read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("args", nargs="*", default=["-nocef"])
    args = parser.parse_args()

    x64 = os.path.join(args.build, "x64")
    with tempfile.TemporaryDirectory() as work:
        ports = os.path.join(work, "ports")
        server = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "server", "testserver.py"),
                                   "--ports-file", ports, "--max-seconds", str(args.timeout + 60),
                                   "--cert", os.path.join(args.build, "testca", "localhost.pem")])
        try:
            for _ in range(100):
                if os.path.exists(ports):
                    break
                time.sleep(0.1)
            http_port, https_port = open(ports).read().split()
            tools = prepare_tools(x64, args.build, http_port, https_port)
            answer(http_port, {"method": "POST", "path": "/stats/launcherUpload.php", "status": 200, "body": "OK"})
            env = dict(os.environ, TEST_HTTP_PORT=http_port, TEST_HTTPS_PORT=https_port)
            command = ["wine", os.path.join(tools, "Launcher.exe")] + args.args
            if not os.environ.get("DISPLAY"):
                command = ["xvfb-run", "-a"] + command
            try:
                code = subprocess.run(command, env=env, timeout=args.timeout).returncode
            except subprocess.TimeoutExpired:
                code = 124
            log = subprocess.run(["bash", "-c", 'cat "$WINEPREFIX"/drive_c/users/*/AppData/Local/Vantorel/Launcher.log'],
                                 capture_output=True, text=True, errors="replace").stdout
            print(log)
            print(f"Launcher exit code: {code}")
            with urllib.request.urlopen(f"http://127.0.0.1:{http_port}/__ctl/requests") as reply:
                for record in json.load(reply):
                    print(f"server saw: {record['method']} {record['path']}")
            return 0 if code == 0 else 1
        finally:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
