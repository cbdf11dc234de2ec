#!/usr/bin/env bash
# A host builds against an installed copy: the build installed into a scratch prefix, then the
# demo host compiled and linked with what pkg-config says of libPlavikMS, and the README's quick
# start (the copy installed with the library, which must be the README's) built with the software
# scanner and run with an INI file that names nothing but its configuration directory (so that
# the start-up's trace goes there, not to the default /home/): it reads its cheque's OCR-B line,
# Code 128 and E13B codeline through the installed library and its installed font databases, and
# saves the front as JPEG.
# With --pvk-only: a host that calls only PVK functions finds the software scanner, linked with
# both pkg-config modules and --as-needed (so that nothing but the flags keeps the scanner), and
# linked with libPlavikMS alone and run with the scanner's folder on LD_LIBRARY_PATH.
# Usage: install_host.sh [--pvk-only] BUILD_DIR SOURCE_DIR C_COMPILER VERSION VENDOR_ID [EXTRA_FLAGS...]
set -euo pipefail
pvkOnly=0
if [ "${1:-}" = --pvk-only ]; then pvkOnly=1; shift; fi
build="$1" src="$2" cc="$3" version="$4" vendor="$5"
shift 5
flags=()
for f in "$@"; do [ -n "$f" ] && flags+=("$f"); done
prefix="$(mktemp -d)"
# The lock file the library keeps for the quick start's scanner (the software scanner's full
# profile) goes with the test, as the scratch prefix does.
lockdir=/tmp
[ -w /dev/shm ] && [ -x /dev/shm ] && lockdir=/dev/shm
lock="$lockdir/vid_$(printf %04x "$vendor")_pid_0009_snLow_12400512_EP0_A.lock"
trap 'rm -rf "$prefix" "$lock"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/PlavikMS.h"
test -f "$prefix/share/PlavikMS/fontdb/OCRBA04.DB"
test -f "$prefix/share/PlavikMS/fontdb/stamp12.fnt"
pc="$(find "$prefix" -name libPlavikMS.pc)"
export PKG_CONFIG_PATH="$(dirname "$pc")"
got="$(pkg-config --modversion libPlavikMS)"
[ "$got" = "$version" ] || { echo "pkg-config version $got, expected $version"; exit 1; }
libs="$(pkg-config --libs libPlavikMS)"
case "$libs" in *"$prefix"*) ;; *) echo "pkg-config libs $libs miss the prefix $prefix"; exit 1;; esac
run="$prefix/run"
mkdir -p "$run/cnf"
printf '[General]\r\nCnfDir=%s\r\n' "$run/cnf" > "$(pkg-config --variable=libdir libPlavikMS)/libPlavikMS.ini"

if [ "$pvkOnly" = 1 ]; then
  host="$src/tests/api/scanner_host.c"
  "$cc" -std=c99 -Wall -Wextra -Werror "$host" -Wl,--as-needed \
    $(pkg-config --cflags --libs libPlavikMS libPlavikMS-emulator) "${flags[@]}" -o "$prefix/scanner_host"
  got="$(LD_LIBRARY_PATH="$prefix/lib" "$prefix/scanner_host" "$run/cnf")"
  [ "$got" = "scanner 12400512" ] || { echo "pkg-config route: $got"; exit 1; }
  "$cc" -std=c99 -Wall -Wextra -Werror "$host" $(pkg-config --cflags --libs libPlavikMS) "${flags[@]}" \
    -o "$prefix/scanner_host_path"
  got="$(LD_LIBRARY_PATH="$prefix/lib/PlavikMS/emulator:$prefix/lib" "$prefix/scanner_host_path" "$run/cnf")"
  [ "$got" = "scanner 12400512" ] || { echo "LD_LIBRARY_PATH route: $got"; exit 1; }
  echo "install_host: a host of PVK calls alone found the software scanner both ways"
  exit 0
fi

"$cc" -std=c99 -Wall -Wextra -Werror "$src/examples/pvkdemo.c" $(pkg-config --cflags libPlavikMS) $libs \
  "${flags[@]}" -o "$prefix/host"
test -x "$prefix/host"
echo "install_host: built a host against $pc"

examples="$prefix/share/PlavikMS/examples"
awk '/^<!-- examples\/quickstart.c -->$/{on=1; next} on && /^```c$/{next} on && /^```$/{exit} on' \
  "$src/README.md" | cmp - "$examples/quickstart.c"
"$cc" -std=c99 -Wall -Wextra -Werror "$examples/quickstart.c" \
  $(pkg-config --cflags --libs libPlavikMS libPlavikMS-emulator) "${flags[@]}" -o "$prefix/quickstart"
(cd "$run" && LD_LIBRARY_PATH="$prefix/lib" "$prefix/quickstart" "$examples/cheque.pgm" "$run/cnf") > "$run/out.txt"
grep -qx "zone 0: 00421234-5678/90 (16 characters)" "$run/out.txt" || { cat "$run/out.txt"; exit 1; }
grep -qx "zone 1: DEMO-128-2026 (13 characters)" "$run/out.txt" || { cat "$run/out.txt"; exit 1; }
grep -qx "zone 2: 116380925;4330697;352 (21 characters)" "$run/out.txt" || { cat "$run/out.txt"; exit 1; }
[ "$(head -c 3 "$run/front.jpg" | od -An -tx1 | tr -d ' ')" = ffd8ff ]
echo "install_host: the quick start read its cheque through the installed library"
