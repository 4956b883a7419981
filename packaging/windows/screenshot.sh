#!/usr/bin/env bash
# Starts Quillomar.exe under Wine on a virtual display with filled-in
# settings and saves a picture of its dialog to docs/screenshot-windows.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps
scripts/install-deps imagemagick wine wine64
packaging/windows/build.sh >/dev/null
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-/var/cache/quillomar/wine}
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true

work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT
printf '[INI_SETTING]\r\nhost=ftp.example.jp\r\nid=webmaster\r\npswd=secret\r\ndir=/public_html\r\nhttp=http://www.example.jp/\r\nchk1=1\r\nchk2=0\r\n' \
  > "$work/SETTING.INI"
exe=$(pwd)/build-win/Quillomar.exe
out=$(pwd)/docs/screenshot-windows.png
mkdir -p docs
scripts/with-display bash -c "
  cd '$work' && wine '$exe' >/dev/null 2>&1 &
  id=\$(timeout 90 xdotool search --sync --onlyvisible --name 'Quillomar Ver2.0' | head -n 1)
  xdotool windowactivate --sync \"\$id\" key Tab
  sleep 1
  import -frame -window \"\$id\" '$out'
  xdotool key alt+F4
  sleep 1
"
echo "saved $out"
