#!/usr/bin/env python3
"""Runs a command beside nginx on 127.0.0.1, for Windows tests that need a real web server.

    with_nginx.py [--slow-rate RATE] [--root DIR] [--squid] -- command [args...]

The command sees, in its environment (Wine hands it on to Windows programs):
    WENDRAKE_NGINX_URL   http://127.0.0.1:<port>   (files of the root; /slow/... rate-limited)
    WENDRAKE_NGINX_ROOT  the served folder, as a Windows path (Z:\\...) the test writes into
    WENDRAKE_NGINX_LOG   the access log, as a Windows path (tab-separated; see nginx_peer.py)
    WENDRAKE_FAULT_URL   http://127.0.0.1:<port> of the fault server (fault_server.py), which
                         serves the same folder but listens only while the file
                         "fault-server.up" is in it: without it, connections are refused
With --squid, squid runs too, as a proxy that lets one user through (squid_peer.py):
    WENDRAKE_SQUID_PROXY     127.0.0.1:<port>
    WENDRAKE_SQUID_LOG       its access log, as a Windows path (status, user, method, URL, Range)
    WENDRAKE_SQUID_USER, WENDRAKE_SQUID_PASSWORD   the user it lets through
nginx (and squid) stop when the command ends; the exit code is the command's. Without --root,
nginx serves a fresh empty folder of its own.
"""

import argparse
import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "download"))

from fault_server import FaultServer, free_port  # noqa: E402
from nginx_peer import Nginx  # noqa: E402
from squid_peer import Squid  # noqa: E402


class FaultGate:
    """The fault server on a port of its own, up while a flag file exists: a Windows test can
    then turn a refusing address into one that answers, at the moment it chooses."""

    def __init__(self, root):
        self.port = free_port()
        self.flag = os.path.join(root, "fault-server.up")
        self.root = root
        self.server = None
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)

    def watch(self):
        while not self.done.wait(0.05):
            up = os.path.exists(self.flag)
            if up and not self.server:
                self.server = FaultServer(self.port, root=self.root).start()
            elif not up and self.server:
                self.server.stop()
                self.server = None

    def stop(self):
        self.done.set()
        self.thread.join(5)
        if self.server:
            self.server.stop()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--slow-rate", default="2m")
    parser.add_argument("--root", help="serve this folder instead of a fresh empty one")
    parser.add_argument("--squid", action="store_true", help="run squid as a proxy that asks for credentials")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    root = os.path.abspath(args.root) if args.root else None
    nginx = Nginx(root=root, slow_rate=args.slow_rate)
    gate = None
    squid = Squid("wendrake", "proxy-pass-%d" % os.getpid()) if args.squid else None
    try:
        nginx.start()
        gate = FaultGate(nginx.root)
        gate.thread.start()
        env = dict(os.environ)
        env["WENDRAKE_FAULT_URL"] = "http://127.0.0.1:%d" % gate.port
        env["WENDRAKE_NGINX_URL"] = nginx.url("")
        env["WENDRAKE_NGINX_ROOT"] = windows_path(nginx.root)
        env["WENDRAKE_NGINX_LOG"] = windows_path(nginx.access_log)
        if squid:
            squid.start()
            env["WENDRAKE_SQUID_PROXY"] = "127.0.0.1:%d" % squid.port
            env["WENDRAKE_SQUID_LOG"] = windows_path(squid.access_log)
            env["WENDRAKE_SQUID_USER"], env["WENDRAKE_SQUID_PASSWORD"] = squid.user, squid.password
        return subprocess.call(command, env=env)
    finally:
        if gate:
            gate.stop()
        if squid:
            squid.remove()
        nginx.remove()


if __name__ == "__main__":
    sys.exit(main())
