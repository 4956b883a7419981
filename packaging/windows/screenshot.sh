#!/usr/bin/env bash
# Starts Quillomar.exe under Wine on a virtual display and saves pictures of
# its dialog: docs/screenshot-windows.png with filled-in settings, and
# docs/screenshot-windows-running.png during a generation (a slow local FTP
# server over demo/site, a long site address), with both lines filled.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps
scripts/install-deps imagemagick wine wine64
packaging/windows/build.sh >/dev/null
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-/var/cache/quillomar/wine}
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true

work=$(mktemp -d)
run=$(mktemp -d)
trap 'rm -rf "$work" "$run"; wineserver -k 2>/dev/null || true; [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true' EXIT
coproc SERVER { exec /usr/bin/python3 tests/support/ftpd.py --root demo/site --user demo --password demo \
  --reply-delay 400 2>/dev/null; }
server_pid=$SERVER_PID
read -r _ port <&"${SERVER[0]}"
printf '[INI_SETTING]\r\nhost=127.0.0.1:%s\r\nid=demo\r\npswd=demo\r\ndir=/\r\nhttp=https://www.example-web-design-office.co.jp/clients/archive/2026/\r\nchk1=0\r\nchk2=0\r\nconnections=0\r\n' \
  "$port" > "$run/SETTING.INI"
printf '[INI_SETTING]\r\nhost=ftp.example.jp\r\nid=webmaster\r\npswd=secret\r\ndir=/public_html\r\nhttp=http://www.example.jp/\r\nchk1=1\r\nchk2=0\r\n' \
  > "$work/SETTING.INI"
exe=$(pwd)/build-win/Quillomar.exe
out=$(pwd)/docs/screenshot-windows.png
mkdir -p docs
# capture FOLDER KEY SECONDS PICTURE: starts the program in FOLDER, presses
# KEY, waits, and saves a picture of the dialog.
capture() {
  wineserver -k 2>/dev/null || true
  scripts/with-display bash -c "
    cd '$1' && wine '$exe' >/dev/null 2>&1 &
    id=\$(timeout 90 xdotool search --sync --onlyvisible --name 'Quillomar Ver2.0' | head -n 1)
    xdotool windowactivate --sync \"\$id\" key $2
    sleep $3
    import -frame -window \"\$id\" '$4'
    xdotool key alt+F4
    sleep 1
  "
}
running=$(pwd)/docs/screenshot-windows-running.png
capture "$work" Tab 1 "$out"
capture "$run" Return 9 "$running"
echo "saved $out and $running"
