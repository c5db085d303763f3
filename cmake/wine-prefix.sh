#!/usr/bin/env bash
# Creates a Wine prefix once (concurrent callers wait for the first): wineboot, then the
# font replacements the program's windows need (Wine has no 微软雅黑). WINEARCH and WINELOADER
# say which kind of prefix (cmake/wine-arch.sh); a 32-bit prefix when they are unset.
set -u
prefix="$1"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.lanzifang-ready-2" ] && exit 0

here=$(dirname "$(readlink -f "$0")")
# shellcheck source=wine-arch.sh
. "$here/wine-arch.sh"
[ -n "${WINELOADER:-}" ] || wine_use_arch "${WINEARCH:-win32}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$WINELOADER" wineboot -i >/dev/null 2>&1 || exit 1
reg=$(mktemp --suffix=.reg)
{
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  printf '"微软雅黑"="WenQuanYi Micro Hei"\r\n'
  printf '"Microsoft YaHei"="WenQuanYi Micro Hei"\r\n'
  printf '"SimSun"="WenQuanYi Zen Hei"\r\n'
  printf '"宋体"="WenQuanYi Zen Hei"\r\n'
  printf '"MS Shell Dlg"="WenQuanYi Micro Hei"\r\n'
  # No window manager runs under Xvfb: let Wine draw the window frames itself.
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n"Decorated"="N"\r\n'
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
} | iconv -f UTF-8 -t GB18030 > "$reg"
LC_ALL=zh_CN.UTF-8 "$WINELOADER" regedit /S "$("$WINELOADER" winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$reg"
wineserver -w
touch "$prefix/.lanzifang-ready-2"
