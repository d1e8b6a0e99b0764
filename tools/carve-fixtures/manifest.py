#!/usr/bin/env python3
"""Manifests of the carving test volumes, from The Sleuth Kit's view of the live file system.

  manifest.py record IMAGE FSTYPE STAGE OUT.manifest
      one row per file under STAGE (its path relative to STAGE is its path on the volume):
      size, md5, where its data lies (istat), contiguous yes/no; intact is left to `verify`.
  manifest.py deleted OUT.manifest PATH...
      marks the rows of PATH... as deleted.
  manifest.py verify IMAGE OUT.manifest
      after the file system is destroyed: intact is yes when the bytes at the recorded runs still
      have the recorded md5.

Columns: path size md5 contiguous intact deleted runs   (runs: image byte offset+length;...,
"resident" when the data lives inside an NTFS file record).
"""
import csv
import hashlib
import os
import re
import subprocess
import sys

COLUMNS = ["path", "size", "md5", "contiguous", "intact", "deleted", "runs"]


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def fls_map(image, fstype):
    inodes = {}
    for line in run("fls", "-r", "-p", "-f", fstype, image).splitlines():
        m = re.match(r"^r/r (\*\s+)?([0-9-]+)(?:\([^)]*\))?:\s+(.*)$", line)
        if m and not m.group(1):
            inodes[m.group(3)] = m.group(2)
    return inodes


def cluster_size(image, fstype):
    out = run("fsstat", "-f", fstype, image)
    m = re.search(r"Cluster Size: (\d+)", out)
    return int(m.group(1)) if m else 512


def runs_of(image, fstype, inode, size, csize):
    """Byte runs of the file's data in the image, or None when it is resident."""
    out = run("istat", "-f", fstype, image, inode)
    if fstype == "ntfs":
        lines = out.splitlines()
        start = None
        for i, line in enumerate(lines):
            if line.startswith("Type: $DATA"):
                if "Resident" in line and "Non-Resident" not in line:
                    return None
                start = i + 1
                break
        if start is None:
            raise SystemExit(f"no $DATA attribute for inode {inode}")
        units, unit = [], csize
        for line in lines[start:]:
            if not re.match(r"^[\d ]+$", line.strip() or "x"):
                break
            units += [int(x) for x in line.split()]
    else:
        units, unit = [], 512
        after = out.split("Sectors:", 1)[1]
        for line in after.splitlines()[1:]:
            if not line.strip():
                break
            units += [int(x) for x in line.split()]
    runs = []
    for u in units:
        if runs and runs[-1][0] + runs[-1][1] == u * unit:
            runs[-1][1] += unit
        else:
            runs.append([u * unit, unit])
    # Only the file's bytes: cut the runs to its size.
    left, cut = size, []
    for off, length in runs:
        if left <= 0:
            break
        cut.append((off, min(length, left)))
        left -= min(length, left)
    if left > 0:
        raise SystemExit(f"inode {inode}: runs hold fewer bytes than its size")
    return cut


def md5_file(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def read_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def write_rows(path, rows):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, COLUMNS, delimiter="\t", lineterminator="\n")
        w.writeheader()
        w.writerows(rows)


def record(image, fstype, stage, out):
    inodes = fls_map(image, fstype)
    csize = cluster_size(image, fstype)
    rows = []
    for root, _, files in os.walk(stage):
        for name in sorted(files):
            full = os.path.join(root, name)
            rel = os.path.relpath(full, stage)
            if rel not in inodes:
                raise SystemExit(f"{rel}: not listed by fls")
            size = os.path.getsize(full)
            runs = runs_of(image, fstype, inodes[rel], size, csize)
            rows.append({
                "path": rel, "size": size, "md5": md5_file(full),
                "contiguous": "no" if runs is None or len(runs) > 1 else "yes",
                "intact": "", "deleted": "no",
                "runs": "resident" if runs is None else ";".join(f"{o}+{n}" for o, n in runs),
            })
    rows.sort(key=lambda r: r["path"])
    write_rows(out, rows)


def deleted(out, paths):
    rows = read_rows(out)
    for p in paths:
        hit = [r for r in rows if r["path"] == p]
        if not hit:
            raise SystemExit(f"{p}: not in {out}")
        hit[0]["deleted"] = "yes"
    write_rows(out, rows)


def verify(image, out):
    rows = read_rows(out)
    with open(image, "rb") as f:
        for r in rows:
            if r["runs"] == "resident":
                r["intact"] = "no"
                continue
            h = hashlib.md5()
            for run_ in r["runs"].split(";"):
                off, n = (int(x) for x in run_.split("+"))
                f.seek(off)
                h.update(f.read(n))
            r["intact"] = "yes" if h.hexdigest() == r["md5"] else "no"
    write_rows(out, rows)


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "record":
        record(*sys.argv[2:6])
    elif cmd == "deleted":
        deleted(sys.argv[2], sys.argv[3:])
    elif cmd == "verify":
        verify(*sys.argv[2:4])
    else:
        raise SystemExit(__doc__)
