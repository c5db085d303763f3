#!/usr/bin/env bash
# run.sh [<bench_preview.exe> <service-exe>] [STEPS] [PASSES] [FONTS]
#
# Without a program and a service (or with "" for either), the build this machine runs
# (the i686 one where 32-bit code runs, the x86-64 twin elsewhere) and the native service.
#
# Starts a private local catalogue service of FONTS fonts (default 10000: the eight fonts of
# the catalogue tests plus generated fonts mapped onto them) and runs bench_preview.exe under
# Wine against it: it loads the list, presses ↓ STEPS times (default 30) from the middle of it
# and times each step until the new picture is shown; after each, the bare probe makes a step
# of its own in each of its ways. Then the same requests are replayed with curl (native)
# PASSES times (default 3): the preview form exactly as the service logged it, the GET of the
# picture named in curl's answer, and the description request each step also makes, which
# is the service's own time. Prints per-step medians, the ratio to the fastest way of the
# probe and to curl, and where a step of ours goes.
# Builds nothing; the Release build of the service (non-sanitized) gives the steadiest figures.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/../common.sh"

if [ "${1:-}" = --inner ]; then
  exe=$2 steps=$3 passes=$4 work=$5 fonts=$6
  url="$LZF_SERVICE_URL"
  # Wine's drive Z: is the root of the Unix file system.
  replay_win="Z:${work//\//\\}\\replay.txt"
  "$root/cmake/wine-run.sh" "$exe" "$steps" "$replay_win" | tr -d '\r' >"$work/ours.txt"
  status=${PIPESTATUS[0]}
  if [ "$status" != 0 ] || ! grep -q '^ours ' "$work/ours.txt"; then
    echo "bench_preview failed ($status)" >&2
    cat "$work/ours.txt" >&2
    exit 1
  fi
  # Each step's three requests with curl, one process per request like a fresh client.
  : >"$work/curl.txt"
  for _ in $(seq "$passes"); do
    desc=0
    while read -r kind rest; do
      case "$kind" in
        DESC)
          desc=$(curl -fs -o /dev/null -w '%{time_total}' "${url}${rest#/}") ||
            { echo "curl: description request failed" >&2; exit 1; }
          ;;
        POST)
          answer=$(curl -fs -w '\n@time %{time_total}' \
            -H 'Content-Type: application/x-www-form-urlencoded' --data-binary "$rest" "$url" |
            LC_ALL=C tr -d '\r') || { echo "curl: preview post failed" >&2; exit 1; }
          post=$(printf '%s\n' "$answer" | LC_ALL=C sed -n 's/^@time //p')
          picture=$(printf '%s\n' "$answer" |
            LC_ALL=C sed -n 's/.*src="\([^"]*\/preview\/[^"]*\)" \/>.*/\1/p' | tail -n 1)
          [ -n "$picture" ] || { echo "curl: no picture in the preview answer" >&2; exit 1; }
          fetch=$(curl -fs -o /dev/null -w '%{time_total}' "$picture") ||
            { echo "curl: picture request failed" >&2; exit 1; }
          echo "$desc $post $fetch" >>"$work/curl.txt"
          desc=0
          ;;
      esac
    done <"$work/replay.txt"
  done
  awk -v steps="$steps" -v passes="$passes" -v fonts="$fonts" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j > 0 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    FILENAME ~ /ours\.txt$/ && $1 == "ours" { ours = $2 }
    FILENAME ~ /ours\.txt$/ && $1 == "probe" { probe = $2; way = $3 }
    FILENAME ~ /ours\.txt$/ && $1 == "probe-way" { ways = ways sprintf(" %s %.2f", $2, $3) }
    FILENAME ~ /ours\.txt$/ && $1 == "worst" { worst_ours = $3; worst_probe = $5 }
    FILENAME ~ /ours\.txt$/ && $1 == "scrollbar" { scrollbar = $2 }
    FILENAME ~ /ours\.txt$/ && $1 == "part" { part[$2] = $3; order[++np] = $2 }
    FILENAME ~ /ours\.txt$/ && $1 == "probe-part" { pparts = pparts sprintf(" %s %.2f", $2, $3) }
    FILENAME ~ /curl\.txt$/ { n++; two[n] = ($2 + $3) * 1000; three[n] = ($1 + $2 + $3) * 1000;
                        d[n] = $1 * 1000; p[n] = $2 * 1000; f[n] = $3 * 1000 }
    END {
      c2 = median(two, n); c3 = median(three, n)
      printf "down-arrow step -> new picture shown in a list of %d fonts, %d steps (ours) / %d request sets (curl), medians\n", fonts, steps, n
      printf "  ours (under Wine, key press until the picture box is painted): %7.2f ms  (worst %.2f)\n", ours, worst_ours
      printf "  bare probe (under Wine, same calls, fastest way %s):  %7.2f ms  (worst %.2f)\n", way, probe, worst_probe
      printf "  ratio ours / probe: %.2f (target <= 1.3); the probe'"'"'s ways (medians, ms):%s\n", ours / probe, ways
      printf "  curl (native), preview post + picture get:                   %7.2f ms  (post %.2f, picture %.2f)\n", c2, median(p, n), median(f, n)
      printf "  curl (native), the same + the description get of the step:   %7.2f ms  (description %.2f)\n", c3, median(d, n)
      printf "  difference ours - curl(post+picture): %6.2f ms, ratio %.2f\n", ours - c2, ours / c2
      printf "  difference ours - curl(all three):    %6.2f ms, ratio %.2f\n", ours - c3, ours / c3
      printf "  where a step of ours goes (by hand, median of 10):"
      for (i = 1; i <= np; i++) printf " %s %.2f", order[i], part[order[i]]
      printf " ms\n"
      printf "  where a step of the probe goes (its fastest way, median):%s ms\n", pparts
      printf "  one repaint of the list'"'"'s frame and scroll bar (a step that scrolls the list redraws it): %.2f ms\n", scrollbar
    }' "$work/ours.txt" "$work/curl.txt"
  exit 0
fi

exe=$(bench_exe "${1:-}" bench/preview/bench_preview.exe) server=$(bench_service "${2:-}") steps=${3:-30} passes=${4:-3} fonts=${5:-10000}
bench_build "$exe"
[ -x "$exe" ] || { echo "missing $exe (build the target bench_preview)" >&2; exit 1; }
[ "$fonts" -ge $((steps + 20)) ] || { echo "FONTS must be at least STEPS + 20" >&2; exit 2; }
dir=/usr/share/fonts/truetype
args="--fonts;$dir/arphic/ukai.ttc;--fonts;$dir/arphic/uming.ttc"
args+=";--fonts;$dir/dejavu/DejaVuSans-Bold.ttf;--fonts;$dir/dejavu/DejaVuSans.ttf"
args+=";--fonts;$dir/dejavu/DejaVuSansMono.ttf;--fonts;$dir/dejavu/DejaVuSerif.ttf"
args+=";--fonts;$dir/wqy/wqy-microhei.ttc;--fonts;$dir/wqy/wqy-zenhei.ttc"
args+=";--synthetic;$((fonts - 8))"
work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-bench-preview.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "service: $server"
"$root/tests/support/with-service.sh" "$server" "$args" "$0" --inner "$exe" "$steps" "$passes" \
  "$work" "$fonts"
