#!/usr/bin/env bash
# The toy with a real PipeWire daemon and session manager on a private runtime folder, run under
# dbus-run-session, on SDL's dummy display:
#  - its virtual camera, read back by pipewiresrc, is its own screen (the replay path's on the
#    same still picture): each pixel's luma within 1 of BT.601; a consumer that comes back gets
#    it again, and so does one after the node's own process was killed;
#  - a camera that only PipeWire provides is listed as the default, shown, lost when its
#    provider stops and back, with the provider's new picture, when it starts again.
set -u
binary=$1
replay=$2
. "$(dirname "$0")/session.sh"
require pipewire wireplumber pw-cli gst-launch-1.0
gst-inspect-1.0 pipewiresink >/dev/null 2>&1 || fail "pipewiresink is needed (gstreamer1.0-pipewire)"
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || fail "run this test under dbus-run-session"
pw_node_up() { pw-cli ls Node 2>/dev/null | grep -q "node.description = \"$1\""; }
pw_manager_up() { pw-cli ls Metadata 2>/dev/null | grep -q 'metadata.name = "default"'; }
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
start_helper pipewire pipewire
wait_for 100 test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "pipewire did not start within 10 s"
start_helper wireplumber wireplumber
wait_for 100 pw_manager_up || fail "wireplumber did not start within 10 s"
export SDL_VIDEODRIVER=dummy
w=64
h=48

# The last frame of NUM frames from the Tavlomi node, as YUY2, into FILE.
consume() {
    timeout 20 gst-launch-1.0 -q pipewiresrc target-object=Tavlomi num-buffers="$1" \
        ! video/x-raw,format=YUY2,width=$w,height=$h ! filesink location="$work/consumed" \
        || fail "the consumer got no picture from the toy: $(said toy)"
    tail -c $((w * h * 2)) "$work/consumed" >"$2"
}
bytes() { od -An -v -tu1 -w1 "$1"; }

gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 \
    ! video/x-raw,format=BGR,width=$w,height=$h,framerate=30/1 ! tee name=t \
    ! queue ! matroskamux ! filesink location="$work/still.mkv" \
    t. ! queue ! videoflip video-direction=vert ! video/x-raw,format=BGR \
    ! filesink location="$work/still.bgr" \
    || fail "cannot make the still picture"
"$replay" --size $w $h --frames 100 --input "$work/still.bgr" --screens "$work/screens" \
    >/dev/null || fail "the replay tool failed"
tail -c $((w * h * 4)) "$work/screens" >"$work/screen"
spawn toy "$binary" window $w $h --video="$work/still.mkv" --virtual-camera=pipewire
wait_for 100 pw_node_up Tavlomi || fail "no PipeWire node Tavlomi: $(said toy)"
for consumer in first second third; do
    if [ "$consumer" = third ]; then
        # The node's own process dying costs the node a restart, never the toy.
        node=$(pgrep -P "${pids[toy]}" -f -- '--pipewire-node') || fail "no PipeWire node process"
        kill -SEGV "$node"
        wait_line toy.err 100 '^virtual camera PipeWire node "Tavlomi" stopped: ' \
            "the node's end was not noticed"
        wait_line toy.err 100 '^virtual camera PipeWire node "Tavlomi" is back$' \
            "the node did not come back"
        wait_for 100 pw_node_up Tavlomi || fail "no PipeWire node Tavlomi again"
    fi
    consume 40 "$work/frame"
    # Each pixel's luma (every other YUY2 byte); the chroma is tested with the route itself.
    far=$(awk 'NR == FNR { s[NR - 1] = $1; next } FNR % 2 == 1 { p = 2 * (FNR - 1)
          e = 16 + (65.481 * s[p + 2] + 128.553 * s[p + 1] + 24.966 * s[p]) / 255
          d = $1 - int(e + 0.5); if (d > 1 || d < -1) far++ }
        END { print far + 0 }' <(bytes "$work/screen") <(bytes "$work/frame"))
    [ "$far" = 0 ] || fail "$consumer consumer: $far of $((w * h)) pixels are not the toy's screen"
    echo "$consumer consumer: the toy's screen, $w x $h YUY2"
done
kill "${pids[toy]}"
wait "${pids[toy]}" || fail "the toy did not end with status 0: $(said toy)"

fake_camera() {
    spawn camera gst-launch-1.0 -q videotestsrc is-live=true pattern=solid-color \
        foreground-color="$1" ! video/x-raw,format=YUY2,width=320,height=240,framerate=30/1 \
        ! pipewiresink mode=provide \
        stream-properties="props,media.class=Video/Source,node.description=FakeCam"
    wait_for 100 pw_node_up FakeCam || fail "the PipeWire camera did not start: $(said camera)"
}
# The luma of the top left pixel the toy sends is the camera's, Y 111 for 0x2080e0 and 141 for
# 0xe08020, within the two conversions' rounding.
corner_is() {
    consume 5 "$work/corner"
    local y
    y=$(bytes "$work/corner" | head -n 1)
    [ "$y" -ge $(($1 - 3)) ] && [ "$y" -le $(($1 + 3)) ] || fail "$2: luma $y, not $1"
}
fake_camera 0xff2080e0
"$binary" --list-cameras | grep -qx '0: FakeCam (PipeWire)  colour  \[default\]' \
    || fail "--list-cameras: $("$binary" --list-cameras)"
spawn toy "$binary" window $w $h --virtual-camera=pipewire
wait_for 100 pw_node_up Tavlomi || fail "no PipeWire node Tavlomi: $(said toy)"
corner_is 111 "the PipeWire camera's picture"
kill "${pids[camera]}"
wait_line toy.err 100 '^camera FakeCam was lost: it sent nothing for 2 seconds; ' \
    "the lost camera was not noticed as a silent one"
fake_camera 0xffe08020
wait_line toy.err 150 '^camera FakeCam is back$' "the camera did not come back"
corner_is 141 "the camera's picture after its return"
kill "${pids[toy]}"
wait "${pids[toy]}" || fail "the toy did not end with status 0: $(said toy)"
echo "PipeWire camera: listed, shown, lost and back"
