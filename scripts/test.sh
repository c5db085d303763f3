#!/usr/bin/env bash
# Sets everything up and runs every test this machine can run: the native tree (sanitizers),
# the x86-64 Windows tree (under 64-bit Wine) always, and the i686 Windows tree (under 32-bit
# Wine) where the machine runs 32-bit code. Prints CTest's summary of each suite that ran, says
# so plainly when the i686 suite was skipped and why, and ends with one line for all of them.
# A failing suite fails the command; a suite this machine cannot run does not.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1
format_ok=1
bash scripts/check-format.sh || format_ok=0
layers_ok=1
bash scripts/check-layers.sh || layers_ok=0

probe=$(bash scripts/can-run-32bit.sh)
run_i686=$?
echo "$probe"
if [ $run_i686 = 0 ]; then
  bash scripts/build.sh || { echo "build failed"; exit 1; }
else
  # The i686 product is still built and checked; only its tests are left out.
  bash scripts/build.sh --i686-product-only || { echo "build failed"; exit 1; }
fi

# One display for the whole run (the Wine wrapper would otherwise start one per test).
if [ -z "${DISPLAY:-}" ]; then
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
  read -r _ xvfb_pid <&3
  read -r num <&3
  export DISPLAY=":$num"
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
fi

jobs=$(nproc)
summary() { grep -E '^[0-9]+% tests passed' "$1" | tail -1; }
count() {  # passed failed from "N% tests passed, F tests failed out of T"
  local line failed total
  line=$(summary "$1")
  failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  total=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
  [ -n "$line" ] || { failed=1; total=1; }
  echo "$((total - failed)) $failed"
}

ctest --preset native -j"$jobs" 2>&1 | tee build/native-tests.log
native_rc=${PIPESTATUS[0]}
# Windows programs one at a time: they share one display, and windows of two programs at once
# take the activation and the keyboard from each other.
ctest --preset windows64 -j1 2>&1 | tee build/windows64-tests.log
windows64_rc=${PIPESTATUS[0]}
WINEPREFIX="$PWD/build/windows64/wineprefix" wineserver -k 2>/dev/null || true
windows_rc=0
if [ $run_i686 = 0 ]; then
  ctest --preset windows -j1 2>&1 | tee build/windows-tests.log
  windows_rc=${PIPESTATUS[0]}
  WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
fi

read -r np nf < <(count build/native-tests.log)
read -r xp xf < <(count build/windows64-tests.log)
wp=0 wf=0
[ $run_i686 = 0 ] && read -r wp wf < <(count build/windows-tests.log)
echo
echo "native (sanitizers):       $(summary build/native-tests.log)"
echo "windows64 (x86-64 twin):   $(summary build/windows64-tests.log)"
if [ $run_i686 = 0 ]; then
  echo "windows (i686 product):    $(summary build/windows-tests.log)"
else
  echo "windows (i686 product):    skipped, because the i686 tests need 32-bit x86 code and here"
  echo "                           it is ${probe#32-bit x86 code: }."
  echo "                           The i686 lanzifang.exe was built and checked to be a PE32 GUI image."
fi
[ $format_ok = 1 ] || { echo "format check failed"; nf=$((nf + 1)); }
[ $layers_ok = 1 ] || { echo "layer check failed"; nf=$((nf + 1)); }
echo "tests: $((np + xp + wp)) passed, $((nf + xf + wf)) failed"
[ $native_rc = 0 ] && [ $windows64_rc = 0 ] && [ $windows_rc = 0 ] && [ $format_ok = 1 ] &&
  [ $layers_ok = 1 ]
