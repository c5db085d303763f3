#!/usr/bin/env bash
# run.sh [<bench_catalogue.exe> <service-exe>] [FONTS] [ROUNDS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Starts a private local catalogue service with a catalogue of FONTS fonts (default 10000: one
# real font file and FONTS-1 generated fonts mapped onto it) and runs bench_catalogue.exe under
# Wine against it: a click on 初始化字体 until the list is complete, against fetching and
# scraping the same page without a list, ROUNDS rounds each (default 5) after one warm-up,
# with the worst wait of a message posted to the main window every 10 ms. Prints medians.
# Builds nothing; the Release build of the service (non-sanitized) gives the steadiest figures.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

exe=$(bench_exe "${1:-}" bench/catalogue/bench_catalogue.exe) server=$(bench_service "${2:-}") fonts=${3:-10000} rounds=${4:-5}
bench_build "$exe"
font_file=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$font_file" ] || { echo "missing $font_file" >&2; exit 1; }
[ -x "$exe" ] || { echo "missing $exe (build the target bench_catalogue)" >&2; exit 1; }

echo "service: $server"
# The program prints GBK; the terminal gets UTF-8.
"$root/tests/support/with-service.sh" "$server" "--fonts;$font_file;--synthetic;$((fonts - 1))" \
  "$root/cmake/wine-run.sh" "$exe" "$rounds" | tr -d '\r' | iconv -f GBK -t UTF-8
exit "${PIPESTATUS[0]}"
