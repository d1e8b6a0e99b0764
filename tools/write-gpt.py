#!/usr/bin/env python3
"""Writes a GUID partition table into an existing disk-image file, for any logical sector size.

    write-gpt.py IMAGE --sector-size 4096 --disk-guid GUID \
        --partition FIRST:COUNT:TYPE_GUID:UNIQUE_GUID:NAME [--partition ...]

FIRST and COUNT are in logical sectors. The image keeps its size (it must already hold the whole
disk, for example made with truncate) and only the table's sectors are written, so a sparse image
stays sparse. Written: the protective MBR (LBA 0), the primary header (LBA 1) and entry array
(from LBA 2), the backup entry array and the backup header (the last LBA), with their CRC32s.
"""
import argparse
import os
import struct
import sys
import uuid
import zlib

ENTRY_COUNT = 128
ENTRY_SIZE = 128
HEADER_SIZE = 92


def header(sector_size, my_lba, alternate_lba, first_usable, last_usable, disk_guid,
           entries_lba, entries_crc):
    fields = [b"EFI PART", 0x00010000, HEADER_SIZE, 0, 0, my_lba, alternate_lba, first_usable,
              last_usable, disk_guid.bytes_le, entries_lba, ENTRY_COUNT, ENTRY_SIZE, entries_crc]
    layout = "<8sIIIIQQQQ16sQIII"
    crc = zlib.crc32(struct.pack(layout, *fields))
    fields[3] = crc
    return struct.pack(layout, *fields).ljust(sector_size, b"\0")


def entry(first, count, type_guid, unique_guid, name):
    encoded = name.encode("utf-16-le")[:72]
    return struct.pack("<16s16sQQQ72s", type_guid.bytes_le, unique_guid.bytes_le, first,
                       first + count - 1, 0, encoded.ljust(72, b"\0"))


def protective_mbr(sector_size, last_lba):
    mbr = bytearray(sector_size)
    covered = min(last_lba, 0xFFFFFFFF)
    mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\x00\x02\x00", 0xEE, b"\xff\xff\xff", 1,
                               covered)
    mbr[510:512] = b"\x55\xaa"
    return bytes(mbr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("image")
    parser.add_argument("--sector-size", type=int, default=512)
    parser.add_argument("--disk-guid", type=uuid.UUID, required=True)
    parser.add_argument("--partition", action="append", default=[])
    args = parser.parse_args()
    sector = args.sector_size
    if sector < 512 or sector & (sector - 1):
        sys.exit("write-gpt: the sector size must be a power of two of at least 512")
    size = os.path.getsize(args.image)
    last_lba = size // sector - 1
    entries_sectors = (ENTRY_COUNT * ENTRY_SIZE + sector - 1) // sector
    first_usable = 2 + entries_sectors
    last_usable = last_lba - entries_sectors - 1
    if last_usable <= first_usable:
        sys.exit("write-gpt: the image is too small for a GUID partition table")

    entries = bytearray()
    for text in args.partition:
        first, count, type_guid, unique_guid, name = text.split(":", 4)
        first, count = int(first), int(count)
        if first < first_usable or first + count - 1 > last_usable or count <= 0:
            sys.exit(f"write-gpt: partition {text} does not fit between LBA {first_usable} "
                     f"and {last_usable}")
        entries += entry(first, count, uuid.UUID(type_guid), uuid.UUID(unique_guid), name)
    if len(entries) > ENTRY_COUNT * ENTRY_SIZE:
        sys.exit("write-gpt: too many partitions")
    entries = bytes(entries.ljust(entries_sectors * sector, b"\0"))
    entries_crc = zlib.crc32(entries[:ENTRY_COUNT * ENTRY_SIZE])
    backup_entries_lba = last_lba - entries_sectors

    with open(args.image, "r+b") as image:
        def put(lba, data):
            image.seek(lba * sector)
            image.write(data)
        put(0, protective_mbr(sector, last_lba))
        put(1, header(sector, 1, last_lba, first_usable, last_usable, args.disk_guid, 2,
                      entries_crc))
        put(2, entries)
        put(backup_entries_lba, entries)
        put(last_lba, header(sector, last_lba, 1, first_usable, last_usable, args.disk_guid,
                             backup_entries_lba, entries_crc))


if __name__ == "__main__":
    main()
