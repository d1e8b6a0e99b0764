#!/usr/bin/env bash
# Makes the small image files the carving tests of JPEG, PNG, GIF, BMP and TIFF read
# (tests/data/carve/images/). Needs ImageMagick (convert) and python3.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=tests/data/carve/images
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -seed 7 -size 96x64 plasma:red-yellow -depth 8 "$tmp/base.png"
convert -size 16x12 gradient:red-blue "$tmp/thumb.jpg"

# JPEG: a baseline picture with restart markers and an Exif block (date, camera, a thumbnail
# inside APP1 with its own SOI and EOI), and a progressive one.
convert "$tmp/base.png" -quality 80 -define jpeg:restart-interval=2 "$tmp/plain.jpg"
python3 - "$tmp/plain.jpg" "$tmp/thumb.jpg" "$out/exif.jpg" <<'PY'
import struct, sys
jpeg, thumb = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
def ifd(entries, next_ifd, base, data_at):
    # entries: (tag, type, count, bytes); values longer than 4 bytes go after the IFD
    body, data = b'', b''
    data_pos = data_at
    for tag, typ, count, value in entries:
        if len(value) <= 4:
            body += struct.pack('<HHI', tag, typ, count) + value.ljust(4, b'\0')
        else:
            body += struct.pack('<HHII', tag, typ, count, data_pos)
            data += value + (b'\0' if len(value) % 2 else b'')
            data_pos += len(value) + len(value) % 2
    return struct.pack('<H', len(entries)) + body + struct.pack('<I', next_ifd), data
def ascii(s): return s.encode() + b'\0'
# IFD0 at 8: Make, Model, DateTime, ExifIFD; Exif IFD: DateTimeOriginal; IFD1: the thumbnail
make, model = ascii('Canon'), ascii('Canon EOS 5D')
dt, dto = ascii('2024:05:02 08:00:00'), ascii('2024:05:01 12:30:05')
ifd0_size = 2 + 4 * 12 + 4
ifd0_data = len(make) + len(model) + len(dt) + 3
exif_at = 8 + ifd0_size + ifd0_data + (ifd0_data % 2)
exif_size = 2 + 12 + 4
ifd1_at = exif_at + exif_size + len(dto) + 1
ifd1_size = 2 + 2 * 12 + 4
thumb_at = ifd1_at + ifd1_size
ifd0, d0 = ifd([(0x010F, 2, len(make), make), (0x0110, 2, len(model), model),
                (0x0132, 2, len(dt), dt), (0x8769, 4, 1, struct.pack('<I', exif_at))],
               ifd1_at, 0, 8 + ifd0_size)
d0 = d0.ljust(exif_at - 8 - ifd0_size, b'\0')
exif, de = ifd([(0x9003, 2, len(dto), dto)], 0, 0, exif_at + exif_size)
de = de.ljust(ifd1_at - exif_at - exif_size, b'\0')
ifd1, _ = ifd([(0x0201, 4, 1, struct.pack('<I', thumb_at)),
               (0x0202, 4, 1, struct.pack('<I', len(thumb)))], 0, 0, thumb_at)
tiff = b'II*\0' + struct.pack('<I', 8) + ifd0 + d0 + exif + de + ifd1 + thumb
app1 = b'Exif\0\0' + tiff
segment = b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1
open(sys.argv[3], 'wb').write(jpeg[:2] + segment + jpeg[2:])
PY
convert "$tmp/base.png" -quality 75 -interlace Plane "$out/progressive.jpg"
# Photo-like pictures of some tens of KiB (many sectors) for a JPEG split in two fragments: one
# with restart markers as cameras write them, one without.
convert -seed 11 -size 256x192 plasma:green-blue -attenuate 0.4 +noise Gaussian "$tmp/photo.ppm"
cjpeg -quality 90 -restart 1 "$tmp/photo.ppm" >"$out/photo-restarts.jpg"
cjpeg -quality 90 "$tmp/photo.ppm" >"$out/photo.jpg"

# PNG: a truecolour picture and a palette one with transparency.
convert "$tmp/base.png" -strip "$out/plain.png"
convert "$tmp/base.png" -strip -colors 16 -transparent black "PNG8:$out/palette.png"

# GIF: an animation of two frames (89a) and a still picture (87a).
convert -delay 20 -size 40x30 xc:red xc:blue -loop 0 "$out/anim.gif"
convert "$tmp/base.png" -resize 32x24 -colors 8 "GIF87:$out/still.gif"

# BMP: a 24-bit picture with the classic 40-byte header and a palette one with a version 5 header.
convert "$tmp/base.png" -resize 37x21\! "BMP3:$out/rgb24.bmp"
convert "$tmp/base.png" -resize 30x20\! -colors 16 -type Palette "BMP:$out/palette.bmp"

# TIFF: LZW strips, tiles, two pages, and one with a camera make, model and date.
convert "$tmp/base.png" -compress lzw "$out/strips.tif"
convert "$tmp/base.png" -define tiff:tile-geometry=32x32 -compress zip "$out/tiles.tif"
convert "$tmp/base.png" "$tmp/base.png" -resize 40x30 -compress none "$out/pages.tif"
# Raw-photo layouts on TIFF, written here byte by byte (no camera at hand): an 8-bit grey strip
# with Make, Model and DateTime; the Canon one has the "CR" mark at 8.
python3 - "$out" <<'PY'
import struct, sys
def tiff(path, make, model, date, cr2, dng=False):
    pixels = bytes(range(64))
    texts = [make.encode() + b'\0', model.encode() + b'\0', date.encode() + b'\0']
    first = 16 if cr2 else 8
    n = 11 if dng else 10
    data_at = first + 2 + 12 * n + 4
    blobs, offsets, at = b'', [], data_at
    for t in texts + [pixels]:
        offsets.append(at)
        blobs += t + (b'\0' if len(t) % 2 else b'')
        at += len(t) + len(t) % 2
    e = [(0x0100, 3, 1, 8), (0x0101, 3, 1, 8), (0x0102, 3, 1, 8), (0x0106, 3, 1, 1),
         (0x010F, 2, len(texts[0]), offsets[0]), (0x0110, 2, len(texts[1]), offsets[1]),
         (0x0111, 4, 1, offsets[3]), (0x0115, 3, 1, 1), (0x0117, 4, 1, len(pixels)),
         (0x0132, 2, len(texts[2]), offsets[2])]
    if dng:
        e.append((0xC612, 1, 4, 0x00000401))  # DNGVersion 1.4.0.0
    head = b'II*\0' + struct.pack('<I', first) + (b'CR\x02\0' + struct.pack('<I', 0) if cr2 else b'')
    ifd = struct.pack('<H', n) + b''.join(struct.pack('<HHII', *x) for x in e) + struct.pack('<I', 0)
    open(path, 'wb').write(head + ifd + blobs)
tiff(sys.argv[1] + '/nikon.tif', 'NIKON CORPORATION', 'NIKON D750', '2023:12:24 18:05:00', False)
tiff(sys.argv[1] + '/canon.cr2', 'Canon', 'Canon EOS 5D Mark III', '2022:07:14 09:10:11', True)
tiff(sys.argv[1] + '/sony.arw', 'SONY', 'ILCE-7M3', '2021:03:02 10:20:30', False)
tiff(sys.argv[1] + '/pixel.dng', 'Google', 'Pixel 7', '2023:08:09 07:06:05', False, True)
PY
ls -l "$out"
