#!/usr/bin/env bash
# run.sh [<bench_catalogue.exe> <service-exe>] [FONTS] [ROUNDS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Starts a private local catalogue service with a catalogue of FONTS fonts (default 10000: one
# real font file and FONTS-1 generated fonts mapped onto it), has it serve its home page from a
# file (made once: made afresh for every request it came slower than curl could take it) and
# runs bench_catalogue.exe under Wine against it: a click on 初始化字体 until the list is
# complete, against fetching and scraping the same page without a list plus the bare probe's
# inserts of the same rows into a list view of the same kind, ROUNDS rounds each (default 5)
# after one warm-up, with the worst wait of a message posted to the main window every 10 ms.
# Prints medians and curl's time for the page. Builds nothing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 rounds=$3 work=$4
  url="$LZF_SERVICE_URL"
  curl -fs -o "$work/home.html" "$url" || { echo "curl failed" >&2; exit 1; }
  curl -fs "${url}__control?path=/&file=$work/home.html&content_type=text/html" >/dev/null ||
    { echo "the service refused the file rule" >&2; exit 1; }
  best=$(bench_curl_best 10 "$url") || { echo "curl failed" >&2; exit 1; }
  awk -v t="$best" -v s="$(stat -c %s "$work/home.html")" 'BEGIN {
    printf "home page %.0f KiB; curl (native) best of 10: %.2f ms, %.1f MiB/s\n", s / 1024, t * 1000, s / 1048576 / t }'
  # The program prints GBK; the terminal gets UTF-8.
  "$root/cmake/wine-run.sh" "$exe" "$rounds" | tr -d '\r' | iconv -f GBK -t UTF-8
  exit "${PIPESTATUS[0]}"
fi

exe=$(bench_exe "${1:-}" bench/catalogue/bench_catalogue.exe) server=$(bench_service "${2:-}") fonts=${3:-10000} rounds=${4:-5}
bench_build "$exe"
font_file=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$font_file" ] || { echo "missing $font_file" >&2; exit 1; }
[ -x "$exe" ] || { echo "missing $exe (build the target bench_catalogue)" >&2; exit 1; }

echo "service: $server"
work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-bench-catalogue.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$root/tests/support/with-service.sh" "$server" "--fonts;$font_file;--synthetic;$((fonts - 1))" \
  "$0" --inner "$exe" "$rounds" "$work"
