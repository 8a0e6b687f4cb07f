#!/usr/bin/env bash
# Every way out of the real toy in a real X window ends cleanly: Escape, a window-close request,
# SIGINT, SIGTERM and SIGHUP each give exit status 0 within seconds, with standard output
# complete and the camera pipeline (a looping video file standing in for the camera) stopped.
# A SIGINT that the toy was started with ignored stays ignored. First of all, the toy opens a
# window of the grid's size on the test scene and quits on Escape.
# Usage: xvfb_exits.sh TAVLOMI X_CLOSE_REQUEST
set -u
binary=$1
close_request=$2
. "$(dirname "$0")/x_session.sh"
x_require Xvfb xdotool gst-launch-1.0
work=$x_work

gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=ball \
    ! video/x-raw,width=64,height=48,framerate=30/1 ! jpegenc ! avimux \
    ! filesink location="$work/clip.avi" || x_fail "cannot write the test clip"
x_start_server 1024x768

pid=""
name=""
window=""
running() { kill -0 "$pid" 2>/dev/null; }
stopped() { ! running; }
saw_threshold() { grep -q '^< Threshold is now: 15 >$' "$work/$name.out"; }
window_or_stopped() { find_window || stopped; }
no_window() { [ -z "$(xdotool search --name '^Tavlomi$' 2>/dev/null)" ]; }
# Without a window manager nobody else gives the new window the focus, and when the previous
# case's window went away the focus may have gone with it.
focus_window() {
    find_window || return 1
    timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]
}
give_up() {
    echo "$name: $1" >&2
    grep -v 'GST_STATES' "$work/$name.err" >&2
    running && kill -9 "$pid"
    return 1
}

# run_case NAME WAY ENV-OPTION [GEOMETRY]: starts the toy with the stop signals set up by the
# env option, on the clip or, given the window's expected GEOMETRY, on the 320 x 240 test
# scene; presses '=', waits for its line, ends the toy by WAY and checks how it ended.
run_case() {
    name=$1
    local way=$2 start_env=$3 geometry=${4:-} status
    local source=(window 64 48 --video="$work/clip.avi")
    [ -n "$geometry" ] && source=(window 320 240 --test-scene)
    # The server may still be taking down the window of the case before.
    wait_for 100 no_window || { echo "$name: the last window is still there" >&2; return 1; }
    GST_DEBUG=GST_STATES:4 GST_DEBUG_NO_COLOR=1 env "$start_env" \
        "$binary" "${source[@]}" >"$work/$name.out" 2>"$work/$name.err" &
    pid=$!
    wait_for 300 window_or_stopped
    [ -n "$window" ] || { give_up "no window named Tavlomi appeared"; return 1; }
    if [ -n "$geometry" ]; then
        xdotool getwindowgeometry "$window" | grep -q "Geometry: $geometry" \
            || { give_up "window geometry is not $geometry"; return 1; }
    fi
    wait_for 100 focus_window || { give_up "the window did not take the keyboard focus"; return 1; }
    xdotool key equal
    wait_for 300 saw_threshold || { give_up "the '=' key was not seen"; return 1; }

    case $way in
        escape) xdotool key Escape ;;
        close) "$close_request" "$window" || { give_up "no close request sent"; return 1; } ;;
        ignored-int)
            kill -INT "$pid"
            sleep 1
            stopped && { give_up "ended on a SIGINT it was started to ignore"; return 1; }
            xdotool key Escape ;;
        *) kill -"$way" "$pid" ;;
    esac
    wait_for 200 stopped || { give_up "did not end within 20 s"; return 1; }
    wait "$pid"
    status=$?

    local ok=1
    if [ "$status" != 0 ]; then
        echo "$name: exit status $status, expected 0" >&2
        grep -v 'GST_STATES' "$work/$name.err" >&2
        ok=0
    fi
    local expected=$'< ShowMotion responding to Ball >\n< Water Effect initialized >\n< Fire Effect innitialized >\n< Threshold is now: 15 >'
    if [ "$(cat "$work/$name.out")" != "$expected" ]; then
        echo "$name: unexpected standard output:" >&2
        cat "$work/$name.out" >&2
        ok=0
    fi
    if [ -z "$geometry" ] && ! grep -Eq '<pipeline[0-9]+> completed state change to NULL' "$work/$name.err"; then
        echo "$name: the camera pipeline was not stopped" >&2
        ok=0
    fi
    [ "$ok" = 1 ] || return 1
    if [ -n "$geometry" ]; then
        echo "$name: status 0, output complete, window $geometry"
    else
        echo "$name: status 0, output complete, pipeline stopped"
    fi
}

# The stop signals start at their default handling, as in a terminal's foreground job, unless a
# case asks otherwise.
defaults=--default-signal=INT,TERM,HUP
failed=0
run_case test-scene escape "$defaults" 320x240 || failed=1
run_case escape escape "$defaults" || failed=1
run_case close close "$defaults" || failed=1
run_case sigint INT "$defaults" || failed=1
run_case sigterm TERM "$defaults" || failed=1
run_case sighup HUP "$defaults" || failed=1
run_case ignored-sigint ignored-int --ignore-signal=INT || failed=1
exit "$failed"
