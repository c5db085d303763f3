#!/usr/bin/env bash
# run.sh [<bench_fetch.exe> <service-exe>] [MiB]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere; LZF_NO_32BIT=1 picks the
# twin anywhere) and the native service. probe_fetch.exe is taken from beside bench_fetch.exe.
#
# Serves a file of MiB mebibytes (default 64) from a private local catalogue service (its
# file path sends with the kernel's sendfile, so curl, not the service, sets the pace) and, in
# the same run, fetches it with curl (native; also from the file itself for comparison), the
# bare WinInet probe (probe_fetch.exe, its fastest way) and InetRequest (bench_fetch.exe),
# both under Wine. Prints the times, InetRequest over the probe, and its peak memory.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 file=$3 size=$4
  url="${LZF_SERVICE_URL}bench.bin"
  curl -fs "${LZF_SERVICE_URL}__control?path=/bench.bin&file=$file" >/dev/null ||
    { echo "the service refused the file rule" >&2; exit 1; }
  curl_best=$(bench_curl_best 5 "$url") || { echo "curl failed" >&2; exit 1; }
  file_best=$(bench_curl_best 3 "file://$file") || { echo "curl failed" >&2; exit 1; }
  probe_out=$("$root/cmake/wine-run.sh" "$(dirname "$exe")/probe_fetch.exe" "$url" "$size" 3 |
    tr -d '\r') || { echo "probe_fetch failed" >&2; exit 1; }
  line=$("$root/cmake/wine-run.sh" "$exe" "$url" "$size" 3 | tr -d '\r' | grep '^ours ') ||
    { echo "bench_fetch failed" >&2; exit 1; }
  read -r _ ours_best peak baseline <<<"$line"
  read -r _ probe_best probe_way <<<"$(grep '^probe ' <<<"$probe_out")"
  grep '^way ' <<<"$probe_out" | awk '{ printf "  probe way %-22s %8.3f s\n", $2, $3 }'
  awk -v c="$curl_best" -v f="$file_best" -v o="$ours_best" -v p="$probe_best" -v w="$probe_way" \
    -v s="$size" -v pk="$peak" -v b="$baseline" 'BEGIN {
    mib = s / 1048576
    printf "GET of %.0f MiB from the local service, best of 3 each (curl 5)\n", mib
    printf "  curl (native):              %8.3f s  %8.1f MiB/s  (from the file itself: %.1f MiB/s)\n", c, mib / c, mib / f
    printf "  bare WinInet probe (Wine):  %8.3f s  %8.1f MiB/s  (%s)\n", p, mib / p, w
    printf "  InetRequest (Wine):         %8.3f s  %8.1f MiB/s\n", o, mib / o
    printf "  ratio InetRequest / probe: %.2f (time); InetRequest / curl: %.2f\n", o / p, o / c
    printf "  peak working set: %.1f MiB, %.1f MiB above the start = %.2f x file size\n",
           pk / 1048576, (pk - b) / 1048576, (pk - b) / s
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
