#!/usr/bin/env bash
# Photographs the main window as a person sees it: the program runs on a real X server (Xvfb)
# under a window manager (openbox), scans IMAGE, has row ROW (counted from 0) selected with the
# arrow keys, and the window with its frame is cut out of the screen into OUTPUT. Defaults: the
# exFAT sample and docs/main-window-exfat.png. Needs xvfb, openbox, xdotool and ImageMagick;
# optipng shrinks the file when present. Run from anywhere; builds what is missing.
#   bash tools/window-screenshot.sh [IMAGE [OUTPUT [ROW]]]
set -euo pipefail
cd "$(dirname "$0")/.."

image=${1:-build/testdata/exfat/basic.img}
output=${2:-docs/main-window-exfat.png}
row=${3:-7}

cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target rekkon rekkon_test_images >/dev/null

# shellcheck source=tools/window-session.sh
source tools/window-session.sh
start_window_session

DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime build/rekkon "$image" \
    >"$work/rekkon.log" 2>&1 &
pids=("$!" "${pids[@]}")

window=$(DISPLAY=$display xdotool search --sync --onlyvisible --name "Rekkon" | head -n 1)
sleep 2  # the scan fills the list
DISPLAY=$display xdotool windowactivate --sync "$window"
for _ in $(seq "$row"); do DISPLAY=$display xdotool key --window "$window" Down; done
photograph_window "$output"
