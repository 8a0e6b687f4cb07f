#!/usr/bin/env bash
# The real toy keeps what it shows: F12 saves the screen as a PNG under the pictures folder
# (~/Pictures/Tavlomi when no XDG setting says otherwise) and names it on stderr; --record
# writes a video of the session that a decoder reads back at the grid's size.
set -u
binary=$1
. "$(dirname "$0")/x_session.sh"
x_require Xvfb xdotool identify gst-launch-1.0
work=$x_work
mkdir -p "$work/home"
fail() { echo "$*" >&2; cat "$work/err" >&2; exit 1; }

x_start_server 1024x768
HOME="$work/home" XDG_CONFIG_HOME= XDG_PICTURES_DIR= \
    "$binary" window 160 120 --zoom=1 --test-scene --record="$work/play.webm" \
    >"$work/out" 2>"$work/err" &
pid=$!
stopped() { ! kill -0 "$pid" 2>/dev/null; }
window_or_stopped() { find_window || stopped; }
wait_for 100 window_or_stopped
[ -n "$window" ] || fail "no window"
xdotool windowfocus --sync "$window" 2>/dev/null
sleep 1
xdotool key F12
sleep 1
xdotool key Escape
wait_for 100 stopped || { kill -9 "$pid"; fail "the toy did not quit"; }
wait "$pid"
status=$?
x_stop
[ "$status" = 0 ] || fail "exit status $status, expected 0"

shots=("$work"/home/Pictures/Tavlomi/tavlomi-*.png)
[ ${#shots[@]} = 1 ] && [ -f "${shots[0]}" ] || fail "expected one snapshot, found: ${shots[*]}"
grep -qF "Snapshot saved: ${shots[0]}" "$work/err" || fail "stderr does not name the snapshot"
[ "$(identify -format '%w x %h' "${shots[0]}")" = "160 x 120" ] || fail "snapshot size"
# The status lines on stdout stay exactly the toy's own.
[ "$(wc -l <"$work/out")" = 3 ] || fail "unexpected standard output: $(cat "$work/out")"

gst-launch-1.0 -q filesrc location="$work/play.webm" ! decodebin ! videoconvert \
    ! video/x-raw,format=BGRx ! filesink location="$work/frames.raw" >/dev/null 2>&1 \
    || fail "the recording does not decode"
bytes=$(stat -c %s "$work/frames.raw")
frame=$((160 * 120 * 4))
[ "$bytes" -ge $((frame * 10)) ] && [ $((bytes % frame)) = 0 ] \
    || fail "the recording holds $bytes bytes of 160 x 120 frames"
echo "snapshot and recording kept"
