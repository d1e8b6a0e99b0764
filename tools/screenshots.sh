#!/usr/bin/env bash
# Renders the desktop program's windows into docs/ as PNG files, on Qt's offscreen platform (no
# display needed): the main window with the bundled FAT16 sample scanned, the progress window,
# the first-character dialog, the drive dialog and the About box. Run from anywhere; builds what
# is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target rekkon rekkon_test_images >/dev/null

mkdir -p docs
# A settings folder of its own: the pictures do not depend on what a user's runs left.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=offscreen build/rekkon --screenshots docs build/testdata/fat/fat16.img 2>&1 |
    grep -E '^(wrote|could not)' || true
ls docs/main-window.png docs/progress-window.png docs/first-char-dialog.png docs/drive-dialog.png \
    docs/about-box.png
