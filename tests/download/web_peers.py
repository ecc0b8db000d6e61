"""Real web servers on 127.0.0.1 as peers for the download engine: Apache httpd and lighttpd as
Debian ships them (nginx is in nginx_peer.py, on the same footing).

Each runs as a child process in the foreground, with a configuration, logs and pid file of its
own in a fresh folder, on a free port, serving the folder `root`. The access log records per
request what the tests measure, in the fields of nginx_peer.LOG_FIELDS. A peer never outlives
the Python process that started it.
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


class WebPeer:
    """What the peers share: a folder of their own, start, stop, the served files and the log."""

    name = "server"
    # Both Apache and lighttpd log the end of a request in milliseconds and its duration in
    # microseconds; nginx in seconds for both.
    end_scale = 1e-3
    duration_scale = 1e-6

    def __init__(self, root=None):
        self.dir = tempfile.mkdtemp(prefix="wendrake-%s-" % self.name)
        self.root = root or os.path.join(self.dir, "www")
        os.makedirs(self.root, exist_ok=True)
        # Apache started as root serves as "nobody", who must be able to read the files.
        for folder in (self.dir, self.root):
            os.chmod(folder, 0o755)
        self.process = None
        self.port = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def command(self, config):
        raise NotImplementedError

    def config_text(self):
        raise NotImplementedError

    @property
    def access_log(self):
        return os.path.join(self.dir, "access.log")

    def start(self, timeout=10):
        self.port = free_port()
        config = os.path.join(self.dir, "%s.conf" % self.name)
        with open(config, "w") as f:
            f.write(self.config_text())
        open(self.access_log, "w").close()
        os.chmod(self.access_log, 0o666)
        self.process = subprocess.Popen(self.command(config), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        atexit.register(self.stop)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("%s ended at start: %s" % (self.name, self.error_log()))
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("%s did not listen within %s s" % (self.name, timeout))

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

    def serve(self, name, data, age=3600):
        """Puts a file into the served folder, readable by any server, written `age` seconds ago
        (Apache calls the ETag of a file changed within the last second weak)."""
        path = os.path.join(self.root, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o644)
        then = time.time() - age
        os.utime(path, (then, then))
        return path

    def error_log(self):
        try:
            with open(os.path.join(self.dir, "error.log")) as f:
                return f.read()
        except OSError:
            return ""

    def log_entries(self):
        """Every request logged so far, as dicts of LOG_FIELDS (numbers as ints or floats;
        msec and request_time in seconds)."""
        entries = []
        with open(self.access_log) as f:
            for line in f:
                values = line.rstrip("\n").split("\t")
                if len(values) != len(LOG_FIELDS):
                    continue
                entry = dict(zip(LOG_FIELDS, values))
                if entry["range"] == "-":
                    entry["range"] = ""
                for name in ("status", "bytes_sent", "body_bytes_sent"):
                    entry[name] = int(entry[name]) if entry[name].isdigit() else 0
                entry["msec"] = float(entry["msec"]) * self.end_scale
                entry["request_time"] = float(entry["request_time"]) * self.duration_scale
                entries.append(entry)
        return entries


APACHE_MODULES = "/usr/lib/apache2/modules"

APACHE_CONFIG = """\
ServerRoot "{dir}"
ServerName 127.0.0.1
Listen 127.0.0.1:{port}
PidFile "{dir}/httpd.pid"
ErrorLog "{dir}/error.log"
LoadModule mpm_event_module {modules}/mod_mpm_event.so
LoadModule authz_core_module {modules}/mod_authz_core.so
LoadModule mime_module {modules}/mod_mime.so
{user}
TypesConfig /etc/mime.types
DocumentRoot "{root}"
<Directory "{root}">
    Require all granted
</Directory>
LogFormat "%U%q\\t%>s\\t%O\\t%B\\t%{{Range}}i\\t%{{User-Agent}}i\\t%{{end:msec}}t\\t%D\\t%{{Cookie}}i" wendrake
CustomLog "{dir}/access.log" wendrake
"""


class Apache(WebPeer):
    """Apache httpd 2.4 in one process (-X), with the file serving Debian builds in."""

    name = "apache"

    def command(self, config):
        return [shutil.which("apache2") or "/usr/sbin/apache2", "-X", "-f", config]

    def config_text(self):
        # Started as root, Apache serves as another user; otherwise as whoever started it.
        user = "User nobody\nGroup nogroup" if os.geteuid() == 0 else ""
        return APACHE_CONFIG.format(dir=self.dir, port=self.port, root=self.root, modules=APACHE_MODULES, user=user)


LIGHTTPD_CONFIG = """\
server.document-root = "{root}"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{dir}/error.log"
server.pid-file = "{dir}/lighttpd.pid"
server.modules = ("mod_accesslog")
# Piped, the log is written as each request ends; to a file, lighttpd holds it back a while.
accesslog.filename = "|exec /bin/cat >> {dir}/access.log"
accesslog.format = "%U%q\\t%s\\t%O\\t%b\\t%{{Range}}i\\t%{{User-Agent}}i\\t%{{end:msec}}t\\t%D\\t%{{Cookie}}i"
mimetype.assign = (".exe" => "application/octet-stream", "" => "application/octet-stream")
# lighttpd keeps a file's size and ETag for a second: a file the test replaces between two runs
# (hours apart on a real server) was announced with its old size and ETag and sent with its new
# bytes, so the old partial file was continued with the new file's rest.
server.stat-cache-engine = "disable"
"""


class Lighttpd(WebPeer):
    """lighttpd 1.4 in the foreground (-D)."""

    name = "lighttpd"

    def command(self, config):
        return [shutil.which("lighttpd") or "/usr/sbin/lighttpd", "-D", "-f", config]

    def config_text(self):
        return LIGHTTPD_CONFIG.format(dir=self.dir, port=self.port, root=self.root)
