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
. "$(dirname "$0")/session.sh"
require import convert

geometry() {
    find_window && xdotool getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Geometry: //p'
}
has_geometry() { [ "$(geometry)" = "$1" ]; }
expect_geometry() {
    wait_for 100 has_geometry "$1" || fail "window geometry $(geometry), expected $1"
}

# True when the bounding box "W H X Y" of the screen's pure magenta is "$1"; it is in box.
cross_at() {
    x_screenshot "$work/shot.png"
    box=$(convert "$work/shot.png" -fill black +opaque '#FF00FF' -trim -format '%w %h %X %Y' \
        info: | tr -d '+')
    [ "$box" = "$1" ]
}
expect_cross() {
    wait_for 50 cross_at "$1" || fail "cross at '$box' (w h x y), expected '$1': $2"
}

quit() {
    xdotool key Escape
    x_wait_toy 0
}

x_start 1280x720
x_start_toy zoom "$binary" window 320 240 --test-scene --zoom=2
expect_geometry 640x480
# The window's top-left corner on the screen, for screenshots of the whole screen.
read -r left top < <(xdotool getwindowgeometry "$window" \
    | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
xdotool mousemove --window "$window" 5 5
# Above 254 no luminance change counts as motion: nothing moves the ball but the mouse.
xdotool key --delay 2 --repeat 250 --repeat-delay 4 equal
wait_line zoom.out 100 '< Threshold is now: 264 >' "the threshold keys did not all arrive"
sleep 0.5

# Window pixel (201, 101) is grid cell (100, 50): the cross covers cells 90..109 x 40..59.
xdotool mousemove --window "$window" 201 101 click 1
expect_cross "40 40 $((left + 180)) $((top + 80))" "after a click at window pixel 201,101"

xdotool key F1 F1 F12
xdotool key F11
expect_geometry 1280x720
# Cell (100, 50) on the screen: 160 + 3 * 90 = 430, 3 * 40 = 120, 60 pixels a side.
expect_cross "60 60 430 120" "in full screen"
x_screenshot "$work/full.png"
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
[ "$(cat "$work/zoom.out")" = "$expected" ] || fail "unexpected standard output"
end_all

# 60 % of 1920 x 1080 is 1152 x 648: twice 320 x 240 fits, three times does not.
x_start 1920x1080
x_start_toy auto "$binary" window 320 240 --test-scene
expect_geometry 640x480
quit
echo "zoomed window, clicks, full screen and automatic zoom as expected"
