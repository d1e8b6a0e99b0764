#!/usr/bin/env bash
# Build the Expert Witness (E01) evidence files used by rekkon's tests, from the FAT fixtures.
#
# Usage: tools/make-ewf-fixtures.sh [OUTDIR]   (default: tests/data/ewf of this checkout)
#
# Needs: ewfacquire and ewfverify (ewf-tools), sfdisk (fdisk), mmls (The Sleuth Kit), faketime,
#        xz, md5sum.
#
# Output (each evidence segment xz-compressed, as the tests unpack *.xz into the build tree):
#   fat16.E01.xz             the FAT16 fixture volume, deflate-compressed, one segment
#   dos-disk.E01.xz          a 20 MiB MBR disk: partition 1 (0x0e) holds the FAT16 fixture
#                            at sector 2048, an extended partition 2 at sector 34816 holds
#                            logical partition 5 (0x01) with the FAT12 fixture at sector 36864
#   fat12-split.E01.xz       the FAT12 fixture uncompressed in 1 MiB segments (the smallest
#   fat12-split.E02.xz       segment ewfacquire writes), so the set has a second segment
#   dos-disk.sfdisk.json     sfdisk --json of the disk (oracle)
#   dos-disk.mmls.txt        mmls of the disk (oracle)
#   ewf.md5                  md5 of the media each set holds
#
# ewfacquire records the acquiry time (pinned with faketime) and a random set identifier, so
# two runs give different bytes but the same media.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/tests/data/ewf}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

for tool in ewfacquire ewfverify sfdisk mmls faketime xz md5sum; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/rekkon-ewf.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export TZ=UTC LC_ALL=C

xz -dc "$ROOT/tests/data/fat/fat16.img.xz" >"$WORK/fat16.img"
xz -dc "$ROOT/tests/data/fat/fat12.img.xz" >"$WORK/fat12.img"

# The whole disk: the fixtures copied in byte for byte where the table puts them.
truncate -s 20M "$WORK/dos-disk.img"
sfdisk -q --no-reread "$WORK/dos-disk.img" <<'TABLE'
label: dos
label-id: 0x5245cc01
start=2048, size=32768, type=e
start=34816, size=6144, type=5
start=36864, size=2880, type=1
TABLE
dd if="$WORK/fat16.img" of="$WORK/dos-disk.img" bs=512 seek=2048 conv=notrunc status=none
dd if="$WORK/fat12.img" of="$WORK/dos-disk.img" bs=512 seek=36864 conv=notrunc status=none
sfdisk --json "$WORK/dos-disk.img" | sed "s|$WORK/||g" >"$OUT/dos-disk.sfdisk.json"
mmls "$WORK/dos-disk.img" >"$OUT/dos-disk.mmls.txt"

# acquire SOURCE TARGET MEDIA-FLAG EWFACQUIRE-OPTIONS...
acquire() {
  local source=$1 target=$2 flag=$3
  shift 3
  faketime '2021-01-01 12:00:00' ewfacquire -u -q -t "$WORK/$target" -C rekkon -D "$target" \
    -e rekkon -E "$target" -N "test fixture" -m fixed -M "$flag" "$@" "$source" >/dev/null
  ewfverify -q "$WORK/$target.E01" >/dev/null
}
acquire "$WORK/fat16.img" fat16 logical -c deflate:best
acquire "$WORK/dos-disk.img" dos-disk physical -c deflate:best
acquire "$WORK/fat12.img" fat12-split logical -c none -S 1048576
[ -f "$WORK/fat12-split.E02" ] || { echo "fat12-split has one segment only" >&2; exit 1; }

: >"$OUT/ewf.md5"
for name in fat16 dos-disk fat12-split; do
  echo "$(md5sum <"$WORK/${name%-split}.img" | cut -d' ' -f1)  $name" >>"$OUT/ewf.md5"
done
for segment in "$WORK"/*.E0?; do
  xz -9e -c "$segment" >"$OUT/$(basename "$segment").xz"
done
ls -l "$OUT"
