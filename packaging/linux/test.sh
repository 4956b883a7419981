#!/usr/bin/env bash
# Checks the Debian package made from a build folder (argument): its
# control fields, its contents, the desktop entry, lintian, and
# quillomar-cli run from the files unpacked into a throwaway root.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/quillomar_*_amd64.deb)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
failures=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

check "named after the project's version" test "$(basename "$deb")" = "quillomar_${version}_amd64.deb"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libcurl4 libssh2-1 libwxgtk3.2-1 libidn2-0 zlib1g; do
  check "depends on $library (from the libraries linked)" grep -q "$library (" <<<"$depends"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/quillomar ./usr/bin/quillomar-cli ./usr/share/applications/quillomar.desktop \
  ./usr/share/icons/hicolor/16x16/apps/quillomar.png ./usr/share/icons/hicolor/32x32/apps/quillomar.png \
  ./usr/share/doc/quillomar/README.md ./usr/share/doc/quillomar/guide-ja.html \
  ./usr/share/doc/quillomar/screenshot-windows.png ./usr/share/doc/quillomar/changelog.gz \
  ./usr/share/doc/quillomar/copyright ./usr/share/man/man1/quillomar.1.gz ./usr/share/man/man1/quillomar-cli.1.gz; do
  check "holds $file" grep -qx -- "$file" <<<"$contents"
done

check "apt can install it with what it depends on" bash -c "apt-get install -s -qq '$deb' >/dev/null"

dpkg-deb -x "$deb" "$work/root"
check "quillomar-cli runs from the unpacked files" \
  bash -c "'$work/root/usr/bin/quillomar-cli' --version | grep -qx 'quillomar-cli $version'"
desktop="$work/root/usr/share/applications/quillomar.desktop"
check "a valid desktop entry" desktop-file-validate "$desktop"
check "started from the menu in the user's folder" grep -qx 'Exec=quillomar --user-folder' "$desktop"

check "the copyright file names the project's licence" \
  grep -qx 'License: MIT' "$work/root/usr/share/doc/quillomar/copyright"
check "the manual page of quillomar-cli lists its options" \
  bash -c "zcat '$work/root/usr/share/man/man1/quillomar-cli.1.gz' | grep -qF -- 'trust\-host\-key'"

findings=$(lintian "$deb" 2>&1 | grep -E '^[EW]:' || true)
check "lintian reports no error and no warning" test -z "$findings"
[ -z "$findings" ] || echo "$findings"

echo "package: $failures failed"
[ "$failures" -eq 0 ]
