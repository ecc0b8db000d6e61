#!/usr/bin/env python3
"""Runs a command beside nginx on 127.0.0.1, for Windows tests that need a real web server.

    with_nginx.py [--slow-rate RATE] [--root DIR] -- command [args...]

The command sees, in its environment (Wine hands it on to Windows programs):
    WENDRAKE_NGINX_URL   http://127.0.0.1:<port>   (files of the root; /slow/... rate-limited)
    WENDRAKE_NGINX_ROOT  the served folder, as a Windows path (Z:\\...) the test writes into
    WENDRAKE_NGINX_LOG   the access log, as a Windows path (tab-separated; see nginx_peer.py)
nginx stops when the command ends; the exit code is the command's. Without --root, nginx serves
a fresh empty folder of its own.
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "download"))

from nginx_peer import Nginx  # noqa: E402


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--slow-rate", default="2m")
    parser.add_argument("--root", help="serve this folder instead of a fresh empty one")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    root = os.path.abspath(args.root) if args.root else None
    nginx = Nginx(root=root, slow_rate=args.slow_rate)
    try:
        nginx.start()
        env = dict(os.environ)
        env["WENDRAKE_NGINX_URL"] = nginx.url("")
        env["WENDRAKE_NGINX_ROOT"] = windows_path(nginx.root)
        env["WENDRAKE_NGINX_LOG"] = windows_path(nginx.access_log)
        return subprocess.call(command, env=env)
    finally:
        nginx.remove()


if __name__ == "__main__":
    sys.exit(main())
