"""Serves a release folder (see release_writer.py) with nginx, the way the
maker's servers serve it, on 127.0.0.1 only:

  content  http://127.0.0.1:<content port>/<remote name>   the folder as it is
           (keep-alive connections, "Range: bytes=N-" answered with 206)
  origin   https://localhost:<secure port>/origin/<8 hex>/index.txt.lzma
           the manifest object (certificate of the test CA)
  web API  https://localhost:<secure port>/api/clientIP.php      the client's address
           https://localhost:<secure port>/stats/launcherUpload.php  "OK" to the report

A rate ("2m": bytes a second, nginx's form) limits each connection, as a
player's line would; another manifest object may take the release's place.
nginx runs as the current user from a prefix folder of its own (its
configuration, logs and temporary files), in the foreground as a child of
this process; stop() ends it.
"""
import os
import socket
import subprocess
import time

NGINX = "/usr/sbin/nginx"

CONFIG = """\
{user}worker_processes 2;
pid {prefix}/nginx.pid;
error_log {prefix}/error.log warn;
events {{ worker_connections 512; }}
http {{
    types {{ text/html html; application/zip zip; }}
    default_type application/octet-stream;
    log_format release '$server_port $request_method "$request_uri" $status $body_bytes_sent $request_time "$http_range"';
    access_log {prefix}/access.log release;
    client_body_temp_path {prefix}/temp/body;
    proxy_temp_path {prefix}/temp/proxy;
    fastcgi_temp_path {prefix}/temp/fastcgi;
    uwsgi_temp_path {prefix}/temp/uwsgi;
    scgi_temp_path {prefix}/temp/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 65;
    keepalive_requests 100000;
{rate}    server_tokens off;

    server {{
        listen 127.0.0.1:{content_port};
        server_name 127.0.0.1;
        root {release};
        location / {{ try_files $uri =404; }}
    }}

    server {{
        listen 127.0.0.1:{secure_port} ssl;
        server_name localhost;
        ssl_certificate {certificate};
        ssl_certificate_key {certificate};
        root {release};
        location ~ "^/origin/[0-9A-Fa-f]{{8}}/index\\.txt\\.lzma$" {{
            root {manifest_folder};
            rewrite ^ /{manifest_name} break;
        }}
        location = /api/clientIP.php {{
            default_type text/plain;
            return 200 "$remote_addr";
        }}
        location = /stats/launcherUpload.php {{
            default_type text/plain;
            return 200 "OK";
        }}
        location / {{ return 404; }}
    }}
}}
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class PortTaken(Exception):
    pass


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


class ReleaseServer:
    def __init__(self, release, prefix, certificate, rate=None, manifest=None):
        self.release = os.path.abspath(release)
        self.prefix = os.path.abspath(prefix)
        self.certificate = os.path.abspath(certificate)
        self.rate = rate
        self.manifest = os.path.abspath(manifest or os.path.join(release, "index.txt.lzma"))
        self.process = None
        self.content_port = self.secure_port = 0

    def start(self):
        # A free port may be taken by someone else (another run of the
        # benchmark) before nginx binds it: then new ports are tried.
        for attempt in range(5):
            try:
                return self._start()
            except PortTaken:
                if attempt == 4:
                    raise RuntimeError(f"nginx found no free port; see {self.prefix}/error.log")

    def _start(self):
        for name in ("temp/body", "temp/proxy", "temp/fastcgi", "temp/uwsgi", "temp/scgi"):
            os.makedirs(os.path.join(self.prefix, name), exist_ok=True)
        self.content_port, self.secure_port = free_port(), free_port()
        # Workers of a master started by root would otherwise run as nobody,
        # who may not read the build folder.
        user = f"user {_user_and_group()};\n" if os.geteuid() == 0 else ""
        config = os.path.join(self.prefix, "nginx.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(user=user, prefix=self.prefix, release=self.release,
                                  certificate=self.certificate, content_port=self.content_port,
                                  secure_port=self.secure_port,
                                  manifest_folder=os.path.dirname(self.manifest),
                                  manifest_name=os.path.basename(self.manifest),
                                  rate=f"    limit_rate {self.rate};\n" if self.rate else ""))
        self.access_log = os.path.join(self.prefix, "access.log")
        self.log_start = os.path.getsize(self.access_log) if os.path.exists(self.access_log) else 0
        self.process = subprocess.Popen([NGINX, "-p", self.prefix, "-c", config, "-e",
                                         os.path.join(self.prefix, "error.log"), "-g", "daemon off;"],
                                        stdin=subprocess.DEVNULL)
        for _ in range(100):
            if self.process.poll() is not None:
                errors = open(os.path.join(self.prefix, "error.log"), errors="replace").read()
                if "Address already in use" in errors[-2000:]:
                    raise PortTaken()
                raise RuntimeError(f"nginx ended at start; see {self.prefix}/error.log")
            if listening(self.content_port) and listening(self.secure_port):
                return self
            time.sleep(0.1)
        self.stop()
        raise RuntimeError(f"nginx did not listen; see {self.prefix}/error.log")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *_):
        self.stop()

    def mark(self):
        """From now on requests() gives only the requests after this call."""
        self.log_start = os.path.getsize(self.access_log) if os.path.exists(self.access_log) else 0

    def requests(self):
        """(port, method, path, status, body bytes) of every request since
        start or the last mark()."""
        if not os.path.exists(self.access_log):
            return []
        with open(self.access_log, "rb") as f:
            f.seek(self.log_start)
            lines = f.read().decode("utf-8", "replace").splitlines()
        out = []
        for line in lines:
            try:
                port, method, rest = line.split(" ", 2)
                path, rest = rest[1:].split('" ', 1)
                status, sent = rest.split(" ")[:2]
                out.append((int(port), method, path, int(status), int(sent)))
            except ValueError:
                continue
        return out


def _user_and_group():
    import grp
    import pwd
    return f"{pwd.getpwuid(os.geteuid()).pw_name} {grp.getgrgid(os.getegid()).gr_name}"
