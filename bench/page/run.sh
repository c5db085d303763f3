#!/usr/bin/env bash
# run.sh [<bench_page.exe> <service-exe>] [FONTS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere; LZF_NO_32BIT=1 picks the
# twin anywhere) and the native service.
#
# Starts a private local catalogue service with FONTS (default 10000) generated fonts, has it
# serve its home page from a file (sent with the kernel's sendfile), fetches that page with
# curl (native) and with the bare WinHTTP probe (its fastest way) and WebRequest alternated
# round by round in bench_page.exe under Wine, 10 rounds each, and prints the times and the
# ratios.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 fonts=$3 work=$4
  url="$LZF_SERVICE_URL"
  # The page is made once and then served as a file: made afresh for every request it came
  # slower than curl could take it.
  curl -fs -o "$work/home.html" "$url" || { echo "curl failed" >&2; exit 1; }
  curl -fs "${url}__control?path=/&file=$work/home.html&content_type=text/html" >/dev/null ||
    { echo "the service refused the file rule" >&2; exit 1; }
  curl_best=""
  size=0
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    out=$(curl -fs -o /dev/null -w '%{time_total} %{size_download}' "$url") ||
      { echo "curl failed" >&2; exit 1; }
    read -r t size <<<"$out"
    curl_best=$(awk -v a="$t" -v b="${curl_best:-1e9}" 'BEGIN { print (a < b ? a : b) }')
  done
  out=$("$root/cmake/wine-run.sh" "$exe" "$url" 10 | tr -d '\r') ||
    { echo "bench_page failed" >&2; exit 1; }
  read -r _ ours_best ours_median ours_size <<<"$(grep '^ours ' <<<"$out")"
  read -r _ probe_best probe_median probe_way <<<"$(grep '^probe ' <<<"$out")"
  grep '^way ' <<<"$out" |
    awk '{ printf "  probe way %-22s best %6.2f ms, median %6.2f ms\n", $2, $3 * 1000, $4 * 1000 }'
  awk -v c="$curl_best" -v o="$ours_best" -v om="$ours_median" -v p="$probe_best" \
    -v pm="$probe_median" -v w="$probe_way" -v s="$size" -v os="$ours_size" -v n="$fonts" 'BEGIN {
    printf "home page with %d fonts (%.0f KiB; WebRequest read %.0f KiB), 10 rounds, probe and ours alternated\n", n, s / 1024, os / 1024
    printf "  curl (native), best of 10:  %8.2f ms  %8.1f MiB/s\n", c * 1000, s / 1048576 / c
    printf "  bare WinHTTP probe (Wine):  %8.2f ms best, %8.2f ms median  (%s)\n", p * 1000, pm * 1000, w
    printf "  WebRequest (Wine):          %8.2f ms best, %8.2f ms median\n", o * 1000, om * 1000
    printf "  ratio WebRequest / probe: %.2f (medians), %.2f (bests); WebRequest / curl: %.2f\n", om / pm, o / p, o / c
  }'
  exit 0
fi

exe=$(bench_exe "${1:-}" bench/page/bench_page.exe) server=$(bench_service "${2:-}") fonts=${3:-10000}
bench_build "$exe"
work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-bench-page.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$root/tests/support/with-service.sh" "$server" "--synthetic;$fonts" "$0" --inner "$exe" "$fonts" \
  "$work"
