#!/usr/bin/env bash
# Creates a Wine prefix once (concurrent callers wait for the first): wineboot, then the
# font replacements the program's windows need (Wine has no 微软雅黑).
set -u
prefix="$1"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.lanzifang-ready-2" ] && exit 0

export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || exit 1
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
LC_ALL=zh_CN.UTF-8 wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$reg"
wineserver -w
touch "$prefix/.lanzifang-ready-2"
