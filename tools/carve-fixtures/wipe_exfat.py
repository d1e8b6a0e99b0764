#!/usr/bin/env python3
"""Zeroes an exFAT volume's boot regions, FAT and allocation bitmap so that it no longer mounts.

  wipe_exfat.py IMAGE      prints the byte ranges it zeroed
"""
import struct
import sys


def main(path):
    with open(path, "r+b") as f:
        boot = f.read(512)
        if boot[3:11] != b"EXFAT   ":
            raise SystemExit(f"{path}: not an exFAT volume")
        fat_off, fat_len, heap_off, _, root = struct.unpack_from("<IIIII", boot, 80)
        sector = 1 << boot[108]
        cluster = sector << boot[109]
        # The bitmap's entry (type 0x81) is in the root folder's first cluster.
        f.seek(heap_off * sector + (root - 2) * cluster)
        rootdir = f.read(cluster)
        ranges = [(0, (fat_off + fat_len) * sector)]
        for i in range(0, cluster, 32):
            if rootdir[i] == 0x81:
                first, length = struct.unpack_from("<IQ", rootdir, i + 20)
                ranges.append((heap_off * sector + (first - 2) * cluster, length))
        if len(ranges) < 2:
            raise SystemExit(f"{path}: no allocation bitmap entry in the root folder")
        for off, n in ranges:
            f.seek(off)
            f.write(bytes(n))
            print(f"zeroed {n} bytes at {off}")


if __name__ == "__main__":
    main(sys.argv[1])
