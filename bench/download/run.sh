#!/usr/bin/env bash
# run.sh [<bench_download.exe> <service-exe>] [MiB] [ROUNDS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere; LZF_NO_32BIT=1 picks the
# twin anywhere) and the native service. probe_download.exe is taken from beside
# bench_download.exe.
#
# A private local catalogue service answers every POST /Download/<id> with a file of MiB
# mebibytes (default 64; sent with the kernel's sendfile, so curl, not the service, sets the
# pace). In the same run, each in a fresh process, ROUNDS downloads (default 3) each:
# curl's POST (native), the bare WinInet probe (probe_download.exe: POST, one buffer, write
# beside, move over the old file), the program's engine and file writer alone
# (bench_download.exe engine) and the whole feature on the real main window
# (bench_download.exe feature). Prints the best times, the ratios and the peak working sets.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 file=$3 size=$4 rounds=$5 work=$6
  url="${LZF_SERVICE_URL}Download/104"
  curl -fs "${LZF_SERVICE_URL}__control?path=/Download/*&file=$file" >/dev/null ||
    { echo "the service refused the file rule" >&2; exit 1; }
  curl_best=$(bench_curl_best 5 "$url" --data-binary id=104) || { echo "curl failed" >&2; exit 1; }
  win() { echo "Z:${1//\//\\}"; }
  run() {  # run <what> <program> <args...>: its output, or a failure
    local what=$1 out
    shift
    out=$("$root/cmake/wine-run.sh" "$@" | tr -d '\r') || { echo "$what failed" >&2; return 1; }
    echo "$out"
  }
  probe_out=$(run probe_download "$(dirname "$exe")/probe_download.exe" "$url" "$rounds" \
    "$(win "$work/probe.ttf")" "$size") || exit 1
  engine_out=$(run "bench_download engine" "$exe" engine "$rounds" "$(win "$work/engine.ttf")" \
    "$size") || exit 1
  ours_out=$(run "bench_download feature" "$exe" feature "$rounds" \
    "$(win "$work/feature.ttf")" "$size") || exit 1
  grep '^way ' <<<"$probe_out" | awk '{ printf "  probe way %-22s %8.3f s\n", $2, $3 }'
  read -r _ p pway ppeak pbase <<<"$(grep '^probe ' <<<"$probe_out")"
  read -r _ pn pnway <<<"$(grep '^probe-no-flush ' <<<"$probe_out")"
  read -r _ e _ epeak ebase <<<"$(grep '^engine ' <<<"$engine_out")"
  read -r _ o om opeak obase <<<"$(grep '^ours ' <<<"$ours_out")"
  inet=$(awk '$1 == "part" && $2 == "inetrequest" { print $3 }' <<<"$engine_out")
  writer=$(awk '$1 == "part" && $2 == "writefilewhole" { print $3 }' <<<"$engine_out")
  plain=$(awk '$1 == "part" && $2 == "plain-write" { print $3 }' <<<"$engine_out")
  awk -v c="$curl_best" -v p="$p" -v pw="$pway" -v pn="$pn" -v pnw="$pnway" -v e="$e" \
    -v o="$o" -v om="$om" -v s="$size" -v pp="$ppeak" -v pb="$pbase" -v ep="$epeak" \
    -v eb="$ebase" -v op="$opeak" -v ob="$obase" -v n="$rounds" -v inet="$inet" \
    -v writer="$writer" -v plain="$plain" 'BEGIN {
    mib = s / 1048576
    printf "download of a %.0f MiB font (POST), %d rounds each, fresh processes (curl: best of 5)\n", mib, n
    printf "  curl POST (native):                      %8.3f s  %8.1f MiB/s\n", c, mib / c
    printf "  bare probe, flushed before the move:     %8.3f s  (best; %s)\n", p, pw
    printf "  bare probe, not flushed:                 %8.3f s  (best; %s)\n", pn, pnw
    printf "  engine alone, medians: InetRequest %.3f s, WriteFileWhole %.3f s, plain write of the bytes %.3f s\n", inet, writer, plain
    printf "  ours, dialog OK -> success message:      %8.3f s best, %.3f s median\n", o, om
    printf "  ratio ours / probe (bests): %.2f (not flushed: %.2f)\n", o / p, o / pn
    printf "  ratio ours / (InetRequest + plain write) (medians): %.2f (target <= 1.3); the feature around InetRequest + WriteFileWhole adds %.0f ms\n", om / (inet + plain), (om - inet - writer) * 1000
    printf "  peak working set: probe %.1f MiB (%.2f x file), engine alone %.1f MiB (%.2f x), ours %.1f MiB (%.2f x; target <= 1.5)\n",
           pp / 1048576, pp / s, ep / 1048576, ep / s, op / 1048576, op / s
    printf "  working set before the first download: probe %.1f MiB, engine %.1f MiB, ours %.1f MiB; peak above it: probe %.2f x file, engine %.2f x, ours %.2f x\n",
           pb / 1048576, eb / 1048576, ob / 1048576, (pp - pb) / s, (ep - eb) / s, (op - ob) / s
  }'
  exit 0
fi

exe=$(bench_exe "${1:-}" bench/download/bench_download.exe) server=$(bench_service "${2:-}")
mib=${3:-64} rounds=${4:-3}
bench_build "$exe"
[ -x "$exe" ] || { echo "missing $exe (build the target bench_download_run)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-bench-download.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((mib * 1048576)) /dev/urandom >"$work/font.bin"
"$root/tests/support/with-service.sh" "$server" "" "$0" --inner "$exe" "$work/font.bin" \
  $((mib * 1048576)) "$rounds" "$work"
