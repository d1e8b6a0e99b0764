#!/usr/bin/env bash
# Builds whole-disk test images around the committed volume fixtures (unpacked by the build into
# build/testdata): the volumes are copied unchanged into partitions, so a partition lists exactly
# what its bare volume lists.
#
#   dos.img      DOS table (sfdisk): 1 = fat16.img (type 0x06) at sector 2048; 2 = extended
#                partition holding logical partition 5 = ntfs-512-4k.img (type 0x07).
#   gpt.img      GPT (sgdisk), 512-byte sectors: 1 = fat32.img, 2 = ntfs-512-4k.img.
#   gpt-4k.img   GPT with 4096-byte logical sectors (tools/write-gpt.py; the table at byte 4096):
#                1 = ntfs-4096-4k.img, 2 = fat32-4k.img. Sparse.
#   huge.img     (only with --huge) a sparse 3 TiB GPT disk, 512-byte sectors: 1 = fat16.img at
#                sector 2048, 2 = ntfs-512-4k.img at sector 5368711168 (past 2.5 TiB, past 2^32).
#                Exits 77 when the folder's file system cannot hold such a sparse file.
#
# Usage: tools/make-disk-fixtures.sh OUTDIR VOLUMEDIR [--huge]
#   VOLUMEDIR holds fat/fat16.img, fat/fat32.img, fat/fat32-4k.img, ntfs/ntfs-512-4k.img and
#   ntfs/ntfs-4096-4k.img (build/testdata). Needs sfdisk (fdisk), sgdisk (gdisk), python3, dd.
# Every run gives the same bytes: the disk identifiers and partition GUIDs are fixed.
set -euo pipefail
export PATH="$PATH:/usr/sbin:/sbin"

OUT=${1:?usage: make-disk-fixtures.sh OUTDIR VOLUMEDIR [--huge]}
VOLUMES=${2:?usage: make-disk-fixtures.sh OUTDIR VOLUMEDIR [--huge]}
MODE=${3:-}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BASIC_DATA=ebd0a0a2-b9e5-4433-87c0-68b6b72699c7

die() { echo "make-disk-fixtures: $*" >&2; exit 1; }
sectors() { echo $(( $(stat -c %s "$1") / $2 )); }
# put VOLUME DISK SECTOR_SIZE FIRST_SECTOR: copies the volume into place, keeping holes.
put() { dd if="$1" of="$2" bs="$3" seek="$4" conv=notrunc,sparse status=none; }

mkdir -p "$OUT"
fat16=$VOLUMES/fat/fat16.img fat32=$VOLUMES/fat/fat32.img fat32_4k=$VOLUMES/fat/fat32-4k.img
ntfs=$VOLUMES/ntfs/ntfs-512-4k.img ntfs_4k=$VOLUMES/ntfs/ntfs-4096-4k.img
for f in "$fat16" "$fat32" "$fat32_4k" "$ntfs" "$ntfs_4k"; do
  [[ -f $f ]] || die "missing volume $f"
done
command -v python3 >/dev/null || die "missing tool: python3"

if [[ $MODE == --huge ]]; then
  disk=$OUT/huge.img
  rm -f "$disk"
  truncate -s 3T "$disk" 2>/dev/null || { rm -f "$disk"; echo "no room for a 3 TiB sparse file" >&2; exit 77; }
  second=5368711168  # 2.5 TiB + 1 MiB, in 512-byte sectors
  python3 "$HERE/write-gpt.py" "$disk" --sector-size 512 \
    --disk-guid 52454b4b-4f4e-4855-4745-000000000001 \
    --partition "2048:$(sectors "$fat16" 512):$BASIC_DATA:52454b4b-4f4e-4855-4745-000000000011:first" \
    --partition "$second:$(sectors "$ntfs" 512):$BASIC_DATA:52454b4b-4f4e-4855-4745-000000000012:far"
  put "$fat16" "$disk" 512 2048
  put "$ntfs" "$disk" 512 "$second"
  # A file system without holes would have written terabytes of zeros by now, or refused.
  if (( $(stat -c %b "$disk") * $(stat -c %B "$disk") > 1024 * 1024 * 1024 )); then
    rm -f "$disk"; echo "the file system does not keep files sparse" >&2; exit 77
  fi
  exit 0
fi

for t in sfdisk sgdisk; do command -v "$t" >/dev/null || die "missing tool: $t"; done

# dos.img: primary FAT16, then an extended partition with one logical NTFS partition.
disk=$OUT/dos.img
fat_sectors=$(sectors "$fat16" 512) ntfs_sectors=$(sectors "$ntfs" 512)
ext_start=$(( 2048 + fat_sectors )) logical_start=$(( 2048 + fat_sectors + 2048 ))
ext_size=$(( logical_start + ntfs_sectors - ext_start ))
rm -f "$disk"
truncate -s $(( (logical_start + ntfs_sectors + 2048) * 512 )) "$disk"
sfdisk --quiet --no-reread --no-tell-kernel "$disk" >/dev/null <<SFDISK
label: dos
label-id: 0x52454b4b
unit: sectors

start=2048, size=$fat_sectors, type=6
start=$ext_start, size=$ext_size, type=5
start=$logical_start, size=$ntfs_sectors, type=7
SFDISK
put "$fat16" "$disk" 512 2048
put "$ntfs" "$disk" 512 "$logical_start"

# gpt.img: two basic-data partitions, FAT32 then NTFS, each on a 1 MiB boundary.
disk=$OUT/gpt.img
fat_sectors=$(sectors "$fat32" 512)
second=$(( (2048 + fat_sectors + 2047) / 2048 * 2048 ))
rm -f "$disk"
truncate -s $(( (second + ntfs_sectors + 2048) * 512 )) "$disk"
sgdisk --clear --disk-guid=52454b4b-4f4e-4855-4745-000000000002 \
  --new=1:2048:+$fat_sectors --typecode=1:0700 --partition-guid=1:52454b4b-4f4e-4855-4745-000000000021 \
  --new=2:$second:+$ntfs_sectors --typecode=2:0700 --partition-guid=2:52454b4b-4f4e-4855-4745-000000000022 \
  "$disk" >/dev/null
put "$fat32" "$disk" 512 2048
put "$ntfs" "$disk" 512 "$second"

# gpt-4k.img: 4096-byte logical sectors, NTFS then FAT32, each on a 1 MiB boundary.
disk=$OUT/gpt-4k.img
ntfs4k_sectors=$(sectors "$ntfs_4k" 4096) fat4k_sectors=$(sectors "$fat32_4k" 4096)
second=$(( (256 + ntfs4k_sectors + 255) / 256 * 256 ))
rm -f "$disk"
truncate -s $(( (second + fat4k_sectors + 256) * 4096 )) "$disk"
python3 "$HERE/write-gpt.py" "$disk" --sector-size 4096 \
  --disk-guid 52454b4b-4f4e-4855-4745-000000000003 \
  --partition "256:$ntfs4k_sectors:$BASIC_DATA:52454b4b-4f4e-4855-4745-000000000031:ntfs" \
  --partition "$second:$fat4k_sectors:$BASIC_DATA:52454b4b-4f4e-4855-4745-000000000032:fat"
put "$ntfs_4k" "$disk" 4096 256
put "$fat32_4k" "$disk" 4096 "$second"
