#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib over a folder on loopback.

Prints "PORT <n>" once it listens, then serves until its standard input
closes (the test process ended) or it is killed.
"""
import argparse
import re
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
    parser.add_argument("--quirk", action="append", default=[],
                        help="behave like some real servers: ls-args (a listing argument with a space or "
                             "brackets lists nothing), refuse-list:NAME (listings of folders named NAME are "
                             "refused), garbage-list:NAME (their listing lines cannot be read), "
                             "constant-unique (one MLST identity for everything), no-rename, "
                             "mlsd-only (LIST refused, MLSD and STAT answered)")
    parser.add_argument("--log", default="", help="append a line for each refused login here")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    perm = "elr" if args.readonly else "elradfmwMT"
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm=perm)

    class Handler(FTPHandler):
        def on_login_failed(self, username, password):
            if args.log:
                with open(args.log, "a", encoding="utf-8") as out:
                    out.write("login-failed %s\n" % username)

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

    quirks = {}
    for q in args.quirk:
        key, _, value = q.partition(":")
        quirks[key] = value

    def folder_name(handler, path):
        return os.path.basename(os.path.normpath(path))

    def listing_quirk(original, cmd):
        def handle(self, path):
            raw = getattr(self, "_raw_arg", "") or ""
            if "ls-args" in quirks and raw not in ("", ".") and (" " in raw or "[" in raw):
                if cmd == "STAT":
                    self.respond("213-Status follows:\r\n213 End of status")
                else:
                    self.push_dtp_data(b"", cmd=cmd)
                return path
            name = folder_name(self, path)
            if quirks.get("refuse-list") == name:
                self.respond("550 Permission denied.")
                return None
            if quirks.get("garbage-list") == name:
                if cmd == "STAT":
                    self.respond("213-Status follows:\r\n weird line one\r\n weird line two\r\n213 End")
                else:
                    self.push_dtp_data(b"weird line one\r\nweird line two\r\n", cmd=cmd)
                return path
            return original(self, path)
        return handle

    Handler.ftp_LIST = listing_quirk(FTPHandler.ftp_LIST, "LIST")
    Handler.ftp_MLSD = listing_quirk(FTPHandler.ftp_MLSD, "MLSD")
    original_stat = FTPHandler.ftp_STAT

    def stat(self, path):
        if not path:
            return original_stat(self, path)
        return listing_quirk(original_stat, "STAT")(self, path)
    Handler.ftp_STAT = stat
    original_pre = Handler.pre_process_command

    def keep_raw_arg(self, line, cmd, arg):
        self._raw_arg = arg
        return original_pre(self, line, cmd, arg)
    Handler.pre_process_command = keep_raw_arg
    if "mlsd-only" in quirks:
        Handler.ftp_LIST = lambda self, path: self.respond("502 LIST is disabled.")
    if "no-rename" in quirks:
        Handler.ftp_RNFR = lambda self, path: self.respond("550 Renaming is not allowed here.")
    if "constant-unique" in quirks:
        original_mlsx = AbstractedFS.format_mlsx

        def constant_mlsx(self, *a, **kw):
            for line in original_mlsx(self, *a, **kw):
                yield re.sub(rb"unique=[^;]*;", b"unique=1g1;", line)
        OrderedFS.format_mlsx = constant_mlsx

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
