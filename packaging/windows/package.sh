#!/usr/bin/env bash
# Makes dist/Quillomar-<version>-win64.zip from build-win/ (packaging/windows/build.sh):
# both programs, the Japanese guide はじめにお読みください.txt (CP932, CR LF),
# LICENSE.txt, THIRD-PARTY-NOTICES.txt and docs/ with the same guide as HTML and its pictures. The zip marks
# its Japanese names as UTF-8, so Windows' own unzip shows them.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win/CMakeCache.txt)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
guide="はじめにお読みください"
mkdir -p "$stage/docs" dist
cp build-win/Quillomar.exe build-win/quillomar-cli.exe "$stage/"
x86_64-w64-mingw32-strip "$stage/Quillomar.exe" "$stage/quillomar-cli.exe"
/usr/bin/python3 packaging/windows/guide_html.py packaging/windows/guide-ja.txt "$version" \
  "$stage/$guide.txt" "$stage/docs/$guide.html"
cp docs/screenshot-windows.png docs/screenshot-windows-running.png "$stage/docs/"
# The licence and the notices of the libraries inside (made by the build), CR LF.
sed 's/$/\r/' LICENSE > "$stage/LICENSE.txt"
cp build-win/THIRD-PARTY-NOTICES.txt "$stage/"
zip="dist/Quillomar-$version-win64.zip"
rm -f "$zip"
/usr/bin/python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, out = sys.argv[1:3]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, _, files in sorted(os.walk(stage)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, stage))  # non-ASCII names get the UTF-8 flag
PY
echo "$zip"
