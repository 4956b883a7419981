#!/usr/bin/env bash
# Builds, from Debian's own source packages, the static libraries the
# Windows program needs: OpenSSL, libssh2, nghttp2, libcurl (FTP, FTPS,
# SFTP, HTTP), wxWidgets (base and core only) and gumbo (HTML). They go to a
# folder outside the checkout, named after their versions, and are built
# once: a folder that is already complete is reused.
#
# Prints the folder (the install prefix) on its last line.
#
# With --prepare, only what needs apt (the cross compilers, the source
# index) is done: a build started after it takes no apt lock, so it can run
# in the background beside other work (scripts/test does so).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix dpkg-dev make perl

host=x86_64-w64-mingw32
toolchain=$(pwd)/packaging/windows/toolchain-mingw64.cmake
cache=${QUILLOMAR_WIN_DEPS:-/var/cache/quillomar/win-deps}
jobs=$(nproc)

log() { echo "[win-deps] $*" >&2; }

# Source packages come through deb-src entries.
src_list=/etc/apt/sources.list.d/quillomar-deb-src.sources
if [ ! -e "$src_list" ]; then
  cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq
fi
if ! apt-cache showsrc wxwidgets3.2 >/dev/null 2>&1 || [ -z "$(apt-cache showsrc wxwidgets3.2 2>/dev/null)" ]; then
  apt-get update -qq
fi
[ "${1:-}" = --prepare ] && exit 0

# Versions in apt's source index, newest first. A mirror may list a version
# whose files it does not hold, so each build takes the newest that downloads.
versions() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -Vru; }
listed() { versions "$1" | grep -qxF "$2"; }

mkdir -p "$cache"
rm -rf "$cache"/build.*  # left by a build that was stopped
work=$(mktemp -d "$cache/build.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Downloads and unpacks the newest version of a source package that the
# mirror holds whole; prints "version folder".
fetch() {
  local package=$1 version folder
  for version in $(versions "$package"); do
    mkdir -p "get-$package" && rm -rf "get-$package"/*
    if (cd "get-$package" && apt-get source -qq "$package=$version" >/dev/null 2>&1); then
      folder=$(find "$work/get-$package" -maxdepth 1 -mindepth 1 -type d | head -n 1)
      echo "$version $folder"
      return 0
    fi
    log "$package $version: not on the mirror, trying an older version"
  done
  log "no version of $package could be fetched"
  return 1
}

# Each library leaves a mark when installed, so an interrupted build goes on
# where it stopped.
built() { [ -e "$prefix/.built-$1" ]; }
mark() { touch "$prefix/.built-$1"; }
failed() { log "$1 failed to build"; exit 1; }

# The licence texts, as each source package carries them, with the version:
# the Windows zip's notices are made from these (notices.py).
keep_notice() {  # keep_notice NAME VERSION SOURCE_FOLDER FILE...
  local folder="$prefix/notices/$1" file
  mkdir -p "$folder"
  echo "$2" > "$folder/VERSION"
  for file in "${@:4}"; do cp "$3/$file" "$folder/" || { log "$1: no $file in its source"; exit 1; }; done
}

# gumbo, the HTML5 parser that reads pages' heads when they are checked:
# the maintained fork that Debian's ruby-nokogiri source carries (the
# gumbo-parser source package itself is not on every mirror). Its C files
# only, into a static libgumbo.a; added to a finished build too.
add_gumbo() {
  built gumbo && return 0
  local v_nk nk_dir
  read -r v_nk nk_dir < <(fetch ruby-nokogiri)
  log "gumbo (ruby-nokogiri $v_nk)"
  mkdir -p "$work/gumbo"
  (cd "$nk_dir/gumbo-parser/src" &&
    for c in *.c; do $host-gcc -O2 -std=c99 -c "$c" -o "$work/gumbo/${c%.c}.o" || exit 1; done &&
    $host-ar rcs "$prefix/lib/libgumbo.a" "$work"/gumbo/*.o &&
    cp gumbo.h "$prefix/include/") || failed gumbo
  keep_notice gumbo-parser "$v_nk" "$nk_dir" debian/copyright
  cp /usr/share/common-licenses/Apache-2.0 "$prefix/notices/gumbo-parser/"
  mark gumbo
}

# A finished build whose versions are all still listed is reused as it is.
for done_mark in "$cache"/openssl-*+ssh2-*+curl-*+wx-*/.complete; do
  [ -e "$done_mark" ] || continue
  [ -e "$(dirname "$done_mark")/notices/.complete" ] || continue  # made before the notices were kept
  [ -e "$(dirname "$done_mark")/.built-curl-h2" ] || continue  # curl made before it spoke HTTP/2
  prefix=$(dirname "$done_mark")
  IFS='+' read -r ssl ssh2 curl wx <<<"$(basename "$prefix" | sed 's/^openssl-//; s/+ssh2-/+/; s/+curl-/+/; s/+wx-/+/')"
  if listed openssl "$ssl" && listed libssh2 "$ssh2" && listed curl "$curl" && listed wxwidgets3.2 "$wx"; then
    log "reusing $prefix"
    add_gumbo
    echo "$prefix"
    exit 0
  fi
done

read -r v_ssl ssl_dir < <(fetch openssl)
read -r v_ssh2 ssh2_dir < <(fetch libssh2)
read -r v_curl curl_dir < <(fetch curl)
read -r v_wx wx_dir < <(fetch wxwidgets3.2)
prefix="$cache/openssl-$v_ssl+ssh2-$v_ssh2+curl-$v_curl+wx-$v_wx"
log "building into $prefix"
mkdir -p "$prefix"
if [ ! -e "$prefix/notices/.complete" ]; then
  rm -rf "$prefix/notices"
  keep_notice OpenSSL "$v_ssl" "$ssl_dir" LICENSE.txt
  keep_notice libssh2 "$v_ssh2" "$ssh2_dir" COPYING
  keep_notice libcurl "$v_curl" "$curl_dir" COPYING
  keep_notice wxWidgets "$v_wx" "$wx_dir" docs/licence.txt docs/lgpl.txt
  touch "$prefix/notices/.complete"
fi

# OpenSSL: libraries only.
if ! built openssl; then
log "openssl $v_ssl"
(cd "$ssl_dir" &&
  ./Configure mingw64 --cross-compile-prefix=$host- --prefix="$prefix" --libdir=lib \
    no-shared no-tests no-dso no-engine no-module >/dev/null &&
  make -j"$jobs" build_libs >/dev/null 2>&1 &&
  make install_dev >/dev/null 2>&1) || failed openssl
mark openssl
fi

# libssh2: static, over the OpenSSL above (for SFTP).
if ! built ssh2; then
log "libssh2 $v_ssh2"
(cd "$ssh2_dir" &&
  LIBS="-lcrypt32 -lws2_32 -lbcrypt" ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --with-crypto=openssl --with-libssl-prefix="$prefix" --without-libz --disable-examples-build >/dev/null 2>&1 &&
  make -j"$jobs" -C src >/dev/null 2>&1 &&
  make -C src install >/dev/null && make install-includeHEADERS >/dev/null &&
  make install-pkgconfigDATA >/dev/null) || failed libssh2
mark ssh2
fi

# nghttp2: the library only, static (HTTP/2 for the check on the live site).
if ! built nghttp2; then
read -r v_h2 h2_dir < <(fetch nghttp2)
log "nghttp2 $v_h2"
# Its source comes without a configure script: built with CMake. Its clock
# is Windows' GetTickCount64 (told so: mingw's clock_gettime would be found
# and need the pthread library besides).
(cd "$h2_dir" &&
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_LIB_ONLY=ON -DENABLE_STATIC_LIB=ON -DENABLE_SHARED_LIB=OFF \
    -DENABLE_DOC=OFF -DHAVE_CLOCK_GETTIME=OFF >/dev/null 2>&1 &&
  cmake --build build-win -j"$jobs" >/dev/null 2>&1 &&
  cmake --install build-win >/dev/null 2>&1) || failed nghttp2
keep_notice nghttp2 "$v_h2" "$h2_dir" COPYING
mark nghttp2
fi

# libcurl: static, FTP, FTPS, SFTP and HTTP(S) (HTTP/2 too) over OpenSSL,
# libssh2 and nghttp2, nothing else it would pull in.
if ! built curl-h2; then
log "curl $v_curl"
(cd "$curl_dir" &&
  CPPFLAGS="-DCURL_STATICLIB -DNGHTTP2_STATICLIB" LIBS="-lcrypt32 -lws2_32 -lbcrypt" \
  PKG_CONFIG_PATH="$prefix/lib/pkgconfig" ./configure --host=$host --prefix="$prefix" \
    --disable-shared --enable-static --with-openssl="$prefix" --without-zlib --without-brotli --without-zstd \
    --without-libpsl --without-libidn2 --with-nghttp2="$prefix" --without-librtmp --with-libssh2="$prefix" \
    --disable-ldap --disable-ldaps --disable-manual --without-ca-bundle --without-ca-path >/dev/null 2>&1 &&
  make -j"$jobs" -C lib >/dev/null 2>&1 &&
  make -C lib install >/dev/null && make -C include install >/dev/null) || failed curl
mark curl-h2
fi

# wxWidgets: static base and core, without the libraries we do not use.
if ! built wx; then
log "wxwidgets $v_wx"
mkdir -p "$wx_dir/build-win"
(cd "$wx_dir/build-win" &&
  ../configure --host=$host --build=x86_64-linux-gnu --prefix="$prefix" --disable-shared --disable-debug \
    --enable-unicode --without-opengl --without-libpng --without-libjpeg --without-libtiff --without-liblzma --without-zlib \
    --without-expat --without-regex --disable-xrc --disable-html --disable-webview \
    --disable-mediactrl --disable-stc --disable-richtext --disable-ribbon --disable-propgrid --disable-aui \
    --disable-sound --disable-sockets --disable-protocols --disable-webrequest --disable-secretstore \
    --disable-svg >/dev/null &&
  make -j"$jobs" >/dev/null 2>&1 &&
  make install >/dev/null) || failed wxwidgets
mark wx
fi

# The settings reader is a single header; the same one the Linux build uses.
cp /usr/include/SimpleIni.h "$prefix/include/"

add_gumbo
touch "$prefix/.complete"
log "done"
echo "$prefix"
