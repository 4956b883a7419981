#!/usr/bin/env bash
# Installs the other tools (lftp, rclone, wget, GNU time), builds, and runs
# the walk benchmark: a table of wall time, round trips per folder and peak
# memory at 0 ms and 20 ms round-trip time, on pyftpdlib and vsftpd; then
# the memory of quillomar-cli on 1,000 folders holding 100,000 pages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
need=()
for p in lftp rclone wget time; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
scripts/build >/dev/null

echo "## Walk: 329 folders, 3,290 files"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0,20 --servers pyftpdlib,vsftpd "$@"
echo
echo "## Memory: 1,000 folders, 100,000 pages"
bench/walk_bench.py --cli build/quillomar-cli --rtts 0 --servers vsftpd --levels 9,110 --files 102 \
  --tools quillomar
