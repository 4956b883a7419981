#!/usr/bin/python3
"""A scripted FTP server that misbehaves in one chosen way (--case).

Serves a small fixed tree on a free loopback port, prints "PORT <n>", and
serves until standard input closes. Every command line it receives is
written to --log (raw bytes, one line each, as split at CR LF) so that a
test can check what the client sent. Python standard library only.
"""
import argparse
import os
import socket
import socketserver
import sys
import threading
import time

# path -> list of (name, kind) with kind "d" or "f"
TREE = {
    "/": [("site", "d")],
    "/site": [("index.html", "f"), ("a", "d"), ("b", "d"), ("style.css", "f")],
    "/site/a": [("p.html", "f")],
    "/site/b": [("q.php", "f"), ("c", "d")],
    "/site/b/c": [("r.cgi", "f")],
}
FOREVER = 10 ** 9


def unix_line(name, kind, size=10):
    mode = "drwxr-xr-x" if kind == "d" else "-rw-r--r--"
    return "%s 1 owner group %8d Jan 01 12:00 %s" % (mode, size, name)


class Case:
    """The well-behaved server; each case overrides one thing."""
    greeting = "220 hostile test server"
    mlst = True
    byte_by_byte = False

    def __init__(self, server):
        self.server = server
        self.tree = dict(TREE)

    # What a folder holds, as (name, kind) pairs; None when it does not exist.
    def entries(self, path):
        return self.tree.get(path)

    def list_lines(self, path):
        return [unix_line(n, k) for n, k in self.entries(path)]

    def stat_lines(self, path):
        return self.list_lines(path)

    def mlsx(self, path, name, kind):
        return "type=%s;unique=%x;size=10; %s" % ("dir" if kind == "d" else "file",
                                                  abs(hash(path.rstrip("/") + "/" + name)) % 100000, name)

    def pwd_reply(self, cwd):
        return '257 "%s" is the current directory' % cwd.replace('"', '""')

    def closed(self, conn):
        pass

    def handle(self, conn, cmd, arg):
        """Return True when the case handled the command itself."""
        return False

    def data_bytes(self, lines):
        return "".join(l + "\r\n" for l in lines).encode("utf-8", "surrogateescape")


def save_files(server):
    """Names and sizes of what was uploaded, for the test to read."""
    with server.lock:
        with open(server.log + ".files", "w") as f:
            for path, data in sorted(server.files.items()):
                f.write("%s %d\n" % (path, len(data)))


class Connection(socketserver.BaseRequestHandler):
    def setup(self):
        self.case = self.server.case
        self.cwd = "/"
        self.pasv = None
        self.rnfr = None
        self.buffer = b""

    def finish(self):
        self.case.closed(self)

    def send(self, text):
        if isinstance(text, str):
            text = text.encode("utf-8", "surrogateescape")
        data = text + b"\r\n"
        if self.case.byte_by_byte:
            for i in range(len(data)):
                self.request.sendall(data[i:i + 1])
        else:
            self.request.sendall(data)

    def readline(self):
        while b"\r\n" not in self.buffer:
            chunk = self.request.recv(65536)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        with self.server.log_lock:
            with open(self.server.log, "ab") as f:
                f.write(line.replace(b"\n", b"<LF>").replace(b"\r", b"<CR>").replace(b"\0", b"<NUL>") + b"\n")
        return line

    def resolve(self, arg):
        path = arg if arg.startswith("/") else (self.cwd.rstrip("/") + "/" + arg)
        parts = []
        for p in path.split("/"):
            if p in ("", "."):
                continue
            if p == "..":
                if parts:
                    parts.pop()
            else:
                parts.append(p)
        return "/" + "/".join(parts)

    def open_pasv(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        listener.settimeout(10)
        self.pasv = listener
        return listener.getsockname()[1]

    def data_connection(self):
        if not self.pasv:
            self.send("425 Use PASV first")
            return None
        try:
            conn, _ = self.pasv.accept()
        except OSError:
            self.send("425 No data connection")
            return None
        finally:
            self.pasv.close()
            self.pasv = None
        return conn

    def send_data(self, data, preliminary="150 Here it comes", final="226 Done"):
        conn = self.data_connection()
        if conn is None:
            return
        self.send(preliminary)
        try:
            conn.sendall(data)
        except OSError:
            pass
        conn.close()
        if final:
            self.send(final)

    def handle(self):
        case = self.case
        if case.greeting:
            self.send(case.greeting)
        while True:
            line = self.readline()
            if line is None:
                return
            text = line.decode("utf-8", "surrogateescape")
            cmd, _, arg = text.partition(" ")
            cmd = cmd.upper()
            if case.handle(self, cmd, arg):
                continue
            if cmd == "QUIT":
                self.send("221 Bye")
                return
            self.default(cmd, arg)

    def default(self, cmd, arg):
        case = self.case
        if cmd == "USER":
            self.send("331 Password please")
        elif cmd == "PASS":
            self.send("230 Logged in")
        elif cmd == "PWD":
            self.send(case.pwd_reply(self.cwd))
        elif cmd == "CWD":
            path = self.resolve(arg)
            if case.entries(path) is None:
                self.send("550 No such folder")
            else:
                self.cwd = path
                self.send("250 OK")
        elif cmd == "FEAT":
            self.send("211-Features:\r\n EPSV\r\n PASV\r\n" + (" MLST type*;unique*;\r\n" if case.mlst else "") +
                      "211 End")
        elif cmd == "OPTS":
            self.send("200 OK")
        elif cmd == "TYPE":
            self.send("200 Type set")
        elif cmd == "EPSV":
            self.send("229 Entering Extended Passive Mode (|||%d|)" % self.open_pasv())
        elif cmd == "PASV":
            port = self.open_pasv()
            self.send("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port >> 8, port & 255))
        elif cmd == "LIST":
            path = self.resolve(arg) if arg and not arg.startswith("-") else self.cwd
            if case.entries(path) is None:
                self.send("550 No such folder")
            else:
                self.send_data(case.data_bytes(case.list_lines(path)))
        elif cmd == "MLSD" and case.mlst:
            path = self.resolve(arg) if arg else self.cwd
            self.send_data(case.data_bytes([case.mlsx(path, n, k) for n, k in case.entries(path) or []]))
        elif cmd == "MLST" and case.mlst:
            path = self.resolve(arg) if arg else self.cwd
            parent, _, name = path.rpartition("/")
            self.send("250-Listing\r\n " + case.mlsx(parent or "/", name or "/", "d") + "\r\n250 End")
        elif cmd == "STAT" and arg:
            path = self.resolve(arg)
            if case.entries(path) is None:
                self.send("550 No such folder")
            else:
                self.send("213-Status follows:\r\n" + "".join(l + "\r\n" for l in case.stat_lines(path)) +
                          "213 End of status")
        elif cmd == "NOOP":
            self.send("200 NOOP ok")
        elif cmd == "STOR":
            conn = self.data_connection()
            if conn is None:
                return
            self.send("150 Send it")
            data = b""
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
            conn.close()
            self.server.files[self.resolve(arg)] = data
            save_files(self.server)
            self.send("226 Stored")
        elif cmd == "RNFR":
            self.rnfr = self.resolve(arg)
            self.send("350 Ready")
        elif cmd == "RNTO":
            if self.rnfr in self.server.files:
                self.server.files[self.resolve(arg)] = self.server.files.pop(self.rnfr)
                save_files(self.server)
                self.send("250 Renamed")
            else:
                self.send("550 No such file")
        elif cmd == "DELE":
            self.server.files.pop(self.resolve(arg), None)
            save_files(self.server)
            self.send("250 Deleted")
        else:
            self.send("502 Not implemented")


CASES = {}


def case(name):
    def register(cls):
        CASES[name] = cls
        return cls
    return register


@case("plain")
class Plain(Case):
    pass


@case("no-greeting")
class NoGreeting(Case):
    greeting = None


@case("silent-after-greeting")
class SilentAfterGreeting(Case):
    def handle(self, conn, cmd, arg):
        time.sleep(FOREVER)


@case("busy-421")
class Busy(Case):
    greeting = "421 Too many connections"


@case("login-530")
class LoginRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "PASS":
            conn.send("530 Login incorrect")
            return True
        return False


@case("close-after-greeting")
class CloseAfterGreeting(Case):
    def handle(self, conn, cmd, arg):
        conn.request.close()
        raise SystemExit


@case("byte-by-byte")
class ByteByByte(Case):
    byte_by_byte = True


def in_subfolder(conn):
    return conn.cwd not in ("/", "/site")


@case("cut-mid-listing")
class CutMidListing(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "LIST" and in_subfolder(conn):
            data = conn.data_connection()
            if data:
                conn.send("150 Here")
                data.sendall(b"-rw-r--r-- 1 o g 1 Jan 01 12:00 half")
                data.close()
                conn.request.close()
                raise SystemExit
            return True
        if cmd == "STAT" and arg and in_subfolder(conn):
            conn.request.sendall(b"213-Status follows:\r\n-rw-r--r-- 1 o g 1 Jan 01 12")
            conn.request.close()
            raise SystemExit
        return False


@case("cut-mid-stat")
class CutMidStat(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg and in_subfolder(conn):
            conn.request.sendall(b"213-Status follows:\r\n-rw-r--r-- 1 o g 1 Jan 01 12")
            conn.request.close()
            raise SystemExit
        return False


@case("huge-reply-line")
class HugeReplyLine(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "PWD":
            conn.send('257 "/" ' + "x" * (1 << 20))
            return True
        if cmd == "STAT" and arg:
            conn.send("213-Status follows:\r\n " + "y" * (1 << 20) + "\r\n213 End")
            return True
        return False


@case("endless-reply-line")
class EndlessReplyLine(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("PWD", "STAT") and (cmd == "PWD" or arg):
            conn.request.sendall(b"257 \"/")
            try:
                while True:
                    conn.request.sendall(b"z" * 65536)
            except OSError:
                raise SystemExit
        return False


@case("endless-listing")
class EndlessListing(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "LIST":
            data = conn.data_connection()
            if data:
                conn.send("150 Here")
                line = (unix_line("x.html", "f") + "\r\n").encode() * 1000
                try:
                    while True:
                        data.sendall(line)
                except OSError:
                    pass
            return True
        if cmd == "STAT" and arg:
            conn.request.sendall(b"213-Status follows:\r\n")
            line = (unix_line("x.html", "f") + "\r\n").encode() * 1000
            try:
                while True:
                    conn.request.sendall(line)
            except OSError:
                raise SystemExit
        return False


@case("many-entries")
class ManyEntries(Case):
    def __init__(self, server):
        super().__init__(server)
        self.tree["/site/a"] = [("p%06d.html" % i, "f") for i in range(200000)]


@case("hostile-names")
class HostileNames(Case):
    def __init__(self, server):
        super().__init__(server)
        self.tree["/site/a"] = [("p.html", "f"), ("cr\rx.html", "f"), ("nul\0x.html", "f"), ("tab\tx.html", "f"),
                                ("esc\x1b]0;t\x07.html", "f"), ("bad\udcff\udcfeutf8.html", "f"),
                                ("l" * 4000 + ".html", "f"), ("amp&<>\"'.html", "f")]
        self.tree["/site/b"] = [("q.php", "f"), ("c", "d"), ("ctl\x01dir", "d")]
        self.tree["/site/b/ctl\x01dir"] = [("z.html", "f")]


@case("infinite-tree")
class InfiniteTree(Case):
    """Every folder holds one more, each listing different: no end but depth."""
    def entries(self, path):
        if path in ("/", "/site"):
            return self.tree[path] if path == "/" else [("index.html", "f"), ("x", "d")]
        if path.startswith("/site/x"):
            return [("p%d.html" % path.count("/"), "f"), ("x", "d")]
        return None


@case("branching-tree")
class BranchingTree(Case):
    def entries(self, path):
        if path == "/":
            return self.tree[path]
        if path.startswith("/site"):
            return [("p%d.html" % len(path), "f"), ("l", "d"), ("r", "d")]
        return None


@case("pasv-other-host")
class PasvOtherHost(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "EPSV":
            conn.send("502 No EPSV")
            return True
        if cmd == "PASV":
            port = conn.open_pasv()
            conn.send("227 Entering Passive Mode (10,99,99,99,%d,%d)" % (port >> 8, port & 255))
            return True
        return False


@case("pasv-closed-port")
class PasvClosedPort(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("EPSV", "PASV"):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
            s.close()
            conn.send("229 Entering Extended Passive Mode (|||%d|)" % port if cmd == "EPSV" else
                      "227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port >> 8, port & 255))
            return True
        return False


@case("pasv-garbage")
class PasvGarbage(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "EPSV":
            conn.send("229 Entering Extended Passive Mode (|||99999999|)")
            return True
        if cmd == "PASV":
            conn.send("227 Entering Passive Mode (garbage)")
            return True
        return False


@case("stat-lies-root")
class StatLiesRoot(Case):
    def stat_lines(self, path):
        return [unix_line("fake.html", "f")] + self.list_lines(path)


@case("stat-lies-below")
class StatLiesBelow(Case):
    def stat_lines(self, path):
        lines = self.list_lines(path)
        return lines + [unix_line("fake.html", "f")] if path == "/site/a" else lines


@case("unsolicited-replies")
class Unsolicited(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg and in_subfolder(conn):
            conn.send("200 Unasked for")
        return False


@case("out-of-order")
class OutOfOrder(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "PWD" and in_subfolder(conn) and conn.buffer:  # only when more commands wait
            conn.held = conn.case.pwd_reply(conn.cwd)
            return True
        if cmd in ("MLST", "STAT") and getattr(conn, "held", None):
            conn.default(cmd, arg)
            conn.send(conn.held)
            conn.held = None
            return True
        return False


@case("list-preliminary-only")
class ListPreliminaryOnly(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "LIST" and in_subfolder(conn):
            conn.send_data(conn.case.data_bytes(conn.case.list_lines(conn.cwd)), final=None)
            return True
        return False


@case("cwd-preliminary")
class CwdPreliminary(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "CWD" and conn.resolve(arg).startswith("/site/"):
            conn.send("120 Wait a moment")
            conn.default(cmd, arg)
            return True
        return False


@case("stor-553")
class Stor553(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STOR":
            conn.send("553 Not allowed")
            return True
        return False


@case("stor-reset")
class StorReset(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STOR":
            data = conn.data_connection()
            if data:
                conn.send("150 Send it")
                data.recv(10)
                data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
                data.close()
                conn.send("426 Connection reset")
            return True
        return False


@case("stor-never-finished")
class StorNeverFinished(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STOR":
            data = conn.data_connection()
            if data:
                conn.send("150 Send it")
                while data.recv(65536):
                    pass
                time.sleep(FOREVER)
            return True
        return False


def trickle(conn, data, bytes_per_second):
    for i in range(len(data)):
        conn.request.sendall(data[i:i + 1])
        time.sleep(1.0 / bytes_per_second)


@case("trickle-replies")
class TrickleReplies(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "PWD" and in_subfolder(conn):
            trickle(conn, (conn.case.pwd_reply(conn.cwd) + " " * 200 + "\r\n").encode(), 1)
            return True
        return False


def trickle_list(conn):
    data = conn.data_connection()
    if data:
        conn.send("150 Here")
        for b in conn.case.data_bytes(conn.case.list_lines(conn.cwd)) * 100:
            data.sendall(bytes([b]))
            time.sleep(0.5)
    return True


@case("trickle-listing")
class TrickleListing(Case):
    def handle(self, conn, cmd, arg):
        return cmd == "LIST" and in_subfolder(conn) and trickle_list(conn)


@case("trickle-root-listing")
class TrickleRootListing(Case):
    """The target folder's own LIST trickles (its STAT does not)."""
    def handle(self, conn, cmd, arg):
        return cmd == "LIST" and conn.cwd == "/site" and trickle_list(conn)


@case("trickle-stat")
class TrickleStat(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg and in_subfolder(conn):
            text = "213-Status follows:\r\n" + "".join(l + "\r\n" for l in conn.case.stat_lines(conn.cwd)) * 100
            trickle(conn, text.encode(), 2)
            return True
        return False


@case("pwd-injection-lf")
class PwdInjectionLf(Case):
    def pwd_reply(self, cwd):
        # Below the target only: the fast walk then runs and sends paths back.
        return '257 "%s\nDELE /site/index.html" is current' % cwd if cwd.count("/") > 1 else super().pwd_reply(cwd)


@case("pwd-injection-cr")
class PwdInjectionCr(Case):
    def pwd_reply(self, cwd):
        return '257 "%s\rDELE /site/index.html" is current' % cwd if cwd.count("/") > 1 else super().pwd_reply(cwd)


@case("pwd-no-quotes")
class PwdNoQuotes(Case):
    def pwd_reply(self, cwd):
        return "257 %s is current" % cwd


@case("pwd-windows-path")
class PwdWindowsPath(Case):
    def pwd_reply(self, cwd):
        return '257 "C:%s" is current' % cwd.replace("/", "\\")


@case("mlst-malformed")
class MlstMalformed(Case):
    def mlsx(self, path, name, kind):
        return "type=;;unique;=;==%s" % name


@case("mlst-constant-identity")
class MlstConstant(Case):
    def mlsx(self, path, name, kind):
        return "type=%s;unique=same; %s" % ("dir" if kind == "d" else "file", name)


@case("no-stat")
class NoStat(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT":
            conn.send("502 No STAT here")
            return True
        return False


@case("stat-silent-below")
class StatSilentBelow(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg and conn.cwd == "/site/a":
            time.sleep(FOREVER)
        return False


@case("list-refused-target")
class ListRefusedTarget(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("LIST", "MLSD", "STAT") and conn.cwd == "/site":
            conn.send("550 Permission denied")
            return True
        return False


@case("greeted-never-answered")
class GreetedNeverAnswered(Case):
    """Two logins at a time work; a login beyond them is greeted and then
    ignored for good (a server busy with its limit)."""
    def handle(self, conn, cmd, arg):
        if cmd == "USER":
            with self.server.lock:
                answered = self.server.logins < 2
                if answered:
                    self.server.logins += 1
                    conn.counted = True
            if not answered:
                time.sleep(FOREVER)
        return False

    def closed(self, conn):
        if getattr(conn, "counted", False):
            with self.server.lock:
                self.server.logins -= 1


@case("rename-refused")
class RenameRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "RNFR":
            conn.send("502 No renames")
            return True
        return False


@case("multiline-greeting")
class MultilineGreeting(Case):
    greeting = "220-Welcome\r\n220-to a server\r\n   that talks\r\n220 a lot"


@case("dos-listing")
class DosListing(Case):
    def list_lines(self, path):
        return ["01-01-24  12:00PM       %s %s" % ("<DIR>         " if k == "d" else "%14d" % 10, n)
                for n, k in self.entries(path)] + ["               1 File(s)             10 bytes"]


@case("dot-entries-and-totals")
class DotEntries(Case):
    def list_lines(self, path):
        return ["total 8", unix_line(".", "d"), unix_line("..", "d"), ""] + super().list_lines(path)


@case("list-refused-folder")
class ListRefusedFolder(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("LIST", "MLSD", "STAT") and conn.cwd == "/site/b/c":
            conn.send("550 Permission denied")
            return True
        return False


@case("cwd-refused-listed-folder")
class CwdRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "CWD" and conn.resolve(arg) == "/site/b/c":
            conn.send("550 Permission denied")
            return True
        return False


@case("stat-212-spaces")
class Stat212(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg:
            conn.send("212-Status of .:\r\n" + "".join(" " + l + "\r\n" for l in self.stat_lines(conn.cwd)) +
                      "212 End of status")
            return True
        return False


@case("stat-code-prefixed")
class StatCodePrefixed(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "STAT" and arg:
            conn.send("211-Status:\r\n" + "".join("211-" + l + "\r\n" for l in self.stat_lines(conn.cwd)) +
                      "211 End")
            return True
        return False


@case("feat-garbage")
class FeatGarbage(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "FEAT":
            conn.send("211-\x01\x02 garbage\r\n MLST\r\n\xff\xfe\r\n211 End")
            return True
        return False


@case("opts-refused")
class OptsRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "OPTS":
            conn.send("501 No options")
            return True
        return False


@case("mlst-refused")
class MlstRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("MLST", "MLSD"):
            conn.send("500 Unknown command")
            return True
        return False


@case("no-feat")
class NoFeat(Case):
    mlst = False

    def handle(self, conn, cmd, arg):
        if cmd == "FEAT":
            conn.send("500 Unknown command")
            return True
        return False


@case("login-without-password")
class LoginWithoutPassword(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "USER":
            conn.send("230 Come in")
            return True
        return False


@case("quit-never-answered")
class QuitNeverAnswered(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "QUIT":
            time.sleep(FOREVER)
        return False


@case("data-never-sent")
class DataNeverSent(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "LIST" and in_subfolder(conn):
            data = conn.data_connection()
            conn.send("150 Here")
            time.sleep(FOREVER)
        return False


@case("421-midway")
class Midway421(Case):
    def handle(self, conn, cmd, arg):
        if cmd in ("LIST", "STAT") and conn.cwd == "/site/b" and (cmd == "LIST" or arg):
            conn.send("421 Service not available, closing control connection")
            conn.request.close()
            raise SystemExit
        return False


@case("garbage-reply-codes")
class GarbageReplyCodes(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "CWD" and conn.resolve(arg) == "/site/b":
            conn.send("abc what")
            return True
        return False


@case("shift-jis-names")
class ShiftJisNames(Case):
    def __init__(self, server):
        super().__init__(server)
        name = b"\x93\xfa\x96\x7b.html".decode("utf-8", "surrogateescape")
        self.tree["/site/a"] = [("p.html", "f"), (name, "f")]


@case("names-with-spaces")
class NamesWithSpaces(Case):
    def __init__(self, server):
        super().__init__(server)
        self.tree["/site/a"] = [("p.html", "f"), ("  lead.html", "f"), ("d  s", "d")]
        self.tree["/site/a/d  s"] = [("in.html", "f")]


@case("stor-rename-target-refused")
class RenameTargetRefused(Case):
    def handle(self, conn, cmd, arg):
        if cmd == "RNTO":
            conn.send("553 Not allowed")
            return True
        return False


@case("reply-bare-lf")
class ReplyBareLf(Case):
    def pwd_reply(self, cwd):
        return '257 "%s" is\nthe current directory' % cwd


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Connection)
    server.log = args.log
    server.log_lock = threading.Lock()
    server.lock = threading.Lock()
    server.logins = 0
    server.files = {}
    server.case = CASES[args.case](server)
    open(args.log, "wb").close()
    save_files(server)
    print("PORT %d" % server.server_address[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
