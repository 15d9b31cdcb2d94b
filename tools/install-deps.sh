#!/usr/bin/env bash
# Installs what building and testing Mulchvoice needs on Debian: the native and the 32-bit and
# 64-bit Windows cross toolchains, GoogleTest sources, stb's header-only PNG writer, sox and
# espeak-ng, for the LV2 plug-in the LV2 headers and validator (lv2-dev, sordi), the loader
# library lilv with its command-line host, the real-time host jalv with the JACK server and its
# example clients (jackd2), the X11 headers for its panel and xdotool for the panel's tests, for
# the offline host libsndfile, for the benchmark the packaged vocoder it times beside ours and
# valgrind, whose callgrind counts the instructions; and Wine (32-bit and 64-bit) with a virtual
# display, which only the DLLs' tests and the offline host's DLL route need (the host tests of
# the LV2 plug-in need the display too).
# As root it installs what is missing; otherwise it says what to install and fails.
#
#   tools/install-deps.sh                  everything
#   tools/install-deps.sh --without-wine   everything but Wine and its display
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev googletest libstb-dev
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          sox espeak-ng libsndfile1-dev
          pkg-config lv2-dev sordi liblilv-dev lilv-utils jalv jackd2 mda-lv2 valgrind
          libx11-dev xdotool)
wine_packages=(wine wine32:i386 wine64 xvfb xauth x11-utils)

case ${1:-} in
  '') packages+=("${wine_packages[@]}"); with_wine=1 ;;
  --without-wine) with_wine=0 ;;
  *) echo "usage: tools/install-deps.sh [--without-wine]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Some virtual machines run no 32-bit x86 programs at all. There wine32 runs under qemu-i386,
# which must be version 8 or later (older ones cannot reserve the memory Wine asks for); Debian
# 12 has it in its backports.
needs_qemu() {
  [ "$with_wine" = 1 ] || return 1
  [ -e /lib/ld-linux.so.2 ] || return 1  # wine32 is not installed yet: check again afterwards
  /lib/ld-linux.so.2 --help >/dev/null 2>&1 && return 1
  local major
  major=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  [ -z "$major" ] || [ "$major" -lt 8 ]
}

install_qemu() {
  local suite
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ "$suite" = bookworm ]; then
    if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        >/etc/apt/sources.list.d/bookworm-backports.sources
    fi
    apt-get update -q
    apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user
  else
    apt-get update -q
    apt-get install -y -q --no-install-recommends qemu-user
  fi
}

if [ ${#missing[@]} -eq 0 ] && ! needs_qemu; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  needs_qemu && missing+=("qemu-user (8 or later)")
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root:" >&2
  if [ "$with_wine" = 1 ]; then
    echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}" >&2
  else
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  fi
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$with_wine" = 1 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if needs_qemu; then
  echo "This kernel runs no 32-bit programs: installing qemu-user for Wine"
  install_qemu
fi
