#!/usr/bin/env bash
# Installs every system package the build, the tests and the demo need, and
# builds the MinGW-w64 static libraries into a cache outside the checkout.
# Idempotent: a second run with everything present finishes in seconds.
#
# Usage: deps.sh [--64-only]
# --64-only leaves out what only the i686 tree needs (32-bit Wine, the i686
# MinGW libraries): the demo runs the 64-bit zdl.exe alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/apt-retry.sh
. "$here/apt-retry.sh"
with_i686=1
case "${1:-}" in
  --64-only) with_i686=0 ;;
  "") ;;
  *) echo "deps: unknown option '$1' (usage: deps.sh [--64-only])" >&2; exit 2 ;;
esac

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  libz-mingw-w64-dev
  liblua5.1-0-dev lua5.1 libpng-dev zlib1g-dev libjpeg-dev libcurl4-openssl-dev libssl-dev
  libmicrohttpd-dev
  googletest libgtest-dev libfreetype-dev libfontconfig-dev libpixman-1-dev
  libcairo2-dev libpango1.0-dev
  clang libclang-rt-14-dev
  clang-format-14 shellcheck
  wine64 xvfb xdotool x11-utils imagemagick fonts-wqy-microhei
  nginx-light aria2 curl nasm locales ccache
  libsodium-dev minisign autoconf automake libtool
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source packages are needed for the MinGW libraries.
enable_deb_src() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && ! grep -q 'deb-src' "$f"; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    return 0
  fi
  return 1
}
need_update=0
enable_deb_src && need_update=1
[ ${#missing[@]} -gt 0 ] && need_update=1
if [ ! -d /var/lib/apt/lists ] || [ -z "$(ls /var/lib/apt/lists/*Sources* 2>/dev/null)" ]; then need_update=1; fi
if [ "$need_update" = 1 ]; then
  echo "deps: apt-get update"
  zdl_apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  zdl_apt_install --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine runs the i686 tree (the shipping zdl.exe). It needs the i386
# architecture; installing it adds 32-bit libraries and may upgrade 64-bit
# ones in step, never removes anything (--no-remove makes apt refuse that).
# It serves only the i686 tests: where it cannot be had, the set-up goes on
# and make test says loudly that the i686 tree was not tested.
if [ "$with_i686" = 1 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  echo "deps: installing wine32:i386"
  # Optional, and tried at every set-up while missing: a short retry only.
  ZDL_APT_TRIES=2 ZDL_APT_PAUSE=10 zdl_apt_update
  ZDL_APT_TRIES=2 ZDL_APT_PAUSE=10 zdl_apt_install --no-remove --no-install-recommends wine32:i386 \
    || echo "deps: !!! wine32:i386 could not be installed: make test will skip the i686 tree !!!"
fi

# The kernel runs the 32-bit loader itself when IA32 emulation is on. Where
# it is off (some virtual machines boot with it disabled), qemu-user from
# bookworm-backports runs i386 programs through binfmt_misc, about ten times
# slower; bookworm's own qemu 7.2 cannot run Wine. The registration lasts
# until the next boot; deps renews it.
if [ "$with_i686" = 1 ] && [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "deps: this kernel does not run 32-bit programs; i386 programs go through qemu-user"
  if ! dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -q bpo; then
    f=/etc/apt/sources.list.d/zdl-backports.sources
    [ -f "$f" ] || printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$f"
    zdl_apt_update
    zdl_apt_install --no-remove --no-install-recommends -t bookworm-backports qemu-user \
      || echo "deps: qemu-user could not be installed"
  fi
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || true
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -w /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      >/proc/sys/fs/binfmt_misc/register || true
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || echo "deps: 32-bit programs still do not run here; make test will skip the i686 tree"
fi

# Wine takes its ANSI code page from the locale: the Chinese one gives 936,
# the US one 1252, the Hindi one 65001 (UTF-8 as the ANSI code page, as on a
# Windows with "UTF-8 for worldwide language support"); the core's tests run
# under the first two, the install journey under all three.
for loc in zh_CN en_US hi_IN; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf8$"; then
    echo "deps: generating the $loc.UTF-8 locale"
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null || echo "$loc.UTF-8 UTF-8" >> /etc/locale.gen
    locale-gen >/dev/null
  fi
done

"$here/mingw-deps.sh" x86_64
[ "$with_i686" = 0 ] || "$here/mingw-deps.sh" i686
