#!/usr/bin/env bash
# Build the small NTFS test images under tests/data/ntfs/.
#
# Each image is formatted with mkntfs and filled through the ntfs-3g FUSE
# driver (mount, write, sync, unmount), then a second mount deletes a chosen
# set of files.  After the last unmount the images are examined with The
# Sleuth Kit (istat, icat, fls, fsstat) to write, next to each image:
#
#   NAME.img.xz         the image (xz -9e)
#   NAME.manifest.tsv   one row per stream of every file and per folder
#   NAME.mkntfs.txt     the mkntfs command and the volume geometry
#   NAME.fsstat.txt     fsstat output
#   NAME.fls.txt        fls -rp output (deleted entries included)
#   NAME.icat.tsv       what icat returns for each manifest row vs its md5
#
# and README.md for the whole folder.
#
# Usage: sudo tools/make-ntfs-fixtures.sh [OUTDIR]     (default tests/data/ntfs)
#
# Needs root (FUSE mount), mkntfs + ntfs-3g + ntfsinfo (package ntfs-3g),
# fls/istat/icat/fsstat (package sleuthkit), python3 >= 3.9, xz.
# Optional: libfaketime (package faketime).  When present, the ntfs-3g
# daemon runs with its clock frozen at $FIXED_TIME so every timestamp it
# writes is fixed and two runs give byte-identical images.  Without it the
# images differ only in timestamps.
set -euo pipefail

OUT=${1:-tests/data/ntfs}
FIXED_TIME="2024-03-01 12:00:00"   # UTC; ntfs-3g clock and file mtimes
export TZ=UTC LC_ALL=C.UTF-8

# name  bytes/sector  bytes/cluster  image MiB
PROFILES=(
  "ntfs-512-4k 512 4096 12"
  "ntfs-4096-4k 4096 4096 12"
  "ntfs-512-64k 512 65536 32"
)

# shellcheck source=tools/ntfs-fuse.sh
source "$(dirname "${BASH_SOURCE[0]}")/ntfs-fuse.sh"

die() { echo "make-ntfs-fixtures: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "must run as root (FUSE mounts)"
for t in mkntfs ntfs-3g ntfsinfo fls istat icat fsstat python3 xz md5sum; do
  command -v "$t" >/dev/null || die "missing tool: $t"
done
python3 -c 'import sys; sys.exit(sys.version_info < (3, 9))' || die "python3 >= 3.9 needed"

FAKETIME_LIB=""
for f in /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1 \
         /usr/lib/faketime/libfaketime.so.1; do
  [[ -e $f ]] && { FAKETIME_LIB=$f; break; }
done
[[ -n $FAKETIME_LIB ]] || echo "warning: libfaketime not found; timestamps will vary" >&2

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d /tmp/rekkon-ntfs.XXXXXX)
MNT="$WORK/mnt"
mkdir -p "$MNT"
NTFS_PID=""

cleanup() {
  if mountpoint -q "$MNT" 2>/dev/null; then umount "$MNT" || true; fi
  if [[ -n $NTFS_PID ]]; then wait "$NTFS_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# ---------------------------------------------------------------- helpers --

# mount IMG: start ntfs-3g in the foreground (no_detach) in the background
# so that its exit after umount can be waited for: only then is every write
# on the image.
mount_img() {
  local img=$1
  local opts="compression,streams_interface=windows,noatime,big_writes,no_detach"
  if [[ -n $FAKETIME_LIB ]]; then
    LD_PRELOAD=$FAKETIME_LIB FAKETIME="$FIXED_TIME" FAKETIME_NO_CACHE=1 \
      ntfs-3g -o "$opts" "$img" "$MNT" >>"$WORK/ntfs-3g.log" 2>&1 &
  else
    ntfs-3g -o "$opts" "$img" "$MNT" >>"$WORK/ntfs-3g.log" 2>&1 &
  fi
  NTFS_PID=$!
  wait_mounted "$img"
}

# ---------------------------------------------------- file-system content --
# populate.py MNT CLUSTER COMPRESSION(0|1) PLAN.json create|delete
cat >"$WORK/populate.py" <<'PYEOF'
import calendar, hashlib, json, os, random, shutil, sys, time

mnt, cs, comp, plan_path, phase = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1", sys.argv[4], sys.argv[5]
BASE = calendar.timegm(time.strptime(os.environ["FIXED_TIME"], "%Y-%m-%d %H:%M:%S"))
UNIT = 16 * cs   # compression unit: 16 clusters

def tagged(tag, n):
    """n bytes of text; every 512-byte block starts with the tag and its offset,
    so a misplaced or missing block shows in a diff."""
    filler = ("%s: the quick brown fox jumps over the lazy dog 0123456789. " % tag).encode()
    out = bytearray()
    off = 0
    while off < n:
        head = ("[%s @%08d]" % (tag, off)).encode()
        blk = (head + filler * (512 // len(filler) + 2))[:511] + b"\n"
        out += blk
        off += 512
    return bytes(out[:n])

def lines(tag, n):
    """n bytes of highly repetitive numbered lines (compresses very well)."""
    out = bytearray()
    i = 0
    while len(out) < n:
        out += ("%s line %06d: all work and no play, all play and no work\n" % (tag, i)).encode()
        i += 1
    return bytes(out[:n])

def rnd(seed, n):
    return random.Random(seed).randbytes(n)

entries = []   # in creation order
tick = [0]

def stamp(p):
    tick[0] += 1
    t = BASE - 86400 + tick[0] * 60
    os.utime(os.path.join(mnt, p), (t, t))

def add_dir(p, delete=False, compress=False):
    os.mkdir(os.path.join(mnt, p))
    if compress:
        os.setxattr(os.path.join(mnt, p), "system.ntfs_attrib_be", (0x800).to_bytes(4, "big"))
    entries.append({"type": "dir", "path": p, "delete": delete})

def add_file(p, data, streams=(), delete=False, chunk=None):
    full = os.path.join(mnt, p)
    with open(full, "wb", buffering=0) as f:
        if chunk:
            for i in range(0, len(data), chunk):
                f.write(data[i:i + chunk])
        else:
            f.write(data)
    st = [("-", data)]
    for name, sdata in streams:
        with open(full + ":" + name, "wb", buffering=0) as f:
            f.write(sdata)
        st.append((name, sdata))
    entries.append({"type": "file", "path": p, "delete": delete,
                    "streams": [[n, len(d), hashlib.md5(d).hexdigest()] for n, d in st]})
    stamp(p)

def add_interleaved(pa, da, pb, db, delete_b):
    """Append one cluster to each file in turn, closing after every write, so
    the allocator hands out alternating clusters and both files fragment."""
    fa, fb = os.path.join(mnt, pa), os.path.join(mnt, pb)
    open(fa, "wb").close(); open(fb, "wb").close()
    n = max(len(da), len(db))
    for off in range(0, n, cs):
        for fn, d in ((fa, da), (fb, db)):
            if off < len(d):
                with open(fn, "ab", buffering=0) as f:
                    f.write(d[off:off + cs])
                    os.fsync(f.fileno())
    for p, d, dl in ((pa, da, False), (pb, db, delete_b)):
        entries.append({"type": "file", "path": p, "delete": dl,
                        "streams": [["-", len(d), hashlib.md5(d).hexdigest()]]})
        stamp(p)

def add_sparse(p, size, at, data):
    full = os.path.join(mnt, p)
    with open(full, "wb") as f:
        f.truncate(size)
        f.seek(at)
        f.write(data)
    img = bytearray(size)
    img[at:at + len(data)] = data
    entries.append({"type": "file", "path": p, "delete": False,
                    "streams": [["-", size, hashlib.md5(bytes(img)).hexdigest()]]})
    stamp(p)

def create():
    # resident files (well below 700 bytes; resident on 1 KiB and 4 KiB records)
    add_file("tiny.txt", b"hi\n")
    add_file("empty.txt", b"")
    add_file("small.txt", tagged("small", 600))
    # non-resident, contiguous
    add_file("one-cluster.bin", tagged("one-cluster", cs - 96))
    add_file("multi-cluster.bin", tagged("multi-cluster", 5 * cs + 1234))
    # fragmented: two files grown a cluster at a time, in turn
    add_interleaved("frag-a.bin", tagged("frag-a", 6 * cs + 100),
                    "frag-b.bin", tagged("frag-b", 6 * cs), delete_b=True)
    # sparse: 1 MiB with 4 KiB of data at 512 KiB
    add_sparse("sparse.bin", 1 << 20, 512 * 1024, tagged("sparse", 4096))
    # named streams
    add_file("streams.txt", tagged("streams-main", 100),
             streams=[("alpha", tagged("alpha", 40)), ("beta", tagged("beta", 2 * cs + 77))])
    add_file("streams-deleted.txt", tagged("streams-deleted-main", 2 * cs + 10),
             streams=[("gamma", tagged("gamma", 50)), ("delta", tagged("delta", cs + 5))],
             delete=True)
    # many long-named streams: attributes spill into extension records
    many = []
    for i in range(64):
        name = ("s%02d-" % i) + ("long-stream-name-%02d-" % i) * 5
        name = (name + "x" * 100)[:100]
        many.append((name, ("payload of stream %02d\n" % i).encode() * (1 + i % 3)))
    add_file("many-streams.txt", b"base data of many-streams.txt\n", streams=many)
    # non-ASCII names (the emoji needs a UTF-16 surrogate pair)
    add_file("naïve café.txt", "naïve café — résumé\n".encode())
    add_file("日本語の文書.txt", tagged("nihongo", 2 * cs + 33))
    add_file("😀 emoji.txt", "grinning face 😀\n".encode())
    add_dir("Ελληνικά")
    add_file("Ελληνικά/αρχείο.txt", "γειά σου κόσμε\n".encode())
    stamp("Ελληνικά")
    # nested tree
    add_dir("docs")
    add_dir("docs/a")
    add_dir("docs/a/b")
    add_dir("docs/a/b/c")
    add_file("docs/readme.txt", tagged("readme", 300))
    add_file("docs/a/one.txt", tagged("one", 200))
    add_file("docs/a/b/two.bin", tagged("two", 3 * cs + 7))
    add_file("docs/a/b/c/deep.txt", tagged("deep", 120))
    for d in ("docs/a/b/c", "docs/a/b", "docs/a", "docs"):
        stamp(d)
    # files deleted later
    add_file("note-deleted.txt", tagged("note-deleted", 200), delete=True)
    add_file("report-deleted.txt", tagged("report-deleted", 3 * cs + 500), delete=True)
    add_file("résumé-ancien.txt", "ancien résumé, supprimé\n".encode() * 10, delete=True)
    # a folder deleted with everything in it
    add_dir("old-project", delete=True)
    add_file("old-project/plan.txt", tagged("plan", 250), delete=True)
    add_file("old-project/data.bin", tagged("old-data", 3 * cs), delete=True)
    add_dir("old-project/sub", delete=True)
    add_file("old-project/sub/inner.txt", tagged("inner", 90), delete=True)
    add_file("old-project/sub/inner.bin", tagged("inner-bin", cs + 1), delete=True)
    stamp("old-project/sub"); stamp("old-project")
    # LZNT1 compression (only where clusters are at most 4 KiB)
    if comp:
        add_dir("compressed", compress=True)
        add_file("compressed/text.txt", lines("text", 3 * UNIT))
        add_file("compressed/random.bin", rnd(1, 100 * 1024))
        mixed = (lines("mixed-0", UNIT)
                 + rnd(2, UNIT // 2) + lines("mixed-1", UNIT // 2)
                 + bytes(UNIT)
                 + tagged("mixed-3", 20000))
        add_file("compressed/mixed.bin", mixed)
        add_file("compressed/odd.txt", tagged("odd", 100000))
        add_file("compressed/small.txt", tagged("compressed-small", 300))
        add_file("compressed/deleted.txt",
                 lines("deleted-compressed", 2 * UNIT) + rnd(3, 8192) + lines("tail", 5000),
                 delete=True)
        stamp("compressed")
    # record numbers: the inode numbers the driver reports are MFT record numbers
    for e in entries:
        e["record"] = os.lstat(os.path.join(mnt, e["path"])).st_ino
    os.sync()
    with open(plan_path, "w") as f:
        json.dump(entries, f, ensure_ascii=False, indent=1)

def delete():
    with open(plan_path) as f:
        entries = json.load(f)
    order = ["streams-deleted.txt", "frag-b.bin", "note-deleted.txt", "report-deleted.txt",
             "résumé-ancien.txt", "compressed/deleted.txt", "old-project"]
    paths = {e["path"] for e in entries}
    for p in order:
        if p not in paths:
            continue
        full = os.path.join(mnt, p)
        if os.path.isdir(full):
            shutil.rmtree(full)
        else:
            os.unlink(full)
    os.sync()

{"create": create, "delete": delete}[phase]()
PYEOF

# ------------------------------------------------------------- analysis --
# analyse.py IMG PLAN.json MANIFEST.tsv ICAT.tsv
cat >"$WORK/analyse.py" <<'PYEOF'
import hashlib, json, re, subprocess, sys

img, plan_path, manifest_path, icat_path = sys.argv[1:5]
entries = json.load(open(plan_path))

ATTR = re.compile(r"^Type: (\$\w+) \((\d+)-(\d+)\)\s+Name: (.*?)\s+(Resident|Non-Resident)(?:, ([\w, ]+?))?\s+size: (\d+)")

def istat(rec):
    out = subprocess.run(["istat", img, str(rec)], capture_output=True, check=True).stdout.decode("utf-8", "replace")
    attrs, cur, started = [], None, False
    for line in out.splitlines():
        if line.startswith("Attributes:"):
            started = True
            continue
        if not started:
            continue
        m = ATTR.match(line)
        if m:
            cur = {"type": m.group(1), "id": int(m.group(3)), "name": m.group(4),
                   "resident": m.group(5) == "Resident",
                   "aflags": [s.strip() for s in (m.group(6) or "").split(",") if s.strip()],
                   "size": int(m.group(7)), "clusters": []}
            attrs.append(cur)
        elif cur is not None and re.match(r"^[\d ]+$", line.strip() or "x"):
            cur["clusters"] += [int(x) for x in line.split()]
    return attrs

def fragmented(clusters):
    real = [c for c in clusters if c != 0]   # 0 marks a sparse cluster
    return any(b != a + 1 for a, b in zip(real, real[1:]))

def nonascii(s):
    return any(ord(c) > 127 for c in s)

rows, checks, failures = [], [], []
for e in entries:
    state = "deleted" if e["delete"] else "live"
    rec = e["record"]
    attrs = istat(rec)
    has_al = any(a["type"] == "$ATTRIBUTE_LIST" for a in attrs)
    base = e["path"].rsplit("/", 1)[-1]
    if e["type"] == "dir":
        fl = (["attrlist"] if has_al else []) + (["nonascii"] if nonascii(base) else [])
        rows.append((state, "dir", rec, e["path"], "-", 0, "-", ",".join(fl) or "-"))
        continue
    for sname, size, md5 in e["streams"]:
        want = "N/A" if sname == "-" else sname
        match = [a for a in attrs if a["type"] == "$DATA" and a["name"] == want]
        if len(match) != 1:
            sys.exit("record %d: %d $DATA attributes named %s" % (rec, len(match), want))
        a = match[0]
        if a["size"] != size:
            failures.append("%s %s: istat size %d, expected %d" % (e["path"], sname, a["size"], size))
        fl = ["resident" if a["resident"] else "nonresident"]
        if not a["resident"] and fragmented(a["clusters"]):
            fl.append("fragmented")
        if "Sparse" in a["aflags"]:
            fl.append("sparse")
        if "Compressed" in a["aflags"]:
            fl.append("compressed")
        if has_al:
            fl.append("attrlist")
        if nonascii(base) or (sname != "-" and nonascii(sname)):
            fl.append("nonascii")
        rows.append((state, "file", rec, e["path"], sname, size, md5, ",".join(fl)))
        addr = "%d-128-%d" % (rec, a["id"])
        r = subprocess.run(["icat", img, addr], capture_output=True)
        if r.returncode != 0:
            result = "error"
        else:
            result = "match" if hashlib.md5(r.stdout).hexdigest() == md5 else \
                "differs(%d bytes)" % len(r.stdout)
        checks.append((state, addr, e["path"], sname, result))
        if state == "live" and result != "match":
            failures.append("live %s %s: icat %s" % (e["path"], sname, result))

rows.sort(key=lambda r: (r[2], r[4] != "-", r[4]))
with open(manifest_path, "w") as f:
    f.write("state\ttype\trecord\tpath\tstream\tsize\tmd5\tflags\n")
    for r in rows:
        f.write("\t".join(str(x) for x in r) + "\n")
checks.sort(key=lambda c: (int(c[1].split("-")[0]), int(c[1].split("-")[2])))
with open(icat_path, "w") as f:
    f.write("state\ticat_address\tpath\tstream\tresult\n")
    for c in checks:
        f.write("\t".join(c) + "\n")
if failures:
    sys.exit("\n".join(failures))
PYEOF

# ---------------------------------------------------------------- images --
build() {
  local name=$1 sector=$2 cluster=$3 mib=$4
  local img="$WORK/$name.img" plan="$WORK/$name.plan.json"
  local comp=0
  [[ $cluster -le 4096 ]] && comp=1
  echo "== $name: ${sector}-byte sectors, ${cluster}-byte clusters, ${mib} MiB"

  truncate -s "${mib}M" "$img"
  local cmd=(mkntfs -F -q -f -T -s "$sector" -c "$cluster" -p 0 -H 0 -S 0 -L rekkon "$img")
  "${cmd[@]}" >"$WORK/mkntfs.log" 2>&1 || { cat "$WORK/mkntfs.log" >&2; die "mkntfs failed"; }

  mount_img "$img"
  FIXED_TIME=$FIXED_TIME python3 "$WORK/populate.py" "$MNT" "$cluster" "$comp" "$plan" create
  unmount_img
  mount_img "$img"
  FIXED_TIME=$FIXED_TIME python3 "$WORK/populate.py" "$MNT" "$cluster" "$comp" "$plan" delete
  unmount_img

  python3 "$WORK/analyse.py" "$img" "$plan" "$OUT/$name.manifest.tsv" "$OUT/$name.icat.tsv"

  fsstat "$img" >"$OUT/$name.fsstat.txt"
  fls -rp "$img" >"$OUT/$name.fls.txt"

  local info
  info=$(ntfsinfo -m "$img" 2>/dev/null)
  field() { sed -n "s/^[[:space:]]*$1:[[:space:]]*//p" <<<"$info" | head -1; }
  local bps spc csz rec mftlcn mirrlcn nclus
  bps=$(field "Sector Size"); csz=$(field "Cluster Size"); rec=$(field "MFT Record Size")
  mftlcn=$(field "LCN of Data Attribute for FILE_MFT")
  mirrlcn=$(field "LCN of Data Attribute for File_MFTMirr")
  nclus=$(field "Volume Size in Clusters")
  spc=$((csz / bps))
  {
    printf 'command: truncate -s %sM %s.img && %s\n' "$mib" "$name" "${cmd[*]/#$WORK\//}"
    printf 'mkntfs: %s\n' "$(mkntfs -V 2>&1 | grep -m1 .)"
    printf 'image_bytes: %d\n' "$((mib * 1024 * 1024))"
    printf 'bytes_per_sector: %s\n' "$bps"
    printf 'sectors_per_cluster: %s\n' "$spc"
    printf 'cluster_size: %s\n' "$csz"
    printf 'mft_record_size: %s\n' "$rec"
    printf 'mft_start_cluster: %s\n' "$mftlcn"
    printf 'mftmirr_start_cluster: %s\n' "$mirrlcn"
    printf 'volume_clusters: %s\n' "$nclus"
    printf 'compression_unit_bytes: %s\n' "$([[ $comp == 1 ]] && echo $((16 * csz)) || echo 'none (clusters > 4 KiB)')"
  } >"$OUT/$name.mkntfs.txt"

  md5sum "$img" | sed "s#  .*#  $name.img#" >"$WORK/$name.img.md5"
  rm -f "$OUT/$name.img" "$OUT/$name.img.xz"
  xz -9e -T1 -c "$img" >"$OUT/$name.img.xz"
}

for p in "${PROFILES[@]}"; do
  # shellcheck disable=SC2086
  build $p
done

# ---------------------------------------------------------------- README --
TOOL_VERSIONS="$(mkntfs -V 2>&1 | grep -m1 .)|$(ntfs-3g --version 2>&1 | grep -m1 .)|$(fls -V | grep -m1 .)" \
python3 - "$OUT" "$WORK" "${PROFILES[@]}" <<'PYEOF'
import os, re, sys
out, work, profiles = sys.argv[1], sys.argv[2], [p.split() for p in sys.argv[3:]]

def tsv(path):
    with open(path) as f:
        head, *rows = [l.rstrip("\n").split("\t") for l in f]
    return [dict(zip(head, r)) for r in rows]

L = []
w = L.append
w("# NTFS test images")
w("")
w("Small NTFS volumes made by `mkntfs` and filled through the ntfs-3g FUSE driver, with")
w("known contents and known deletions. Generated by `tools/make-ntfs-fixtures.sh`;")
w("do not edit by hand.")
w("")
w("## Regenerate")
w("")
w("    sudo tools/make-ntfs-fixtures.sh            # writes tests/data/ntfs/")
w("")
w("Needs root (FUSE), packages ntfs-3g, sleuthkit, xz-utils, python3 >= 3.9, and")
w("optionally faketime: with libfaketime the driver's clock is frozen at 2024-03-01")
w("12:00:00 UTC and `mkntfs -T` fixes the format, so the images come out byte-identical")
w("on every run (md5 of each raw image below). Decompress with `xz -dk NAME.img.xz`.")
w("")
w("## Files per image")
w("")
w("- `NAME.img.xz` — the image.")
w("- `NAME.mkntfs.txt` — mkntfs command and geometry (sector, cluster, MFT record size, MFT start cluster).")
w("- `NAME.manifest.tsv` — one row per stream of every file and one per folder. Columns:")
w("  `state` (live|deleted), `type` (file|dir), `record` (MFT record number = inode number")
w("  reported by ntfs-3g), `path` (UTF-8, '/'-separated, relative to the root), `stream`")
w("  ('-' = unnamed data stream), `size` (bytes; 0 for folders), `md5` ('-' for folders),")
w("  `flags` (taken from `istat` after unmounting: resident, nonresident, fragmented =")
w("  allocated clusters not one ascending run, sparse, compressed, attrlist = the record has an")
w("  $ATTRIBUTE_LIST, nonascii = the entry's own name or stream name has non-ASCII characters;")
w("  folders only carry attrlist/nonascii).")
w("- `NAME.icat.tsv` — for each file row, the TSK address used (`RECORD-128-ID`) and whether")
w("  `icat` output matches the manifest md5 (`match`, `differs(N bytes)`, `error`).")
w("- `NAME.fsstat.txt`, `NAME.fls.txt` — `fsstat` and `fls -rp` output (deleted entries are")
w("  marked `*`; `$OrphanFiles` lists unused reserved records 16–23, which are not test data).")
w("")
w("## Contents (all images)")
w("")
w("Text content is made of 512-byte blocks each starting with `[tag @offset]`, so a")
w("misplaced block is visible; random content comes from python `random.Random(seed)`.")
w("Sizes scale with the cluster size `cs`.")
w("")
w("| path | what |")
w("| --- | --- |")
for p, d in [
    ("tiny.txt, empty.txt, small.txt", "resident data: 3, 0 and 600 bytes"),
    ("one-cluster.bin", "cs-96 bytes, one cluster"),
    ("multi-cluster.bin", "5*cs+1234 bytes, contiguous"),
    ("frag-a.bin / frag-b.bin", "grown one cluster at a time in turn: alternating clusters; frag-b is deleted"),
    ("sparse.bin", "1 MiB, 4 KiB of data at 512 KiB, the rest holes (initialized size ends after the data)"),
    ("streams.txt", "named streams `alpha` (resident) and `beta` (2*cs+77, non-resident)"),
    ("streams-deleted.txt", "deleted; non-resident main stream plus streams `gamma` (resident) and `delta` (cs+5)"),
    ("many-streams.txt", "64 named streams with 100-character names: $ATTRIBUTE_LIST and extension records"),
    ("naïve café.txt, 日本語の文書.txt, 😀 emoji.txt, Ελληνικά/αρχείο.txt", "non-ASCII names (the emoji is a UTF-16 surrogate pair)"),
    ("docs/a/b/c/…", "nested folders with a file at each level"),
    ("note-deleted.txt, report-deleted.txt, résumé-ancien.txt", "deleted: resident, non-resident (3*cs+500), resident with non-ASCII name"),
    ("old-project/", "deleted folder with plan.txt, data.bin and sub/{inner.txt,inner.bin}, removed with rm -r"),
    ("compressed/ (4 KiB clusters only)", "folder marked compressed (attribute 0x800), LZNT1, 64 KiB units: text.txt (3 units of repeating lines), random.bin (100 KiB random, stored uncompressed), mixed.bin (compressible unit, half-random unit, all-zero unit, partial tail), odd.txt (100000 bytes), small.txt (resident), deleted.txt (deleted)"),
]:
    w("| %s | %s |" % (p, d))
w("")
w("No file is written after the deletions, so the freed clusters and MFT records are not reused.")
w("")
w("Made with: %s; %s; %s." % tuple(os.environ["TOOL_VERSIONS"].split("|")))
w("")
w("## Observations (from istat/icat on the images as generated)")
w("")
w("- Deleting through ntfs-3g clears the in-use flag, bumps the sequence number and sets the")
w("  link count to 0, but leaves every attribute and run list of the record in place, and")
w("  each deleted record's $FILE_NAME still names its parent: `fls -rp` prints full paths for")
w("  the deleted entries and `icat` reproduces every deleted stream (tables below).")
w("- The ids in `RECORD-128-ID` are The Sleuth Kit's. For attributes held in extension")
w("  records (many-streams.txt) they are not the on-disk attribute instance numbers, which")
w("  restart in each extension record (checked against the $ATTRIBUTE_LIST entries, which do")
w("  carry the on-disk instance). Match named streams by name, not by these ids.")
w("- many-streams.txt: its $ATTRIBUTE_LIST is itself non-resident. With 1 KiB records ntfs-3g")
w("  packs three streams per extension record; with 4 KiB records (ntfs-4096-4k) it fills the")
w("  base and one extension record and then puts one stream per extension record, and it moved")
w("  the base record's $SECURITY_DESCRIPTOR out to a non-resident attribute.")
w("- sparse.bin: initialized size (528384) is smaller than the data size (1 MiB); the tail")
w("  past the written 4 KiB is neither allocated nor initialized.")
w("- compressed/: random.bin is flagged compressed but both its units are stored raw (16 and")
w("  9 clusters, no sparse run); mixed.bin's all-zero unit has no clusters at all (one sparse")
w("  run of 16); small.txt stays resident (resident data is never compressed).")
w("- ntfs-3g writes no DOS 8.3 names: every $FILE_NAME is in the POSIX namespace.")
w("")

for name, sector, cluster, mib in profiles:
    w("## %s" % name)
    w("")
    geo = dict(l.split(": ", 1) for l in open(os.path.join(out, name + ".mkntfs.txt")).read().splitlines())
    md5 = open(os.path.join(work, name + ".img.md5")).read().split()[0]
    xz = os.path.getsize(os.path.join(out, name + ".img.xz"))
    w("`%s`" % geo["command"])
    w("")
    w("%s bytes/sector, %s sectors/cluster (%s-byte clusters), %s-byte MFT records, $MFT at cluster %s, %s clusters; raw %s MiB, md5 %s; compressed %d bytes." % (
        geo["bytes_per_sector"], geo["sectors_per_cluster"], geo["cluster_size"], geo["mft_record_size"],
        geo["mft_start_cluster"], geo["volume_clusters"], mib, md5, xz))
    w("")
    man = tsv(os.path.join(out, name + ".manifest.tsv"))
    def recs(flag):
        s = sorted({int(r["record"]) for r in man if flag in r["flags"].split(",")})
        return ", ".join(map(str, s)) or "none"
    for flag in ("fragmented", "sparse", "compressed", "attrlist"):
        w("- %s records: %s" % (flag, recs(flag)))
    w("- rows: %d live, %d deleted" % (sum(r["state"] == "live" for r in man), sum(r["state"] == "deleted" for r in man)))
    w("")
    w("Deleted entries and what `icat` gives back:")
    w("")
    w("| icat address | path | stream | flags | icat |")
    w("| --- | --- | --- | --- | --- |")
    ic = {(r["path"], r["stream"]): r for r in tsv(os.path.join(out, name + ".icat.tsv"))}
    for r in man:
        if r["state"] != "deleted":
            continue
        if r["type"] == "dir":
            w("| %s | %s/ | | %s | (folder) |" % (r["record"], r["path"], r["flags"]))
            continue
        c = ic[(r["path"], r["stream"])]
        w("| %s | %s | %s | %s | %s |" % (c["icat_address"], r["path"], r["stream"], r["flags"], c["result"]))
    live = [c for c in ic.values() if c["state"] == "live"]
    w("")
    w("All %d live streams: icat matches the manifest md5." % len(live)
      if all(c["result"] == "match" for c in live) else "Some live streams do not match; see NAME.icat.tsv.")
    w("")

# Sections other tools keep in this README (between their marker lines) stay.
old = open(os.path.join(out, "README.md")).read() if os.path.exists(os.path.join(out, "README.md")) else ""
for kept in re.findall(r"<!-- (\S+) begin -->.*?<!-- \1 end -->", old, re.S):
    L += [re.search(r"<!-- %s begin -->.*?<!-- %s end -->" % (kept, kept), old, re.S).group(0)]
    L.append("")
with open(os.path.join(out, "README.md"), "w") as f:
    f.write("\n".join(L))
PYEOF

echo "== done"
ls -l "$OUT"
