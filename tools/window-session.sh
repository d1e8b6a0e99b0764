# shellcheck shell=bash
# Sourced by the window-screenshot scripts: a real X server (Xvfb, 1280x720) under a window
# manager (openbox) for the program to run on, and the picture of its window.
#   start_window_session   sets `display` and `work` (a temporary folder, removed on exit, with
#                          a private XDG runtime folder `$work/runtime`); `pids` holds what to
#                          stop on exit (add the program's)
#   photograph_window OUT  the screen's non-black part (the window and its frame) into OUT
start_window_session() {
    display=:$((90 + RANDOM % 9))
    work=$(mktemp -d)
    pids=()
    trap stop_window_session EXIT
    Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids=("$!")
    for _ in $(seq 50); do
        DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.1
    done
    DISPLAY=$display openbox >"$work/wm.log" 2>&1 &
    pids=("$!" "${pids[@]}")
    sleep 1
    mkdir -m 700 "$work/runtime"
}

stop_window_session() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}

photograph_window() {
    DISPLAY=$display xdotool mousemove 0 0
    sleep 1
    # The desktop is black: what is not black is the window and its frame.
    DISPLAY=$display import -window root "$work/screen.png"
    convert "$work/screen.png" -trim +repage "$1"
    if command -v optipng >/dev/null; then optipng -quiet -o5 -strip all "$1"; fi
    ls -l "$1"
}
