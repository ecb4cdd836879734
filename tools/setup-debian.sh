#!/bin/bash
# Installs everything the build and the tests need on a Debian bookworm machine.
# Idempotent; run as root. Safe to run before every build.
set -eu

need_install=0
dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; need_install=1; }

packages="cmake make g++ zlib1g-dev googletest g++-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32:i386 xvfb unifont msitools wixl faketime attr liblnk-utils imagemagick locales
  libdeflate-dev osslsigncode nsis openssl fonts-wine"
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install=1
done
if [ "$need_install" = 1 ]; then
  # A mirror caught mid-sync serves an index of the wrong size for a while;
  # a few tries usually outlast it.
  for try in 1 2 3; do
    apt-get update && break
    [ "$try" = 3 ] || sleep 10
  done
  # When an index stayed missing (typically the i386 half of the security
  # updates), the amd64 halves are newer than their i386 partners and
  # wine32:i386 cannot resolve. The base release alone is one consistent
  # index, so it is the fallback.
  install() { DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@" $packages; }
  if ! install; then
    echo "setup: the package index is incomplete (a mirror mid-sync?); installing from the base release, bookworm"
    install -t bookworm
  fi
fi

# Wine's 32-bit half is an i386 Linux program. Some kernels are built without
# 32-bit support; there the i386 programs run under QEMU's user-mode emulator
# through binfmt_misc. Bookworm's QEMU 7.2 ignores MAP_FIXED_NOREPLACE, which
# Wine needs to place its shared user data, so a newer Debian build is used.
if ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  qemu=/opt/lunko-qemu/usr/bin/qemu-i386
  if [ ! -x "$qemu" ]; then
    state=$(mktemp -d)
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
    echo 'deb http://deb.debian.org/debian trixie main' > "$state/sources.list"
    apt_opts="-o Dir::Etc::sourcelist=$state/sources.list -o Dir::Etc::sourceparts=/nonexistent
      -o Dir::State::Lists=$state/lists -o Dir::Cache=$state/cache -o APT::Sandbox::User=root"
    apt-get $apt_opts update
    (cd "$state" && apt-get $apt_opts download qemu-user:amd64)
    mkdir -p /opt/lunko-qemu
    dpkg-deb -x "$state"/qemu-user_*.deb /opt/lunko-qemu
    rm -rf "$state"
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    > /proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1 || { echo "setup: i386 programs still cannot run" >&2; exit 1; }
fi
