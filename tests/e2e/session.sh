# Sourced by the end-to-end scripts. Each program a test starts (spawn, start_helper) runs in the
# background with its output in $work/NAME.out and .err, its pid in pids[NAME], and is ended with
# the test (or by end_all). The helpers (an X server, a window manager, a PipeWire daemon, its
# session manager) are checked to be running whenever a test waits (wait_for TENTHS CMD), so a
# helper that dies fails the test with its own words, never with a symptom further down. x_start
# starts Xvfb (exporting DISPLAY) and evilwm; x_start_toy starts the toy and waits for its window
# to take the focus, x_wait_toy STATUS for its end (at most 20 s) with that exit status.

work=$(mktemp -d)
declare -A pids=()
others=()
helpers=()

end_all() {
    local i name
    for name in "${others[@]}"; do kill -9 "${pids[$name]}" 2>/dev/null; done
    for ((i = ${#helpers[@]} - 1; i >= 0; i--)); do
        kill "${pids[${helpers[i]}]}" 2>/dev/null && wait "${pids[${helpers[i]}]}" 2>/dev/null
    done
    others=()
    helpers=()
}
trap 'end_all; [ -n "${KEEP_WORK:-}" ] && echo "work: $work" >&2 || rm -rf "$work"' EXIT

fail() {
    echo "$*" >&2
    exit 1
}

require() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is needed (scripts/install-deps.sh installs it)"
    done
}

said() {
    grep -v GST_STATES "$work/$1.err" 2>/dev/null | head -c 400 | tr '\n' ' ' | sed 's/ *$//'
}

# Runs a program in the background, its name added to the list named first (others or helpers).
background() {
    local -n list=$1
    local name=$2
    shift 2
    "$@" >"$work/$name.out" 2>"$work/$name.err" &
    pids[$name]=$!
    list+=("$name")
}
spawn() { background others "$@"; }
start_helper() { background helpers "$@"; }

wait_for() {
    local tenths=$1 helper
    shift
    for _ in $(seq 1 "$tenths"); do
        for helper in "${helpers[@]}"; do
            kill -0 "${pids[$helper]}" 2>/dev/null || fail "$helper stopped: $(said "$helper")"
        done
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Waits TENTHS for a line matching REGEX in $work/FILE (NAME.out or NAME.err), else fails with WHY.
wait_line() { wait_for "$2" grep -Eq -- "$3" "$work/$1" || fail "$4: $(said "${1%.*}")"; }

x_wm_manages_screen() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# The server reports the display number it took once it is ready, so tests running side by side
# never share a server; without -noreset it would reset whenever its last client left. evilwm's
# default font is an alias that only the optional 75/100 dpi font packages provide; 'fixed' is in
# every X server's font path.
x_start() {
    require Xvfb xprop xdotool evilwm
    : >"$work/display"
    start_helper Xvfb Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display"
    wait_for 300 test -s "$work/display" || fail "the X server did not start within 30 s"
    export DISPLAY=":$(head -n 1 "$work/display")"
    start_helper evilwm evilwm -fn fixed
    wait_for 100 x_wm_manages_screen || fail "the window manager did not start within 10 s"
}

x_screenshot() {
    import -window root "$1" || fail "cannot take a screenshot"
}

# SDL may replace its first window while it sets the video mode: the newest one counts.
find_window() {
    window=$(xdotool search --onlyvisible --name '^Tavlomi$' 2>/dev/null | tail -n 1)
    [ -n "$window" ]
}
x_toy_stopped() { ! kill -0 "$pid" 2>/dev/null; }
x_window_or_stopped() { find_window || x_toy_stopped; }
x_no_window() { [ -z "$(xdotool search --name '^Tavlomi$' 2>/dev/null)" ]; }
x_focused() {
    find_window && timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]
}

x_start_toy() {
    x_name=$1
    # The server may still be taking down the window of the toy before.
    wait_for 100 x_no_window || fail "$x_name: the last window is still there"
    spawn "$@"
    pid=${pids[$x_name]}
    wait_for 300 x_window_or_stopped
    [ -n "$window" ] || fail "$x_name: no window named Tavlomi appeared: $(said "$x_name")"
    wait_for 100 x_focused || fail "$x_name: the window did not take the keyboard focus"
}

x_wait_toy() {
    wait_for 200 x_toy_stopped || fail "$x_name: the toy did not end within 20 s"
    wait "$pid"
    local status=$?
    [ "$status" = "$1" ] || fail "$x_name: exit status $status, expected $1: $(said "$x_name")"
}
