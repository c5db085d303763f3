# Sourced by the benchmarks' run.sh (after setting root): which build of the program they
# measure. Where this machine runs 32-bit code that is the i686 product (build/windows);
# elsewhere the x86-64 twin (build/windows64).
# shellcheck source=../cmake/wine-arch.sh
. "$root/cmake/wine-arch.sh"

# bench_exe <given> <path inside a Windows build tree>: the program given, or else that path
# in the tree of the build this machine runs.
bench_exe() {
  if [ -n "$1" ]; then
    echo "$1"
  elif bash "$root/scripts/can-run-32bit.sh" >&2; then
    echo "$root/build/windows/$2"
  else
    echo "$root/build/windows64/$2"
  fi
}

# bench_service <given>: the catalogue service given, or else the one of the native tree.
bench_service() {
  echo "${1:-$root/build/native/server/lanzifang-catalogue-server}"
}

# bench_build <program>: the line naming the build a benchmark measures.
bench_build() {
  if ! wine_arch_of "$1"; then
    echo "build: unknown ($1 is not a Windows program)"
  elif [ "$WINEARCH" = win64 ]; then
    echo "build: x86-64 (PE32+, 64-bit Wine) $1"
  else
    echo "build: i686 (PE32, 32-bit Wine) $1"
  fi
}

# bench_curl_best <times> <url> [curl options...]: curl's best total time in seconds.
bench_curl_best() {
  local times=$1 url=$2 best="" t
  shift 2
  for _ in $(seq "$times"); do
    t=$(curl -fs -o /dev/null -w '%{time_total}' "$@" "$url") || return 1
    best=$(awk -v a="$t" -v b="${best:-1e9}" 'BEGIN { print (a < b ? a : b) }')
  done
  echo "$best"
}
