#!/usr/bin/env bash
# Build the carving test volumes under tests/data/carve-volumes/: small images written by real
# file-system code (mtools, ntfs-3g, exfat-fuse) that hold the sample files of tests/data/carve
# in folders, whose file system is then destroyed:
#
#   fat32-formatted   FAT32, 512-byte clusters; a few files deleted, then formatted over
#                     with mkfs.fat (new boot sector, FATs and empty root; old folders stay)
#   ntfs-formatted    NTFS, 4 KiB clusters, then formatted over with mkntfs -Q
#   exfat-wiped       exFAT, 4 KiB clusters; boot regions, FAT and bitmap then zeroed
#   exfat-formatted   the same volume formatted over with mkfs.exfat (the old folders stay)
#   split-jpeg-card   FAT16, 2 KiB clusters; two JPEGs stored by mtools in two fragments each
#                     (a deleted file's hole, then after other data), then formatted over
#
# Next to each image (NAME.img.xz) goes NAME.manifest, written from The Sleuth Kit's view of
# the live file system before it was destroyed (tools/carve-fixtures/manifest.py): path, size,
# md5, contiguous, intact (the bytes still there after the destruction), deleted, runs.
#
# Usage: sudo tools/make-carve-fixtures.sh [OUTDIR]    (default tests/data/carve-volumes)
#        ONLY="split-jpeg-card" makes only the images named.
#
# Needs root (loop device, FUSE mounts) and the packages dosfstools, mtools, ntfs-3g,
# exfatprogs, exfat-fuse, sleuthkit, libjpeg-turbo-progs (cjpeg), imagemagick, xz-utils,
# python3. The test command needs none of them.
set -euo pipefail

OUT=${1:-tests/data/carve-volumes}
ONLY=${ONLY:-"fat32-formatted ntfs-formatted exfat-wiped exfat-formatted split-jpeg-card"}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SAMPLES=$HERE/../tests/data/carve
MANIFEST="python3 $HERE/carve-fixtures/manifest.py"
MTIME="2024-03-01 12:00:00"
export TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1

die() { echo "make-carve-fixtures: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "must run as root (loop device, FUSE mounts)"
for t in mkfs.fat mcopy mmd mdel mkntfs ntfs-3g mkfs.exfat mount.exfat-fuse losetup \
  fls istat fsstat cjpeg convert python3 xz md5sum; do
  command -v "$t" >/dev/null || die "missing tool: $t"
done

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d /var/tmp/rekkon-carve.XXXXXX)
MNT="$WORK/mnt"
mkdir -p "$MNT"
NTFS_PID=""
FUSE_PID=""
LOOP=""

cleanup() {
  if mountpoint -q "$MNT" 2>/dev/null; then umount "$MNT" || true; fi
  if [[ -n $NTFS_PID ]]; then wait "$NTFS_PID" 2>/dev/null || true; fi
  if [[ -n $FUSE_PID ]]; then wait "$FUSE_PID" 2>/dev/null || true; fi
  if [[ -n $LOOP ]]; then losetup -d "$LOOP" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# shellcheck source=tools/ntfs-fuse.sh disable=SC1091
source "$HERE/ntfs-fuse.sh"

# ---------------------------------------------------------------- content --

# photo SEED WxH QUALITY OUT [cjpeg options]: a photo-like picture (fractal plasma, blurred a
# little) compressed by cjpeg.
photo() {
  local seed=$1 size=$2 quality=$3 out=$4
  shift 4
  convert -seed "$seed" -size "$size" plasma:fractal -blur 0x1 "$WORK/photo.ppm"
  cjpeg -quality "$quality" "$@" -outfile "$out" "$WORK/photo.ppm"
}

# filler BYTES OUT: text of sensor-log lines (no file signature, compresses well).
filler() {
  python3 - "$1" "$2" <<'PY'
import sys
n, out = int(sys.argv[1]), sys.argv[2]
text, i = [], 0
while sum(map(len, text)) < n:
    text.append(f"{i:08d},probe-{i % 7},{(i * 7919) % 10007:05d},ok\n")
    i += 1
open(out, "w").write("".join(text)[:n])
PY
}

# The tree every carving volume holds: each sample of tests/data/carve in a folder a camera, an
# office or a music player would use, plus one photo of some tens of KiB with restart markers.
make_stage() {
  local s=$WORK/stage
  rm -rf "$s"
  mkdir -p "$s/DCIM/100CANON" "$s/Pictures/Scans" "$s/Documents/Work" "$s/Music/Album" "$s/Videos"
  cp "$SAMPLES/images/exif.jpg" "$s/DCIM/100CANON/IMG_0001.JPG"
  cp "$SAMPLES/images/progressive.jpg" "$s/DCIM/100CANON/IMG_0002.JPG"
  photo 11 640x480 85 "$s/DCIM/100CANON/IMG_0003.JPG" -restart 1
  cp "$SAMPLES/images/canon.cr2" "$s/DCIM/100CANON/IMG_0004.CR2"
  for f in plain.png palette.png anim.gif still.gif rgb24.bmp palette.bmp nikon.tif sony.arw pixel.dng; do
    cp "$SAMPLES/images/$f" "$s/Pictures/"
  done
  for f in pages.tif strips.tif tiles.tif; do cp "$SAMPLES/images/$f" "$s/Pictures/Scans/"; done
  for f in sample.heic sample.avif sample.webp lossless.webp; do cp "$SAMPLES/media/$f" "$s/Pictures/"; done
  for f in sample.docx sample.xlsx sample.pptx sample.odt sample.epub sample.jar sample.pdf sample.zip \
    sample.7z sample4.rar sample5.rar; do
    cp "$SAMPLES/$f" "$s/Documents/Work/"
  done
  for f in sample.mp3 bare.mp3 sample.m4a sample.wav; do cp "$SAMPLES/media/$f" "$s/Music/Album/"; done
  for f in sample.mp4 sample.mov sample.3gp sample.avi; do cp "$SAMPLES/media/$f" "$s/Videos/"; done
  find "$s" -exec touch -d "$MTIME" {} +
}

# Folders first, then files one by one in sorted order: the volume's allocation order is fixed.
mtools_copy() {
  local img=$1 s=$WORK/stage d f
  while read -r d; do mmd -i "$img" "::/$d"; done < <(cd "$s" && find . -mindepth 1 -type d | sed 's|^\./||' | sort)
  while read -r f; do mcopy -m -i "$img" "$s/$f" "::/$f"; done < <(cd "$s" && find . -type f | sed 's|^\./||' | sort)
}

fuse_copy() {
  local s=$WORK/stage d f
  while read -r d; do mkdir -p "$MNT/$d"; done < <(cd "$s" && find . -mindepth 1 -type d | sed 's|^\./||' | sort)
  while read -r f; do cp --preserve=timestamps "$s/$f" "$MNT/$f"; done < <(cd "$s" && find . -type f | sed 's|^\./||' | sort)
}

finish() {
  local name=$1 img=$2
  $MANIFEST verify "$img" "$OUT/$name.manifest"
  xz -9e -T1 -c "$img" >"$OUT/$name.img.xz"
  echo "   $(awk -F'\t' 'NR>1 && $4=="yes" && $5=="yes"' "$OUT/$name.manifest" | wc -l) of" \
    "$(($(wc -l <"$OUT/$name.manifest") - 1)) files contiguous and intact;" \
    "$(stat -c %s "$OUT/$name.img.xz") bytes compressed"
}

# ----------------------------------------------------------------- images --

fat32_formatted() {
  local img=$WORK/fat32-formatted.img
  local mkfs=(mkfs.fat -F 32 -s 1 -S 512 -n CARD)
  truncate -s 40M "$img"
  "${mkfs[@]}" -i 1a2b3c4d "$img" >/dev/null
  make_stage
  mtools_copy "$img"
  $MANIFEST record "$img" fat32 "$WORK/stage" "$OUT/fat32-formatted.manifest"
  local gone=(DCIM/100CANON/IMG_0002.JPG Pictures/still.gif Documents/Work/sample.7z Music/Album/bare.mp3)
  for f in "${gone[@]}"; do mdel -i "$img" "::/$f"; done
  $MANIFEST deleted "$OUT/fat32-formatted.manifest" "${gone[@]}"
  "${mkfs[@]}" -i 5e6f7a8b "$img" >/dev/null   # the quick format
  finish fat32-formatted "$img"
}

ntfs_formatted() {
  local img=$WORK/ntfs-formatted.img
  local mkfs=(mkntfs -Q -F -q -s 512 -c 4096 -L DISK)
  truncate -s 24M "$img"
  "${mkfs[@]}" "$img" >/dev/null 2>&1
  make_stage
  ntfs-3g -o "noatime,big_writes,no_detach" "$img" "$MNT" >>"$WORK/ntfs-3g.log" 2>&1 &
  NTFS_PID=$!
  wait_mounted "$img"
  fuse_copy
  unmount_img
  $MANIFEST record "$img" ntfs "$WORK/stage" "$OUT/ntfs-formatted.manifest"
  "${mkfs[@]}" "$img" >/dev/null 2>&1   # the quick format
  finish ntfs-formatted "$img"
}

# exfat_volume NAME: a 16 MiB exFAT volume holding the tree, written through exfat-fuse, and its
# manifest; the image is left in $WORK/NAME.img.
exfat_volume() {
  local name=$1 img=$WORK/$1.img
  truncate -s 16M "$img"
  LOOP=$(losetup -f --show -b 512 "$img")
  mkfs.exfat -c 4096 -L CARD "$LOOP" >/dev/null
  make_stage
  mount.exfat-fuse -d "$LOOP" "$MNT" >"$WORK/fuse.log" 2>&1 &
  FUSE_PID=$!
  local _
  for _ in $(seq 100); do mountpoint -q "$MNT" && break; sleep 0.1; done
  mountpoint -q "$MNT" || die "exfat-fuse did not mount $img"
  fuse_copy
  sync
  umount "$MNT"
  wait "$FUSE_PID" || die "exfat-fuse exited with an error"
  FUSE_PID=""
  losetup -d "$LOOP"
  LOOP=""
  $MANIFEST record "$img" exfat "$WORK/stage" "$OUT/$name.manifest"
}

exfat_wiped() {
  exfat_volume exfat-wiped
  python3 "$HERE/carve-fixtures/wipe_exfat.py" "$WORK/exfat-wiped.img" >/dev/null
  finish exfat-wiped "$WORK/exfat-wiped.img"
}

exfat_formatted() {
  local img=$WORK/exfat-formatted.img
  exfat_volume exfat-formatted
  LOOP=$(losetup -f --show -b 512 "$img")
  mkfs.exfat -c 4096 -L CARD "$LOOP" >/dev/null   # the quick format
  losetup -d "$LOOP"
  LOOP=""
  finish exfat-formatted "$img"
}

# Each JPEG goes into the hole a deleted file left, which is smaller than the JPEG: mtools
# fills the hole and continues after the data that follows it, so the JPEG lies in two runs.
split_jpeg_card() {
  local img=$WORK/split-jpeg-card.img s=$WORK/stage
  local mkfs=(mkfs.fat -F 16 -s 4 -S 512 -n CAMERA)
  truncate -s 16M "$img"
  "${mkfs[@]}" -i 0c0ffee0 "$img" >/dev/null
  rm -rf "$s"
  mkdir -p "$s/DCIM/100CANON" "$s/MISC"
  photo 21 800x600 90 "$s/DCIM/100CANON/IMG_0101.JPG" -restart 1
  photo 22 1024x768 90 "$s/DCIM/100CANON/IMG_0102.JPG"
  # What lies between the fragments: two pictures (gradients, so the image compresses well).
  convert -size 48x56 gradient:navy-orange "BMP3:$s/MISC/SCAN1.BMP"
  convert -size 800x256 gradient:white-teal "BMP3:$s/MISC/SCAN2.BMP"
  filler 40960 "$WORK/hole1"
  filler 61440 "$WORK/hole2"
  find "$s" -exec touch -d "$MTIME" {} +
  mmd -i "$img" ::/DCIM ::/DCIM/100CANON ::/MISC
  local i
  for i in 1 2; do
    mcopy -m -i "$img" "$WORK/hole$i" "::/MISC/HOLE$i.TMP"
    mcopy -m -i "$img" "$s/MISC/SCAN$i.BMP" "::/MISC/SCAN$i.BMP"
    mdel -i "$img" "::/MISC/HOLE$i.TMP"
    mcopy -m -i "$img" "$s/DCIM/100CANON/IMG_010$i.JPG" "::/DCIM/100CANON/IMG_010$i.JPG"
  done
  $MANIFEST record "$img" fat16 "$s" "$OUT/split-jpeg-card.manifest"
  "${mkfs[@]}" -i 0decade0 "$img" >/dev/null   # the quick format
  finish split-jpeg-card "$img"
}

for name in $ONLY; do
  echo "== $name"
  case $name in
    fat32-formatted) fat32_formatted ;;
    ntfs-formatted) ntfs_formatted ;;
    exfat-wiped) exfat_wiped ;;
    exfat-formatted) exfat_formatted ;;
    split-jpeg-card) split_jpeg_card ;;
    *) die "unknown image: $name" ;;
  esac
done
