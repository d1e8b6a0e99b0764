# Fills the scan test volume through the ntfs-3g driver, one phase per mount.
#
#   populate.py MNT PLAN.json create|delete|reuse
#
# create: every file and folder, with chosen times; the plan (paths, streams, md5s, record
#         numbers, what is deleted later) goes to PLAN.json.
# delete: unlinks the files and removes the folder trees marked for deletion.
# reuse:  writes new entries that take the lowest free MFT records (three deleted folders'
#         records among them) and the clusters of the two victim files.
# delete-again: removes the new folder that took the third deleted folder's record.
import calendar, hashlib, json, os, random, shutil, struct, sys, time

mnt, plan_path, phase = sys.argv[1], sys.argv[2], sys.argv[3]
CS = 4096          # cluster size of the profile
UNIT = 16 * CS     # compression unit
EPOCH_DELTA = 11644473600  # seconds from 1601-01-01 to 1970-01-01


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


def lines(tag, n):
    """n bytes of numbered lines (compress well)."""
    out = bytearray()
    i = 0
    while len(out) < n:
        out += ("%s line %06d: all work and no play, all play and no work\n" % (tag, i)).encode()
        i += 1
    return bytes(out[:n])


def rnd(seed, n):
    return random.Random(seed).randbytes(n)


def md5(b):
    return hashlib.md5(b).hexdigest()


def full(p):
    return os.path.join(mnt, p)


entries = []


def add_dir(p, delete=False, compress=False, note=""):
    os.mkdir(full(p))
    if compress:
        os.setxattr(full(p), "system.ntfs_attrib_be", (0x800).to_bytes(4, "big"))
    entries.append({"type": "dir", "path": p, "delete": delete, "note": note})


def write(p, data, chunk=None):
    with open(full(p), "wb", buffering=0) as f:
        if chunk:
            for i in range(0, len(data), chunk):
                f.write(data[i:i + chunk])
        else:
            f.write(data)


def add_file(p, data, streams=(), delete=False, note="", dos=None, logical=None):
    write(p, data)
    st = [["-", len(data), md5(data)]]
    for name, sdata in streams:
        with open(full(p) + ":" + name, "wb", buffering=0) as f:
            f.write(sdata)
        st.append([name, len(sdata), md5(sdata)])
    if dos:
        os.setxattr(full(p), "system.ntfs_dos_name", dos.encode())
    if logical is not None:  # sparse: the bytes a reader gets, holes included
        st[0] = ["-", len(logical), md5(logical)]
    e = {"type": "file", "path": p, "delete": delete, "note": note, "streams": st}
    entries.append(e)
    return e


def add_sparse(p, size, pieces, delete):
    with open(full(p), "wb") as f:
        f.truncate(size)
        for at, data in pieces:
            f.seek(at)
            f.write(data)
    img = bytearray(size)
    for at, data in pieces:
        img[at:at + len(data)] = data
    entries.append({"type": "file", "path": p, "delete": delete, "note": "sparse",
                    "streams": [["-", size, md5(bytes(img))]]})


def add_interleaved(pa, da, pb, db):
    """One cluster to each file in turn, closing after each write: both fragment."""
    fa, fb = full(pa), full(pb)
    open(fa, "wb").close()
    open(fb, "wb").close()
    for off in range(0, max(len(da), len(db)), CS):
        for fn, d in ((fa, da), (fb, db)):
            if off < len(d):
                with open(fn, "ab", buffering=0) as f:
                    f.write(d[off:off + CS])
                    os.fsync(f.fileno())
    entries.append({"type": "file", "path": pa, "delete": False, "note": "",
                    "streams": [["-", len(da), md5(da)]]})
    entries.append({"type": "file", "path": pb, "delete": True, "note": "fragmented",
                    "streams": [["-", len(db), md5(db)]]})


def filetime(unix):
    return (unix + EPOCH_DELTA) * 10**7


def set_times(index, e):
    """Distinct times for every entry: creation through the driver's crtime attribute,
    modification and access through utime."""
    base = calendar.timegm((2023, 1, 1, 0, 0, 0)) + index * (86400 + 3671)
    created, modified, accessed = base, base + 3600 + 60 * index, base + 2 * 86400 + 7 * index
    os.utime(full(e["path"]), (accessed, modified))
    os.setxattr(full(e["path"]), "system.ntfs_crtime", struct.pack("<Q", filetime(created)))


def create():
    # First records (64...): the entries whose records the reuse phase takes over, in order.
    add_dir("reuse-by-file", delete=True, note="record reused by a live file")
    add_dir("reuse-by-folder", delete=True, note="record reused by a live folder")
    add_dir("reuse-twice", delete=True, note="record reused by a folder deleted later")
    add_file("scratch-1.tmp", tagged("scratch-1", 300), delete=True, note="record reused")
    add_file("scratch-2.tmp", tagged("scratch-2", 200), delete=True, note="record reused")
    # Children of the two folders above: their parent reference goes stale.
    add_file("reuse-by-file/letter.txt", tagged("letter", 400), delete=True)
    add_file("reuse-by-file/photo.bin", rnd(11, 3 * CS + 100), delete=True)
    add_dir("reuse-by-file/sub", delete=True)
    add_file("reuse-by-file/sub/nested.txt", tagged("nested", 150), delete=True)
    add_file("reuse-by-folder/minutes.txt", tagged("minutes", 250), delete=True)
    add_file("reuse-by-folder/budget.bin", tagged("budget", 2 * CS + 17), delete=True)
    add_file("reuse-twice/old.txt", tagged("old", 170), delete=True)

    # Victims, right after the first live data: a new mount allocates a new file at the start of
    # the largest free extent, which after the deletions begins with them.
    add_file("first-live.bin", tagged("first-live", CS - 10))
    add_file("big-live.bin", tagged("big-live", 10 * CS + 3))
    # Fragmented: grown a cluster at a time alongside a live file (early, while the driver
    # still hands out clusters in order: near the volume's end it wraps to another zone).
    add_interleaved("frag-live.bin", tagged("frag-live", 6 * CS + 50),
                    "frag-deleted.bin", tagged("frag-deleted", 5 * CS + 70))
    add_file("victim-wholly.bin", tagged("victim-wholly", 2 * CS), delete=True,
             note="clusters wholly reused")
    add_file("victim-partly.bin", tagged("victim-partly", 7 * CS), delete=True,
             note="clusters partly reused")
    # Live files and folders (never listed).
    add_file("readme.txt", tagged("readme", 500))
    add_dir("home")
    add_dir("home/alice")
    add_dir("home/alice/docs")
    add_file("home/alice/docs/keep.txt", tagged("keep", 220))

    # Deleted files in the root.
    add_file("root-resident.txt", tagged("root-resident", 333), delete=True)
    add_file("root-nonresident.bin", tagged("root-nonresident", 5 * CS + 123), delete=True)
    add_file("empty-deleted.txt", b"", delete=True, note="zero length")
    # Deleted files in live nested folders (depth 2 and 3).
    add_file("home/alice/notes-deleted.txt", tagged("notes", 180), delete=True)
    add_file("home/alice/docs/letter-deleted.txt", tagged("letter-deleted", 640), delete=True)
    add_file("home/alice/docs/thesis-deleted.bin", tagged("thesis", 4 * CS + 999), delete=True)

    # A deleted folder tree under a live folder.
    add_dir("home/alice/old-project", delete=True)
    add_file("home/alice/old-project/plan.txt", tagged("plan", 250), delete=True)
    add_file("home/alice/old-project/data.bin", tagged("old-data", 3 * CS), delete=True)
    add_dir("home/alice/old-project/sub", delete=True)
    add_file("home/alice/old-project/sub/inner.txt", tagged("inner", 90), delete=True)
    add_file("home/alice/old-project/sub/inner.bin", tagged("inner-bin", CS + 1), delete=True)
    # A deeper deleted tree: four deleted folder levels under a live depth-3 folder.
    add_dir("home/alice/docs/archive", delete=True)
    add_file("home/alice/docs/archive/index.txt", tagged("index", 120), delete=True)
    add_dir("home/alice/docs/archive/2022", delete=True)
    add_dir("home/alice/docs/archive/2022/q1", delete=True)
    add_file("home/alice/docs/archive/2022/q1/summary.bin", tagged("summary", 2 * CS + 5),
             delete=True)
    add_dir("home/alice/docs/archive/2022/q1/jan", delete=True)
    add_file("home/alice/docs/archive/2022/q1/jan/log.txt", tagged("log", 210), delete=True)
    add_file("home/alice/docs/archive/2022/q1/jan/big.log", lines("big-log", 3 * CS + 7),
             delete=True)

    # Many long-named streams: $ATTRIBUTE_LIST and extension records, then deleted.
    many = []
    for i in range(40):
        name = (("m%02d-" % i) + ("deleted-stream-name-%02d-" % i) * 5 + "x" * 100)[:100]
        many.append((name, ("payload of deleted stream %02d\n" % i).encode() * (1 + i % 3)))
    add_file("many-streams-deleted.txt", b"base data of many-streams-deleted.txt\n",
             streams=many, delete=True)
    # Named streams, resident and not.
    add_file("streams-deleted.txt", tagged("streams-main", 2 * CS + 10),
             streams=[("small", tagged("small-stream", 60)),
                      ("big", tagged("big-stream", CS + 5))], delete=True)
    # Sparse: 4 MiB with data at 0 and 2 MiB, the tail a hole.
    add_sparse("sparse-deleted.bin", 4 << 20,
               [(0, tagged("sparse-head", 2 * CS)), (2 << 20, tagged("sparse-mid", CS + 300))],
               delete=True)
    # LZNT1-compressed files in a compressed live folder.
    add_dir("compressed", compress=True)
    add_file("compressed/kept.txt", lines("kept", 2 * UNIT))
    add_file("compressed/deleted-text.txt", lines("deleted-text", 2 * UNIT) + rnd(3, 6000),
             delete=True)
    add_file("compressed/deleted-mixed.bin",
             lines("mixed-0", UNIT) + bytes(UNIT) + rnd(4, UNIT // 2) + tagged("mixed-3", 9000),
             delete=True, note="compressed with an all-zero unit")
    # Non-ASCII names: emoji (UTF-16 surrogate pair), CJK, Cyrillic folder.
    add_file("😀 smile-deleted.txt", "grinning face 😀, deleted\n".encode(), delete=True)
    add_dir("Фото")
    add_file("Фото/日本語の報告書.txt", tagged("nihongo", 2 * CS + 33), delete=True)
    add_dir("Фото/古い写真", delete=True)
    add_file("Фото/古い写真/写真-𝄞.bin", rnd(5, CS + 700), delete=True)
    # A long name with a DOS 8.3 name beside it.
    add_file("Long Report Name.txt", tagged("long-report", 700), delete=True,
             dos="LONGRE~1.TXT")
    # An 8.3-compatible name: one $FILE_NAME in the Win32-and-DOS namespace.
    add_file("REPORT.TXT", tagged("report-83", 90), delete=True, dos="REPORT.TXT")
    # A file with two names (hard link); unlinking the first name drops its $FILE_NAME.
    e = add_file("linked-first.txt", tagged("linked", 450), delete=True, note="hard link")
    os.link(full("linked-first.txt"), full("home/alice/linked-second-name.txt"))
    e["link"] = "home/alice/linked-second-name.txt"

    # Times last, children before their folders (adding a child changes a folder's times).
    for i in reversed(range(len(entries))):
        set_times(i, entries[i])
    for e in entries:
        e["record"] = os.lstat(full(e["path"])).st_ino
    os.sync()
    with open(plan_path, "w") as f:
        json.dump(entries, f, ensure_ascii=False, indent=1)


def delete():
    with open(plan_path) as f:
        plan = json.load(f)
    tops = []
    for e in plan:
        if not e["delete"]:
            continue
        parent = os.path.dirname(e["path"])
        if any(d["path"] == parent and d["delete"] for d in plan if d["type"] == "dir"):
            continue  # goes with its folder
        tops.append(e)
    for e in tops:
        p = full(e["path"])
        if e["type"] == "dir":
            shutil.rmtree(p)
        else:
            os.unlink(p)
            if "link" in e:
                os.unlink(full(e["link"]))
    os.sync()


def reuse():
    with open(plan_path) as f:
        plan = json.load(f)
    new = []
    # Small entries first: they take the lowest free records (the two folders' and scratch-1's).
    write("new-note.txt", tagged("new-note", 100))
    new.append({"type": "file", "path": "new-note.txt", "data": [100, md5(tagged("new-note", 100))]})
    os.mkdir(full("new-folder"))
    new.append({"type": "dir", "path": "new-folder"})
    os.mkdir(full("again-folder"))   # removed again in the last phase
    new.append({"type": "dir", "path": "again-folder", "delete": True})
    d = tagged("new-data", 5 * CS)
    write("new-data.bin", d)
    new.append({"type": "file", "path": "new-data.bin", "data": [len(d), md5(d)]})
    d = tagged("fresh", 230)
    write("again-folder/fresh.txt", d)
    new.append({"type": "file", "path": "again-folder/fresh.txt", "data": [len(d), md5(d)],
                "delete": True})
    for e in new:
        e["record"] = os.lstat(full(e["path"])).st_ino
    os.sync()
    with open(plan_path, "w") as f:
        json.dump({"entries": plan, "new": new}, f, ensure_ascii=False, indent=1)


def delete_again():
    """Removes the folder that took a deleted folder's record, so that record is free again with
    its sequence number two above what the first folder's children refer to."""
    shutil.rmtree(full("again-folder"))
    os.sync()


{"create": create, "delete": delete, "reuse": reuse, "delete-again": delete_again}[phase]()
