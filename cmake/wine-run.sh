#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: a private prefix inside the build tree
# (made on first use), a display (a private Xvfb when DISPLAY is unset), no Mono/Gecko
# prompts, no Wine debug noise. An x86-64 program runs in a 64-bit prefix through the 64-bit
# loader (which needs no 32-bit code at all); an i686 one in a 32-bit prefix. Exit status is
# the program's.
set -u
exe="$1"; shift
here=$(dirname "$(readlink -f "$0")")

# The build tree is the nearest folder above the program that holds CMakeCache.txt.
dir=$(cd "$(dirname "$exe")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$exe")" && pwd)

# shellcheck source=wine-arch.sh
. "$here/wine-arch.sh"
wine_arch_of "$exe" || { echo "wine-run: $exe is not a Windows program" >&2; exit 1; }

export WINEPREFIX="${LZF_WINEPREFIX:-$dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL="${LC_ALL:-zh_CN.UTF-8}"

if [ -z "${DISPLAY:-}" ]; then
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
  read -r _ xvfb_pid <&3
  read -r num <&3
  export DISPLAY=":$num"
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
fi

"$here/wine-prefix.sh" "$WINEPREFIX" || { echo "wine-run: could not create $WINEPREFIX" >&2; exit 1; }

"$WINELOADER" "$exe" "$@"
