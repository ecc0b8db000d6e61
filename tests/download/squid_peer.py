"""squid on 127.0.0.1 as a proxy that asks for credentials (basic authentication), as corporate
networks have them.

Runs Debian's squid in the foreground with a configuration, logs, pid file and password file of
its own in a fresh folder, on a free port, caching nothing. One user is let through; every other
request gets 407. The access log records per request the status, the user that signed in ("-"
for none), the method, the address and the Range asked for. It never outlives the Python process
that started it.
"""

import os
import pwd
import subprocess

from web_peers import WebPeer

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


class Squid(WebPeer):
    """squid in the foreground (-N), started and stopped as the web peers are."""

    name = "squid"

    def __init__(self, user, password):
        super().__init__()
        self.user, self.password = user, password
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

    def command(self, config):
        # -n: a service name of its own, which names its shared memory; two runs never meet there.
        return ["/usr/sbin/squid", "-N", "-f", config, "-n", "wendrake%d" % self.port]

    def config_text(self):
        return CONFIG.format(port=self.port, dir=self.dir, user=self.run_as)

    def start(self, timeout=30):
        return super().start(timeout)

    def error_log(self):
        try:
            with open(os.path.join(self.dir, "cache.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""
