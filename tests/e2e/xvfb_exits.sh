#!/usr/bin/env bash
# Every way out of the real toy in a real X window ends cleanly: Escape, a window-close request,
# SIGINT, SIGTERM and SIGHUP each give exit status 0 within seconds, with standard output
# complete and the camera pipeline (a looping video file standing in for the camera) stopped.
# A SIGINT that the toy was started with ignored stays ignored.
# Usage: xvfb_exits.sh TAVLOMI X_CLOSE_REQUEST
set -u
binary=$1
close_request=$2
for tool in xvfb-run xdotool gst-launch-1.0; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=ball \
  ! video/x-raw,width=64,height=48,framerate=30/1 ! jpegenc ! avimux \
  ! filesink location="$work/clip.avi" || { echo "cannot write the test clip" >&2; exit 1; }

cat > "$work/drive.sh" <<'INNER'
#!/usr/bin/env bash
# Runs one way out; writes the toy's exit status to $work/$name.status.
set -u
binary=$1; close_request=$2; work=$3; name=$4; way=$5; start_env=$6

wait_for() {  # wait_for TENTHS COMMAND...: true once COMMAND succeeds
  local tenths=$1; shift
  for _ in $(seq 1 "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
running() { kill -0 "$pid" 2>/dev/null; }
stopped() { ! running; }
saw_threshold() { grep -q '^< Threshold is now: 15 >$' "$work/$name.out"; }

# The stop signals start at their default handling, as in a terminal's foreground job, unless
# the case asks otherwise.
GST_DEBUG=GST_STATES:4 GST_DEBUG_NO_COLOR=1 env $start_env \
  "$binary" window 64 48 --video="$work/clip.avi" >"$work/$name.out" 2>"$work/$name.err" &
pid=$!
window=""
find_window() { window=$(xdotool search --name '^Tavlomi$' 2>/dev/null | head -n 1); [ -n "$window" ]; }
if ! wait_for 100 find_window; then
  echo "$name: no window named Tavlomi appeared" >&2
  kill -9 "$pid" 2>/dev/null
  exit 1
fi
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key equal
if ! wait_for 100 saw_threshold; then
  echo "$name: the '=' key was not seen" >&2
  kill -9 "$pid" 2>/dev/null
  exit 1
fi

case $way in
  escape) xdotool key Escape ;;
  close) "$close_request" "$window" || { kill -9 "$pid"; exit 1; } ;;
  ignored-int)
    kill -INT "$pid"
    sleep 1
    if stopped; then
      echo "$name: the toy ended on a SIGINT it was started to ignore" >&2
      exit 1
    fi
    xdotool key Escape ;;
  *) kill -"$way" "$pid" ;;
esac
if ! wait_for 100 stopped; then
  echo "$name: the toy did not end within 10 s" >&2
  kill -9 "$pid"
  exit 1
fi
wait "$pid"
echo $? >"$work/$name.status"
INNER

cases=(
  "escape escape --default-signal=INT,TERM,HUP"
  "close close --default-signal=INT,TERM,HUP"
  "sigint INT --default-signal=INT,TERM,HUP"
  "sigterm TERM --default-signal=INT,TERM,HUP"
  "sighup HUP --default-signal=INT,TERM,HUP"
  "ignored-sigint ignored-int --ignore-signal=INT"
)
expected=$'< ShowMotion responding to Ball >\n< Water Effect initialized >\n< Fire Effect innitialized >\n< Threshold is now: 15 >'
failed=0
for entry in "${cases[@]}"; do
  read -r name way start_env <<<"$entry"
  if ! xvfb-run -a -s "-screen 0 1024x768x24" \
      bash "$work/drive.sh" "$binary" "$close_request" "$work" "$name" "$way" "$start_env"; then
    failed=1
    continue
  fi
  ok=1
  status=$(cat "$work/$name.status")
  if [ "$status" != 0 ]; then
    echo "$name: exit status $status, expected 0" >&2
    grep -v 'GST_STATES' "$work/$name.err" >&2
    ok=0
  fi
  if [ "$(cat "$work/$name.out")" != "$expected" ]; then
    echo "$name: unexpected standard output:" >&2
    cat "$work/$name.out" >&2
    ok=0
  fi
  if ! grep -Eq '<pipeline[0-9]+> completed state change to NULL' "$work/$name.err"; then
    echo "$name: the camera pipeline was not stopped" >&2
    ok=0
  fi
  if [ "$ok" = 1 ]; then
    echo "$name: status 0, output complete, pipeline stopped"
  else
    failed=1
  fi
done
exit "$failed"
