"""nginx on 127.0.0.1 as a real peer for the download engine.

Runs Debian's nginx as the current user in the foreground, with a configuration, logs and
temporary folders of its own in a fresh folder, on a free port. The access log records, per
request, what the tests and the benchmark measure (range asked for, status, bytes sent), and
the agent and cookies it came with.
Stop it with stop() or use it as a context manager; it never outlives the Python process
that started it (it is a child process killed on stop or at exit). Apache and lighttpd are
in web_peers.py, with the same interface.
"""

import os
import shutil

from web_peers import LOG_FIELDS, WebPeer  # noqa: F401 (LOG_FIELDS: the log's fields, for callers)

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


class Nginx(WebPeer):
    """Serves the files of `root` (a folder made here when not given); /slow/ serves the
    same files rate-limited, and /fail-once/ too after a 404 for its first request."""

    name = "nginx"
    end_scale = 1.0
    duration_scale = 1.0

    def __init__(self, root=None, slow_rate="16m"):
        super().__init__(root)
        self.slow_rate = slow_rate

    def command(self, config):
        return [find_nginx(), "-p", self.dir, "-c", config, "-e", os.path.join(self.dir, "error.log")]

    def config_text(self):
        return CONFIG.format(dir=self.dir, port=self.port, root=self.root, slow_rate=self.slow_rate)
