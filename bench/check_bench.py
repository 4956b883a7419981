#!/usr/bin/python3
"""Times the check of every address on the live site (--verify).

nginx (started here with its own configuration, never as a service) answers
every address with a small HTML page, over HTTP/1.1 and over HTTP/2 with
TLS, behind the delay proxy (--raw). The addresses are those a generation
writes for the walk benchmark's tree with --robots (2,593 pages).

Rows: the check alone (quillomar-check-bench, SiteCheck as a generation
runs it) beside `curl --parallel --parallel-max 8` over the same list; a
whole generation with and without --verify (FTP and HTTP both behind the
proxy); and the peak memory of the check, and of a whole generation with
--verify, at 100,000 addresses.

    check_bench.py --cli build/quillomar-cli --check build/bench/quillomar-check-bench [--rtt 20]
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import walk_bench as wb  # noqa: E402  (the tree, the FTP servers, the timer)

PAGE = "<!doctype html><html><head><title>p</title></head><body>" + "text " * 200 + "</body></html>"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_nginx(workdir):
    """nginx on two ports: plain HTTP/1.1, and HTTP/2 over TLS with a
    throwaway authority. Returns (stopper, plain port, TLS port, CA file)."""
    subprocess.run([wb.PYTHON, os.path.join(HERE, "..", "tests", "support", "make_certs.py"), workdir], check=True)
    plain, tls = free_port(), free_port()
    served = ('location = /robots.txt { return 200 "User-agent: *\\nDisallow: /private/\\n"; }\n'
              "location / { default_type text/html; return 200 '%s'; }\n" % PAGE)
    with open(os.path.join(workdir, "nginx.conf"), "w") as f:
        f.write("daemon off;\nmaster_process off;\npid %s/nginx.pid;\nerror_log %s/error.log;\nevents {}\n"
                "http {\n  access_log off;\n  client_body_temp_path %s;\n  proxy_temp_path %s;\n"
                "  fastcgi_temp_path %s;\n  uwsgi_temp_path %s;\n  scgi_temp_path %s;\n"
                "  server {\n    listen 127.0.0.1:%d;\n%s  }\n"
                "  server {\n    listen 127.0.0.1:%d ssl http2;\n    ssl_certificate %s/good.pem;\n"
                "    ssl_certificate_key %s/good.key;\n%s  }\n}\n"
                % ((workdir,) * 7 + (plain, served, tls, workdir, workdir, served)))
    stopper = wb.started(["/usr/sbin/nginx", "-p", workdir, "-c", os.path.join(workdir, "nginx.conf")],
                         "127.0.0.1", tls)
    return stopper, plain, tls, os.path.join(workdir, "ca.pem")


def proxy(port, rtt):
    p = wb.Process([wb.PYTHON, os.path.join(HERE, "delay_proxy.py"), "--upstream-port", str(port),
                    "--rtt-ms", str(rtt), "--raw"])
    return p, p.port()


def locs(folder):
    """The pages' addresses a run wrote into folder, in order: sitemap.xml's,
    or past 50,000 those of its parts."""
    parts = sorted((n for n in os.listdir(folder) if re.fullmatch(r"sitemap-\d+\.xml", n)),
                   key=lambda n: int(n[8:-4])) or ["sitemap.xml"]
    found = []
    for name in parts:
        with open(os.path.join(folder, name)) as f:
            found += re.findall(r"<loc>([^<]*)</loc>", f.read())
    return found


def generate(cli, ftp_port, user, password, base_url, workdir, extra, ca=None, timeout=900):
    """One quillomar-cli run; returns (seconds, peak RSS MB, exit code, folder)."""
    run_dir = tempfile.mkdtemp(dir=workdir)
    with open(os.path.join(run_dir, "pw"), "w") as f:
        f.write(password + "\n")
    cmd = ([] if ca is None else ["env", "QUILLOMAR_CA_FILE=" + ca]) + [
        cli, "--settings", os.path.join(run_dir, "bench.ini"), "--host", "127.0.0.1:%d" % ftp_port,
        "--account", user, "--password-file", os.path.join(run_dir, "pw"), "--folder", "/",
        "--base-url", base_url, "--no-upload", "--robots"] + extra
    seconds, rss, rc = wb.timed(cmd, run_dir, timeout)
    return seconds, rss, rc, run_dir


def run_check(check, listing, args):
    """quillomar-check-bench over the list: (wall seconds, its figures, exit code)."""
    start = time.monotonic()
    with open(listing) as addresses:
        out = subprocess.run([check] + args, stdin=addresses, capture_output=True, text=True)
    words = out.stdout.split()
    return time.monotonic() - start, dict(zip(words[::2], words[1::2])), out.returncode


def row(*cells):
    print("| " + " | ".join(str(c) for c in cells) + " |")
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--check", required=True, help="quillomar-check-bench")
    parser.add_argument("--rtt", type=float, default=20)
    args = parser.parse_args()
    cli, check = os.path.abspath(args.cli), os.path.abspath(args.check)

    base = tempfile.mkdtemp(prefix="quillomar-check-bench-")
    os.chmod(base, 0o755)
    stoppers = []
    try:
        tree = os.path.join(base, "site")
        os.mkdir(tree)
        wb.make_tree(tree, [8, 8, 4], 10, 8)
        web = os.path.join(base, "web")
        os.mkdir(web)
        nginx, plain, tls, ca = start_nginx(web)
        stoppers.append(nginx)
        ftp, ftp_port, user, password, _ = wb.start_vsftpd(tree, base)
        stoppers.append(ftp)

        # The addresses: a generation's, at the site's plain address.
        seconds, _, rc, folder = generate(cli, ftp_port, user, password, "http://127.0.0.1:%d" % plain, base, [])
        paths = [a[len("http://127.0.0.1:%d" % plain):] for a in locs(folder)]
        print("Addresses: %d (the walk benchmark's tree, --robots); round-trip time %g ms" % (len(paths), args.rtt))
        print()
        row("protocol", "tool", "wall time (s)", "addresses answered", "peak RSS (MB)")
        row("---", "---", "---", "---", "---")
        for label, port, scheme, ca_file in (("HTTP/1.1", plain, "http", None), ("HTTP/2, TLS", tls, "https", ca)):
            for tool, most in (("quillomar-check-bench", 8), ("curl --parallel --parallel-max", 8),
                               ("quillomar-check-bench", 64), ("curl --parallel --parallel-max", 64)):
                p, pport = proxy(port, args.rtt)
                origin = "%s://127.0.0.1:%d" % (scheme, pport)
                listing = os.path.join(base, "addresses.txt")
                with open(listing, "w") as f:
                    f.write("".join(origin + path + "\n" for path in paths))
                if tool.startswith("quillomar"):
                    wall, figures, rc = run_check(check, listing, ["--in-flight", str(most)] +
                                                  (["--ca", ca_file] if ca_file else []))
                    row(label, "%s, %d in flight" % (tool, most), "%.2f" % wall,
                        figures.get("answered", "?") + ("" if rc == 0 else " (exit %d)" % rc),
                        figures.get("peak_rss_mb", "?"))
                else:
                    config = os.path.join(base, "curl.cfg")
                    with open(config, "w") as f:
                        f.write("".join('url = "%s%s"\noutput = "/dev/null"\n' % (origin, path) for path in paths))
                    cmd = ["curl", "-s", "--parallel", "--parallel-max", str(most), "-K", config]
                    if ca_file:
                        cmd += ["--http2", "--cacert", ca_file]
                    seconds, rss, rc = wb.timed(cmd, base, 600)
                    row(label, "%s %d" % (tool, most), "%.2f" % seconds + ("" if rc == 0 else " (exit %s)" % rc), len(paths),
                        "%.1f" % rss)
                p.stop()

        # A whole generation, FTP and HTTP both at that distance.
        print()
        row("generation (vsftpd, 4 connections)", "wall time (s)", "pages written", "peak RSS (MB)")
        row("---", "---", "---", "---")
        for label, extra, web_port, scheme in (
                ("quillomar-cli --robots (the walk)", [], plain, "http"),
                ("quillomar-cli --robots --verify, HTTP/1.1", ["--verify"], plain, "http"),
                ("quillomar-cli --robots --verify, HTTP/2", ["--verify"], tls, "https"),
                ("quillomar-cli --robots --verify --verify-requests 64, HTTP/2",
                 ["--verify", "--verify-requests", "64"], tls, "https")):
            ftp_proxy = wb.Process([wb.PYTHON, os.path.join(HERE, "delay_proxy.py"), "--upstream-port",
                                    str(ftp_port), "--rtt-ms", str(args.rtt)])
            web_proxy, proxied = proxy(web_port, args.rtt)
            seconds, rss, rc, folder = generate(cli, ftp_proxy.port(), user, password,
                                                "%s://127.0.0.1:%d" % (scheme, proxied), base, extra,
                                                ca if scheme == "https" else None)
            row(label, "%.2f" % seconds + ("" if rc == 0 else " (exit %s)" % rc), len(locs(folder)), "%.1f" % rss)
            ftp_proxy.stop()
            web_proxy.stop()

        # Memory at 100,000 addresses, no delay.
        print()
        big = os.path.join(base, "big")
        os.mkdir(big)
        wb.make_tree(big, [9, 110], 102, 100)
        ftp.stop()
        stoppers.remove(ftp)
        ftp, ftp_port, user, password, _ = wb.start_vsftpd(big, base)
        stoppers.append(ftp)
        row("100,000 addresses, 0 ms", "wall time (s)", "addresses", "peak RSS (MB)")
        row("---", "---", "---", "---")
        seconds, rss, rc, folder = generate(cli, ftp_port, user, password, "http://127.0.0.1:%d" % plain, base,
                                            ["--verify"])
        written = locs(folder)
        row("quillomar-cli --robots --verify (whole generation)", "%.2f" % seconds + ("" if rc == 0 else
                                                                                    " (exit %s)" % rc),
            len(written), "%.1f" % rss)
        listing = os.path.join(base, "big.txt")
        with open(listing, "w") as f:
            f.write("".join(a + "\n" for a in written))
        wall, figures, _ = run_check(check, listing, [])
        row("quillomar-check-bench (the check alone)", "%.2f" % wall, figures.get("addresses", "?"),
            figures.get("peak_rss_mb", "?"))
    finally:
        for stopper in stoppers:
            stopper.stop()
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
