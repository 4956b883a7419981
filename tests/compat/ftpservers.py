#!/usr/bin/python3
"""Real FTP servers of other makes for the compatibility tests.

Starts one server over a folder on a free loopback port with a test-only
account, prints "PORT <n>", and serves until standard input closes (the
test process ended); then the server is stopped. Nothing is installed as a
service: the servers run from Debian packages unpacked into a cache
(scripts/fetch-test-servers).

Kinds: proftpd, pureftpd, inetutils (GNU inetutils ftpd, started per
connection as inetd would, with its own passwd file in a private mount
namespace), twisted (Twisted's FTP server).
"""
import argparse
import warnings

warnings.filterwarnings("ignore", category=DeprecationWarning)
import crypt  # noqa: E402
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

CACHE = os.environ.get("QUILLOMAR_SERVER_CACHE", "/var/cache/quillomar/servers/root")
NOBODY = 65534


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, proc, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc is not None and proc.poll() is not None:
            raise SystemExit("server ended at start")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise SystemExit("server did not start")


def start_pureftpd(args, work, port):
    passwd, pdb = os.path.join(work, "passwd"), os.path.join(work, "pure.pdb")
    # Written here with a quick hash: pure-pw's own takes seconds per user.
    with open(passwd, "w") as f:
        f.write("%s:%s:%d:%d::%s/./::::::::::::\n" % (args.user, crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_SHA512)),
                                                      NOBODY, NOBODY, args.root))
    subprocess.run([os.path.join(CACHE, "usr/bin/pure-pw"), "mkdb", pdb, "-f", passwd], check=True)
    command = [os.path.join(CACHE, "usr/sbin/pure-ftpd"), "-S", "127.0.0.1,%d" % port, "-l", "puredb:" + pdb,
               "-E", "-H", "-4", "-A", "-c", "50"]
    if args.max_logins:
        command += ["-C", str(args.max_logins)]
    return subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def start_proftpd(args, work, port):
    with open(os.path.join(work, "passwd"), "w") as f:
        f.write("%s:%s:%d:%d::%s:/bin/sh\n" % (args.user, crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_SHA512)),
                                               NOBODY, NOBODY, args.root))
    with open(os.path.join(work, "group"), "w") as f:
        f.write("nogroup:x:%d:\n" % NOBODY)
    for name in ("passwd", "group"):  # it refuses files others may read
        os.chmod(os.path.join(work, name), 0o600)
    limit = "MaxClientsPerHost %d\n" % args.max_logins if args.max_logins else ""
    if "cp932" in args.quirk:
        limit += "UseEncoding UTF-8 CP932\n"
    config = os.path.join(work, "proftpd.conf")
    with open(config, "w") as f:
        f.write("""ServerType standalone
DefaultServer on
Port {port}
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User nobody
Group nogroup
PidFile {work}/proftpd.pid
ScoreboardFile {work}/scoreboard
DelayTable none
WtmpLog off
TransferLog none
SystemLog {work}/system.log
UseReverseDNS off
RequireValidShell off
AuthPAM off
AuthOrder mod_auth_file.c
AuthUserFile {work}/passwd
AuthGroupFile {work}/group
DefaultRoot ~
AllowOverwrite on
ShowSymlinks on
{limit}""".format(port=port, work=work, limit=limit))
    return subprocess.Popen([os.path.join(CACHE, "usr/sbin/proftpd"), "-n", "-q", "-c", config],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def serve_inetd(args, work, port):
    """GNU inetutils ftpd, one process per connection as inetd starts it,
    seeing a passwd file of its own (a private mount namespace)."""
    etc = os.path.join(work, "etc")
    os.mkdir(etc)
    hashed = crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_SHA512))
    with open("/etc/passwd") as f:
        passwd = f.read()
    with open(os.path.join(etc, "passwd"), "w") as f:
        f.write(passwd + "%s:x:%d:%d::%s:/bin/sh\n" % (args.user, 4242, 4242, args.root))
    with open(os.path.join(etc, "shadow"), "w") as f:
        f.write("%s:%s:19000:0:99999:7:::\n" % (args.user, hashed))
    with open(os.path.join(etc, "shells"), "w") as f:
        f.write("/bin/sh\n")
    ftpd = os.path.join(CACHE, "usr/sbin/ftpd")
    script = ("mount --bind {e}/passwd /etc/passwd && mount --bind {e}/shadow /etc/shadow && "
              "mount --bind {e}/shells /etc/shells && exec {ftpd} -a default").format(e=etc, ftpd=ftpd)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(64)
    children = []

    def accept():
        while True:
            conn, _ = listener.accept()
            children.append(subprocess.Popen(["unshare", "--mount", "--propagation", "private", "sh", "-c", script],
                                             stdin=conn, stdout=conn, stderr=subprocess.DEVNULL))
            conn.close()

    threading.Thread(target=accept, daemon=True).start()
    return children


def serve_twisted(args, port):
    from twisted.cred.checkers import InMemoryUsernamePasswordDatabaseDontUse
    from twisted.cred.portal import Portal
    from twisted.internet import reactor
    from twisted.protocols.ftp import FTPFactory, FTPRealm
    from twisted.python import filepath

    class Realm(FTPRealm):
        def getHomeDirectory(self, avatarId):
            return filepath.FilePath(args.root)

    checker = InMemoryUsernamePasswordDatabaseDontUse()
    checker.addUser(args.user, args.password)
    factory = FTPFactory(Portal(Realm(args.root), [checker]))
    factory.allowAnonymous = False
    reactor.listenTCP(port, factory, interface="127.0.0.1")
    print("PORT %d" % port, flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()
    reactor.run()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kind", required=True, choices=["proftpd", "pureftpd", "inetutils", "twisted"])
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--max-logins", type=int, default=0, help="logins at once per address; 0 is no limit")
    parser.add_argument("--quirk", action="append", default=[],
                        help="cp932 (proftpd: UTF-8 names on disk, CP932 to clients that do not ask for UTF-8)")
    args = parser.parse_args()
    args.root = os.path.abspath(args.root)
    port = free_port()
    if args.kind == "twisted":
        serve_twisted(args, port)
        return

    # The servers drop to an unprivileged user: the site must be theirs to read.
    os.chmod(args.root, os.stat(args.root).st_mode | 0o755)
    work = tempfile.mkdtemp(prefix="quillomar-%s-" % args.kind)
    os.chmod(work, 0o755)
    procs = []
    try:
        if args.kind == "pureftpd":
            procs.append(start_pureftpd(args, work, port))
        elif args.kind == "proftpd":
            procs.append(start_proftpd(args, work, port))
        else:
            procs = serve_inetd(args, work, port)
        wait_listening(port, procs[0] if args.kind != "inetutils" else None)
        print("PORT %d" % port, flush=True)
        sys.stdin.read()
    finally:
        for p in procs:
            p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
