#!/usr/bin/python3
"""Times quillomar-cli against other FTP tree walkers on the same tree,
through the same delay proxy, and prints a table.

    walk_bench.py --cli build/quillomar-cli [--rtts 0,20] [--servers pyftpdlib,vsftpd]

Servers: pyftpdlib, vsftpd, vsftpd-tls (FTP over TLS), pureftpd and
pureftpd-tls (from scripts/fetch-test-servers' cache), and sftp (paramiko,
offering posix-rename as OpenSSH's server does).
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FTPD = os.path.join(HERE, "..", "tests", "support", "ftpd.py")
SFTPD = os.path.join(HERE, "..", "tests", "support", "sftpd.py")
PYTHON = "/usr/bin/python3"
TLS_DATA_PORTS = (47100, 47160)  # vsftpd over TLS: its passive ports, relayed by the proxy


def make_tree(root, levels, files_per_folder, pages_per_folder):
    """A tree of folders: levels is the fan-out per level, e.g. [8, 8, 4]."""
    folders = [root]
    frontier = [root]
    for fan in levels:
        nxt = []
        for parent in frontier:
            for i in range(fan):
                path = os.path.join(parent, "d%d" % i)
                os.mkdir(path)
                nxt.append(path)
        folders += nxt
        frontier = nxt
    for folder in folders:
        for i in range(files_per_folder):
            name = "page%d.html" % i if i < pages_per_folder else "style%d.css" % i
            with open(os.path.join(folder, name), "w") as f:
                f.write("x")
    # What the options row reads: rules for every crawler at the site's top.
    with open(os.path.join(root, "robots.txt"), "w") as f:
        f.write("User-agent: *\nDisallow: /d1/d2/\nAllow: /d1/d2/page0.html$\n")
    return len(folders), len(folders) * files_per_folder


class Process:
    def __init__(self, args, **kw):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, **kw)

    def port(self):
        line = self.proc.stdout.readline().decode()
        return int(line.split()[1])

    def stop(self):
        try:
            self.proc.stdin.close()
        except Exception:
            pass
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def start_pyftpdlib(root):
    p = Process([PYTHON, FTPD, "--root", root, "--user", "user", "--password", "secret", "--order", "disk"])
    return p, p.port(), "user", "secret", None


def start_proftpd(root):
    """ProFTPD (from the test servers' cache), as the compatibility tests
    start it: the tree is the login folder."""
    p = Process([PYTHON, os.path.join(HERE, "..", "tests", "compat", "ftpservers.py"), "--kind", "proftpd",
                 "--root", root])
    return p, p.port(), "user", "secret", None


def start_sftp(root, workdir):
    """The SFTP server over the tree; returns its host key's fingerprint last."""
    p = Process([PYTHON, SFTPD, "--root", root, "--host-key", os.path.join(workdir, "host_key"), "--posix-rename"])
    words = p.proc.stdout.readline().decode().split()
    return p, int(words[1]), "user", "secret", words[3]


def started(command, host, port):
    """Starts a server that listens at host:port; returns what stops it."""
    import socket
    p = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection((host, port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)

    class Stopper:
        def stop(self):
            p.kill()
            p.wait()
    return Stopper()


def start_pureftpd(root, workdir, tls=False):
    """Pure-FTPd (from the test servers' cache, scripts/fetch-test-servers)
    with an account; with tls, TLS required, listening on 127.0.0.2 like
    vsftpd over TLS. Returns the test authority's file last (None plain)."""
    import crypt
    import socket
    cache = "/var/cache/quillomar/servers/root"
    passwd, pdb = os.path.join(workdir, "passwd"), os.path.join(workdir, "pure.pdb")
    with open(passwd, "w") as f:
        f.write("user:%s:65534:65534::%s/./::::::::::::\n" % (crypt.crypt("secret", crypt.mksalt(crypt.METHOD_SHA512)), root))
    subprocess.run([os.path.join(cache, "usr/bin/pure-pw"), "mkdb", pdb, "-f", passwd], check=True,
                   stdout=subprocess.DEVNULL)
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    host = "127.0.0.2" if tls else "127.0.0.1"
    command = [os.path.join(cache, "usr/sbin/pure-ftpd"), "-S", "%s,%d" % (host, port), "-l", "puredb:" + pdb,
               "-E", "-H", "-A", "-c", "50"]
    ca = None
    if tls:
        certs = os.path.join(workdir, "certs")
        os.makedirs(certs, exist_ok=True)
        subprocess.run([PYTHON, os.path.join(HERE, "..", "tests", "support", "make_certs.py"), certs], check=True)
        pem = os.path.join(certs, "key-and-certificate.pem")
        with open(pem, "w") as f:
            for name in ("good.key", "good.pem"):
                with open(os.path.join(certs, name)) as part:
                    f.write(part.read())
        os.chmod(pem, 0o600)
        ca = os.path.join(certs, "ca.pem")
        command += ["-Y", "2", "-2", pem, "-p", "%d:%d" % TLS_DATA_PORTS, "-P", "127.0.0.1"]
    return started(command, host, port), port, "user", "secret", ca


def start_vsftpd(root, workdir, tls=False):
    """vsftpd over the tree; with tls, FTP over TLS (AUTH TLS required) with
    a certificate from a throwaway authority, whose file is returned last."""
    import socket
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
    conf = os.path.join(workdir, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("listen=YES\nlisten_port=%d\nanonymous_enable=YES\n"
                "no_anon_password=YES\nanon_root=%s\nlocal_enable=NO\nwrite_enable=NO\npasv_enable=YES\n"
                "pasv_address=127.0.0.1\nsecure_chroot_dir=/var/run/vsftpd/empty\nbackground=NO\n"
                "seccomp_sandbox=NO\nxferlog_enable=NO\nmax_per_ip=0\nmax_clients=0\n" % (port, root))
        if not tls:
            f.write("listen_address=127.0.0.1\n")
        ca = None
        if tls:
            # Listens on 127.0.0.2 and names 127.0.0.1 in passive replies,
            # where the proxy relays these ports (it cannot read the replies).
            f.write("listen_address=127.0.0.2\npasv_address=127.0.0.1\npasv_min_port=%d\npasv_max_port=%d\n"
                    % (TLS_DATA_PORTS[0], TLS_DATA_PORTS[1]))
            certs = os.path.join(workdir, "certs")
            os.makedirs(certs, exist_ok=True)
            subprocess.run([PYTHON, os.path.join(HERE, "..", "tests", "support", "make_certs.py"), certs], check=True)
            ca = os.path.join(certs, "ca.pem")
            f.write("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                    "ssl_ciphers=HIGH\nrsa_cert_file=%s\nrsa_private_key_file=%s\n"
                    % (os.path.join(certs, "good.pem"), os.path.join(certs, "good.key")))
    return started(["/usr/sbin/vsftpd", conf], "127.0.0.2" if tls else "127.0.0.1", port), port, "anonymous", "guest", ca


def timed(args, cwd, timeout):
    """Runs a command under GNU time; returns (seconds, peak RSS in MB, exit code)."""
    out = os.path.join(cwd, "time.txt")
    start = time.monotonic()
    try:
        rc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return None, None, "timeout"
    seconds = time.monotonic() - start
    try:
        with open(out) as f:
            rss_mb = int(f.read().strip().splitlines()[-1]) / 1024.0
    except (OSError, ValueError, IndexError):
        rss_mb = None
    return seconds, rss_mb, rc


def tool_commands(cli, port, user, password, workdir, ca=None, fingerprint=None):
    pwfile = os.path.join(workdir, "pw")
    with open(pwfile, "w") as f:
        f.write(password + "\n")
    obscured = subprocess.run(["rclone", "obscure", password], capture_output=True, text=True).stdout.strip()
    # Over TLS: the throwaway authority trusted, as a private one would be.
    scheme = "ftpes://" if ca else "sftp://" if fingerprint else ""
    q = ([] if ca is None else ["env", "QUILLOMAR_CA_FILE=" + ca]) + [
         cli, "--settings", os.path.join(workdir, "bench.ini"), "--host",
         scheme + "127.0.0.1:%d" % port, "--account", user,
         "--password-file", pwfile, "--folder", "/", "--base-url", "http://example.com", "--no-upload"]
    if fingerprint:
        q += ["--trust-host-key", fingerprint]
        return [
            ("quillomar-cli, folder by folder", q + ["--connections", "0"]),
            ("quillomar-cli, 1 connection", q + ["--connections", "1"]),
            ("quillomar-cli, 4 connections (default)", q + ["--connections", "4"]),
            ("quillomar-cli, 8 connections", q + ["--connections", "8"]),
            ("rclone lsf -R", ["rclone", "lsf", "-R", "--config", "/dev/null",
                               ":sftp,host=127.0.0.1,port=%d,user=%s,pass=%s:/" % (port, user, obscured)]),
        ]
    return [
        ("quillomar-cli, folder by folder", q + ["--connections", "0"]),
        ("quillomar-cli, 1 connection", q + ["--connections", "1"]),
        ("quillomar-cli, 4 connections (default)", q + ["--connections", "4"]),
        ("quillomar-cli, 8 connections", q + ["--connections", "8"]),
        ("quillomar-cli, 4 connections, every option",
         q + ["--connections", "4", "--lastmod", "--robots", "--index-as-folder", "--gzip", "--exclude", "*/d7/*",
              "--extensions", ".html;.htm;.php"]),
        ("lftp find", ["lftp", "-u", "%s,%s" % (user, password), "-p", str(port), "-e",
                       "set ftp:passive-mode true; set net:max-retries 1; set net:timeout 30; find / > /dev/null; quit",
                       "127.0.0.1"]),
        ("rclone lsf -R", ([] if ca is None else ["env", "SSL_CERT_FILE=" + ca]) +
         ["rclone", "lsf", "-R", "--config", "/dev/null"] +
         [":ftp,host=127.0.0.1,port=%d,user=%s,pass=%s%s:/" % (port, user, obscured,
                                                                ",explicit_tls=true,disable_tls13=true" if ca else "")]),
        ("wget --spider -r", ["wget", "--spider", "-r", "-l", "inf", "-q", "--passive-ftp",
                              "ftp://%s:%s@127.0.0.1:%d/" % (user, password, port)]),
    ]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--rtts", default="0,20")
    parser.add_argument("--servers", default="pyftpdlib,vsftpd")
    parser.add_argument("--levels", default="8,8,4", help="fan-out per level: 1 + 8 + 64 + 256 = 329 folders")
    parser.add_argument("--files", type=int, default=10)
    parser.add_argument("--big-folder", type=int, default=0, help="one more folder, 'big', holding this many pages")
    parser.add_argument("--timeout", type=int, default=150, help="seconds one tool may take")
    parser.add_argument("--tools", default="",
                        help="only the tools whose label starts with one of these (separated by '|')")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)

    base = tempfile.mkdtemp(prefix="quillomar-bench-")
    os.chmod(base, 0o755)
    tree = os.path.join(base, "site")
    os.mkdir(tree)
    folders, files = make_tree(tree, [int(x) for x in args.levels.split(",")], args.files, args.files - 2)
    if args.big_folder:
        os.mkdir(os.path.join(tree, "big"))
        for i in range(args.big_folder):
            open(os.path.join(tree, "big", "p%06d.html" % i), "w").close()
        folders, files = folders + 1, files + args.big_folder
    print("Tree: %d folders, %d files (%d pages)" % (folders, files, folders * (args.files - 2)))
    print()
    print("| server | RTT | tool | wall time (s) | round trips per folder | logins | peak RSS (MB) |")
    print("|---|---|---|---|---|---|---|")
    sitemaps = {}
    try:
        for server_name in args.servers.split(","):
            for rtt in [float(x) for x in args.rtts.split(",")]:
                work = tempfile.mkdtemp(dir=base)
                ca = fingerprint = None
                if server_name.startswith("vsftpd"):
                    server, port, user, password, ca = start_vsftpd(tree, work, tls=server_name == "vsftpd-tls")
                elif server_name.startswith("pureftpd"):
                    server, port, user, password, ca = start_pureftpd(tree, work, tls=server_name == "pureftpd-tls")
                elif server_name == "proftpd":
                    server, port, user, password, ca = start_proftpd(tree)
                elif server_name == "sftp":
                    server, port, user, password, fingerprint = start_sftp(tree, work)
                else:
                    server, port, user, password, _ = start_pyftpdlib(tree)
                try:
                    for label, _cmd in tool_commands(cli, 0, user, password, work, ca, fingerprint):
                        if args.tools and not any(label.startswith(t) for t in args.tools.split("|")):
                            continue
                        run_dir = tempfile.mkdtemp(dir=base)
                        stats_file = os.path.join(run_dir, "stats.json")
                        tls_args = [] if ca is None else ["--upstream-host", "127.0.0.2", "--data-ports",
                                                          "%d-%d" % TLS_DATA_PORTS]
                        if fingerprint:
                            tls_args = ["--raw"]
                        proxy = Process([PYTHON, os.path.join(HERE, "delay_proxy.py"), "--upstream-port", str(port),
                                         "--rtt-ms", str(rtt), "--stats", stats_file] + tls_args)
                        proxy_port = proxy.port()
                        cmd = dict(tool_commands(cli, proxy_port, user, password, run_dir, ca, fingerprint))[label]
                        seconds, rss, rc = timed(cmd, run_dir, args.timeout)
                        time.sleep(0.5)  # let the proxy see the last connections close
                        proxy.stop()
                        try:
                            with open(stats_file) as f:
                                st = json.load(f)
                            trips = "%.1f" % ((st["turns"] + st["data_connections"]) / folders)
                            logins = str(st["control_connections"])
                        except (OSError, ValueError, KeyError):
                            trips = logins = "?"
                        if label.startswith("quillomar"):
                            # sitemap.xml, and past 50,000 pages its parts
                            written = b""
                            for name in sorted(os.listdir(run_dir)):
                                if name.startswith("sitemap") and name.endswith(".xml"):
                                    with open(os.path.join(run_dir, name), "rb") as f:
                                        written += f.read()
                            if written:
                                sitemaps.setdefault(server_name, set()).add(written)
                        wall = "> %d (stopped)" % args.timeout if seconds is None else ("%.2f" % seconds + ("" if rc == 0 else " (exit %s)" % rc))
                        print("| %s | %g ms | %s | %s | %s | %s | %s |" % (server_name, rtt, label, wall, trips, logins,
                                                                         "?" if rss is None else "%.1f" % rss))
                        sys.stdout.flush()
                finally:
                    server.stop()
        print()
        for server_name, files_seen in sitemaps.items():
            entries = max(f.count(b"<url>") for f in files_seen)
            print("%s: %s (%d entries)" % (server_name, "every quillomar-cli run wrote the same files"
                                           if len(files_seen) == 1 else
                                           "quillomar-cli runs wrote %d different files" % len(files_seen), entries))
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
