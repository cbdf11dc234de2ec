#!/usr/bin/env bash
# A host builds against an installed copy: the build installed into a scratch prefix, then the
# demo host compiled and linked with what pkg-config says of libPlavikMS.
# Usage: install_host.sh BUILD_DIR SOURCE_DIR C_COMPILER VERSION [EXTRA_FLAGS...]
set -euo pipefail
build="$1" src="$2" cc="$3" version="$4"
shift 4
flags=()
for f in "$@"; do [ -n "$f" ] && flags+=("$f"); done
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/PlavikMS.h"
test -f "$prefix/share/PlavikMS/fontdb/OCRBA04.DB"
pc="$(find "$prefix" -name libPlavikMS.pc)"
export PKG_CONFIG_PATH="$(dirname "$pc")"
got="$(pkg-config --modversion libPlavikMS)"
[ "$got" = "$version" ] || { echo "pkg-config version $got, expected $version"; exit 1; }
libs="$(pkg-config --libs libPlavikMS)"
case "$libs" in *"$prefix"*) ;; *) echo "pkg-config libs $libs miss the prefix $prefix"; exit 1;; esac
"$cc" -std=c99 -Wall -Wextra -Werror "$src/examples/pvkdemo.c" $(pkg-config --cflags libPlavikMS) $libs \
  "${flags[@]}" -o "$prefix/host"
test -x "$prefix/host"
echo "install_host: built a host against $pc"
