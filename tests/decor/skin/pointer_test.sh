#!/usr/bin/env bash
# Drives a decorated window with the real X pointer and keyboard (xdotool) on a private X
# display: drags it by its skinned caption, opens and closes the system menu with Alt+Space and
# Escape, hovers the close button, and closes the window with it.
#   pointer_test.sh <decor_skin_demo.exe> <wine-run.sh>
set -u
demo="$1"
runner="$2"

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
read -r _ xvfb_pid <&3
read -r num <&3
export DISPLAY=":$num"
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Left, top of the window titled 览字坊, or nothing.
position() {
  xwininfo -root -tree 2>/dev/null | grep '"览字坊"' | head -1 |
    sed -E 's/.* [0-9]+x[0-9]+\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2/'
}
# #RRGGBB of a screen pixel.
pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1
}
wait_for() {  # seconds, command...
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq 1 "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}
drag() {  # from x y, by dx dy, in four steps
  xdotool mousemove "$1" "$2"; sleep 0.2
  xdotool mousedown 1; sleep 0.2
  for i in 1 2 3 4; do xdotool mousemove $(( $1 + $3 * i / 4 )) $(( $2 + $4 * i / 4 )); sleep 0.05; done
  xdotool mouseup 1; sleep 0.4
}

"$runner" "$demo" 2 60 &
demo_pid=$!
shown() { [ -n "$(position)" ]; }
wait_for 60 shown || { echo "FAIL: the window did not open"; exit 1; }
sleep 1
read -r left top < <(position)
caption="#1A94FF"   # top row of the start-up skin's caption
[ "$(pixel $((left + 400)) $((top + 1)))" = "$caption" ] || fail "caption not skinned at start"

# Drags by the caption follow the pointer, the caption stays skinned at the new place.
for step in "60 40" "-100 30" "40 -70"; do
  read -r dx dy <<< "$step"
  drag $((left + 300)) $((top + 10)) "$dx" "$dy"
  read -r nl nt < <(position)
  [ "$nl" = $((left + dx)) ] && [ "$nt" = $((top + dy)) ] ||
    fail "drag by $dx,$dy moved the window from $left,$top to $nl,$nt"
  left=$nl; top=$nt
  [ "$(pixel $((left + 400)) $((top + 1)))" = "$caption" ] || fail "caption not skinned after a drag"
done

# Alt+Space opens the system menu, Escape closes it; the caption is repainted.
xdotool key alt+space; sleep 0.5
xdotool key Escape; sleep 0.5
[ "$(pixel $((left + 400)) $((top + 1)))" = "$caption" ] || fail "caption not skinned after the menu"
drag $((left + 300)) $((top + 10)) 20 20
read -r nl nt < <(position)
[ "$nl" = $((left + 20)) ] || fail "drag after the menu did not move the window"
left=$nl; top=$nt

# The close button turns red under the pointer, and a click closes the window.
close_x=$((left + 734 - 1 - 17)); close_y=$((top + 10))
xdotool mousemove "$close_x" "$close_y"; sleep 0.5
[ "$(pixel $((close_x - 14)) $((top + 1)))" = "#E81123" ] || fail "close button not hot under the pointer"
xdotool click 1
gone() { ! kill -0 "$demo_pid" 2>/dev/null; }
wait_for 20 gone || fail "the close button did not close the window"
wait "$demo_pid" 2>/dev/null
demo_pid=""

[ "$failures" -eq 0 ] && echo "pointer test passed" || exit 1
