#!/usr/bin/env bash
# Installs what building and testing Mulchvoice needs on Debian: the native and the
# 32-bit Windows cross toolchain, GoogleTest sources, Wine (32-bit) and a virtual display.
# As root it installs what is missing; otherwise it says what to install and fails.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev googletest
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 xvfb xauth x11-utils sox espeak-ng)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root:" >&2
  echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
