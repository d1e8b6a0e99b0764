"""Reads an exFAT image before and after the deletions and writes what a reader must find.

    analyse.py NAME PRE.img POST.img PLAN.json OUTDIR

Writes OUTDIR/NAME.manifest.tsv, NAME.layout.txt (boot sector fields, where the bitmap,
up-case table and root lie) and NAME.entrysets.txt (each deleted entry set before and
after deletion, byte by byte, with its FAT entries and bitmap bits). The Sleuth Kit
(fls, icat) is run on POST.img for the fls and icat columns.
"""
import hashlib, json, os, re, struct, subprocess, sys
from datetime import datetime, timedelta, timezone

name, pre_path, post_path, plan_path, out = sys.argv[1:6]
failures = []


class Volume:
    def __init__(self, path):
        self.f = open(path, "rb")
        b = self.read(0, 512)
        if b[3:11] != b"EXFAT   ":
            sys.exit("%s: not exFAT" % path)
        (self.part_off, self.vol_len, self.fat_off, self.fat_len, self.heap_off, self.nclusters,
         self.root, self.serial, self.rev, self.flags) = struct.unpack_from("<QQIIIIIIHH", b, 0x40)
        self.bps_shift, self.spc_shift, self.nfats, self.drive, self.pct = struct.unpack_from("<BBBBB", b, 0x6C)
        self.bps = 1 << self.bps_shift
        self.cs = self.bps << self.spc_shift
        self.boot = b
        self.fat_cache = None

    def read(self, off, n):
        self.f.seek(off)
        return self.f.read(n)

    def cluster_off(self, c):
        return self.heap_off * self.bps + (c - 2) * self.cs

    def fat(self, c):
        return struct.unpack("<I", self.read(self.fat_off * self.bps + 4 * c, 4))[0]

    def chain(self, first, length, nofatchain):
        """Clusters of a stream: a run from first when NoFatChain is set, otherwise the FAT
        chain (length None: to the end of the chain, as for the root)."""
        if first < 2:
            return []
        if nofatchain:
            n = -(-length // self.cs)
            return list(range(first, first + n))
        out, c = [], first
        limit = self.nclusters if length is None else -(-length // self.cs)
        while 2 <= c < self.nclusters + 2 and len(out) < limit:
            out.append(c)
            c = self.fat(c)
        return out

    def dir_entries(self, clusters):
        for c in clusters:
            base = self.cluster_off(c)
            data = self.read(base, self.cs)
            for i in range(0, self.cs, 32):
                yield base + i, data[i:i + 32]


def set_checksum(raw):
    chk = 0
    for i, byte in enumerate(raw):
        if i in (2, 3):
            continue
        chk = (((chk << 15) | (chk >> 1)) + byte) & 0xFFFF
    return chk


def decode_time(ts, cs10, utc):
    if ts == 0:
        return "-"
    sec = (ts & 0x1F) * 2
    minute, hour = (ts >> 5) & 0x3F, (ts >> 11) & 0x1F
    day, month, year = (ts >> 16) & 0x1F, (ts >> 21) & 0x0F, ((ts >> 25) & 0x7F) + 1980
    t = datetime(year, month, day, hour, minute, sec) + timedelta(milliseconds=10 * cs10)
    s = t.strftime("%Y-%m-%dT%H:%M:%S") + ".%02d" % (t.microsecond // 10000)
    if utc & 0x80:
        q = utc & 0x7F
        if q & 0x40:
            q -= 0x80
        s += "%+03d:%02d" % (q * 15 // 60, abs(q * 15) % 60) if q >= 0 else "-%02d:%02d" % (-q * 15 // 60, (-q * 15) % 60)
    else:
        s += " (local, no offset)"
    return s


def parse_set(vol, entries, i):
    """The file entry set starting at entries[i] (type 0x85 or 0x05), or None."""
    off, e = entries[i]
    n = e[1]
    if n < 2 or i + n >= len(entries):
        return None
    raw = b"".join(x for _, x in entries[i:i + n + 1])
    s = raw[32:64]
    attrs = struct.unpack_from("<H", e, 4)[0]
    cr, md, ac = struct.unpack_from("<III", e, 8)
    name_len = s[3]
    name16 = b"".join(raw[64 + 32 * k + 2:64 + 32 * k + 32] for k in range(n - 1))[:2 * name_len]
    return {
        "offsets": [o for o, _ in entries[i:i + n + 1]],
        "raw": raw,
        "attrs": attrs,
        "folder": bool(attrs & 0x10),
        "create": decode_time(cr, e[20], e[22]),
        "modify": decode_time(md, e[21], e[23]),
        "access": decode_time(ac, 0, e[24]),
        "flags": s[1],
        "nofatchain": bool(s[1] & 2),
        "name": name16.decode("utf-16-le", "surrogatepass"),
        "valid": struct.unpack_from("<Q", s, 8)[0],
        "first": struct.unpack_from("<I", s, 20)[0],
        "size": struct.unpack_from("<Q", s, 24)[0],
        "checksum": struct.unpack_from("<H", raw, 2)[0],
        "types": [x[0] for _, x in entries[i:i + n + 1]],
    }


def walk(vol, want_deleted, known=None):
    """Every entry set below the root by path. With want_deleted, deleted sets (0x05) too,
    and deleted folders are entered (contiguous when NoFatChain, else their FAT chain)."""
    found, specials = {}, []

    def visit(clusters, prefix, depth):
        if depth > 32:
            return
        ents = list(vol.dir_entries(clusters))
        i = 0
        while i < len(ents):
            t = ents[i][1][0]
            if t == 0x00:
                break
            if t in (0x81, 0x82, 0x83):
                specials.append((ents[i][0], ents[i][1]))
            if t == 0x85 or (want_deleted and t == 0x05):
                st = parse_set(vol, ents, i)
                if st:
                    path = prefix + st["name"]
                    st["deleted"] = t == 0x05
                    st["clusters"] = vol.chain(st["first"], st["size"], st["nofatchain"])
                    if known and path in known:
                        st["clusters"] = known[path]["clusters"]
                    found[path] = st
                    if st["folder"]:
                        visit(st["clusters"], path + "/", depth + 1)
                    i += 1 + ents[i][1][1]
                    continue
            i += 1

    visit(vol.chain(vol.root, None, False), "", 0)
    return found, specials


def runs(clusters):
    out = []
    for c in clusters:
        if out and out[-1][1] + 1 == c:
            out[-1][1] = c
        else:
            out.append([c, c])
    return out


def runs_text(clusters):
    return ",".join("%d" % a if a == b else "%d-%d" % (a, b) for a, b in runs(clusters)) or "-"


def hexdump(raw, base):
    lines = []
    for k in range(0, len(raw), 32):
        row = raw[k:k + 32]
        lines.append("  %010x  %s  %s" % (base[k // 32] if isinstance(base, list) else base + k,
                                          " ".join("%02x" % x for x in row[:16]),
                                          " ".join("%02x" % x for x in row[16:])))
    return lines


pre, post = Volume(pre_path), Volume(post_path)
plan = json.load(open(plan_path))
before, specials = walk(pre, True)
after, _ = walk(post, True, before)
reachable, _ = walk(post, True)  # following only what the image holds now

# ------------------------------------------------------------------ layout --
bitmap_first = bitmap_len = upcase_first = upcase_len = None
label = ""
L = []
for off, e in specials:
    if e[0] == 0x81:
        bitmap_first, bitmap_len = struct.unpack_from("<IQ", e, 20)
    elif e[0] == 0x82:
        upcase_first, upcase_len = struct.unpack_from("<IQ", e, 20)
        upcase_chk = struct.unpack_from("<I", e, 4)[0]
    elif e[0] == 0x83:
        label = e[2:2 + 2 * e[1]].decode("utf-16-le")
bs = post.bps
region = post.read(0, 11 * bs)
chk = 0
for i, byte in enumerate(region):
    if i in (106, 107, 112):
        continue
    chk = (((chk << 31) | (chk >> 1)) + byte) & 0xFFFFFFFF
sector11 = post.read(11 * bs, bs)
backup_same = post.read(0, 12 * bs) == post.read(12 * bs, 12 * bs)
w = L.append
w("boot sector (sector 0), offsets in bytes:")
w("  0x03 oem name           %r" % post.boot[3:11])
w("  0x40 partition offset   %d" % post.part_off)
w("  0x48 volume length      %d sectors" % post.vol_len)
w("  0x50 FAT offset         %d sectors (byte %d)" % (post.fat_off, post.fat_off * bs))
w("  0x54 FAT length         %d sectors" % post.fat_len)
w("  0x58 cluster heap       sector %d (byte %d)" % (post.heap_off, post.heap_off * bs))
w("  0x5C cluster count      %d" % post.nclusters)
w("  0x60 root cluster       %d" % post.root)
w("  0x64 serial number      %08x" % post.serial)
w("  0x68 revision           %d.%d" % (post.rev >> 8, post.rev & 0xFF))
w("  0x6A volume flags       0x%04x" % post.flags)
w("  0x6C bytes/sector shift %d (%d bytes)" % (post.bps_shift, post.bps))
w("  0x6D sect/cluster shift %d (%d-byte clusters)" % (post.spc_shift, post.cs))
w("  0x6E number of FATs     %d" % post.nfats)
w("  0x70 percent in use     %d" % post.pct)
w("  0x1FE signature         %s" % post.boot[510:512].hex())
w("boot checksum (sectors 0-10 without bytes 106, 107, 112): %08x; sector 11 holds it %s" % (
    chk, "in every 4 bytes" if sector11 == struct.pack("<I", chk) * (bs // 4) else "NOT (mismatch)"))
w("backup boot region (sectors 12-23) equals the main one: %s" % ("yes" if backup_same else "no"))
w("allocation bitmap (0x81): first cluster %d (byte %d), %d bytes" % (
    bitmap_first, post.cluster_off(bitmap_first), bitmap_len))
w("up-case table (0x82): first cluster %d (byte %d), %d bytes, checksum %08x" % (
    upcase_first, post.cluster_off(upcase_first), upcase_len, upcase_chk))
w("root folder: first cluster %d (byte %d), clusters %s (FAT chain)" % (
    post.root, post.cluster_off(post.root), runs_text(post.chain(post.root, None, False))))
w("volume label (0x83): %r" % label)
w("root entries in order: %s" % ", ".join("0x%02x" % e[0] for _, e in specials))
with open(os.path.join(out, name + ".layout.txt"), "w") as f:
    f.write("\n".join(L) + "\n")


def bitmap_bit(vol, c):
    off = vol.cluster_off(bitmap_first) + (c - 2) // 8
    return (vol.read(off, 1)[0] >> ((c - 2) % 8)) & 1


# --------------------------------------------------------------- fls/icat --
def fls(args):
    r = subprocess.run(["fls", "-f", "exfat", "-r", "-p"] + args + [post_path], capture_output=True)
    rows = {}
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        m = re.match(r"^(\S+) (\* )?(\d+)(?:\(realloc\))?:\t(.*)$", line)
        if m:
            rows[m.group(4)] = (m.group(2) is not None, int(m.group(3)))
    return rows, r.stdout


fls_all, fls_all_text = fls([])
fls_del, fls_del_text = fls(["-d"])
with open(os.path.join(out, name + ".fls.txt"), "wb") as f:
    f.write(fls_all_text)


def icat(inode, md5):
    h = hashlib.md5()
    with subprocess.Popen(["icat", "-f", "exfat", post_path, str(inode)], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL) as r:
        for chunk in iter(lambda: r.stdout.read(1 << 20), b""):
            h.update(chunk)
    if r.returncode != 0:
        return "error"
    return "match" if h.hexdigest() == md5 else "differs"


# --------------------------------------------------------------- manifest --
deleted_roots = [e["path"] for e in plan if e["delete"]]


def is_deleted(p):
    return any(p == d or p.startswith(d + "/") for d in deleted_roots)


def istat(inode):
    """istat output for one address, its sector list cut short."""
    r = subprocess.run(["istat", "-f", "exfat", post_path, str(inode)], capture_output=True)
    text = r.stdout.decode("utf-8", "replace").splitlines()
    if len(text) > 40:
        text = text[:40] + ["... (%d more lines)" % (len(text) - 40)]
    return text


rows, dumps, istats = [], [], []
for e in plan:
    p = e["path"]
    b = before.get(p)
    if b is None:
        failures.append("%s: not found on the image before deletion" % p)
        continue
    state = "deleted" if is_deleted(p) else "live"
    a = after.get(p)
    if a is None:
        failures.append("%s: not found after deletion" % p)
        continue
    if a["deleted"] != (state == "deleted") and not (state == "deleted" and not e["delete"] and not a["deleted"]):
        failures.append("%s: state %s but entry type 0x%02x" % (p, state, a["types"][0]))
    if e["type"] == "file" and b["size"] != e["size"]:
        failures.append("%s: size %d on disk, %d written" % (p, b["size"], e["size"]))
    clusters = b["clusters"]
    contiguous = "-" if not clusters else ("yes" if len(runs(clusters)) == 1 else "no")
    key = p
    if state == "deleted":
        lst = "yes" if key in fls_del and fls_del[key][0] else "no"
    else:
        lst = "yes" if key in fls_all and not fls_all[key][0] else "no"
    inode = (fls_del if state == "deleted" else fls_all).get(key, (None, None))[1]
    ic = "-"
    if e["type"] == "file" and inode is not None:
        ic = icat(inode, e["md5"])
        if state == "live" and ic != "match":
            failures.append("live %s: icat %s" % (p, ic))

    def iso(ns):
        if ns is None:
            return "-"
        t = datetime.fromtimestamp(ns // 10**9, timezone.utc) + timedelta(microseconds=ns % 10**9 // 1000)
        return t.strftime("%Y-%m-%dT%H:%M:%S") + ".%02d" % (t.microsecond // 10000)

    rows.append([state, e["type"], p, b["size"], b["valid"], e["md5"], b["first"],
                 "yes" if b["nofatchain"] else "no", contiguous, runs_text(clusters),
                 b["offsets"][0], a["create"], a["modify"], a["access"],
                 iso(e["set_modify_ns"]), iso(e["set_access_ns"]), lst,
                 inode if inode is not None else "-", ic, "yes" if p in reachable else "no"])

    if state != "deleted":
        continue
    if inode is not None:
        istats.append("== %s (%s)" % (p, inode))
        istats.extend(istat(inode))
        istats.append("")
    after_raw = b"".join(post.read(o, 32) for o in b["offsets"])
    restored = bytearray(after_raw)
    for k in range(0, len(restored), 32):
        restored[k] |= 0x80
    stored = struct.unpack_from("<H", after_raw, 2)[0]
    D = dumps.append
    D("== %s (%s, %s)" % (p, e["type"], "removed itself" if e["delete"] else "inside a removed folder"))
    D("entry types before: %s  after: %s" % (" ".join("%02x" % t for t in b["types"]),
                                               " ".join("%02x" % x for x in after_raw[::32])))
    D("bytes changed other than the type bytes: %s" % (
        ", ".join("entry %d +%d: %02x->%02x" % (k // 32, k % 32, b["raw"][k], after_raw[k])
                  for k in range(len(after_raw)) if k % 32 and b["raw"][k] != after_raw[k]) or "none"))
    D("set checksum stored %04x; over the set as deleted %04x; with the in-use bits put back %04x (%s)" % (
        stored, set_checksum(after_raw), set_checksum(bytes(restored)),
        "verifies" if set_checksum(bytes(restored)) == stored else "FAILS"))
    D("stream: flags 0x%02x before, 0x%02x after (NoFatChain %s -> %s); first cluster %d; valid %d; size %d" % (
        b["flags"], after_raw[33], "set" if b["flags"] & 2 else "clear", "set" if after_raw[33] & 2 else "clear",
        b["first"], b["valid"], b["size"]))
    if clusters:
        shown = clusters[:12]
        D("clusters %s" % runs_text(clusters))
        D("FAT entries before: %s" % " ".join("%d:%08x" % (c, pre.fat(c)) for c in shown))
        D("FAT entries after:  %s" % " ".join("%d:%08x" % (c, post.fat(c)) for c in shown))
        D("bitmap bits before: %s  after: %s" % ("".join(str(bitmap_bit(pre, c)) for c in shown),
                                                  "".join(str(bitmap_bit(post, c)) for c in shown)))
    offs = b["offsets"]
    for k in range(len(offs) - 1):
        if offs[k + 1] != offs[k] + 32:
            D("the set goes on in another cluster after entry %d: byte %d, then byte %d" % (
                k, offs[k], offs[k + 1]))
    D("reachable from the root on the image as it is now (FAT chains, NoFatChain runs): %s" % (
        "yes" if p in reachable else "no"))
    D("before:")
    dumps.extend(hexdump(b["raw"], b["offsets"]))
    D("after:")
    dumps.extend(hexdump(after_raw, b["offsets"]))
    D("")

# Anything deleted on the image that the plan does not delete is a fault of the fixture.
for p, a in after.items():
    if a["deleted"] and not is_deleted(p):
        failures.append("%s: deleted on the image but not in the plan" % p)

with open(os.path.join(out, name + ".manifest.tsv"), "w") as f:
    f.write("\t".join(["state", "type", "path", "size", "valid_size", "md5", "first_cluster",
                       "nofatchain", "contiguous", "clusters", "entry_offset", "create", "modify",
                       "access", "set_modify", "set_access", "fls", "fls_inode", "icat", "reachable"]) + "\n")
    for r in rows:
        f.write("\t".join(str(x) for x in r) + "\n")
with open(os.path.join(out, name + ".entrysets.txt"), "w") as f:
    f.write("\n".join(dumps) + "\n")
with open(os.path.join(out, name + ".istat.txt"), "w") as f:
    f.write("\n".join(istats) + "\n")
if failures:
    sys.exit("\n".join(failures))
