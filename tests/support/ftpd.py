#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib over a folder on loopback.

Prints "PORT <n>" once it listens, then serves until its standard input
closes (the test process ended) or it is killed.
"""
import argparse
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--readonly", action="store_true")
    parser.add_argument("--max-logins", type=int, default=0, help="logins at once per address; 0 is no limit")
    parser.add_argument("--no-mlsd", action="store_true", help="answer MLSD and MLST as unknown commands")
    parser.add_argument("--home", default="", help="login folder below the root")
    parser.add_argument("--port-file", default="", help="write the PORT line here instead of standard output")
    parser.add_argument("--stop-file", default="",
                        help="serve while this file exists, instead of while standard input is open")
    parser.add_argument("--reply-delay", type=int, default=0,
                        help="milliseconds to wait before handling each command (a slow server)")
    parser.add_argument("--bare-list", action="store_true",
                        help="LIST answers with bare names, a format clients cannot read")
    parser.add_argument("--order", choices=["disk", "sorted", "reverse"], default="sorted",
                        help="order of names in listings")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    perm = "elr" if args.readonly else "elradfmwMT"
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm=perm)

    class Handler(FTPHandler):
        pass

    order = args.order
    bare_list = args.bare_list

    class Listing(list):
        """Names in the order chosen here: the handler's own sort leaves them be."""
        def sort(self, *args, **kwargs):
            pass

    class OrderedFS(AbstractedFS):
        def listdir(self, path):
            names = super().listdir(path)
            if order == "disk":
                return Listing(names)
            return Listing(sorted(names, reverse=(order == "reverse")))

        if bare_list:
            def format_list(self, basedir, listing, ignore_err=True):
                for name in listing:
                    yield (name + "\r\n").encode("utf8", self.cmd_channel.unicode_errors)

    if args.reply_delay:
        delay = args.reply_delay / 1000.0
        original = Handler.pre_process_command

        def slow_pre_process_command(self, line, cmd, arg):
            time.sleep(delay)
            return original(self, line, cmd, arg)
        Handler.pre_process_command = slow_pre_process_command

    Handler.authorizer = authorizer
    Handler.abstracted_fs = OrderedFS
    Handler.banner = "test server ready"
    Handler.permit_foreign_addresses = False
    if args.no_mlsd:
        proto = dict(FTPHandler.proto_cmds)
        for name in ("MLSD", "MLST"):
            proto.pop(name, None)
        Handler.proto_cmds = proto
    if args.home:
        home = args.home

        class HomeHandler(Handler):
            def on_login(self, username):
                self.fs.cwd = home
        Handler = HomeHandler

    server = FTPServer((args.host, args.port), Handler)
    if args.max_logins:
        server.max_cons_per_ip = args.max_logins
    port = server.socket.getsockname()[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("PORT %d\n" % port)
        os.rename(args.port_file + ".tmp", args.port_file)
    else:
        print("PORT %d" % port, flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    def watch_stop_file():
        deadline = time.monotonic() + 1800  # never outlive a test run
        while os.path.exists(args.stop_file) and time.monotonic() < deadline:
            time.sleep(0.02)
        os._exit(0)

    threading.Thread(target=watch_stop_file if args.stop_file else watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
