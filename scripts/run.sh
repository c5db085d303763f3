#!/usr/bin/env bash
# Sets everything up, starts the local catalogue service and runs lanzifang.exe against it
# under Wine: the i686 product where this machine runs 32-bit code, otherwise its x86-64 twin;
# it says which it started. Without a display it starts Xvfb and says where.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh --programs
if probe=$(bash scripts/can-run-32bit.sh); then
  tree=build/windows build_name="i686 product (PE32, 32-bit Wine)"
else
  tree=build/windows64 build_name="x86-64 twin (PE32+, 64-bit Wine)"
fi

port=18765
log=build/service.log
build/native/server/lanzifang-catalogue-server --port "$port" --log "$log" >build/service.out 2>&1 &
service_pid=$!
cleanup() {
  kill "$service_pid" 2>/dev/null || true
  # Wine's helper processes go before the display they are connected to.
  WINEPREFIX="$PWD/$tree/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do grep -q '^listening on' build/service.out 2>/dev/null && break; sleep 0.1; done
grep -q '^listening on' build/service.out || { echo "the catalogue service did not start:"; cat build/service.out; exit 1; }
echo "catalogue service: http://127.0.0.1:$port/ (requests logged to $log)"

if [ -z "${DISPLAY:-}" ]; then
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
  read -r _ xvfb_pid <&3
  read -r num <&3
  export DISPLAY=":$num"
  echo "No display: started Xvfb on $DISPLAY. See it with: DISPLAY=$DISPLAY import -window root shot.png"
fi

export LANZIFANG_CATALOGUE_URL="http://127.0.0.1:$port/"
export LANZIFANG_UPDATE_URL="http://127.0.0.1:$port/skin/update.html"
export LZF_WINEPREFIX="$PWD/$tree/wineprefix"
echo "$probe"
echo "starting the $build_name: $tree/app/lanzifang.exe"
cmake/wine-run.sh "$tree/app/lanzifang.exe"
