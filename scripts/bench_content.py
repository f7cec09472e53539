#!/usr/bin/env python3
"""Benchmark of the content update end to end, against the local test server.

Runs Launcher.exe under Wine on a release of LZMA objects and reads the
figures its log gives (the download summary of the content pass, the pass's
time), beside curl + xz -d + md5sum on the same objects in the same run:

  download + decode + verify, 1 download thread and one per core
  second run: verify of the whole install  vs  md5sum
  peak memory (maximum resident set) of each Launcher.exe run

Used by scripts/bench_content.sh, which prepares the build and the prefix.
"""
import argparse
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def control(port, path, body=b""):
    request = urllib.request.Request(f"http://127.0.0.1:{port}/__ctl/{path}", data=body, method="POST")
    with urllib.request.urlopen(request, timeout=600) as answer:
        return answer.read()


def wine(args, env, timeout=1800):
    """Runs a program under Wine; gives (seconds, peak resident KiB)."""
    start = time.time()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", "wine"] + args, env=env, timeout=timeout,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    peak = int(result.stderr.strip().splitlines()[-1])
    return time.time() - start, peak


def reg_add(env, name, kind, value):
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Zethrane\Vantorel\Launcher", "/v", name, "/t", kind,
                    "/d", str(value), "/f"], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def unix_path(env, windows):
    return subprocess.run(["winepath", "-u", windows], env=env, check=True, capture_output=True,
                          text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--objects", type=int, default=16)
    parser.add_argument("--size-mib", type=int, default=8)
    args = parser.parse_args()
    x64 = os.path.join(args.build, "x64")
    env = dict(os.environ)

    work = tempfile.mkdtemp(prefix="vt-bench-")
    ports_file = os.path.join(work, "ports")
    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests/server/testserver.py"), "--ports-file",
                               ports_file, "--cert", os.path.join(args.build, "testca/localhost.pem"),
                               "--max-seconds", "3600"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ini = os.path.join(x64, "Vantorel.ini")
    saved_ini = open(ini, "rb").read() if os.path.exists(ini) else None
    try:
        for _ in range(100):
            if os.path.exists(ports_file) and os.path.getsize(ports_file):
                break
            time.sleep(0.1)
        http, https = map(int, open(ports_file).read().split())

        # The release: objects of generated, moderately compressible bytes.
        lines = []
        names = []
        total = 0
        for i in range(args.objects):
            put = json.loads(control(http, "content/put", json.dumps({
                "name": f"/Data/bench{i:02d}.bin.{{md5}}.lzma", "size": args.size_mib << 20, "seed": i,
                "preset": 1}).encode()))
            lines.append(f"{put['name']},{put['object_size']}")
            names.append(put["name"])
            total += put["size"]
        control(http, "content/manifest", ("\r\n".join(lines) + "\r\n").encode())

        with open(ini, "w") as f:
            for section in ("Public", "Test", "Dev"):
                f.write(f"[{section}]\r\nContent=127.0.0.1:{http}\r\nOrigin=localhost:{https}\r\n"
                        f"Api=localhost:{https}\r\n")
        download_dir = "C:\\vt-bench"
        install = unix_path(env, download_dir)
        reg_add(env, "DownloadDir", "REG_SZ", download_dir)
        reg_add(env, "LauncherStats", "REG_DWORD", 1)
        reg_add(env, "ServerCluster", "REG_DWORD", 0)
        reg_add(env, "EnableTestCluster", "REG_DWORD", 0)
        launcher = os.path.join(x64, "Launcher.exe")
        log_path = unix_path(env, "C:\\users\\" + os.environ.get("USER", "root") +
                             "\\AppData\\Local\\Vantorel\\Launcher.log")

        def run(label):
            if os.path.exists(log_path):
                os.remove(log_path)
            seconds, peak = wine([launcher, "-nocef", "-relaunched"], env)
            log = open(log_path, "rb").read().decode("latin-1")
            summary = re.search(r"Downloaded ([\d,]+) bytes total.*?~ ([\d,]+) B/s", log)
            passed = re.search(r"Finished Binaries1 \(([\d.]+) seconds\)", log)
            rate = int(summary.group(2).replace(",", "")) / 1e6 if summary else 0.0
            pass_seconds = float(passed.group(1)) if passed else 0.0
            decoded = total / pass_seconds / 1e6 if pass_seconds else 0.0
            print(f"{label:48s} pass {pass_seconds:6.2f} s  {decoded:7.1f} MB/s decoded"
                  f"  (network {rate:6.1f} MB/s)  run {seconds:5.1f} s  peak {peak / 1024:5.1f} MiB")

        cores = os.cpu_count()
        print(f"{args.objects} objects of {args.size_mib} MiB ({total >> 20} MiB decoded), Wine, "
              f"{cores} processors")
        for aggressive, label in ((0, "Launcher, 1 download thread"), (1, "Launcher, one thread per core")):
            shutil.rmtree(install, ignore_errors=True)
            os.makedirs(install)
            reg_add(env, "EnableAggressiveDownload", "REG_DWORD", aggressive)
            run(label + ": download+decode+verify")
        run("Launcher, second run: verify the install")

        # The same objects with the GNU tools, one after another.
        start = time.time()
        for name in names:
            url = f"http://127.0.0.1:{http}" + urllib.request.quote(name)
            subprocess.run(f"curl -s '{url}' | xz --format=lzma -d | md5sum > /dev/null", shell=True, check=True)
        seconds = time.time() - start
        print(f"{'curl | xz -d | md5sum, one object at a time':48s} {seconds:11.2f} s  "
              f"{total / seconds / 1e6:7.1f} MB/s decoded")
        files = [os.path.join(dp, f) for dp, _, fs in os.walk(install) for f in fs]
        start = time.time()
        subprocess.run(["md5sum"] + files, check=True, stdout=subprocess.DEVNULL)
        seconds = time.time() - start
        print(f"{'md5sum of the install':48s} {seconds:11.2f} s  {total / seconds / 1e6:7.1f} MB/s")
        shutil.rmtree(install, ignore_errors=True)
    finally:
        server.terminate()
        server.wait()
        if saved_ini is None:
            os.remove(ini)
        else:
            open(ini, "wb").write(saved_ini)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
