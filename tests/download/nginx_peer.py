"""nginx on 127.0.0.1 as a real peer for the download engine.

Runs Debian's nginx as the current user in the foreground, with a configuration, logs and
temporary folders of its own in a fresh folder, on a free port. The access log records, per
request, what the tests and the benchmark measure (range asked for, status, bytes sent), and
the agent and cookies it came with.
Stop it with stop() or use it as a context manager; it never outlives the Python process
that started it (it is a child process killed on stop or at exit).
"""

import atexit
import os
import shutil
import socket
import subprocess
import tempfile
import time

from fault_server import free_port

LOG_FIELDS = ["uri", "status", "bytes_sent", "body_bytes_sent", "range", "agent", "msec", "request_time", "cookie"]

CONFIG = """\
daemon off;
master_process off;
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/error.log warn;
events {{ worker_connections 64; }}
http {{
    log_format wendrake '$request_uri\\t$status\\t$bytes_sent\\t$body_bytes_sent\\t$http_range\\t$http_user_agent\\t$msec\\t$request_time\\t$http_cookie';
    access_log {dir}/access.log wendrake;
    client_body_temp_path {dir}/tmp-body;
    proxy_temp_path {dir}/tmp-proxy;
    fastcgi_temp_path {dir}/tmp-fastcgi;
    uwsgi_temp_path {dir}/tmp-uwsgi;
    scgi_temp_path {dir}/tmp-scgi;
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen 127.0.0.1:{port};
        root {root};
        location /slow/ {{
            alias {root}/;
            limit_rate {slow_rate};
        }}
        # Like /slow/, but the first request of nginx's life gets a 404: a download that fails
        # once. The flag is the log of that request, written by nginx itself.
        location /fail-once/ {{
            alias {root}/;
            limit_rate {slow_rate};
            if (!-f {dir}/failed-once) {{
                set $flag failed-once;
                access_log {dir}/$flag wendrake;
                access_log {dir}/access.log wendrake;
                return 404;
            }}
        }}
    }}
}}
"""


def find_nginx():
    return shutil.which("nginx") or "/usr/sbin/nginx"


class Nginx:
    """Serves the files of `root` (a folder made here when not given); /slow/ serves the
    same files rate-limited, and /fail-once/ too after a 404 for its first request."""

    def __init__(self, root=None, slow_rate="16m"):
        self.dir = tempfile.mkdtemp(prefix="wendrake-nginx-")
        self.root = root or os.path.join(self.dir, "www")
        os.makedirs(self.root, exist_ok=True)
        self.slow_rate = slow_rate
        self.process = None
        self.port = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def start(self, timeout=10):
        self.port = free_port()
        config = os.path.join(self.dir, "nginx.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(dir=self.dir, port=self.port, root=self.root, slow_rate=self.slow_rate))
        open(self.access_log, "w").close()
        self.process = subprocess.Popen(
            [find_nginx(), "-p", self.dir, "-c", config, "-e", os.path.join(self.dir, "error.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        atexit.register(self.stop)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("nginx ended at start: " + self.error_log())
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("nginx did not listen within %s s" % timeout)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    @property
    def access_log(self):
        return os.path.join(self.dir, "access.log")

    def error_log(self):
        try:
            with open(os.path.join(self.dir, "error.log")) as f:
                return f.read()
        except OSError:
            return ""

    def log_entries(self):
        """Every request logged so far, as dicts of LOG_FIELDS (numbers as ints or floats)."""
        entries = []
        with open(self.access_log) as f:
            for line in f:
                values = line.rstrip("\n").split("\t")
                if len(values) != len(LOG_FIELDS):
                    continue
                entry = dict(zip(LOG_FIELDS, values))
                for name in ("status", "bytes_sent", "body_bytes_sent"):
                    entry[name] = int(entry[name])
                for name in ("msec", "request_time"):
                    entry[name] = float(entry[name])
                entries.append(entry)
        return entries
