#!/usr/bin/env bash
# Photographs the main window listing files found by their content: a small FAT card image is
# filled with the carving samples (tests/data/carve) by mkfs.fat and mcopy, then formatted over
# (a quick format: new boot sector, tables and root folder; the data stays); the program opens it
# on a real X server (Xvfb) under openbox, finds nothing deleted, is answered "Search by content",
# and the window with its frame is cut out of the screen into OUTPUT (default
# docs/main-window-carved.png). Needs dosfstools, mtools, xvfb, openbox, xdotool and ImageMagick;
# optipng shrinks the file when present. Run from anywhere; builds what is missing.
#   bash tools/window-screenshot-carved.sh [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."

output=${1:-docs/main-window-carved.png}

cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target rekkon >/dev/null

# shellcheck source=tools/window-session.sh
source tools/window-session.sh
start_window_session

# The card: the samples copied in, then a quick format over them.
card=$work/card.img
samples=tests/data/carve
mkfs.fat -C -F 16 -n CARD "$card" 16384 >/dev/null
# In the root folder, which the format clears: no old folder is left to name them.
mcopy -i "$card" "$samples/images/exif.jpg" "$samples/images/canon.cr2" \
    "$samples/images/nikon.tif" "$samples/images/plain.png" "$samples/images/anim.gif" \
    "$samples/media/sample.mp4" "$samples/media/sample.mov" "$samples/sample.pdf" \
    "$samples/sample.docx" "$samples/sample.odt" "$samples/sample.zip" \
    "$samples/media/sample.mp3" "$samples/sample.sqlite" ::
mkfs.fat -F 16 -n CARD "$card" >/dev/null

# Started beside the card, which the window then names briefly.
(cd "$work" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime \
    exec "$OLDPWD/build/rekkon" card.img >"$work/rekkon.log" 2>&1) &
pids=("$!" "${pids[@]}")

# Nothing deleted is listed on the new volume: the message offers the search by content, its
# default button. The message box is the program's narrow window; the main window, wide, opens
# once the search has ended.
windows() {  # WIDTH ID of each visible window of the program
    for id in $(DISPLAY=$display xdotool search --onlyvisible --name "Rekkon" 2>/dev/null); do
        width=$(DISPLAY=$display xdotool getwindowgeometry --shell "$id" 2>/dev/null |
            sed -n 's/^WIDTH=//p')
        [ -n "$width" ] && echo "$width $id"
    done
}
window=
for _ in $(seq 150); do
    while read -r width id; do
        if [ "$width" -ge 800 ]; then
            window=$id
        else
            DISPLAY=$display xdotool windowactivate --sync "$id" key --window "$id" Return                 2>/dev/null || true
        fi
    done < <(windows)
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the main window did not open" >&2; cat "$work/rekkon.log" >&2; exit 1; }
sleep 1
# Wide and tall enough for every column and row.
DISPLAY=$display xdotool windowsize --sync "$window" 1060 370
DISPLAY=$display xdotool windowactivate --sync "$window"
DISPLAY=$display xdotool key --window "$window" Down
photograph_window "$output"
