#!/usr/bin/env bash
# Build tests/data/ntfs/ntfs-scan-4k: an NTFS volume for testing the deleted-file scan.
#
# mkntfs formats it; the ntfs-3g FUSE driver fills it in four mounts, each with the driver's
# clock frozen at a different time (libfaketime):
#   1. create   every file and folder (tools/ntfs-scan-fixture/populate.py), each with its own
#               creation, modification and access times;
#   2. delete   single files and whole folder trees (rm -r);
#   3. reuse    new entries that take over the MFT records of three deleted folders and the
#               clusters of two deleted files;
#   4. delete-again  removes the new folder that took the third folder's record.
# Then tools/ntfs-scan-fixture/analyse.py reads the raw image (MFT records, run lists, $Bitmap)
# and writes the answer file, checking itself against The Sleuth Kit (istat, icat).
#
# Writes into OUTDIR (default tests/data/ntfs):
#   ntfs-scan-4k.img.xz         the image (xz -9e)
#   ntfs-scan-4k.expected.tsv   one row per stream of every deleted and live file, one per folder
#   ntfs-scan-4k.icat.tsv       what icat returns for each file row vs its md5
#   ntfs-scan-4k.mkntfs.txt     mkntfs command and geometry
#   ntfs-scan-4k.fsstat.txt     fsstat output
#   ntfs-scan-4k.fls.txt        fls -rdp output (deleted entries only)
#   README.md                   its section, between marker lines (the rest is left alone)
#
# Usage: sudo tools/make-ntfs-scan-fixture.sh [OUTDIR]
#        (KEEP_WORK=1 keeps the raw image and the plan in /tmp when something fails)
# Needs root (FUSE), mkntfs + ntfs-3g (ntfs-3g), fls/istat/icat/fsstat (sleuthkit),
# libfaketime (faketime), python3 >= 3.9, xz.
set -euo pipefail

OUT=${1:-tests/data/ntfs}
NAME=ntfs-scan-4k
MIB=20
TIME_CREATE="2024-03-01 12:00:00"   # UTC, the driver's clock in each phase
TIME_DELETE="2024-03-05 08:30:00"
TIME_REUSE="2024-03-09 17:45:00"
TIME_AGAIN="2024-03-12 07:15:00"
export TZ=UTC LC_ALL=C.UTF-8
HERE=$(cd "$(dirname "$0")" && pwd)
PY="$HERE/ntfs-scan-fixture"

# shellcheck source=tools/ntfs-fuse.sh
source "$(dirname "${BASH_SOURCE[0]}")/ntfs-fuse.sh"

die() { echo "make-ntfs-scan-fixture: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "must run as root (FUSE mounts)"
for t in mkntfs ntfs-3g fls istat icat fsstat python3 xz md5sum; do
  command -v "$t" >/dev/null || die "missing tool: $t"
done
FAKETIME_LIB=""
for f in /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/faketime/libfaketime.so.1; do
  [[ -e $f ]] && { FAKETIME_LIB=$f; break; }
done
[[ -n $FAKETIME_LIB ]] || die "libfaketime not found (package faketime): the phases need distinct clocks"

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d /tmp/rekkon-ntfs-scan.XXXXXX)
MNT="$WORK/mnt"
mkdir -p "$MNT"
NTFS_PID=""

cleanup() {
  if mountpoint -q "$MNT" 2>/dev/null; then umount "$MNT" || true; fi
  if [[ -n $NTFS_PID ]]; then wait "$NTFS_PID" 2>/dev/null || true; fi
  if [[ -n ${KEEP_WORK:-} ]]; then echo "work files kept in $WORK" >&2; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# mount IMG TIME: ntfs-3g in the foreground (no_detach), backgrounded, so that its exit after
# umount can be waited for: only then is every write on the image.
mount_img() {
  local img=$1 clock=$2
  local opts="compression,streams_interface=windows,noatime,big_writes,no_detach"
  LD_PRELOAD=$FAKETIME_LIB FAKETIME="$clock" FAKETIME_NO_CACHE=1 \
    ntfs-3g -o "$opts" "$img" "$MNT" >>"$WORK/ntfs-3g.log" 2>&1 &
  NTFS_PID=$!
  wait_mounted "$img"
}

IMG="$WORK/$NAME.img"
PLAN="$WORK/$NAME.plan.json"
echo "== $NAME: 512-byte sectors, 4096-byte clusters, ${MIB} MiB"
truncate -s "${MIB}M" "$IMG"
CMD=(mkntfs -F -q -f -T -s 512 -c 4096 -p 0 -H 0 -S 0 -L rekkon-scan "$IMG")
"${CMD[@]}" >"$WORK/mkntfs.log" 2>&1 || { cat "$WORK/mkntfs.log" >&2; die "mkntfs failed"; }

phase() {
  mount_img "$IMG" "$1"
  python3 "$PY/populate.py" "$MNT" "$PLAN" "$2"
  unmount_img
}
phase "$TIME_CREATE" create
phase "$TIME_DELETE" delete
phase "$TIME_REUSE" reuse
phase "$TIME_AGAIN" delete-again

python3 "$PY/analyse.py" "$IMG" "$PLAN" "$OUT/$NAME" "$TIME_CREATE|$TIME_DELETE|$TIME_REUSE|$TIME_AGAIN"

fsstat "$IMG" >"$OUT/$NAME.fsstat.txt"
fls -rdp "$IMG" >"$OUT/$NAME.fls.txt"
{
  printf 'command: truncate -s %sM %s.img && %s\n' "$MIB" "$NAME" "${CMD[*]/#$WORK\//}"
  printf 'mkntfs: %s\n' "$(mkntfs -V 2>&1 | grep -m1 .)"
  printf 'ntfs-3g: %s\n' "$(ntfs-3g --version 2>&1 | grep -m1 .)"
  printf 'sleuthkit: %s\n' "$(fls -V | grep -m1 .)"
  printf 'image_bytes: %d\n' "$((MIB * 1024 * 1024))"
  printf 'clocks: create %s, delete %s, reuse %s, delete-again %s (UTC)\n' \
    "$TIME_CREATE" "$TIME_DELETE" "$TIME_REUSE" "$TIME_AGAIN"
  printf 'image_md5: %s\n' "$(md5sum "$IMG" | cut -d' ' -f1)"
} >"$OUT/$NAME.mkntfs.txt"
python3 "$PY/analyse.py" --geometry "$IMG" >>"$OUT/$NAME.mkntfs.txt"

rm -f "$OUT/$NAME.img.xz"
xz -9e -T1 -c "$IMG" >"$OUT/$NAME.img.xz"
python3 "$PY/readme.py" "$OUT"
rm -f "$OUT/$NAME.notes.md"

echo "== done"
ls -l "$OUT/$NAME".*
