#!/usr/bin/env bash
# Every way out of the real toy in a real X window ends cleanly: Escape, a window-close request,
# SIGINT, SIGTERM and SIGHUP each give exit status 0 within seconds, with standard output
# complete and the camera pipeline (a looping video file standing in for the camera) stopped.
# A SIGINT that the toy was started with ignored stays ignored.
# Usage: xvfb_exits.sh TAVLOMI X_CLOSE_REQUEST
set -u
binary=$1
close_request=$2
for tool in Xvfb xdotool gst-launch-1.0; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done
work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=ball \
  ! video/x-raw,width=64,height=48,framerate=30/1 ! jpegenc ! avimux \
  ! filesink location="$work/clip.avi" || { echo "cannot write the test clip" >&2; exit 1; }

# An X server of this test's own, on a display number the server picks and reports when it is
# ready, so tests running side by side cannot end up on the same server. Without -noreset the
# server resets whenever its last client leaves and refuses the next toy meanwhile.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  2>"$work/xvfb.err" &
xvfb_pid=$!

wait_for() {  # wait_for TENTHS COMMAND...: true once COMMAND succeeds
  local tenths=$1; shift
  for _ in $(seq 1 "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
if ! wait_for 300 test -s "$work/display"; then
  echo "Xvfb did not start:" >&2; cat "$work/xvfb.err" >&2; exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

pid=""
name=""
window=""
running() { kill -0 "$pid" 2>/dev/null; }
stopped() { ! running; }
saw_threshold() { grep -q '^< Threshold is now: 15 >$' "$work/$name.out"; }
# Only a mapped window can take the keyboard focus.
find_window() {
  window=$(xdotool search --onlyvisible --name '^Tavlomi$' 2>/dev/null | head -n 1)
  [ -n "$window" ] || stopped
}
no_window() { [ -z "$(xdotool search --name '^Tavlomi$' 2>/dev/null)" ]; }
# Without a window manager nobody else gives the new window the focus, and when the previous
# case's window went away the focus may have gone with it.
focus_window() {
  find_window && [ -n "$window" ] || return 1
  timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]
}
give_up() {
  echo "$name: $1" >&2
  grep -v 'GST_STATES' "$work/$name.err" >&2
  cat "$work/xvfb.err" >&2
  running && kill -9 "$pid"
  return 1
}

# run_case NAME WAY ENV-OPTION: starts the toy on the clip with the stop signals set up by the
# env option, presses '=', waits for its line, ends the toy by WAY and checks how it ended.
run_case() {
  name=$1
  local way=$2 start_env=$3 status
  # The server may still be taking down the window of the case before.
  wait_for 100 no_window || { echo "$name: the last window is still there" >&2; return 1; }
  GST_DEBUG=GST_STATES:4 GST_DEBUG_NO_COLOR=1 env "$start_env" \
    "$binary" window 64 48 --video="$work/clip.avi" >"$work/$name.out" 2>"$work/$name.err" &
  pid=$!
  wait_for 300 find_window
  [ -n "$window" ] || { give_up "no window named Tavlomi appeared"; return 1; }
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
  if ! grep -Eq '<pipeline[0-9]+> completed state change to NULL' "$work/$name.err"; then
    echo "$name: the camera pipeline was not stopped" >&2
    ok=0
  fi
  [ "$ok" = 1 ] && echo "$name: status 0, output complete, pipeline stopped"
  [ "$ok" = 1 ]
}

# The stop signals start at their default handling, as in a terminal's foreground job, unless a
# case asks otherwise.
defaults=--default-signal=INT,TERM,HUP
failed=0
run_case escape escape "$defaults" || failed=1
run_case close close "$defaults" || failed=1
run_case sigint INT "$defaults" || failed=1
run_case sigterm TERM "$defaults" || failed=1
run_case sighup HUP "$defaults" || failed=1
run_case ignored-sigint ignored-int --ignore-signal=INT || failed=1
exit "$failed"
