#!/usr/bin/env python3
"""Writes the seed disks of the disk fuzz target: 1 MiB disks whose partitions hold the first
bytes of real volumes, so that the partition table leads to a volume that mounts.

Usage: make-disk-seeds.py OUTDIR FAT12-IMAGE NTFS-512-IMAGE NTFS-4096-IMAGE

  disk-dos-fat12.img   MBR: partition 1 (0x01) a FAT12 volume at sector 63
  disk-dos-ext.img     MBR: partition 1 extended, its logical partition 5 NTFS (0x07)
  disk-gpt-512.img     GPT, 512-byte sectors: 1 FAT12, 2 NTFS (512-byte sectors)
  disk-gpt-4096.img    GPT, 4096-byte sectors: 1 NTFS (4096-byte sectors)

Each is written as is and with last bytes that make the target pick other partitions.
"""
import os
import struct
import sys
import zlib

DISK = 1024 * 1024
BASIC_DATA = bytes.fromhex('a2a0d0ebe5b9334487c068b6b72699c7')


def mbr_entry(disk, sector, index, ptype, start, count):
    at = sector * 512 + 446 + 16 * index
    disk[at + 4] = ptype
    struct.pack_into('<II', disk, at + 8, start, count)
    disk[sector * 512 + 510:sector * 512 + 512] = b'\x55\xaa'


def put(disk, offset, volume, length):
    disk[offset:offset + length] = volume[:length].ljust(length, b'\0')


def gpt(disk, ss, parts):
    sectors = DISK // ss
    mbr_entry(disk, 0, 0, 0xEE, 1, min(sectors - 1, 0xFFFFFFFF))
    entries = bytearray(128 * 128)
    entry_sectors = len(entries) // ss
    first_usable, last_usable = 2 + entry_sectors, sectors - 2 - entry_sectors
    for i, (first, last) in enumerate(parts):
        struct.pack_into('<16s16sQQ', entries, i * 128, BASIC_DATA, bytes([i + 1]) * 16, first,
                         last)
    for header_lba, entries_lba, other in ((1, 2, sectors - 1),
                                           (sectors - 1, sectors - 1 - entry_sectors, 1)):
        disk[entries_lba * ss:entries_lba * ss + len(entries)] = entries
        header = bytearray(struct.pack('<8sIIIIQQQQ16sQIII', b'EFI PART', 0x10000, 92, 0, 0,
                                       header_lba, other, first_usable, last_usable, bytes(16),
                                       entries_lba, 128, 128, zlib.crc32(entries)))
        struct.pack_into('<I', header, 16, zlib.crc32(header))
        disk[header_lba * ss:header_lba * ss + 92] = header
    return first_usable, last_usable


def main():
    out, fat12, ntfs512, ntfs4096 = sys.argv[1], *(open(p, 'rb').read() for p in sys.argv[2:5])
    os.makedirs(out, exist_ok=True)
    disks = {}

    d = bytearray(DISK)
    mbr_entry(d, 0, 0, 0x01, 63, 2048 - 63)
    put(d, 63 * 512, fat12, DISK - 63 * 512)
    disks['disk-dos-fat12.img'] = d

    d = bytearray(DISK)
    mbr_entry(d, 0, 0, 0x05, 1, 2047)
    mbr_entry(d, 1, 0, 0x07, 7, 2040)
    put(d, 8 * 512, ntfs512, DISK - 8 * 512)
    disks['disk-dos-ext.img'] = d

    d = bytearray(DISK)
    first, last = gpt(d, 512, ((34, 1023), (1024, 2014)))
    put(d, 34 * 512, fat12, (1024 - 34) * 512)
    put(d, 1024 * 512, ntfs512, (2015 - 1024) * 512)
    disks['disk-gpt-512.img'] = d

    d = bytearray(DISK)
    gpt(d, 4096, ((6, 249),))
    put(d, 6 * 4096, ntfs4096, (250 - 6) * 4096)
    disks['disk-gpt-4096.img'] = d

    for name, data in disks.items():
        # The last byte chooses: 0x00 as found, 0x80 CRCs made right, 0x1n/0x2n partition 1/2.
        for suffix, control in (('', None), ('-p1', 0x13), ('-p2-deep', 0x25), ('-crc', 0x80)):
            if control is not None:
                data[-1] = control
            with open(os.path.join(out, name.replace('.img', suffix + '.img')), 'wb') as f:
                f.write(data)


if __name__ == '__main__':
    main()
