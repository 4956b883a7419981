#!/usr/bin/env bash
# Builds Quillomar.exe and quillomar-cli.exe (and the core tests) for 64-bit
# Windows on Debian bookworm, as root. The libraries come from Debian's
# source packages, built once into a cache (see build-deps.sh).
#   packaging/windows/build.sh  ->  build-win/Quillomar.exe, build-win/quillomar-cli.exe
set -euo pipefail
cd "$(dirname "$0")/../.."

scripts/install-deps libsimpleini-dev googletest cmake libz-mingw-w64-dev

deps=$(packaging/windows/build-deps.sh | tail -n 1)
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=packaging/windows/toolchain-mingw64.cmake \
  -DQUILLOMAR_WIN_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$(nproc)"
echo "built: build-win/Quillomar.exe build-win/quillomar-cli.exe"
