#!/usr/bin/env python3
"""Runs Launcher.exe under Wine against the local test server and prints its
log. The server is started here, the launcher's configuration file beside
the executable points every role at it, and everything stops at the end."""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


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
            env = dict(os.environ, TEST_HTTP_PORT=http_port, TEST_HTTPS_PORT=https_port)
            command = ["wine", os.path.join(x64, "Launcher.exe")] + args.args
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
            return 0 if code == 0 else 1
        finally:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
