#!/usr/bin/env bash
# Sets everything up and runs every test: the native tree (sanitizers) and the Windows tree
# (under Wine). Prints CTest's summary of each and one closing line for both.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1
format_ok=1
bash scripts/check-format.sh || format_ok=0
bash scripts/build.sh || { echo "build failed"; exit 1; }

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
ctest --preset native -j"$jobs" 2>&1 | tee build/native-tests.log
native_rc=${PIPESTATUS[0]}
# Windows programs one at a time: they share one display and one wineserver, and windows of
# two programs at once take the activation and the keyboard from each other.
ctest --preset windows -j1 2>&1 | tee build/windows-tests.log
windows_rc=${PIPESTATUS[0]}
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true

count() {  # passed failed from "N% tests passed, F tests failed out of T"
  local line; line=$(summary "$1")
  local failed total
  failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  total=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
  [ -n "$line" ] || { failed=1; total=1; }
  echo "$((total - failed)) $failed"
}
read -r np nf < <(count build/native-tests.log)
read -r wp wf < <(count build/windows-tests.log)
echo
echo "native:  $(summary build/native-tests.log)"
echo "windows: $(summary build/windows-tests.log)"
[ $format_ok = 1 ] || { echo "format check failed"; nf=$((nf + 1)); }
echo "tests: $((np + wp)) passed, $((nf + wf)) failed"
[ $native_rc = 0 ] && [ $windows_rc = 0 ] && [ $format_ok = 1 ]
