# Sourced by the PipeWire tests, which run under dbus-run-session: a PipeWire daemon and its
# session manager on a private runtime folder, each checked to be running when it starts and
# whenever a test waits, so that one that dies fails the test with its own words.
#   pw_start              start pipewire and wireplumber; exports XDG_RUNTIME_DIR
#   pw_fail MESSAGE       fail the test, ending what it started
#   pw_wait TENTHS CMD    true once CMD succeeds, checking the daemons between tries
#   pw_node_up NAME       true once a node of that description is in the graph
#   pw_spawn NAME CMD     run CMD in the background, output in $pw_work/NAME.out and .err;
#                         its pid in pw_pids[NAME]

pw_work=$(mktemp -d)
declare -A pw_pids=()
pw_daemon_pid=""
pw_manager_pid=""

pw_stop() {
    for p in "${pw_pids[@]}" $pw_manager_pid $pw_daemon_pid; do
        kill "$p" 2>/dev/null && wait "$p" 2>/dev/null
    done
}
trap 'pw_stop; [ -n "${KEEP_WORK:-}" ] && echo "work: $pw_work" >&2 || rm -rf "$pw_work"' EXIT

pw_fail() {
    echo "$*" >&2
    exit 1
}

pw_said() { head -c 400 "$1" 2>/dev/null | tr '\n' ' '; }

pw_check() {
    kill -0 "$pw_daemon_pid" 2>/dev/null || pw_fail "pipewire stopped: $(pw_said "$pw_work/pipewire.err")"
    kill -0 "$pw_manager_pid" 2>/dev/null || pw_fail "wireplumber stopped: $(pw_said "$pw_work/wireplumber.err")"
}

pw_wait() {
    local tenths=$1
    shift
    for _ in $(seq 1 "$tenths"); do
        pw_check
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

pw_node_up() { pw-cli ls Node 2>/dev/null | grep -q "node.description = \"$1\""; }
pw_manager_up() { pw-cli ls Metadata 2>/dev/null | grep -q 'metadata.name = "default"'; }

pw_start() {
    for tool in pipewire wireplumber pw-cli gst-launch-1.0; do
        command -v "$tool" >/dev/null || pw_fail "$tool is needed (scripts/install-deps.sh installs it)"
    done
    gst-inspect-1.0 pipewiresink >/dev/null 2>&1 || pw_fail "pipewiresink is needed (gstreamer1.0-pipewire)"
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || pw_fail "run this test under dbus-run-session"
    export XDG_RUNTIME_DIR="$pw_work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    pipewire >/dev/null 2>"$pw_work/pipewire.err" &
    pw_daemon_pid=$!
    pw_manager_pid=$pw_daemon_pid
    for _ in $(seq 1 100); do
        [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
        kill -0 "$pw_daemon_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] || pw_fail "pipewire did not start: $(pw_said "$pw_work/pipewire.err")"
    wireplumber >/dev/null 2>"$pw_work/wireplumber.err" &
    pw_manager_pid=$!
    pw_wait 100 pw_manager_up || pw_fail "wireplumber did not start within 10 s"
}

pw_spawn() {
    local name=$1
    shift
    "$@" >"$pw_work/$name.out" 2>"$pw_work/$name.err" &
    pw_pids[$name]=$!
}
