#!/usr/bin/env bash
# Installs the other tools (lftp, rclone, wget, GNU time), builds, and runs
# the walk benchmark: a table of wall time, round trips per folder, logins
# and peak memory at 0 ms and 20 ms round-trip time, on pyftpdlib and
# vsftpd; the fast rows at 150 ms; a tree of 10,111 folders at 20 ms; then
# the memory of quillomar-cli on 1,000 folders holding 100,000 pages, and
# on 1,011 folders holding 1,000,890 pages (split into 21 files) with and
# without every sitemap option; FTP over TLS beside plain FTP at 20 ms; one
# folder of 50,010 pages on ProFTPD; SFTP beside rclone over SFTP at 20 ms;
# and the check of every address on the live site (--verify) beside curl.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
scripts/install-deps lftp rclone wget time curl
scripts/build >/dev/null

echo "## Walk: 329 folders, 3,290 files"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0,20 --servers pyftpdlib,vsftpd "$@"
echo
echo "## Far away: 150 ms round-trip time"
bench/walk_bench.py --cli build/quillomar-cli --rtts 150 --servers pyftpdlib,vsftpd \
  --tools "quillomar-cli, 1|quillomar-cli, 4|quillomar-cli, 8|rclone" --timeout 300
echo
echo "## Large: 10,111 folders, 101,110 pages, 20 ms"
bench/walk_bench.py --cli build/quillomar-cli --rtts 20 --servers vsftpd --levels 10,10,100 --files 12 \
  --tools "quillomar-cli, 4|rclone" --timeout 600
echo
echo "## Memory: 1,000 folders, 100,000 pages"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0 --servers vsftpd --levels 9,110 --files 102 \
  --tools quillomar
echo
echo "## Memory: 1,011 folders, 1,000,890 pages"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0 --servers vsftpd --levels 10,100 --files 992 \
  --tools "quillomar-cli, 4 connections" --timeout 600
echo
echo "## FTP over TLS: 329 folders at 20 ms (vsftpd and Pure-FTPd, AUTH TLS)"
scripts/fetch-test-servers >/dev/null
bench/walk_bench.py --cli build/quillomar-cli --rtts 20 --servers vsftpd,vsftpd-tls,pureftpd,pureftpd-tls \
  --tools "quillomar-cli, 1|quillomar-cli, 4 connections (default)|rclone"
echo
echo "## One folder of 50,010 pages on ProFTPD (its STAT takes minutes there), 0 and 20 ms"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0,20 --servers proftpd --levels 2 --files 3 --big-folder 50010 \
  --tools "quillomar-cli, folder by folder|quillomar-cli, 4 connections (default)"
echo
echo "## SFTP: 329 folders at 20 ms (paramiko, posix-rename offered)"
bench/walk_bench.py --cli build/quillomar-cli --rtts 20 --servers sftp \
  --tools "quillomar-cli, folder by folder|quillomar-cli, 1|quillomar-cli, 4 connections (default)|quillomar-cli, 8|rclone"
echo
echo "## The check on the live site (--verify): nginx over HTTP/1.1 and HTTP/2 with TLS, 20 ms"
cmake --build build --target quillomar-check-bench >/dev/null
bench/check_bench.py --cli build/quillomar-cli --check build/bench/quillomar-check-bench
