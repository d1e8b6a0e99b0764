#!/usr/bin/env bash
# Makes the small audio, video and HEIF sample files the carving tests use
# (tests/data/carve/media/): one second, tiny pictures, fixed times and titles.
# Needs ffmpeg, cwebp (webp), heif-enc (libheif-examples) and avifenc (libavif-bin); the tests
# need none of them.
#
# Usage: tools/carve-samples/media.sh [OUT]     (default tests/data/carve/media)
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:-tests/data/carve/media}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -y -fflags +bitexact "$@"; }
video=(-f lavfi -i testsrc=size=32x24:rate=5:duration=1)
audio=(-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1)
when=(-metadata creation_time=2024-05-01T12:30:05Z)

# ISO base media: MP4 (movie box last), MOV (movie box first), 3GP, M4A, HEIC, AVIF.
ff "${video[@]}" "${audio[@]}" "${when[@]}" -c:v libx264 -preset veryfast -c:a aac -b:a 16k \
    "$out/sample.mp4"
ff "${video[@]}" "${audio[@]}" "${when[@]}" -c:v mpeg4 -c:a aac -b:a 16k -movflags +faststart \
    "$out/sample.mov"
ff -f lavfi -i testsrc=size=128x96:rate=5:duration=1 "${audio[@]}" "${when[@]}" -c:v h263 \
    -c:a aac -b:a 16k "$out/sample.3gp"
ff "${audio[@]}" "${when[@]}" -c:a aac -b:a 16k "$out/sample.m4a"
ff -f lavfi -i testsrc=size=64x48:duration=1 -frames:v 1 "$tmp/picture.png"
heif-enc -q 30 -o "$out/sample.heic" "$tmp/picture.png" >/dev/null
avifenc --min 30 --max 40 "$tmp/picture.png" "$out/sample.avif" >/dev/null

# RIFF: AVI (with an INFO title), WAVE, WEBP (lossy and lossless).
ff "${video[@]}" "${audio[@]}" -metadata title="Carved clip" -c:v mjpeg -q:v 20 -c:a pcm_u8 \
    "$out/sample.avi"
ff "${audio[@]}" -c:a pcm_u8 "$out/sample.wav"
cwebp -quiet -q 40 "$tmp/picture.png" -o "$out/sample.webp"
cwebp -quiet -lossless "$tmp/picture.png" -o "$out/lossless.webp"

# MP3: ID3v2 title, frames, an ID3v1 trailer; and bare frames.
ff "${audio[@]}" -metadata title="Carved song" -c:a libmp3lame -b:a 32k -write_id3v1 1 \
    "$out/sample.mp3"
ff "${audio[@]}" -c:a libmp3lame -b:a 32k -id3v2_version 0 -write_xing 0 "$out/bare.mp3"
ls -l "$out"
