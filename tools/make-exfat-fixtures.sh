#!/usr/bin/env bash
# Build the small exFAT test images under tests/data/exfat/.
#
# Each image is formatted with mkfs.exfat (exfatprogs) and filled through the
# exfat-fuse driver on a loop device (mount, write, sync, unmount); a second
# mount deletes a chosen set of files and folders.  The images are then read
# before and after the deletions (tools/exfat-fixtures/analyse.py) and examined
# with The Sleuth Kit (fls, icat) to write, next to each image:
#
#   NAME.img.xz          the image (xz -9e)
#   NAME.manifest.tsv    one row per file and folder (see README.md)
#   NAME.layout.txt      boot sector fields; where the bitmap, up-case table and root lie
#   NAME.entrysets.txt   each deleted entry set before and after deletion (hex)
#   NAME.fls.txt         fls -r -p -f exfat output
#   NAME.istat.txt       istat of every deleted file and folder
#   NAME.fsstat.txt      fsstat output
#
# The big-file image (a file over 4 GiB, deleted) is 6 GiB sparse; it is not
# committed.  Its manifest and notes are; the image itself is written to
# BIGDIR/big-file.img (default build/testdata/exfat, where the tests look for it).
#
# Usage: sudo tools/make-exfat-fixtures.sh [OUTDIR [BIGDIR]]   (default tests/data/exfat)
#        ONLY="basic big-file" makes only the images named.
#
# Needs root (loop devices, FUSE), packages exfatprogs, exfat-fuse, sleuthkit,
# xz-utils, python3 >= 3.9, util-linux (losetup, fallocate) and faketime:
# mkfs.exfat and the driver run with the clock frozen at $FIXED_TIME, so the
# serial number and every time the driver writes are fixed.
set -euo pipefail

OUT=${1:-tests/data/exfat}
BIGDIR=${2:-build/testdata/exfat}
FIXED_TIME="2024-03-01 12:00:00"   # UTC
export TZ=UTC LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# name  bytes/sector  bytes/cluster  image MiB  label
PROFILES=(
  "basic 512 4096 8 RekkonExFAT"
  "4k-sectors 4096 4096 8 SECTORS4K"
  "big-cluster 512 131072 32 CAMERA"
  "big-file 512 32768 6144 BIG"
)

die() { echo "make-exfat-fixtures: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "must run as root (loop devices, FUSE mounts)"
for t in mkfs.exfat mount.exfat-fuse losetup fallocate fls icat fsstat python3 xz md5sum; do
  command -v "$t" >/dev/null || die "missing tool: $t"
done
python3 -c 'import sys; sys.exit(sys.version_info < (3, 9))' || die "python3 >= 3.9 needed"
FAKETIME_LIB=""
for f in /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/faketime/libfaketime.so.1; do
  [[ -e $f ]] && { FAKETIME_LIB=$f; break; }
done
[[ -n $FAKETIME_LIB ]] || die "libfaketime not found (package faketime)"

mkdir -p "$OUT" "$BIGDIR"
OUT=$(cd "$OUT" && pwd)
BIGDIR=$(cd "$BIGDIR" && pwd)
WORK=$(mktemp -d /var/tmp/rekkon-exfat.XXXXXX)
MNT="$WORK/mnt"
mkdir -p "$MNT"
FUSE_PID=""
LOOP=""

cleanup() {
  if mountpoint -q "$MNT" 2>/dev/null; then umount "$MNT" || true; fi
  if [[ -n $FUSE_PID ]]; then wait "$FUSE_PID" 2>/dev/null || true; fi
  if [[ -n $LOOP ]]; then losetup -d "$LOOP" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

frozen() { LD_PRELOAD=$FAKETIME_LIB FAKETIME="$FIXED_TIME" FAKETIME_NO_CACHE=1 "$@"; }

# The driver refuses a plain file when run as root (it asks the kernel for a
# block-device FUSE mount), so the image goes through a loop device whose
# logical sector size is the volume's.
attach() { LOOP=$(losetup -f --show -b "$2" "$1"); }
detach() { losetup -d "$LOOP"; LOOP=""; }

# -d keeps the driver in the foreground (in the background of this script), so
# its exit after umount, when every write is on the device, can be waited for.
mount_img() {
  attach "$1" "$2"
  frozen mount.exfat-fuse -d "$LOOP" "$MNT" >"$WORK/fuse.log" 2>&1 &
  FUSE_PID=$!
  local _
  for _ in $(seq 100); do
    mountpoint -q "$MNT" && return 0
    kill -0 "$FUSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  tail -5 "$WORK/fuse.log" >&2
  die "exfat-fuse did not mount $1"
}

unmount_img() {
  sync
  umount "$MNT"
  wait "$FUSE_PID" || die "exfat-fuse exited with an error"
  FUSE_PID=""
  detach
}

build() {
  local name=$1 sector=$2 cluster=$3 mib=$4 label=$5
  local img="$WORK/$name.img" plan="$WORK/$name.plan.json"
  echo "== $name: ${sector}-byte sectors, ${cluster}-byte clusters, ${mib} MiB"
  truncate -s "${mib}M" "$img"
  # mkfs.exfat takes the sector size from the device: a loop device with that
  # logical sector size gives 4096-byte sectors.
  attach "$img" "$sector"
  local cmd=(mkfs.exfat -c "$cluster" -L "$label")
  frozen "${cmd[@]}" "$LOOP" >"$WORK/mkfs.log" 2>&1 || { cat "$WORK/mkfs.log" >&2; die "mkfs.exfat failed"; }
  detach

  mount_img "$img" "$sector"
  python3 "$HERE/exfat-fixtures/populate.py" "$MNT" "$name" "$cluster" "$plan" create
  unmount_img
  cp --sparse=always "$img" "$WORK/$name.pre.img"
  mount_img "$img" "$sector"
  python3 "$HERE/exfat-fixtures/populate.py" "$MNT" "$name" "$cluster" "$plan" delete
  unmount_img
  # The driver wrote the zeros of the big file; make them holes again.
  fallocate --dig-holes "$img"

  python3 "$HERE/exfat-fixtures/analyse.py" "$name" "$WORK/$name.pre.img" "$img" "$plan" "$OUT"
  fsstat -f exfat "$img" >"$OUT/$name.fsstat.txt"
  {
    printf 'command: truncate -s %sM %s.img && losetup -b %s (loop) && %s LOOP\n' \
      "$mib" "$name" "$sector" "${cmd[*]}"
    printf 'clock: %s UTC (libfaketime) for mkfs.exfat and the driver\n' "$FIXED_TIME"
    printf 'raw_bytes: %d\n' "$((mib * 1024 * 1024))"
    printf 'raw_md5: %s\n' "$(md5sum "$img" | cut -d' ' -f1)"
  } >"$OUT/$name.mkfs.txt"

  rm -f "$OUT/$name.img.xz"
  if [[ $name == big-file ]]; then
    cp --sparse=always "$img" "$BIGDIR/$name.img"
  else
    xz -9e -T1 -c "$img" >"$OUT/$name.img.xz"
    printf 'xz_bytes: %d\n' "$(stat -c %s "$OUT/$name.img.xz")" >>"$OUT/$name.mkfs.txt"
  fi
  rm -f "$img" "$WORK/$name.pre.img"
}

for p in "${PROFILES[@]}"; do
  [[ -z ${ONLY:-} || " $ONLY " == *" ${p%% *} "* ]] || continue
  # shellcheck disable=SC2086
  build $p
done
{
  printf 'mkfs.exfat: %s\n' "$(mkfs.exfat -V 2>&1 | grep -m1 version)"
  printf 'exfat-fuse: %s\n' "$(mount.exfat-fuse -V 2>&1 | grep -m1 FUSE)"
  printf 'sleuthkit: %s\n' "$(fls -V | grep -m1 .)"
} >"$OUT/tool-versions.txt"
echo "== done"
ls -l "$OUT"
