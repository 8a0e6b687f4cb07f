#!/usr/bin/env bash
# The real binary in a real X window: starts on the test scene, prints the three start-up lines,
# and quits with status 0 when Escape is pressed in its window.
set -u
binary=$1
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
  echo "xvfb-run and xdotool are needed" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/drive.sh" <<'INNER'
#!/usr/bin/env bash
set -u
binary=$1; work=$2
"$binary" window 320 240 --test-scene >"$work/out" 2>"$work/err" &
pid=$!
window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --name '^Tavlomi$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "no window named Tavlomi appeared" >&2
  kill "$pid" 2>/dev/null
  cat "$work/err" >&2
  exit 1
fi
xdotool getwindowgeometry "$window" >"$work/geometry"
sleep 0.5
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" Escape
xdotool key Escape
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the toy did not quit on Escape" >&2
  kill -9 "$pid"
  exit 1
fi
wait "$pid"
echo $? >"$work/status"
INNER

# A server number of its own: another run that just stopped on the same number could still remove
# this one's socket.
xvfb-run -a -n $((100 + $$ % 200)) -s "-screen 0 1024x768x24" bash "$work/drive.sh" "$binary" "$work" || exit 1

status=$(cat "$work/status")
expected=$'< ShowMotion responding to Ball >\n< Water Effect initialized >\n< Fire Effect innitialized >'
if [ "$status" != 0 ]; then
  echo "exit status $status, expected 0" >&2; cat "$work/err" >&2; exit 1
fi
if [ "$(cat "$work/out")" != "$expected" ]; then
  echo "unexpected standard output:" >&2; cat "$work/out" >&2; exit 1
fi
grep -q 'Geometry: 320x240' "$work/geometry" || { echo "window geometry:" >&2; cat "$work/geometry" >&2; exit 1; }
