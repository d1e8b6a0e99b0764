"""Fills a mounted exFAT volume with known files, or deletes the chosen ones.

    populate.py MNT PROFILE CLUSTER PLAN.json create|delete

create: writes every file and folder of PROFILE, sets their modification and access
times, and writes PLAN.json (path, type, size, md5, times as set, whether to delete).
delete: removes the entries PLAN.json marks for deletion (folders with rm -r).
Contents are deterministic: the same profile always gives the same bytes.
"""
import calendar, hashlib, json, os, random, shutil, sys

mnt, profile, cs, plan_path, phase = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]


def tagged(tag, n):
    """n bytes of text; every 512-byte block starts with the tag and its offset."""
    filler = ("%s: the quick brown fox jumps over the lazy dog 0123456789. " % tag).encode()
    out = bytearray()
    off = 0
    while off < n:
        head = ("[%s @%08d]" % (tag, off)).encode()
        out += (head + filler * (512 // len(filler) + 2))[:511] + b"\n"
        off += 512
    return bytes(out[:n])


def rnd(seed, n):
    return random.Random(seed).randbytes(n)


def jpeg(seed, n):
    """Photo-like bytes: JPEG/Exif start and end markers around tagged blocks (which
    compress, to keep the images small) with a little seeded noise at the start."""
    head = b"\xff\xd8\xff\xe1\x00\x16Exif\x00\x00II*\x00\x08\x00\x00\x00" + seed.encode()
    head += rnd(seed, 1000)
    return head + tagged(seed, n - len(head) - 2) + b"\xff\xd9"


entries = []
tick = [0]
T0 = calendar.timegm((2023, 1, 2, 3, 4, 6, 0, 0, 0))


def times():
    """Distinct modification and access times, 10 ms steps in the modification time
    (exFAT keeps 10 ms there), whole even seconds for access (2 s granularity)."""
    tick[0] += 1
    i = tick[0]
    mtime_ns = (T0 + i * 3661) * 10**9 + (i * 37 % 100) * 10**7
    atime_ns = (T0 + 86400 * 30 + i * 7200) * 10**9
    return mtime_ns, atime_ns


def add_dir(p, delete=False):
    os.mkdir(os.path.join(mnt, p))
    entries.append({"type": "folder", "path": p, "size": 0, "md5": "-", "delete": delete})


def add_file(p, data, delete=False):
    with open(os.path.join(mnt, p), "wb", buffering=0) as f:
        f.write(data)
        os.fsync(f.fileno())
    entries.append({"type": "file", "path": p, "size": len(data),
                    "md5": hashlib.md5(data).hexdigest(), "delete": delete})


def interleave(specs, step):
    """Grows several files a step at a time in turn so their clusters alternate.
    specs: [(path, data, delete)]."""
    fs = [open(os.path.join(mnt, p), "wb", buffering=0) for p, _, _ in specs]
    longest = max(len(d) for _, d, _ in specs)
    for off in range(0, longest, step):
        for f, (_, d, _) in zip(fs, specs):
            if off < len(d):
                f.write(d[off:off + step])
                os.fsync(f.fileno())
    for f in fs:
        f.close()
    for p, d, delete in specs:
        entries.append({"type": "file", "path": p, "size": len(d),
                        "md5": hashlib.md5(d).hexdigest(), "delete": delete})


def name_of_length(n, ch):
    """A name of exactly n characters ending in '.txt' when there is room."""
    if n <= 4:
        return ch * n
    stem = "".join(chr(ord(ch) + (k % 10)) if k % 10 else ch for k in range(n - 4))
    return stem + ".txt"


def basic():
    add_file("contig.bin", rnd("contig", 5 * cs + 1234))
    add_file("contig-deleted.bin", rnd("contig-deleted", 3 * cs + 500), delete=True)
    add_file("tiny.txt", b"hi\n")
    add_file("tiny-deleted.txt", b"bye\n", delete=True)
    add_file("empty.txt", b"")
    add_file("empty-deleted.txt", b"", delete=True)
    add_file("one-cluster.txt", tagged("one-cluster", cs - 96))
    add_file("one-cluster-deleted.txt", tagged("one-cluster-deleted", cs), delete=True)
    # Alternating clusters: frag-a stays, frag-b is deleted.
    interleave([("frag-a.bin", rnd("frag-a", 6 * cs + 100), False),
                ("frag-b.bin", rnd("frag-b", 6 * cs + 200), True)], cs)
    # A hole in the middle, then a larger file that fills it and goes on elsewhere.
    add_file("gap-1.bin", rnd("gap-1", 2 * cs))
    add_file("gap-2.bin", rnd("gap-2", 2 * cs))
    add_file("gap-3.bin", rnd("gap-3", 2 * cs))
    os.unlink(os.path.join(mnt, "gap-2.bin"))
    entries.pop(-2)  # its entry slots are taken by the next file's set: nothing is left of it
    add_file("gap-fill-deleted.bin", rnd("gap-fill", 5 * cs + 7), delete=True)
    add_file("gap-after.bin", rnd("gap-after", cs + 9))
    # A deleted folder tree beside a live one.
    add_dir("docs")
    add_file("docs/readme.txt", tagged("docs-readme", 700))
    add_file("docs/old-deleted.txt", tagged("docs-old", 2 * cs + 11), delete=True)
    add_dir("old-project", delete=True)
    add_file("old-project/plan.txt", tagged("plan", 900))
    add_file("old-project/data.bin", rnd("old-data", 2 * cs + 77))
    add_dir("old-project/sub")
    add_file("old-project/sub/inner.txt", tagged("inner", 300))
    add_file("old-project/sub/inner.bin", rnd("inner-bin", 3 * cs + 5))
    # Non-ASCII names, live and deleted.
    add_file("naïve café.txt", tagged("cafe", 1000))
    add_file("日本語の文書.txt", tagged("nihongo", 1500))
    add_file("😀 emoji.txt", tagged("emoji", 200))
    add_dir("Ελληνικά")
    add_file("Ελληνικά/αρχείο.txt", tagged("greek", 400))
    add_file("résumé-ancien.txt", tagged("resume", 2000), delete=True)
    add_file("写真 🎉 2024.jpg", jpeg("photo-2024", 3 * cs + 321), delete=True)
    add_file("Ünïcödé 删除 🗑️.txt", tagged("unicode-del", 450), delete=True)
    long_uni = ("長い名前の写真ファイル🌸" * 20)[:200] + ".txt"
    add_file(long_uni, tagged("long-unicode", 333), delete=True)
    # Folders of two clusters, not adjacent (their files' data lie between), so each has a
    # FAT chain; 3-entry sets, so the 43rd set straddles the two clusters. many-deleted/ is
    # removed whole: its chain is zeroed and its second cluster is only found by its data.
    for folder, delete in (("many", False), ("many-deleted", True)):
        add_dir(folder, delete=delete)
        for i in range(1, 49):
            gone = folder == "many" and i in (10, 42, 43, 44)
            add_file("%s/file-%02d.txt" % (folder, i), tagged("%s-%02d" % (folder, i), 100 + i),
                     delete=gone)
    # Names of 1, 15, 16, 17, 30, 31 and 255 characters: one live, one deleted each.
    add_dir("names")
    for n in (1, 15, 16, 17, 30, 31, 255):
        add_file("names/" + name_of_length(n, "a"), tagged("live-%d" % n, 100 + n))
        add_file("names/" + name_of_length(n, "k"), tagged("del-%d" % n, 200 + n), delete=True)


def sectors4k():
    add_file("keep.txt", tagged("keep", 3000))
    add_file("gone.txt", tagged("gone", 5000), delete=True)
    add_file("contig.bin", rnd("4k-contig", 4 * cs + 17))
    add_file("contig-deleted.bin", rnd("4k-contig-deleted", 6 * cs + 99), delete=True)
    interleave([("frag-a.bin", rnd("4k-frag-a", 4 * cs + 1), False),
                ("frag-b.bin", rnd("4k-frag-b", 4 * cs + 2), True)], cs)
    add_dir("folder", delete=True)
    add_file("folder/inside.txt", tagged("inside", 1234))
    add_file("folder/inside.bin", rnd("4k-inside", 2 * cs + 3))
    add_file("ünïcode-gelöscht.txt", tagged("4k-unicode", 600), delete=True)


def bigcluster():
    add_dir("DCIM")
    add_dir("DCIM/100CAMRA")
    sizes = [412345, 298765, 523456, 187654, 356789, 444444, 265432, 501234, 333333, 222222]
    gone = {3, 4, 7, 10}
    for i, n in enumerate(sizes, 1):
        add_file("DCIM/100CAMRA/IMG_%04d.JPG" % i, jpeg("IMG_%04d" % i, n), delete=i in gone)
    # Two clips written in turn, one cluster at a time: the deleted one is fragmented.
    interleave([("DCIM/100CAMRA/MVI_0011.MP4", tagged("MVI_0011", 5 * cs + 4321), True),
                ("DCIM/100CAMRA/MVI_0012.MP4", tagged("MVI_0012", 4 * cs + 1234), False)], cs)
    add_dir("DCIM/101CAMRA", delete=True)
    add_file("DCIM/101CAMRA/IMG_0101.JPG", jpeg("IMG_0101", 310000))
    add_file("DCIM/101CAMRA/IMG_0102.JPG", jpeg("IMG_0102", 150000))
    add_file("MISC.TXT", tagged("misc", 100))


def bigfile():
    # Over 4 GiB: seeded bytes at the start and at the end, zeros between (written as
    # zeros by the driver; the image is made sparse again afterwards).
    size = 4 * 2**30 + 3 * cs + 123
    head, tail = rnd("big-head", 1 << 20), rnd("big-tail", 1 << 20)
    p = os.path.join(mnt, "big-deleted.bin")
    h = hashlib.md5()
    with open(p, "wb", buffering=0) as f:
        f.write(head)
        f.truncate(size - len(tail))
        f.seek(size - len(tail))
        f.write(tail)
        os.fsync(f.fileno())
    h.update(head)
    zeros = bytes(1 << 24)
    left = size - len(head) - len(tail)
    while left:
        k = min(left, len(zeros))
        h.update(zeros[:k])
        left -= k
    h.update(tail)
    entries.append({"type": "file", "path": "big-deleted.bin", "size": size,
                    "md5": h.hexdigest(), "delete": True})
    add_file("small.txt", tagged("small", 777))
    add_file("small-deleted.txt", tagged("small-deleted", 5555), delete=True)


PROFILES = {"basic": basic, "4k-sectors": sectors4k, "big-cluster": bigcluster, "big-file": bigfile}

if phase == "create":
    PROFILES[profile]()
    # Times last, children before their folders (deepest paths first).
    for e in entries:
        e["set_modify_ns"], e["set_access_ns"] = times()
        if not os.path.lexists(os.path.join(mnt, e["path"])):
            e["set_modify_ns"] = e["set_access_ns"] = None
    for e in sorted(entries, key=lambda e: -e["path"].count("/")):
        if e["set_modify_ns"] is not None:
            os.utime(os.path.join(mnt, e["path"]),
                     ns=(e["set_access_ns"], e["set_modify_ns"]))
    with open(plan_path, "w") as f:
        json.dump(entries, f, ensure_ascii=False, indent=1)
elif phase == "delete":
    with open(plan_path) as f:
        entries = json.load(f)
    for e in entries:
        if not e["delete"]:
            continue
        p = os.path.join(mnt, e["path"])
        if not os.path.lexists(p):
            continue
        if e["type"] == "folder":
            shutil.rmtree(p)
        else:
            os.unlink(p)
else:
    sys.exit("phase must be create or delete")
