#!/usr/bin/env bash
# Proves the Windows build under Wine, on Debian bookworm as root:
#  1. the core tests, cross-compiled, pass under Wine;
#  2. quillomar-cli.exe writes a sitemap.xml byte for byte equal to the
#     Linux build's against the same FTP server, and uploads it the same way;
#     over FTP with TLS too (explicit and implicit, vsftpd), and over SFTP
#     (its host key trusted once, then kept; uploads replace); and with
#     --verify against nginx, the same sitemap and check report;
#  3. the zip users download, unpacked into a folder with a Japanese name
#     and a space: its guide in CP932 with CR LF, quillomar-cli.exe writing
#     the Linux build's bytes from there, and Quillomar.exe started there
#     showing its dialog and ending with exit code 0;
#  4. the version record reads back as it should.
# Expects the Linux build in build/ (scripts/build) and builds build-win/.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

scripts/install-deps wine wine64 python3-pefile python3-cryptography python3-paramiko vsftpd nginx-light xdotool xvfb openbox fonts-noto-cjk \
  libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3

packaging/windows/build.sh
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-/var/cache/quillomar/wine}
mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true

failures=0
passes=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then echo "ok: $1"; passes=$((passes + 1)); else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

echo "== core tests under Wine"
check "core tests under Wine" ctest --test-dir build-win --output-on-failure -j2 --timeout 300

echo "== quillomar-cli.exe against the Linux build"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true' EXIT
cp -r demo/site "$work/site"
coproc SERVER { exec /usr/bin/python3 tests/support/ftpd.py --root "$work/site" --user demo --password demo 2>/dev/null; }
server_pid=$SERVER_PID
read -r _ port <&"${SERVER[0]}"
settings() {
  printf '[INI_SETTING]\r\nhost=127.0.0.1:%s\r\nid=demo\r\npswd=demo\r\ndir=/\r\nhttp=http://www.example.com/\r\nchk1=%s\r\nchk2=%s\r\n' \
    "$port" "$1" "$2"
}
for mobile in 0 1; do
  mkdir -p "$work/linux$mobile" "$work/windows$mobile"
  settings "$mobile" 0 > "$work/linux$mobile/SETTING.INI"
  settings "$mobile" 0 > "$work/windows$mobile/SETTING.INI"
  (cd "$work/linux$mobile" && "$root/build/quillomar-cli" 2>/dev/null)
  (cd "$work/windows$mobile" && wine "$root/build-win/quillomar-cli.exe" 2>/dev/null)
  check "same sitemap.xml (mobile=$mobile)" cmp "$work/linux$mobile/sitemap.xml" "$work/windows$mobile/sitemap.xml"
  check "CR LF line ends (mobile=$mobile)" grep -q $'\r$' "$work/windows$mobile/sitemap.xml"
done
mkdir -p "$work/upload-linux" "$work/upload-windows"
settings 0 1 > "$work/upload-linux/SETTING.INI"
settings 0 1 > "$work/upload-windows/SETTING.INI"
(cd "$work/upload-linux" && "$root/build/quillomar-cli" 2>/dev/null)
cp "$work/site/sitemap.xml" "$work/uploaded-by-linux.xml"
rm "$work/site/sitemap.xml"
(cd "$work/upload-windows" && wine "$root/build-win/quillomar-cli.exe" 2>/dev/null)
check "upload from Windows equals upload from Linux" cmp "$work/uploaded-by-linux.xml" "$work/site/sitemap.xml"
check "local copy deleted after upload" test ! -e "$work/upload-windows/sitemap.xml"

echo "== quillomar-cli.exe over FTP with TLS (vsftpd), against the Linux build"
# A throwaway authority and certificate; the client is told to trust the
# authority (QUILLOMAR_CA_FILE), never to skip verification.
mkdir -p "$work/certs" "$work/run/empty"
/usr/bin/python3 tests/support/make_certs.py "$work/certs"
chmod 755 "$work" "$work/site"
free_port() { /usr/bin/python3 -c "import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"; }
for mode in explicit implicit; do
  tls_port=$(free_port)
  cat > "$work/vsftpd-$mode.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$tls_port
anonymous_enable=YES
no_anon_password=YES
anon_root=$work/site
local_enable=NO
write_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
secure_chroot_dir=$work/run/empty
background=NO
seccomp_sandbox=NO
xferlog_enable=NO
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
ssl_ciphers=HIGH
rsa_cert_file=$work/certs/good.pem
rsa_private_key_file=$work/certs/good.key
implicit_ssl=$([ "$mode" = implicit ] && echo YES || echo NO)
CONF
  /usr/sbin/vsftpd "$work/vsftpd-$mode.conf" </dev/null >/dev/null 2>&1 &
  vsftpd_pid=$!
  for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$tls_port") 2>/dev/null && break; sleep 0.05; done
  scheme=$([ "$mode" = implicit ] && echo ftps || echo ftpes)
  mkdir -p "$work/tls-linux-$mode" "$work/tls-windows-$mode"
  for side in linux windows; do
    printf '[INI_SETTING]\r\nhost=%s://127.0.0.1:%s\r\nid=anonymous\r\npswd=x@example.com\r\ndir=/\r\nhttp=http://www.example.com/\r\nchk1=0\r\nchk2=0\r\n' \
      "$scheme" "$tls_port" > "$work/tls-$side-$mode/SETTING.INI"
  done
  (cd "$work/tls-linux-$mode" && QUILLOMAR_CA_FILE="$work/certs/ca.pem" "$root/build/quillomar-cli" 2>/dev/null) || true
  (cd "$work/tls-windows-$mode" && QUILLOMAR_CA_FILE="Z:$work/certs/ca.pem" wine "$root/build-win/quillomar-cli.exe" 2>/dev/null) || true
  check "same sitemap.xml over TLS ($mode)" cmp "$work/tls-linux-$mode/sitemap.xml" "$work/tls-windows-$mode/sitemap.xml"
  kill "$vsftpd_pid" 2>/dev/null || true
done

echo "== quillomar-cli.exe --verify against nginx (HTTP/2 over TLS), against the Linux build"
# nginx serves the tree the FTP server walks, with a redirect, a gone page,
# a noindex header and a robots.txt of its own, over HTTP/2 with the
# throwaway authority's certificate.
web_port=$(free_port)
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events {}
http {
  include /etc/nginx/mime.types;
  log_format protocol '\$server_protocol \$http_user_agent';
  access_log $work/nginx/access.log protocol;
  client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;
  server {
    listen 127.0.0.1:$web_port ssl http2;
    ssl_certificate $work/certs/good.pem;
    ssl_certificate_key $work/certs/good.key;
    root $work/site;
    location = /robots.txt { return 200 "User-agent: *\nDisallow: /blog/2024/\n"; }
    location = /about.htm { return 301 /; }
    location = /v1.0/old.html { return 410; }
    location = /contact.php { add_header X-Robots-Tag noindex; default_type text/html; return 200 "<title>c</title>"; }
  }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" </dev/null >/dev/null 2>&1 &
nginx_pid=$!
for _ in $(seq 1 100); do (exec 3<>"/dev/tcp/127.0.0.1/$web_port") 2>/dev/null && break; sleep 0.05; done
mkdir -p "$work/verify-linux" "$work/verify-windows"
for side in linux windows; do
  printf '[INI_SETTING]\r\nhost=127.0.0.1:%s\r\nid=demo\r\npswd=demo\r\ndir=/\r\nhttp=https://127.0.0.1:%s/\r\nchk1=0\r\nchk2=0\r\n' \
    "$port" "$web_port" > "$work/verify-$side/SETTING.INI"
done
(cd "$work/verify-linux" && QUILLOMAR_CA_FILE="$work/certs/ca.pem" "$root/build/quillomar-cli" --verify \
  --report-tsv check.tsv 2>/dev/null) || true
: > "$work/nginx/access.log"
(cd "$work/verify-windows" && QUILLOMAR_CA_FILE="Z:$work/certs/ca.pem" wine "$root/build-win/quillomar-cli.exe" \
  --verify --report-tsv check.tsv 2>/dev/null) || true
check "the check ran on Windows (a redirect left out)" grep -q $'\tredirect\t301\t' "$work/verify-windows/check.tsv"
check "the Windows build asked over HTTP/2 only" bash -c "! grep Quillomar '$work/nginx/access.log' | grep -qv '^HTTP/2.0 ' &&
  grep -q '^HTTP/2.0 Quillomar' '$work/nginx/access.log'"
for file in sitemap.xml check.tsv sitemap-check.html; do
  check "same $file after --verify" cmp "$work/verify-linux/$file" "$work/verify-windows/$file"
done
kill "$nginx_pid" 2>/dev/null || true

echo "== quillomar-cli.exe over SFTP (paramiko), against the Linux build"
mkdir -p "$work/sftp-site" "$work/sftp-linux" "$work/sftp-windows"
cp -r demo/site/. "$work/sftp-site/"
coproc SFTP { exec /usr/bin/python3 tests/support/sftpd.py --root "$work/sftp-site" --host-key "$work/sftp-key" 2>/dev/null; }
sftp_pid=$SFTP_PID
read -r _ sftp_port _ fingerprint <&"${SFTP[0]}"
for side in linux windows; do
  printf '[INI_SETTING]\r\nhost=sftp://127.0.0.1:%s\r\nid=user\r\npswd=secret\r\ndir=/\r\nhttp=http://www.example.com/\r\nchk1=0\r\nchk2=%s\r\n' \
    "$sftp_port" "$([ $side = windows ] && echo 1 || echo 0)" > "$work/sftp-$side/SETTING.INI"
done
(cd "$work/sftp-linux" && "$root/build/quillomar-cli" --trust-host-key "$fingerprint" 2>/dev/null) || true
check "an unknown host key is refused" bash -c "cd '$work/sftp-windows' && ! wine '$root/build-win/quillomar-cli.exe' >/dev/null 2>&1"
(cd "$work/sftp-windows" && wine "$root/build-win/quillomar-cli.exe" --trust-host-key "$fingerprint" 2>/dev/null) || true
check "same sitemap.xml over SFTP" cmp "$work/sftp-linux/sitemap.xml" "$work/sftp-site/sitemap.xml"
check "the key kept beside SETTING.INI" grep -q "^\[127.0.0.1\]:$sftp_port ecdsa-sha2-nistp256 " "$work/sftp-windows/known_hosts"
echo "<!-- the first upload -->" >> "$work/sftp-site/sitemap.xml"
(cd "$work/sftp-windows" && wine "$root/build-win/quillomar-cli.exe" 2>/dev/null) || true
check "a second upload over SFTP replaces the first, no flag needed" \
  cmp "$work/sftp-linux/sitemap.xml" "$work/sftp-site/sitemap.xml"
kill "$sftp_pid" 2>/dev/null || true

echo "== the zip, unpacked into a folder with a Japanese name and a space"
zip=$(packaging/windows/package.sh | tail -n 1)
unpacked="$work/配布 テスト"
mkdir -p "$unpacked"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"
check "Japanese names marked UTF-8 in the zip" /usr/bin/python3 -c '
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).infolist()
sys.exit(not all(i.flag_bits & 0x800 for i in names if not i.filename.isascii()) or
         "はじめにお読みください.txt" not in [i.filename for i in names])' "$zip"
guide="$unpacked/はじめにお読みください.txt"
check "the guide is CP932 text" bash -c "iconv -f CP932 -t UTF-8 '$guide' | grep -q 'はじめにお読みください'"
for text in "$guide" "$unpacked/LICENSE.txt" "$unpacked/THIRD-PARTY-NOTICES.txt"; do
  check "every line of $(basename "$text") ends in CR LF" /usr/bin/python3 -c '
import sys
text = open(sys.argv[1], "rb").read()
sys.exit(not (text.endswith(b"\r\n") and text.count(b"\n") == text.count(b"\r\n")))' "$text"
done
check "the licence is MIT" grep -q '^MIT License' "$unpacked/LICENSE.txt"
for library in "OpenSSL 3" "libssh2 1" "nghttp2 1" "libcurl 7" "gumbo-parser 1" "wxWidgets 3.2" "libz-mingw-w64-dev" \
  "SimpleIni" "mingw-w64-x86-64-dev" "libstdc++.a"; do
  check "the notices name $library" grep -q "$library" "$unpacked/THIRD-PARTY-NOTICES.txt"
done
printf 'Archive member included to satisfy reference by file (symbol)\n\n/opt/x/libnew.a(a.o)\n' > "$work/new.map"
refuses_unknown() {
  local deps out
  deps=$(sed -n 's/^QUILLOMAR_WIN_DEPS:[A-Z]*=//p' build-win/CMakeCache.txt)
  out=$(/usr/bin/python3 packaging/windows/notices.py "$deps" build-win "$work/notices.txt" \
    build-win/quillomar-cli.map "$work/new.map" 2>&1) && return 1
  grep -q 'libnew.a' <<<"$out"
}
check "a library linked without a notice fails the build" refuses_unknown
check "the HTML guide and its pictures" test -s "$unpacked/docs/はじめにお読みください.html" -a -s "$unpacked/docs/screenshot-windows.png"
settings 0 0 > "$unpacked/SETTING.INI"
(cd "$unpacked" && wine ./quillomar-cli.exe 2>/dev/null) || true
check "quillomar-cli.exe from there writes the Linux build's sitemap.xml" cmp "$work/linux0/sitemap.xml" "$unpacked/sitemap.xml"

echo "== Quillomar.exe on a display"
# Windows started before had no display: a fresh Wine session gets this one.
wineserver -k 2>/dev/null || true
mkdir -p "$work/gui"
settings 0 0 > "$work/gui/SETTING.INI"
gui_run() {
  cd "$unpacked"
  wine ./Quillomar.exe >/dev/null 2>&1 &
  local app=$!
  local id
  # Wine may take long to start on a busy machine: wait generously.
  id=$(timeout 180 xdotool search --sync --onlyvisible --name 'Quillomar Ver2.0' | head -n 1)
  [ -n "$id" ] || { echo "no dialog appeared"; return 1; }
  sleep 1
  # A key sent before the window has the focus is lost: ask again.
  local attempt
  for attempt in 1 2 3; do
    xdotool windowactivate --sync "$id" key alt+F4 >/dev/null 2>&1
    timeout 20 tail --pid="$app" -f /dev/null && break
  done
  local code=0
  kill -0 "$app" 2>/dev/null && { echo "the program did not end"; return 1; }
  wait "$app" || code=$?
  [ "$code" -eq 0 ] || echo "exit code $code"
  [ "$code" -eq 0 ]
}
check "started in the unpacked folder, the dialog shows and the program ends with exit code 0" \
  scripts/with-display bash -c "$(declare -f gui_run); unpacked='$unpacked' gui_run"
wineserver -k 2>/dev/null || true

# Minimised, the dialog waits behind its icon in the notification area (the
# display's tray, where Wine docks it); a real click there brings it back.
tray_run() {
  cd "$work/gui"
  wine "$root/build-win/Quillomar.exe" >/dev/null 2>&1 &
  local app=$! id
  id=$(timeout 180 xdotool search --sync --onlyvisible --name 'Quillomar Ver2.0' | head -n 1)
  [ -n "$id" ] || { echo "no dialog appeared"; return 1; }
  for click in "1 1" "3 1"; do
    xdotool windowminimize "$id"
    for _ in $(seq 1 100); do
      xdotool search --onlyvisible --name 'Quillomar Ver2.0' >/dev/null || break
      sleep 0.1
    done
    sleep 1
    "$root/tests/gui/click-tray-icon" $click || return 1
    timeout 20 xdotool search --sync --onlyvisible --name 'Quillomar Ver2.0' >/dev/null || return 1
    sleep 0.5
  done
  xdotool windowactivate --sync "$id" key alt+F4 >/dev/null 2>&1
  timeout 30 tail --pid="$app" -f /dev/null
}
check "a click on the notification-area icon brings the dialog back" \
  scripts/with-display bash -c "$(declare -f tray_run); work='$work' root='$root' tray_run"
wineserver -k 2>/dev/null || true

echo "== version record"
check "version record" /usr/bin/python3 packaging/windows/check_version.py build-win/Quillomar.exe Quillomar.EXE
check "version record (cli)" /usr/bin/python3 packaging/windows/check_version.py build-win/quillomar-cli.exe quillomar-cli.EXE

echo "windows: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
