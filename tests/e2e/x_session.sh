# Sourced by the X tests: an X server, a window manager and the toy, each the test's own. Every
# helper is checked to be running when it starts and whenever a test waits, so a helper that dies
# fails the test with its own words, never with a symptom further down.
#   x_require TOOL...     fail unless the X tools and these are installed
#   x_start_server WxH    start Xvfb on a display number it picks itself; exports DISPLAY
#   x_start_wm            start evilwm and wait until it manages the screen
#   x_start_toy NAME CMD  run CMD (the toy) with output in $x_work/NAME.out and .err, wait for
#                         its window and give it the focus; sets pid and window
#   x_wait_toy            wait up to 20 s for the toy to end; sets status
#   x_stop                end the server and the window manager (also on exit)
#   wait_for TENTHS CMD   true once CMD succeeds, checking the helpers between tries
#   x_screenshot FILE     the whole screen as a PNG

x_work=$(mktemp -d)
x_server_pid=""
x_wm_pid=""
pid=""

x_fail() {
    echo "$*" >&2
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    exit 1
}

x_require() {
    for tool in Xvfb xprop xdotool evilwm "$@"; do
        command -v "$tool" >/dev/null || x_fail "$tool is needed (scripts/install-deps.sh installs it)"
    done
}

x_stop() {
    [ -n "$x_wm_pid" ] && kill "$x_wm_pid" 2>/dev/null && wait "$x_wm_pid" 2>/dev/null
    [ -n "$x_server_pid" ] && kill "$x_server_pid" 2>/dev/null && wait "$x_server_pid" 2>/dev/null
    x_wm_pid=""
    x_server_pid=""
}
trap 'x_stop; [ -n "${KEEP_WORK:-}" ] && echo "work: $x_work" >&2 || rm -rf "$x_work"' EXIT

# First lines of a helper's own error output, on one line.
x_said() {
    grep -v GST_STATES "$1" 2>/dev/null | head -c 400 | tr '\n' ' ' | sed 's/ *$//'
}

x_check() {
    if [ -n "$x_server_pid" ] && ! kill -0 "$x_server_pid" 2>/dev/null; then
        x_fail "the X server stopped: $(x_said "$x_work/xvfb.err")"
    fi
    if [ -n "$x_wm_pid" ] && ! kill -0 "$x_wm_pid" 2>/dev/null; then
        x_fail "the window manager stopped: $(x_said "$x_work/wm.err")"
    fi
}

wait_for() {
    local tenths=$1
    shift
    for _ in $(seq 1 "$tenths"); do
        x_check
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The server reports the display number it took once it is ready, so tests running side by
# side never share a server. Without -noreset it would reset whenever its last client left.
x_start_server() {
    : >"$x_work/display"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$x_work/display" \
        2>"$x_work/xvfb.err" &
    x_server_pid=$!
    wait_for 300 test -s "$x_work/display" || x_fail "the X server did not start within 30 s"
    export DISPLAY=":$(head -n 1 "$x_work/display")"
}

x_wm_manages_screen() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# evilwm's default font is an alias that only the optional 75/100 dpi font packages provide;
# 'fixed' is in every X server's font path.
x_start_wm() {
    evilwm -fn fixed >/dev/null 2>"$x_work/wm.err" &
    x_wm_pid=$!
    wait_for 100 x_wm_manages_screen || x_fail "the window manager did not start within 10 s"
}

x_screenshot() {
    import -window root "$1" || x_fail "cannot take a screenshot"
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
    shift
    # The server may still be taking down the window of the toy before.
    wait_for 100 x_no_window || x_fail "$x_name: the last window is still there"
    "$@" >"$x_work/$x_name.out" 2>"$x_work/$x_name.err" &
    pid=$!
    wait_for 300 x_window_or_stopped
    [ -n "$window" ] || x_fail "$x_name: no window named Tavlomi appeared: $(x_said "$x_work/$x_name.err")"
    wait_for 100 x_focused || x_fail "$x_name: the window did not take the keyboard focus"
}

x_wait_toy() {
    wait_for 200 x_toy_stopped || x_fail "$x_name: the toy did not end within 20 s"
    wait "$pid"
    status=$?
    pid=""
}
