"""squid on 127.0.0.1 as a proxy that asks for credentials (basic authentication), as corporate
networks have them.

Runs Debian's squid in the foreground with a configuration, logs, pid file and password file of
its own in a fresh folder, on a free port, caching nothing. One user is let through; every other
request gets 407. The access log records per request the status, the user that signed in ("-"
for none), the method, the address and the Range asked for. It never outlives the Python process
that started it.
"""

import atexit
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

from fault_server import free_port

CONFIG = """\
http_port 127.0.0.1:{port}
pid_filename {dir}/squid.pid
cache_log {dir}/cache.log
logformat wendrake %>Hs %un %rm %ru %{{Range}}>h
access_log stdio:{dir}/access.log wendrake
buffered_logs off
logfile_rotate 0
cache deny all
coredump_dir {dir}
netdb_filename none
shutdown_lifetime 0 seconds
{user}
auth_param basic program /usr/lib/squid/basic_ncsa_auth {dir}/passwords
auth_param basic realm Wendrake test proxy
acl signed_in proxy_auth REQUIRED
http_access allow signed_in
http_access deny all
"""


class Squid:
    def __init__(self, user, password):
        self.dir = tempfile.mkdtemp(prefix="wendrake-squid-")
        self.user, self.password = user, password
        self.port = None
        self.process = None
        # Started as root, squid works as "proxy", which must write its logs here.
        self.run_as = "cache_effective_user proxy" if os.geteuid() == 0 else ""
        if os.geteuid() == 0:
            account = pwd.getpwnam("proxy")
            os.chown(self.dir, account.pw_uid, account.pw_gid)
        hashed = subprocess.run(["openssl", "passwd", "-apr1", password], check=True, stdout=subprocess.PIPE,
                                universal_newlines=True).stdout.strip()
        with open(os.path.join(self.dir, "passwords"), "w") as f:
            f.write("%s:%s\n" % (user, hashed))
        os.chmod(os.path.join(self.dir, "passwords"), 0o644)

    @property
    def access_log(self):
        return os.path.join(self.dir, "access.log")

    def start(self, timeout=30):
        self.port = free_port()
        config = os.path.join(self.dir, "squid.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(port=self.port, dir=self.dir, user=self.run_as))
        # -n: a service name of its own, which names its shared memory; two runs never meet there.
        self.process = subprocess.Popen(["/usr/sbin/squid", "-N", "-f", config, "-n", "wendrake%d" % self.port],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        atexit.register(self.stop)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("squid ended at start: %s" % self.cache_log())
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return self
            except OSError:
                time.sleep(0.1)
        self.stop()
        raise RuntimeError("squid did not listen within %s s: %s" % (timeout, self.cache_log()))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def cache_log(self):
        try:
            with open(os.path.join(self.dir, "cache.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""
