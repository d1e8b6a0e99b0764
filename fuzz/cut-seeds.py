#!/usr/bin/env python3
"""Cuts the seeds of the small fuzz targets out of whole images.

Usage: cut-seeds.py OUTDIR IMAGE...

From each NTFS image: every in-use MFT record of the first 128 (mft_record), the mapping pairs of
every non-resident attribute in them (run_list: one whole and one fragment-mode seed each), and
the stored compression units of compressed attributes (lznt1), and each record with an attribute
list made resident, naming its extension records, followed by them renumbered 1, 2... (mft_record: the target reads the
input's records as the $MFT). From each FAT12/16 image: the
root folder behind a path component (fat_dir). Images of other kinds are skipped.
"""
import os
import struct
import sys


def u16(b, o): return struct.unpack_from('<H', b, o)[0]
def u32(b, o): return struct.unpack_from('<I', b, o)[0]
def u64(b, o): return struct.unpack_from('<Q', b, o)[0]


def save(outdir, target, name, data):
    os.makedirs(os.path.join(outdir, target), exist_ok=True)
    with open(os.path.join(outdir, target, name), 'wb') as f:
        f.write(data)


def apply_fixups(record):
    rec = bytearray(record)
    usa, count = u16(rec, 4), u16(rec, 6)
    for i in range(1, count):
        end = i * 512 - 2
        if end + 2 > len(rec) or usa + 2 * i + 2 > len(rec):
            break
        rec[end:end + 2] = rec[usa + 2 * i:usa + 2 * i + 2]
    return bytes(rec)


def store_fixups(record):
    """The inverse of apply_fixups: each sector's last two bytes moved to the update sequence."""
    rec = bytearray(record)
    usa, count = u16(rec, 4), u16(rec, 6)
    for i in range(1, count):
        end = i * 512 - 2
        if end + 2 > len(rec) or usa + 2 * i + 2 > len(rec):
            break
        rec[usa + 2 * i:usa + 2 * i + 2] = rec[end:end + 2]
        rec[end:end + 2] = rec[usa:usa + 2]
    return bytes(rec)


def attributes(fixed):
    at = u16(fixed, 0x14)
    while at + 16 <= len(fixed) and u32(fixed, at) != 0xFFFFFFFF:
        length = u32(fixed, at + 4)
        if length < 16 or at + length > len(fixed):
            return
        yield at, fixed[at:at + length]
        at += length


def list_seed(image, mft, record_size, n, fixed):
    """Record n with its attribute list made resident and naming only its extension records,
    followed by those records, renumbered from 0."""
    # Records the input may hold: the target takes the record size from the input's length.
    room = 3 if record_size == 1024 else 4 if record_size == 4096 else 1
    extensions = []
    for m in range(128):
        ext = image[mft + m * record_size:mft + (m + 1) * record_size]
        if m != n and ext[:4] == b'FILE' and u64(ext, 0x20) & 0xFFFFFFFFFFFF == n:
            extensions.append(m)
    for at, attribute in attributes(fixed):
        if u32(attribute, 0) != 0x20 or not extensions:
            continue
        entries = b''
        for i, m in enumerate(extensions[:room - 1]):
            ext = apply_fixups(image[mft + m * record_size:mft + (m + 1) * record_size])
            first = next(attributes(ext), None)
            kind = u32(first[1], 0) if first else 0x80
            entries += struct.pack('<IHBBQQH6x', kind, 0x20, 0, 0x1A, 0, i + 1, 0)
        resident = struct.pack('<IIBBHHHIHBB', 0x20, 0x18 + len(entries), 0, 0, 0x18, 0,
                               u16(attribute, 0x0E), len(entries), 0x18, 0, 0) + entries
        rec = fixed[:at] + resident + fixed[at + len(attribute):]
        used = u32(fixed, 0x18) - len(attribute) + len(resident)
        if used > record_size:
            return None
        rec = bytearray(rec[:record_size].ljust(record_size, b'\0'))
        struct.pack_into('<I', rec, 0x18, used)
        out = [store_fixups(rec)]
        for m in extensions[:room - 1]:
            ext = bytearray(apply_fixups(image[mft + m * record_size:mft + (m + 1) * record_size]))
            struct.pack_into('<Q', ext, 0x20, u64(ext, 0x20) & ~0xFFFFFFFFFFFF)
            out.append(store_fixups(ext))
        return b''.join(out)
    return None


def decode_runs(pairs):
    runs, lcn, at = [], 0, 0
    while at < len(pairs) and pairs[at] != 0:
        lb, ob = pairs[at] & 0x0F, pairs[at] >> 4
        if lb == 0 or at + 1 + lb + ob > len(pairs):
            break
        length = int.from_bytes(pairs[at + 1:at + 1 + lb], 'little')
        if ob == 0:
            runs.append((None, length))
        else:
            lcn += int.from_bytes(pairs[at + 1 + lb:at + 1 + lb + ob], 'little', signed=True)
            runs.append((lcn, length))
        at += 1 + lb + ob
    return runs


def compressed_units(image, runs, cluster, limit=8):
    """The real clusters of each compression unit (16 clusters) that holds sparse ones."""
    vcns = []
    for lcn, length in runs:
        vcns.extend([None] * length if lcn is None else range(lcn, lcn + length))
        if len(vcns) > 16 * limit:
            break
    units = []
    for u in range(0, len(vcns), 16):
        unit = vcns[u:u + 16]
        real = [c for c in unit if c is not None]
        if len(unit) == 16 and 0 < len(real) < 16:
            units.append(b''.join(image[c * cluster:(c + 1) * cluster] for c in real))
    return units[:limit]


def cut_ntfs(outdir, tag, image):
    sector = u16(image, 0x0B)
    cluster = sector * image[0x0D]
    raw = struct.unpack_from('<b', image, 0x40)[0]
    record_size = raw * cluster if raw > 0 else 1 << -raw
    mft = u64(image, 0x30) * cluster
    for n in range(128):
        record = image[mft + n * record_size:mft + (n + 1) * record_size]
        if len(record) < record_size or record[:4] != b'FILE' or not u16(record, 0x16) & 1:
            continue
        save(outdir, 'mft_record', f'{tag}-record{n}', record)
        fixed = apply_fixups(record)
        listed = list_seed(image, mft, record_size, n, fixed)
        if listed:
            save(outdir, 'mft_record', f'{tag}-list{n}', listed)
        at, k = u16(fixed, 0x14), 0
        while at + 16 <= len(fixed) and u32(fixed, at) != 0xFFFFFFFF:
            length = u32(fixed, at + 4)
            if length < 16 or at + length > len(fixed):
                break
            attribute = fixed[at:at + length]
            if attribute[8] == 1 and length > 0x40:
                pairs = attribute[u16(attribute, 0x20):]
                save(outdir, 'run_list', f'{tag}-record{n}-attr{k}', b'\x03' + pairs)
                fragment = bytes([0x0B, 0, min(len(pairs), 255)]) + pairs[:255]
                save(outdir, 'run_list', f'{tag}-record{n}-attr{k}-fragment', fragment)
                if u16(attribute, 0x0C) & 0xFF:
                    for i, unit in enumerate(compressed_units(image, decode_runs(pairs), cluster)):
                        save(outdir, 'lznt1', f'{tag}-record{n}-unit{i}', unit)
            at += length
            k += 1


def cut_fat(outdir, tag, image):
    sector = u16(image, 0x0B)
    reserved, fats, root_entries, per_fat = u16(image, 0x0E), image[0x10], u16(image, 0x11), u16(image, 0x16)
    if sector == 0 or root_entries == 0 or per_fat == 0:
        return  # FAT32: the root is a cluster chain
    root = (reserved + fats * per_fat) * sector
    entries = image[root:root + root_entries * 32]
    end = 0
    while end + 32 <= len(entries) and entries[end] != 0:
        end += 32
    entries = entries[:end + 64]
    for i, component in enumerate([b'README.TXT', b'a rather long file name.txt', b'?ONE.TXT', b'']):
        save(outdir, 'fat_dir', f'{tag}-root{i}', bytes([len(component)]) + component + entries)


def main():
    outdir = sys.argv[1]
    for path in sys.argv[2:]:
        with open(path, 'rb') as f:
            image = f.read()
        tag = os.path.basename(path).split('.')[0]
        if len(image) < 512 or image[510:512] != b'\x55\xaa':
            continue
        if image[3:7] == b'NTFS':
            cut_ntfs(outdir, tag, image)
        else:
            cut_fat(outdir, tag, image)


if __name__ == '__main__':
    main()
