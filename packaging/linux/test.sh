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
  ./usr/share/doc/quillomar/screenshot-windows.png ./usr/share/doc/quillomar/changelog.gz; do
  check "holds $file" grep -qx -- "$file" <<<"$contents"
done

check "apt can install it with what it depends on" bash -c "apt-get install -s -qq '$deb' >/dev/null"

dpkg-deb -x "$deb" "$work/root"
check "quillomar-cli runs from the unpacked files" \
  bash -c "'$work/root/usr/bin/quillomar-cli' --version | grep -qx 'quillomar-cli $version'"
desktop="$work/root/usr/share/applications/quillomar.desktop"
check "a valid desktop entry" desktop-file-validate "$desktop"
check "started from the menu in the user's folder" grep -qx 'Exec=quillomar --user-folder' "$desktop"

# The licence text is still to be chosen by the project: until then the
# copyright file is the one error lintian may report.
errors=$(lintian "$deb" 2>/dev/null | grep '^E:' | grep -v ': no-copyright-file$' || true)
check "lintian reports no other error" test -z "$errors"
[ -z "$errors" ] || echo "$errors"

echo "package: $failures failed"
[ "$failures" -eq 0 ]
