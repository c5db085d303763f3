#!/usr/bin/env bash
# run.sh [<bench_page.exe> <service-exe>] [FONTS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Starts a private local catalogue service with FONTS (default 10000) generated fonts, fetches
# its home page with curl (native) and with WebRequest (bench_page.exe under Wine) in the same
# run, best of 10 each, and prints both times and their ratio.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 fonts=$3
  url="$LZF_SERVICE_URL"
  curl_best=""
  size=0
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    out=$(curl -fs -o /dev/null -w '%{time_total} %{size_download}' "$url") ||
      { echo "curl failed" >&2; exit 1; }
    read -r t size <<<"$out"
    curl_best=$(awk -v a="$t" -v b="${curl_best:-1e9}" 'BEGIN { print (a < b ? a : b) }')
  done
  line=$("$root/cmake/wine-run.sh" "$exe" "$url" 10 | tr -d '\r' | grep '^ours ') ||
    { echo "bench_page failed" >&2; exit 1; }
  read -r _ ours_best ours_size <<<"$line"
  awk -v c="$curl_best" -v o="$ours_best" -v s="$size" -v os="$ours_size" -v n="$fonts" 'BEGIN {
    printf "home page with %d fonts (%.0f KiB; WebRequest read %.0f KiB), best of 10 each\n", n, s / 1024, os / 1024
    printf "  curl (native):           %8.2f ms\n", c * 1000
    printf "  WebRequest (under Wine): %8.2f ms\n", o * 1000
    printf "  time ratio ours/curl: %.2f (target <= 2)\n", o / c
  }'
  exit 0
fi

exe=$(bench_exe "${1:-}" bench/page/bench_page.exe) server=$(bench_service "${2:-}") fonts=${3:-10000}
bench_build "$exe"
"$root/tests/support/with-service.sh" "$server" "--synthetic;$fonts" "$0" --inner "$exe" "$fonts"
