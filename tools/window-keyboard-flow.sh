#!/usr/bin/env bash
# The desktop program driven with the keyboard alone, as a person would, on a real X server
# (Xvfb) under a window manager (openbox): a FAT16 card image with a deleted photo and a deleted
# note is made with mtools; rekkon starts without a source (no drive is found, so the image
# chooser opens), the path is typed, the root folder taken, the list filtered to the photo,
# Enter goes to the list, F3 previews the photo, Enter recovers it into a folder typed into the
# folder chooser, and the summary is closed with Enter, the window with Escape. The recovered
# photo must equal the original (exit status 1 otherwise). Pictures of the main window with the
# preview and of the summary go to OUTDIR (default docs/).
# Needs xvfb, openbox, xdotool, ImageMagick, mtools and dosfstools.
#   bash tools/window-keyboard-flow.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
outdir=${1:-docs}
mkdir -p "$outdir"

cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target rekkon >/dev/null

# shellcheck source=tools/window-session.sh
source tools/window-session.sh
start_window_session

photo=tests/data/carve/images/photo.jpg
image=$work/card.img
mkfs.fat -C -F 16 -n CARD "$image" 16384 >/dev/null
printf 'Shopping list\nmilk\nbread\n' >"$work/notes.txt"
export MTOOLS_SKIP_CHECK=1
mcopy -i "$image" "$photo" ::Holiday-2021.jpg
mcopy -i "$image" "$work/notes.txt" ::notes.txt
mdel -i "$image" ::Holiday-2021.jpg ::notes.txt
mkdir "$work/recovered"

DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config \
    build/rekkon >"$work/rekkon.log" 2>&1 &
pids=("$!" "${pids[@]}")

key() { DISPLAY=$display xdotool key --delay 100 "$@"; sleep 1; }
type_text() { DISPLAY=$display xdotool type --delay 30 "$1"; sleep 0.5; }
wait_for() { DISPLAY=$display xdotool search --sync --onlyvisible --name "$1" >/dev/null; sleep 1; }

wait_for "disk image"
type_text "$image"
key Return                         # the image chooser: open it
wait_for "Vantrel"
key Return                         # the folder chooser: the root
wait_for "card.img"
key ctrl+f
type_text "holiday"
key Return                         # to the list, the photo selected
key F3                             # the preview
photograph_window "$outdir/main-window-preview.png"
key Return                         # Rekkon: the folder chooser
sleep 1
type_text "$work/recovered"
key Return
sleep 2                            # the copy and the summary
photograph_window "$outdir/recovery-summary.png"
key Return                         # closes the summary
key Escape                         # Done

recovered=("$work"/recovered/*)
if [[ ${#recovered[@]} -ne 1 ]] || ! cmp -s "${recovered[0]}" "$photo"; then
    echo "the recovered photo does not equal the original: ${recovered[*]}" >&2
    cat "$work/rekkon.log" >&2
    exit 1
fi
echo "recovered ${recovered[0]##*/}: equal to $photo"
