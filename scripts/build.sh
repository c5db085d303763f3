#!/usr/bin/env bash
# Configures and builds the three trees: native (the local catalogue service, the portable
# core's tests under the sanitizers), windows64 (the x86-64 twin of lanzifang.exe, its tests
# and benchmarks) and windows (lanzifang.exe for i686, the product, with its tests and
# benchmarks), then checks that each lanzifang.exe is the image it must be.
#   build.sh [--i686-product-only | --programs]
# --i686-product-only: the i686 tree builds lanzifang.exe alone, for a machine that cannot run
#   32-bit code, where its tests could not run anyway.
# --programs: only the catalogue service and the two lanzifang.exe (what the run command needs).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
native_targets=() x64_targets=() i686_targets=()
case "${1:-}" in
  --i686-product-only) i686_targets=(--target lanzifang) ;;
  --programs)
    native_targets=(--target lanzifang-catalogue-server)
    x64_targets=(--target lanzifang) i686_targets=(--target lanzifang) ;;
  "") ;;
  *) echo "usage: $0 [--i686-product-only | --programs]" >&2; exit 2 ;;
esac

cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs" "${native_targets[@]}"
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 -j"$jobs" "${x64_targets[@]}"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs" "${i686_targets[@]}"

# check_image <exe> <machine> <optional-header magic> <what>: a GUI program of that kind.
check_image() {
  local lfanew machine magic subsystem
  lfanew=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((lfanew + 4)) -N 2 "$1" | tr -d ' ')
  magic=$(od -An -t x2 -j $((lfanew + 24)) -N 2 "$1" | tr -d ' ')
  subsystem=$(od -An -t u2 -j $((lfanew + 24 + 68)) -N 2 "$1" | tr -d ' ')
  if [ "$machine" != "$2" ] || [ "$magic" != "$3" ] || [ "$subsystem" != 2 ]; then
    echo "build: $1 is not $4 (machine $machine, magic $magic, subsystem $subsystem)" >&2
    return 1
  fi
  echo "build: $1: $4"
}
check_image build/windows/app/lanzifang.exe 014c 010b "PE32, i386, Windows GUI"
check_image build/windows64/app/lanzifang.exe 8664 020b "PE32+, x86-64, Windows GUI"
