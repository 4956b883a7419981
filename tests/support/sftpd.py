#!/usr/bin/python3
"""An SFTP server over a folder for the tests (paramiko): one account with a
password, the folder as "/", a host key kept in a file (made when missing).
Like OpenSSH's server, a plain rename never replaces a file; with
--posix-rename the server offers the extension that does. With --openssh,
paramiko does the SSH part only and OpenSSH's own sftp-server serves the
files, starting in the folder (paths are then the machine's own). Prints
"PORT <n> FINGERPRINT SHA256:<key's>" once it listens on 127.0.0.1; runs until stdin closes."""
import argparse
import base64
import hashlib
import itertools
import os
import socket
import subprocess
import sys
import threading
import time

import paramiko
from paramiko import SFTPAttributes, SFTPHandle, SFTPServer, SFTPServerInterface
from paramiko.sftp import SFTP_FAILURE, SFTP_OK

args = None
ENDLESS = SFTPAttributes.from_stat(os.stat_result((0o100644,) + (0,) * 9))  # the entries of --endless folders
OPENSSH_SFTP_SERVER = "/usr/lib/openssh/sftp-server"


def log(line):
    if args.log:
        with open(args.log, "a", encoding="utf-8") as out:
            out.write(line + "\n")


class Server(paramiko.ServerInterface):
    def check_auth_password(self, username, password):
        ok = username == args.user and password == args.password
        if not ok:
            log("login-failed " + username)
        return paramiko.AUTH_SUCCESSFUL if ok else paramiko.AUTH_FAILED

    def get_allowed_auths(self, username):
        return "password"

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class Handle(SFTPHandle):
    def stat(self):
        return SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))


def errno_result(e):
    return SFTPServer.convert_errno(e.errno)


class Folder(SFTPServerInterface):
    """Paths as the client sees them ("/a/b") map below the root."""

    def local(self, path):
        return os.path.join(args.root, self.canonicalize(path).lstrip("/"))

    def canonicalize(self, path):
        if not path.startswith("/"):
            path = args.home.rstrip("/") + "/" + path
        real = os.path.realpath(os.path.join(args.root, os.path.normpath(path).lstrip("/")))
        root = os.path.realpath(args.root)
        if real != root and not real.startswith(root + "/"):
            return "/"
        return "/" + os.path.relpath(real, root) if real != root else "/"

    def list_folder(self, path):
        if args.endless and os.path.basename(path.rstrip("/")) == "endless":
            return [ENDLESS]
        try:
            folder = self.local(path)
            out = []
            for name in os.listdir(folder):
                attributes = SFTPAttributes.from_stat(os.lstat(os.path.join(folder, name)))
                attributes.filename = name
                out.append(attributes)
            return out
        except OSError as e:
            return errno_result(e)

    def stat(self, path):
        try:
            return SFTPAttributes.from_stat(os.stat(self.local(path)))
        except OSError as e:
            return errno_result(e)

    def lstat(self, path):
        return self.stat(path)

    def open(self, path, flags, attr):
        try:
            fd = os.open(self.local(path), flags | getattr(os, "O_BINARY", 0), 0o644)
            mode = "wb" if flags & os.O_WRONLY else ("r+b" if flags & os.O_RDWR else "rb")
            handle = Handle(flags)
            handle.filename = path
            handle.readfile = handle.writefile = os.fdopen(fd, mode)
            log("open " + path)
            return handle
        except OSError as e:
            return errno_result(e)

    def remove(self, path):
        try:
            os.remove(self.local(path))
            log("remove " + path)
            return SFTP_OK
        except OSError as e:
            return errno_result(e)

    def rename(self, old, new):
        if os.path.exists(self.local(new)):
            return SFTP_FAILURE
        return self.posix_rename(old, new, "rename")

    def posix_rename(self, old, new, kind="posix-rename"):
        try:
            os.rename(self.local(old), self.local(new))
            log(kind + " " + old + " " + new)
            return SFTP_OK
        except OSError as e:
            return errno_result(e)


class OpenSshSftp(paramiko.SubsystemHandler):
    """OpenSSH's sftp-server on the channel, byte for byte."""

    def start_subsystem(self, name, transport, channel):
        server = subprocess.Popen([OPENSSH_SFTP_SERVER, "-d", args.root], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

        def to_server():
            while True:
                data = channel.recv(65536)
                if not data:
                    break
                server.stdin.write(data)
                server.stdin.flush()
            server.stdin.close()

        threading.Thread(target=to_server, daemon=True).start()
        while True:
            data = server.stdout.read1(65536)
            if not data:
                break
            channel.sendall(data)
        server.wait()
        channel.close()


def serve(client, host_key):
    transport = paramiko.Transport(client)
    transport.add_server_key(host_key)
    if args.openssh:
        transport.set_subsystem_handler("sftp", OpenSshSftp)
    else:
        transport.set_subsystem_handler("sftp", SFTPServer, Folder)
    try:
        transport.start_server(server=Server())
        while transport.is_active():
            transport.join(1)
    except Exception:
        pass


def main():
    global args
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--home", default="/")
    parser.add_argument("--host-key", required=True)
    parser.add_argument("--posix-rename", action="store_true")
    parser.add_argument("--openssh", action="store_true", help="files served by OpenSSH's sftp-server")
    parser.add_argument("--log")
    parser.add_argument("--sftp-version", type=int, default=3, help="the version the server says it speaks")
    parser.add_argument("--duplicate-names", action="store_true",
                        help="send every NAME reply twice: the second answers an id answered already")
    parser.add_argument("--endless", choices=["trickle", "empty", "flood"],
                        help="folders named 'endless' never end: one entry every 0.3 s, empty NAME replies, "
                             "or 200 entries a reply as fast as they go")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    if os.path.exists(args.host_key):
        host_key = paramiko.ECDSAKey.from_private_key_file(args.host_key)
    else:
        host_key = paramiko.ECDSAKey.generate()
        host_key.write_private_key_file(args.host_key)
    if args.duplicate_names:
        from paramiko.sftp import BaseSFTP, CMD_NAME
        send_once = BaseSFTP._send_packet

        def send_names_twice(self, t, packet):
            send_once(self, t, packet)
            if t == CMD_NAME:
                send_once(self, t, packet)
        BaseSFTP._send_packet = send_names_twice
    if args.endless:
        from paramiko.message import Message
        from paramiko.sftp import CMD_NAME
        read_folder, counter = SFTPServer._read_folder, itertools.count()
        count = {"empty": 0, "trickle": 1, "flood": 200}[args.endless]

        def endless_folder(self, request_number, folder):
            if ENDLESS not in getattr(folder, "_SFTPHandle__files", []):
                return read_folder(self, request_number, folder)
            time.sleep(0.3 if args.endless == "trickle" else 0)
            msg = Message()
            msg.add_int(request_number)
            msg.add_int(count)
            for _ in range(count):
                name = "p%d.html" % next(counter)
                msg.add_string(name)
                msg.add_string(name.ljust(100))
                ENDLESS._pack(msg)
            self._send_packet(CMD_NAME, msg)
        SFTPServer._read_folder = endless_folder
    if args.sftp_version != 3:
        from paramiko import sftp as sftp_protocol
        sftp_protocol._VERSION = args.sftp_version
    if args.posix_rename:
        from paramiko.message import Message
        from paramiko.sftp import CMD_VERSION, _VERSION

        def version_with_posix_rename(self):
            self._read_packet()  # the client's INIT
            msg = Message()
            msg.add_int(_VERSION)
            msg.add("posix-rename@openssh.com", "1")
            self._send_packet(CMD_VERSION, msg)
            return 3

        SFTPServer._send_server_version = version_with_posix_rename

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(64)
    digest = base64.b64encode(hashlib.sha256(host_key.asbytes()).digest()).decode().rstrip("=")
    print("PORT %d FINGERPRINT SHA256:%s" % (listener.getsockname()[1], digest), flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=serve, args=(client, host_key), daemon=True).start()


if __name__ == "__main__":
    main()
