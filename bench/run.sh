#!/usr/bin/env bash
# Installs the other tools (lftp, rclone, wget, GNU time), builds, and runs
# the walk benchmark: a table of wall time, round trips per folder and peak
# memory at 0 ms and 20 ms round-trip time, on pyftpdlib and vsftpd; then
# the memory of quillomar-cli on 1,000 folders holding 100,000 pages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
scripts/install-deps lftp rclone wget time
scripts/build >/dev/null

echo "## Walk: 329 folders, 3,290 files"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0,20 --servers pyftpdlib,vsftpd "$@"
echo
echo "## Memory: 1,000 folders, 100,000 pages"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0 --servers vsftpd --levels 9,110 --files 102 \
  --tools quillomar
