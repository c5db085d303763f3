# Sourced by the Wine helpers: picks Wine's architecture and loader for a Windows program.
#   wine_arch_of <program.exe>
# reads the machine field of its PE header and sets WINEARCH (win32 or win64) and WINELOADER
# (the 32-bit loader, or the 64-bit one, which runs x86-64 programs without any 32-bit code).
# Returns 1 when the file is not a PE image for i386 or x86-64.
wine_arch_of() {
  local lfanew machine
  lfanew=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$lfanew" ] || return 1
  machine=$(od -An -t x2 -j $((lfanew + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    8664) wine_use_arch win64 ;;
    014c) wine_use_arch win32 ;;
    *) return 1 ;;
  esac
}

# wine_use_arch win32|win64: sets WINEARCH and WINELOADER for that kind of prefix.
wine_use_arch() {
  export WINEARCH="$1"
  if [ "$1" = win64 ]; then
    WINELOADER=/usr/lib/wine/wine64
    [ -x "$WINELOADER" ] || WINELOADER=$(command -v wine64 || echo wine64)
  else
    WINELOADER=/usr/lib/wine/wine
    [ -x "$WINELOADER" ] || WINELOADER=$(command -v wine || echo wine)
  fi
  export WINELOADER
}
