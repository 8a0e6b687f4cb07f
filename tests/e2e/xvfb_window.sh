#!/usr/bin/env bash
# The real window on an X server with a window manager. On a 1280 x 720 screen:
# - --zoom=2 opens a 640 x 480 window for the 320 x 240 grid;
# - a click at a window pixel puts the ball on the grid cell under it (window pixel / 2);
# - F11 fills the screen keeping the aspect ratio: the grid is scaled 3 times to 960 x 720
#   between black bars 160 pixels wide, and clicks there still reach the right grid cell;
# - F11 again gives the 640 x 480 window back; F1 and F12 print nothing; Escape quits with 0.
# On a 1920 x 1080 screen without --zoom the window takes zoom 2 (within 60 % of the desktop).
# The ball's place is read from screenshots: the bounding box of the magenta cross, whose
# bars reach 10 cells left and above the ball's cell and 9 right and below.
set -u
binary=$1
for tool in xvfb-run xdotool evilwm import convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is needed (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done
# KEEP_WORK=1 keeps the screenshots and the output for a look afterwards.
work=$(mktemp -d)
[ -n "${KEEP_WORK:-}" ] && echo "work: $work"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT

cat > "$work/common.sh" <<'INNER'
fail() { echo "$*" >&2; exit 1; }

# The toy's shown window; SDL may replace its first window while it sets the video mode.
find_window() {
  window=$(xdotool search --onlyvisible --name '^Tavlomi$' 2>/dev/null | tail -n 1)
}

# Starts the window manager and the toy with the given arguments; sets pid and window.
start() {
  evilwm >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
  "$binary" "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  window=""
  for _ in $(seq 1 100); do
    find_window
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    cat "$work/err" >&2
    fail "no window named Tavlomi appeared"
  fi
  sleep 0.5
  find_window
  xdotool mousemove --window "$window" 5 5
  xdotool windowfocus --sync "$window" 2>/dev/null
}

geometry() {
  find_window
  [ -n "$window" ] && xdotool getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Geometry: //p'
}

# Waits up to 10 s for the window to reach the size $1.
expect_geometry() {
  for _ in $(seq 1 100); do
    [ "$(geometry)" = "$1" ] && return 0
    sleep 0.1
  done
  fail "window geometry $(geometry), expected $1"
}

# Bounding box "W H X Y" of the pure magenta pixels of the whole screen.
magenta_box() {
  import -window root "$work/shot.png"
  convert "$work/shot.png" -fill black +opaque '#FF00FF' -trim -format '%w %h %X %Y' info: \
    | tr -d '+'
}

# Waits up to 5 s for the cross's box to be "$1"; the toy draws every 10 ms or so.
expect_cross() {
  local box=""
  for _ in $(seq 1 25); do
    box=$(magenta_box)
    [ "$box" = "$1" ] && return 0
    sleep 0.2
  done
  fail "cross at '$box' (w h x y), expected '$1': $2"
}

quit() {
  xdotool key Escape
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
    fail "the toy did not quit on Escape"
  fi
  wait "$pid"
  status=$?
  kill "$wm" 2>/dev/null
  wait "$wm" 2>/dev/null
  [ "$status" = 0 ] || { cat "$work/err" >&2; fail "exit status $status, expected 0"; }
}
INNER

cat > "$work/zoom2.sh" <<'INNER'
set -u
binary=$1; work=$2
. "$work/common.sh"
start window 320 240 --test-scene --zoom=2
expect_geometry 640x480
# The window's top-left corner on the screen, for screenshots of the whole screen.
read -r left top < <(xdotool getwindowgeometry "$window" \
  | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
# Above 254 no luminance change counts as motion: nothing moves the ball but the mouse.
xdotool key --delay 2 --repeat 250 --repeat-delay 4 equal
for _ in $(seq 1 100); do
  grep -q '< Threshold is now: 264 >' "$work/out" && break
  sleep 0.1
done
grep -q '< Threshold is now: 264 >' "$work/out" || fail "the threshold keys did not all arrive"
sleep 0.5

# Window pixel (201, 101) is grid cell (100, 50): the cross covers cells 90..109 x 40..59.
xdotool mousemove --window "$window" 201 101 click 1
expect_cross "40 40 $((left + 180)) $((top + 80))" "after a click at window pixel 201,101"

xdotool key F1 F1 F12
xdotool key F11
expect_geometry 1280x720
# Cell (100, 50) on the screen: 160 + 3 * 90 = 430, 3 * 40 = 120, 60 pixels a side.
expect_cross "60 60 430 120" "in full screen"
import -window root "$work/full.png"
for bar in 160x720+0+0 160x720+1120+0; do
  peak=$(convert "$work/full.png" -crop "$bar" -format '%[fx:maxima]' info:)
  [ "$peak" = 0 ] || fail "the bar $bar is not black (maximum $peak)"
done
mean=$(convert "$work/full.png" -crop 960x720+160+0 -format '%[fx:int(1000*mean)]' info:)
[ "$mean" -gt 20 ] || fail "the picture between the bars is dark (mean $mean / 1000)"
# Screen pixel (761, 451) is grid cell ((761 - 160) / 3, 451 / 3) = (200, 150).
xdotool mousemove 761 451 click 1
expect_cross "60 60 730 420" "after a click at screen pixel 761,451 in full screen"

xdotool key F11
expect_geometry 640x480
quit
expected=$'< ShowMotion responding to Ball >\n< Water Effect initialized >\n< Fire Effect innitialized >'
for t in $(seq 15 264); do expected+=$'\n'"< Threshold is now: $t >"; done
[ "$(cat "$work/out")" = "$expected" ] || { head -c 2000 "$work/out" >&2; fail "unexpected standard output"; }
touch "$work/zoom2.done"
INNER

cat > "$work/auto.sh" <<'INNER'
set -u
binary=$1; work=$2
. "$work/common.sh"
start window 320 240 --test-scene
# 60 % of 1920 x 1080 is 1152 x 648: twice 320 x 240 fits, three times does not.
expect_geometry 640x480
quit
touch "$work/auto.done"
INNER

# An X server that has just stopped may still remove its socket after a new one on the same
# number has made its own: each server here gets a number no other run just had.
first=$((300 + 2 * ($$ % 300)))
xvfb-run -a -n "$first" -s "-screen 0 1280x720x24" bash "$work/zoom2.sh" "$binary" "$work" || exit 1
[ -e "$work/zoom2.done" ] || exit 1
xvfb-run -a -n $((first + 1)) -s "-screen 0 1920x1080x24" bash "$work/auto.sh" "$binary" "$work" \
  || exit 1
[ -e "$work/auto.done" ] || exit 1
echo "zoomed window, clicks, full screen and automatic zoom as expected"
