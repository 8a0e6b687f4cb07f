#!/usr/bin/env bash
# The real toy in an X window under a window manager. On the test scene the window has the grid's
# size, F12 saves the screen as a PNG under ~/Pictures/Tavlomi (no XDG setting says otherwise)
# and names it on stderr, and --record writes a video that decodes at the grid's size; a
# recording that cannot be finished ends with status 1. Every way out ends cleanly, with status 0,
# standard output complete and the camera pipeline (a looping video file) stopped: Escape, the
# window manager's close (Ctrl+Alt+Escape, as a close button), SIGINT, SIGTERM, SIGHUP, and Escape
# after a SIGINT that the toy was started to ignore.
set -u
binary=$1
. "$(dirname "$0")/session.sh"
require identify gst-launch-1.0
startup=$'< ShowMotion responding to Ball >\n< Water Effect initialized >\n< Fire Effect innitialized >'
x_start 1024x768

mkdir "$work/home"
x_start_toy keep env HOME="$work/home" XDG_CONFIG_HOME= XDG_PICTURES_DIR= \
    "$binary" window 160 120 --zoom=1 --test-scene --record="$work/play.webm"
xdotool getwindowgeometry "$window" | grep -q 'Geometry: 160x120' || fail "the window is not 160x120"
xdotool sleep 1 key F12 sleep 1 key Escape
x_wait_toy 0
[ "$(cat "$work/keep.out")" = "$startup" ] || fail "keep: unexpected standard output"
shots=("$work"/home/Pictures/Tavlomi/tavlomi-*.png)
[ ${#shots[@]} = 1 ] && [ -f "${shots[0]}" ] || fail "expected one snapshot, found: ${shots[*]}"
grep -qF "Snapshot saved: ${shots[0]}" "$work/keep.err" || fail "stderr does not name the snapshot"
[ "$(identify -format '%w x %h' "${shots[0]}")" = "160 x 120" ] || fail "the snapshot is not 160 x 120"
gst-launch-1.0 -q filesrc location="$work/play.webm" ! decodebin ! videoconvert \
    ! video/x-raw,format=BGRx ! filesink location="$work/frames.raw" >/dev/null 2>&1 \
    || fail "the recording does not decode"
bytes=$(stat -c %s "$work/frames.raw")
[ "$bytes" -ge $((160 * 120 * 4 * 10)) ] && [ $((bytes % (160 * 120 * 4))) = 0 ] \
    || fail "the recording holds $bytes bytes of 160 x 120 frames"
echo "keep: window 160x120, snapshot and recording kept"

ln -s /dev/full "$work/full.webm"
x_start_toy full "$binary" window 64 48 --zoom=1 --test-scene --record="$work/full.webm"
xdotool key Escape
x_wait_toy 1
grep -q "^tavlomi: the recording $work/full.webm may be incomplete: " "$work/full.err" \
    || fail "full: the recording is not named incomplete: $(said full)"
echo "full: status 1, the recording named incomplete"

gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=ball \
    ! video/x-raw,width=64,height=48,framerate=30/1 ! jpegenc ! avimux \
    ! filesink location="$work/clip.avi" || fail "cannot write the test clip"
# The stop signals start at their default handling, as in a terminal's foreground job, unless a
# case asks otherwise.
for way in escape close INT TERM HUP ignored-INT; do
    signals=--default-signal=INT,TERM,HUP
    [ "$way" = ignored-INT ] && signals=--ignore-signal=INT
    x_start_toy "$way" env "$signals" GST_DEBUG=GST_STATES:4 GST_DEBUG_NO_COLOR=1 \
        "$binary" window 64 48 --video="$work/clip.avi"
    xdotool key equal
    wait_line "$way.out" 300 '^< Threshold is now: 15 >$' "$way: the '=' key was not seen"
    case $way in
        escape) xdotool key Escape ;;
        close) xdotool key ctrl+alt+Escape ;;
        ignored-INT)
            kill -INT "$pid"
            sleep 1
            x_toy_stopped && fail "$way: ended on a SIGINT it was started to ignore"
            xdotool key Escape ;;
        *) kill -"$way" "$pid" ;;
    esac
    x_wait_toy 0
    [ "$(cat "$work/$way.out")" = "$startup"$'\n< Threshold is now: 15 >' ] \
        || fail "$way: unexpected standard output: $(cat "$work/$way.out")"
    grep -Eq '<pipeline[0-9]+> completed state change to NULL' "$work/$way.err" \
        || fail "$way: the camera pipeline was not stopped"
    echo "$way: status 0, output complete, pipeline stopped"
done
