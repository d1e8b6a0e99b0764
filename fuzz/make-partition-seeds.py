#!/usr/bin/env python3
"""Writes the seed disks of the partition_table fuzz target (committed under
tests/data/fuzz/seeds/, xz-compressed): small disks whose tables use every path of the reader.

  partition-dos.img       256 KiB MBR: a primary FAT12 partition, an extended partition with a
                          chain of three EBRs (one using its third entry), an empty entry
  partition-gpt-512.img   256 KiB GPT, 512-byte sectors: entries 1 and 3 used, the copy at the end
  partition-gpt-4096.img  512 KiB GPT, 4096-byte sectors, as above

The FAT12 fixture's boot sector starts the first partition of each, so the file system is named.

Usage: fuzz/make-partition-seeds.py [OUTDIR]     (default tests/data/fuzz/seeds)
"""
import lzma
import os
import struct
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
BASIC_DATA = bytes.fromhex('a2a0d0ebe5b9334487c068b6b72699c7')


def fat_boot_sector():
    with lzma.open(os.path.join(ROOT, 'tests/data/fat/fat12.img.xz')) as f:
        return f.read(512)


def mbr_entry(disk, sector, index, ptype, start, count, flag=0):
    at = sector * 512 + 446 + 16 * index
    disk[at] = flag
    disk[at + 4] = ptype
    struct.pack_into('<II', disk, at + 8, start, count)
    disk[sector * 512 + 510:sector * 512 + 512] = b'\x55\xaa'


def dos_disk():
    disk = bytearray(256 * 1024)
    mbr_entry(disk, 0, 0, 0x01, 8, 64, 0x80)
    mbr_entry(disk, 0, 1, 0x05, 128, 384)
    disk[8 * 512:9 * 512] = fat_boot_sector()
    # EBRs at 128, 160, 192; each names a logical partition 8 sectors after it.
    for i, ebr in enumerate((128, 160, 192)):
        mbr_entry(disk, ebr, 0, 0x0c, 8, 16)
        if i < 2:
            mbr_entry(disk, ebr, 1, 0x05, ebr + 32 - 128, 32)
    mbr_entry(disk, 192, 2, 0x07, 24, 4)
    return bytes(disk)


def gpt_disk(sector_size, sectors):
    disk = bytearray(sector_size * sectors)
    mbr_entry(disk, 0, 0, 0xEE, 1, sectors - 1)
    entries = bytearray(128 * 128)
    # The entry array takes 16 KiB: 32 sectors of 512 bytes or 4 of 4096.
    reserved = 34 if sector_size == 512 else 6
    first_usable, last_usable = reserved, sectors - reserved
    used = ((0, first_usable, first_usable + 15), (2, first_usable + 16, last_usable))
    for index, first, last in used:
        struct.pack_into('<16s16sQQ', entries, index * 128, BASIC_DATA, bytes(16), first, last)
    disk[first_usable * sector_size:first_usable * sector_size + 512] = fat_boot_sector()
    entry_sectors = len(entries) // sector_size
    copies = ((1, 2, sectors - 1), (sectors - 1, sectors - 1 - entry_sectors, 1))
    for header_lba, entries_lba, other in copies:
        disk[entries_lba * sector_size:entries_lba * sector_size + len(entries)] = entries
        header = bytearray(struct.pack('<8sIIIIQQQQ16sQIII', b'EFI PART', 0x10000, 92, 0, 0,
                                       header_lba, other, first_usable, last_usable, bytes(16),
                                       entries_lba, 128, 128, zlib.crc32(entries)))
        struct.pack_into('<I', header, 16, zlib.crc32(header))
        disk[header_lba * sector_size:header_lba * sector_size + 92] = header
    return bytes(disk)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'tests/data/fuzz/seeds')
    os.makedirs(out, exist_ok=True)
    for name, data in (('partition-dos.img', dos_disk()),
                       ('partition-gpt-512.img', gpt_disk(512, 512)),
                       ('partition-gpt-4096.img', gpt_disk(4096, 128))):
        with lzma.open(os.path.join(out, name + '.xz'), 'wb', preset=9 | lzma.PRESET_EXTREME) as f:
            f.write(data)


if __name__ == '__main__':
    main()
