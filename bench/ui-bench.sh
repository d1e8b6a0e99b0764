#!/usr/bin/env bash
# Results list benchmark: fills the desktop program's results model with 100,000 synthetic
# found files in a table view on the offscreen platform, and sorts it by every column.
#
# Usage: bench/ui-bench.sh [ROWS]
#
# Environment:
#   REKKON_BUILD   an existing build folder to use (ui-model-bench is brought up to date there,
#                  with REKKON_BENCH turned on); default: <repo>/build-bench, configured here
#                  with CMAKE_BUILD_TYPE=Release
#
# Needs: cmake, a C++20 compiler, Qt 6 Widgets (qt6-base-dev); dosfstools and mtools for the
# preview timing.
#
# Exit status: 0 when it ran, whether or not the targets were met (reported as "target met" /
# "target missed"); non-zero on a build error.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${REKKON_BUILD:-$REPO/build-bench}
ROWS=${1:-100000}

if [[ -z ${REKKON_BUILD:-} ]]; then
    cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DREKKON_BUILD_TESTS=OFF \
        -DREKKON_BENCH=ON >/dev/null
else
    cmake -S "$REPO" -B "$BUILD" -DREKKON_BENCH=ON >/dev/null
fi
nice cmake --build "$BUILD" -j2 --target ui-model-bench ui-preview-bench >/dev/null

QT_QPA_PLATFORM=offscreen "$BUILD/bench/ui-model-bench" "$ROWS"
# The preview pane: selection of a deleted 1 MB JPEG (on a FAT image made with mtools) to the
# painted picture, among as many rows.
QT_QPA_PLATFORM=offscreen "$BUILD/bench/ui-preview-bench" "$ROWS"
