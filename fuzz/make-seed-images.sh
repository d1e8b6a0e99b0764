#!/usr/bin/env bash
# Makes the small seed images of the whole-image fuzz targets (committed under
# tests/data/fuzz/seeds/, xz-compressed); the fixture images are too big for fuzzing whole.
#
#   ntfs-small-512.img   2 MiB NTFS, 512-byte sectors, 1 KiB records, 4 KiB clusters
#   ntfs-small-4096.img  2 MiB NTFS, 4096-byte sectors and records
#   fat16-small.img      4 MiB FAT16, 512-byte clusters, long names, deleted files
#   exfat-small.img      1 MiB exFAT, 512-byte clusters, deleted files, a deleted folder tree
#
# Each NTFS image holds resident, non-resident, fragmented, sparse and LZNT1-compressed data,
# named streams, streams enough to need an attribute list, and deleted files.
#
# Usage: sudo fuzz/make-seed-images.sh [OUTDIR]     (default tests/data/fuzz/seeds)
# Needs root (FUSE mount, loop devices), mkntfs + ntfs-3g, mkfs.fat + mtools, mkfs.exfat +
# exfat-fuse, python3, xz.
set -euo pipefail

OUT=${1:-tests/data/fuzz/seeds}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d /tmp/rekkon-seeds.XXXXXX)
MNT="$WORK/mnt"
mkdir -p "$MNT"
cleanup() {
  mountpoint -q "$MNT" && umount "$MNT"
  rm -rf "$WORK"
}
trap cleanup EXIT

fill_ntfs() {
  python3 - "$MNT" <<'PY'
import os, sys
os.chdir(sys.argv[1])
def w(p, d):
    with open(p, 'wb') as f:
        f.write(d)
w('tiny.txt', b'hello\n')
w('one-cluster.txt', b'line of text\n' * 300)
w('gap.bin', bytes(range(256)) * 40)
w('fragmented.bin', b'first part ' * 800)
with open('fragmented.bin', 'ab') as f:
    f.write(b'second part ' * 800)
w('streams.txt', b'main stream\n' * 10)
w('streams.txt:alpha', b'alpha ' * 20)
w('streams.txt:beta', b'beta stream data\n' * 600)
os.mkdir('sub')
w('sub/Long File Name With Spaces.txt', b'inside sub\n' * 50)
w('sub/deleted.txt', b'deleted data\n' * 400)
os.mkdir('compressed')
os.setxattr('compressed', 'system.ntfs_attrib_be', (0x800).to_bytes(4, 'big'))
w('compressed/text.txt', b''.join(b'compressible line %05d\n' % i for i in range(6000)))
w('compressed/random.bin', bytes((i * 7919 + (i >> 5) * 104729) & 0xFF for i in range(20000)))
with open('sparse.bin', 'wb') as f:
    f.truncate(300 * 1024)
    f.seek(128 * 1024)
    f.write(b'sparse tail data' * 256)
w('many.txt', b'base\n')
for i in range(16):
    name = ('s%02d-' % i) + ('long-stream-name-%02d-' % i) * 5
    w('many.txt:' + name, b'payload %d\n' % i)
PY
}

make_ntfs() {  # name sector-bytes
  local img="$WORK/$1.img"
  truncate -s 2M "$img"
  mkntfs -F -q -f -T -s "$2" -c 4096 -p 0 -H 0 -S 0 -L seed "$img" >/dev/null
  ntfs-3g -o compression,streams_interface=windows,noatime "$img" "$MNT"
  fill_ntfs
  sync
  rm "$MNT/sub/deleted.txt" "$MNT/gap.bin" "$MNT/compressed/random.bin"
  umount "$MNT"
  xz -9e -c "$img" >"$OUT/$1.img.xz"
}

make_fat16() {
  local img="$WORK/fat16-small.img"
  truncate -s 4M "$img"
  mkfs.fat -F 16 -s 1 -n SEED "$img" >/dev/null
  export MTOOLS_SKIP_CHECK=1
  printf 'short file\n' >"$WORK/a.txt"
  head -c 3000 /dev/zero | tr '\0' 'x' >"$WORK/b.txt"
  seq 1 4000 >"$WORK/c.txt"
  mmd -i "$img" ::/Folder ::/Folder/Deeper "::/Another Long Folder"
  mcopy -i "$img" "$WORK/a.txt" "::/README.TXT"
  mcopy -i "$img" "$WORK/b.txt" "::/A rather long file name.txt"
  mcopy -i "$img" "$WORK/c.txt" "::/Folder/numbers.txt"
  mcopy -i "$img" "$WORK/b.txt" "::/Folder/Deeper/deleted later.txt"
  mcopy -i "$img" "$WORK/c.txt" "::/Another Long Folder/gone.txt"
  mcopy -i "$img" "$WORK/a.txt" "::/GONE.TXT"
  mdel -i "$img" "::/Folder/Deeper/deleted later.txt" "::/Another Long Folder/gone.txt" \
    "::/GONE.TXT"
  xz -9e -c "$img" >"$OUT/fat16-small.img.xz"
}

make_exfat() {
  local img="$WORK/exfat-small.img" loop
  truncate -s 1M "$img"
  mkfs.exfat -b 4096 -c 512 -L SEED "$img" >/dev/null
  # exfat-fuse run as root wants a block device.
  loop=$(losetup -f --show "$img")
  mount.exfat-fuse "$loop" "$MNT"
  python3 - "$MNT" <<'PY'
import os, sys
m = sys.argv[1]
os.makedirs(f'{m}/DCIM/100CAM', exist_ok=True)
for i in range(4):
    open(f'{m}/DCIM/100CAM/IMG_{i}.JPG', 'wb').write(b'\xff\xd8' + bytes([i]) * (20000 + i * 3000))
open(f'{m}/a.txt', 'wb').write(b'a' * 3000)
open(f'{m}/b.txt', 'wb').write(b'b' * 3000)
os.remove(f'{m}/a.txt')
open(f'{m}/frag.bin', 'wb').write(b'F' * 9000)
os.makedirs(f'{m}/gone/sub', exist_ok=True)
for i in range(20):
    open(f'{m}/gone/sub/file-{i:02d}-with-a-long-name.txt', 'wb').write(b'x' * (100 * i + 1))
open(f'{m}/\u00dcn\u00ef \U0001F600.txt', 'wb').write(b'u' * 700)
PY
  rm "$MNT/DCIM/100CAM/IMG_1.JPG" "$MNT/frag.bin" "$MNT"/Ün*
  rm -r "$MNT/gone"
  umount "$MNT"
  losetup -d "$loop"
  xz -9 -c "$img" >"$OUT/exfat-small.img.xz"
}

make_ntfs ntfs-small-512 512
make_ntfs ntfs-small-4096 4096
make_fat16
make_exfat
ls -l "$OUT"
