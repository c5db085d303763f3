#!/usr/bin/env bash
# run.sh [<bench_soak.exe> <service-exe>] [FONTS] [STEPS] [DOWNLOADS] [CANCELS] [PICTURES]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Starts a private local catalogue service with FONTS fonts (default 10000: two real font files
# and generated fonts mapped onto them) and runs bench_soak.exe under Wine against it: STEPS ↓
# steps (default 1000) with DOWNLOADS downloads (200), CANCELS of them cancelled (20), and
# PICTURES picture saves (50) spread over the run, the save dialogs and messages answered as a
# user would. Prints private bytes, handles, GDI and USER objects after the load, every 100
# steps and at the end, with their ratio to the figures after the first 100 steps. Builds
# nothing; exits non-zero when a download or save did not end as it should.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

exe=$(bench_exe "${1:-}" bench/soak/bench_soak.exe) server=$(bench_service "${2:-}")
fonts=${3:-10000} steps=${4:-1000} downloads=${5:-200} cancels=${6:-20} pictures=${7:-50}
bench_build "$exe"
dir=/usr/share/fonts/truetype
for f in "$dir/wqy/wqy-microhei.ttc" "$dir/dejavu/DejaVuSans.ttf"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done
[ -x "$exe" ] || { echo "missing $exe (build the target bench_soak)" >&2; exit 1; }

echo "service: $server"
"$root/tests/support/with-service.sh" "$server" \
  "--fonts;$dir/wqy/wqy-microhei.ttc;--fonts;$dir/dejavu/DejaVuSans.ttf;--synthetic;$((fonts - 2))" \
  "$root/cmake/wine-run.sh" "$exe" "$steps" "$downloads" "$cancels" "$pictures" | tr -d '\r'
exit "${PIPESTATUS[0]}"
