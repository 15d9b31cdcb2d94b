# shellcheck shell=bash
# Debian's 32-bit Wine where the kernel runs no 32-bit programs (some virtual machines have no
# 32-bit user mode): the same wine32 under qemu-i386 (version 8 or later). Sourced, bash 5.
#
# Wine starts its server and every further process by executing files beside its loader, so the
# shim is a copy of the loader in a directory of its own, beside two scripts: `wine-preloader`,
# which Wine executes to start each process and which hands the loader to qemu, and
# `wineserver`. Wine then runs as `qemu-i386 SHIM/lib/wine/wine PROGRAM`; SHIM/lib/wine/wineserver
# executes the server itself (no fork), so that a server started in the background has that
# process's id.

WINE_BIN_DIR=/usr/lib/wine
WINE_LIB_DIR=/usr/lib/i386-linux-gnu
WINE_DATA_DIR=/usr/share/wine

# Can this kernel run 32-bit x86 programs? The i386 dynamic loader is installed with wine32.
# MULCHVOICE_WINE_EMULATE=1 answers no on any machine.
runs_32bit_natively() {
  [ "${MULCHVOICE_WINE_EMULATE:-0}" != 1 ] && /lib/ld-linux.so.2 --help >/dev/null 2>&1
}

qemu_usable() {
  command -v qemu-i386 >/dev/null 2>&1 || return 1
  local major
  major=$(qemu-i386 --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  [ -n "$major" ] && [ "$major" -ge 8 ]
}

# Makes the shim in SHIM afresh, so that it follows updates of the installed Wine.
make_qemu_shim() {  # make_qemu_shim SHIM
  mkdir -p "$1/lib/wine" "$1/share"
  # Wine finds its libraries and data relative to the loader, as in /usr.
  ln -sfn "$WINE_LIB_DIR" "$1/lib/i386-linux-gnu"
  ln -sfn "$WINE_DATA_DIR" "$1/share/wine"
  cp -f "$WINE_BIN_DIR/wine" "$1/lib/wine/wine.new"
  mv -f "$1/lib/wine/wine.new" "$1/lib/wine/wine"
  # shellcheck disable=SC2016  # $@ belongs to the scripts written
  printf '#!/bin/sh\nexec qemu-i386 "$@"\n' >"$1/lib/wine/wine-preloader"
  printf '#!/bin/sh\nexec qemu-i386 %s "$@"\n' "$WINE_BIN_DIR/wineserver32" >"$1/lib/wine/wineserver"
  chmod +x "$1/lib/wine/wine-preloader" "$1/lib/wine/wineserver"
}
