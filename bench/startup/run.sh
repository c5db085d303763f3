#!/usr/bin/env bash
# run.sh [<startup_bench.exe> <lanzifang.exe> <probe_start.exe>] [RUNS]
#
# Without programs (or with "" for any), those of the build this machine runs (the i686 one
# where 32-bit code runs, the x86-64 twin elsewhere; LZF_NO_32BIT=1 picks the twin anywhere).
#
# Starts lanzifang.exe RUNS times (default 7) until its main window is visible, each time
# beside the animation's timer chain and the start of a bare program with one window, and
# prints the three, the ratio, and where the program's time goes.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

bench=$(bench_exe "${1:-}" bench/startup/startup_bench.exe)
exe=$(bench_exe "${2:-}" app/lanzifang.exe)
probe=$(bench_exe "${3:-}" bench/startup/probe_start.exe)
runs=${4:-7}
bench_build "$exe"
for p in "$bench" "$exe" "$probe"; do
  [ -x "$p" ] || { echo "missing $p (build the target startup_bench_run)" >&2; exit 1; }
done
"$root/cmake/wine-run.sh" "$bench" "$exe" "$probe" "$runs" | tr -d '\r'
exit "${PIPESTATUS[0]}"
