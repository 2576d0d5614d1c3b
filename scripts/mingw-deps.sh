#!/usr/bin/env bash
# Builds the static MinGW-w64 libraries the Windows build links against, from
# Debian's own source packages: Lua 5.1, libpng, libjpeg-turbo, libcurl
# (Schannel, no OpenSSL), libmicrohttpd (plain HTTP, no GnuTLS), libsodium
# (its minimal build: the release signature's Ed25519 and BLAKE2b) and
# GoogleTest. zlib comes from libz-mingw-w64-dev.
#
# Usage: mingw-deps.sh x86_64|i686
# Everything lands in $ZDL_DEPS_CACHE (default /var/cache/zdl-deps), outside
# the checkout: sources once under src/, one install prefix per target, and a
# stamp per package keyed by its source version, so a second run builds nothing.
set -euo pipefail
arch=${1:?usage: mingw-deps.sh x86_64|i686}
case "$arch" in x86_64|i686) ;; *) echo "mingw-deps: unknown target '$arch'" >&2; exit 2 ;; esac
triple=$arch-w64-mingw32
cache=${ZDL_DEPS_CACHE:-/var/cache/zdl-deps}
prefix=$cache/$arch
srcroot=$cache/src
jobs=$(nproc)
mkdir -p "$prefix/include" "$prefix/lib" "$srcroot" "$cache/stamps"

cc=$triple-gcc-posix
cxx=$triple-g++-posix
toolchain=$cache/toolchain-$arch.cmake
cat > "$toolchain.tmp" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
if cmp -s "$toolchain.tmp" "$toolchain"; then rm "$toolchain.tmp"; else mv "$toolchain.tmp" "$toolchain"; fi

# Version of a source package as apt would fetch it.
src_version() {
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V | tail -n 1
}

# Unpacks source package $1 once; prints its directory.
fetch_source() {
  local pkg=$1 ver dir
  ver=$(src_version "$pkg")
  [ -n "$ver" ] || { echo "mingw-deps: no source for $pkg (is deb-src enabled?)" >&2; exit 1; }
  dir=$srcroot/${pkg}_$ver
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    ( cd "$dir" && { apt-get source -q "$pkg" >/dev/null 2>&1 || apt-get source -q "$pkg/bookworm" >/dev/null; } )
    touch "$dir/.unpacked"
  fi
  local tree
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  echo "$tree"
}

# Runs "build_$pkg <srcdir>" unless the stamp for this package version exists.
build_once() {
  local pkg=$1 fn=$2 ver stamp
  ver=$(src_version "$pkg")
  stamp=$cache/stamps/$arch-$pkg-$ver
  [ -f "$stamp" ] && return 0
  local src
  src=$(fetch_source "$pkg")
  echo "mingw-deps: building $pkg $ver for $arch"
  local log=$cache/stamps/$arch-$pkg.log
  if ! "$fn" "$src" >"$log" 2>&1; then
    echo "mingw-deps: $pkg failed for $arch; last lines of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
  touch "$stamp"
}

cmake_static() {  # src builddir extra-args...
  local src=$1 bld=$2; shift 2
  rm -rf "$bld"
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  cmake --build "$bld" -j "$jobs"
  cmake --install "$bld"
  rm -rf "$bld"
}

build_lua() {
  # Lua's own makefiles build an executable and a DLL; the library is just
  # the core and standard library sources, so compile those directly.
  local src=$1/src obj=$cache/build-lua-$arch
  rm -rf "$obj" && mkdir -p "$obj"
  local f
  for f in "$src"/*.c; do
    case "$(basename "$f")" in lua.c|luac.c|print.c) continue ;; esac
    $cc -O2 -DLUA_BUILD_AS_LIB -c "$f" -o "$obj/$(basename "${f%.c}").o"
  done
  rm -f "$prefix/lib/liblua5.1.a"
  "$triple-ar" rcs "$prefix/lib/liblua5.1.a" "$obj"/*.o
  mkdir -p "$prefix/include/lua5.1"
  cp "$src/lua.h" "$src/luaconf.h" "$src/lualib.h" "$src/lauxlib.h" "$prefix/include/lua5.1/"
  printf '%s\n' 'extern "C" {' '#include "lua.h"' '#include "lualib.h"' '#include "lauxlib.h"' '}' \
    > "$prefix/include/lua5.1/lua.hpp"
  rm -rf "$obj"
}

build_png() {
  cmake_static "$1" "$cache/build-png-$arch" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="/usr/$triple/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$triple/include"
}

build_jpeg() {
  cmake_static "$1" "$cache/build-jpeg-$arch" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_curl() {
  cmake_static "$1" "$cache/build-curl-$arch" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF \
    -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_STATICLIB=ON -DHTTP_ONLY=ON
}

build_microhttpd() {
  # The core's peer server speaks plain HTTP on the local network: no HTTPS
  # (GnuTLS), no authentication, no POST parsing, no curl-based tests, no
  # documentation or examples.
  local src=$1 bld=$cache/build-microhttpd-$arch
  rm -rf "$bld" && mkdir -p "$bld"
  ( cd "$bld" && "$src/configure" --host="$triple" --prefix="$prefix" CC="$cc" \
      --enable-static --disable-shared --enable-https=no --disable-curl \
      --disable-doc --disable-examples --disable-nls --disable-dauth --disable-bauth \
      --disable-postprocessor --disable-httpupgrade \
    && make -j "$jobs" -C src/microhttpd && make -C src/microhttpd install && make -C src/include install )
  rm -rf "$bld"
}

build_sodium() {
  # Autotools: configured from a copy, so the unpacked source stays clean
  # for the other target. --enable-minimal keeps what verifying a
  # signature needs.
  local src=$1 bld=$cache/build-sodium-$arch
  rm -rf "$bld" && cp -a "$src" "$bld"
  ( cd "$bld"
    [ -x configure ] || ./autogen.sh -s
    ./configure --host="$triple" --prefix="$prefix" --disable-shared --enable-static --enable-minimal \
      --disable-pie --disable-ssp CC="$cc" CFLAGS="-O2"
    make -j "$jobs"
    make install )
  rm -rf "$bld"
}

build_gtest() {
  cmake_static "$1" "$cache/build-gtest-$arch" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF
}

build_once lua5.1 build_lua
build_once libpng1.6 build_png
build_once libjpeg-turbo build_jpeg
build_once curl build_curl
build_once libmicrohttpd build_microhttpd
build_once libsodium build_sodium
build_once googletest build_gtest
