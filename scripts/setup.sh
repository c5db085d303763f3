#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine (run as root). Safe to run
# again: it only installs what is missing. Wine comes for both architectures: the 32-bit
# loader runs the i686 product where the machine allows, the 64-bit one the x86-64 twin.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config dpkg-dev git curl ca-certificates
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils
  g++ zlib1g-dev libpng-dev libpcre2-dev duktape-dev googletest
  libcpp-httplib-dev libfreetype-dev libharfbuzz-dev
  wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick locales clang-format
  fonts-wqy-microhei fonts-wqy-zenhei fonts-arphic-ukai fonts-arphic-uming fonts-dejavu-core
  libssl-dev
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
have_i386=$(dpkg --print-foreign-architectures | grep -c '^i386$' || true)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source packages come from deb-src; enable it next to every deb entry where it is missing.
need_src=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  need_src=1
fi

if [ "$have_i386" = 0 ] || [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ]; then
  [ "$have_i386" = 0 ] && as_root dpkg --add-architecture i386
  if [ $need_src = 1 ]; then
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    done
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee -a /etc/apt/sources.list >/dev/null
    fi
  fi
  echo "setup: installing ${missing[*]:-(source lists only)}"
  as_root apt-get update -q
  [ ${#missing[@]} -gt 0 ] && DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Locales the program and its tests run under.
for loc in zh_CN.UTF-8 en_US.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc%%.*}\.utf-\?8$"; then
    as_root sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
    grep -q "^${loc} UTF-8" /etc/locale.gen || echo "${loc} UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    need_locale_gen=1
  fi
done
[ "${need_locale_gen:-0}" = 1 ] && as_root locale-gen >/dev/null
exit 0
