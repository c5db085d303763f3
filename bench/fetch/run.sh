#!/usr/bin/env bash
# run.sh [<bench_fetch.exe> <service-exe>] [MiB]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Serves a file of MiB mebibytes (default 64) from a private local catalogue service, fetches
# it with curl (native) and with InetRequest (bench_fetch.exe under Wine) in the same run, and
# prints both throughputs, their ratio and the memory our download needed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 file=$3 size=$4
  url="${LZF_SERVICE_URL}bench.bin"
  curl -fs "${LZF_SERVICE_URL}__control?path=/bench.bin&file=$file" >/dev/null ||
    { echo "the service refused the file rule" >&2; exit 1; }
  curl_best=""
  for _ in 1 2 3; do
    t=$(curl -fs -o /dev/null -w '%{time_total}' "$url") || { echo "curl failed" >&2; exit 1; }
    curl_best=$(awk -v a="$t" -v b="${curl_best:-1e9}" 'BEGIN { print (a < b ? a : b) }')
  done
  line=$("$root/cmake/wine-run.sh" "$exe" "$url" "$size" 3 | tr -d '\r' | grep '^ours ') ||
    { echo "bench_fetch failed" >&2; exit 1; }
  read -r _ ours_best peak baseline <<<"$line"
  awk -v c="$curl_best" -v o="$ours_best" -v s="$size" -v p="$peak" -v b="$baseline" 'BEGIN {
    mib = s / 1048576
    printf "fetch of %.0f MiB from the local service, best of 3 each\n", mib
    printf "  curl (native):            %8.3f s  %8.1f MiB/s\n", c, mib / c
    printf "  InetRequest (under Wine): %8.3f s  %8.1f MiB/s\n", o, mib / o
    printf "  throughput ratio ours/curl: %.2f (target >= 0.5)\n", c / o
    printf "  peak working set: %.1f MiB, %.1f MiB above the start = %.2f x file size (target <= 1.5)\n",
           p / 1048576, (p - b) / 1048576, (p - b) / s
  }'
  exit 0
fi

exe=$(bench_exe "${1:-}" bench/fetch/bench_fetch.exe) server=$(bench_service "${2:-}") mib=${3:-64}
bench_build "$exe"
work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-bench-fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((mib * 1048576)) /dev/urandom >"$work/bench.bin"
"$root/tests/support/with-service.sh" "$server" "" "$0" --inner "$exe" "$work/bench.bin" \
  $((mib * 1048576))
