# Reads the finished scan test volume and writes what a deleted-file scan should report.
#
#   analyse.py IMG PLAN.json OUTPREFIX "CLOCKS"   writes OUTPREFIX.expected.tsv, .icat.tsv,
#                                                 .notes.md; exits non-zero if a check fails
#   analyse.py --geometry IMG                     prints the volume geometry as key: value
#
# The MFT, run lists and $Bitmap are parsed here from the raw image; The Sleuth Kit (istat,
# icat) is the independent check on clusters, sizes, times and bytes.
import datetime, hashlib, json, re, struct, subprocess, sys

ROOT = 5
MAX_DEPTH = 256
T_SI, T_ATTRLIST, T_FN, T_DATA, T_INDEX_ROOT, T_BITMAP, T_END = 0x10, 0x20, 0x30, 0x80, 0x90, 0xB0, 0xFFFFFFFF
ATTR_COMPRESSED, ATTR_SPARSE = 0x0001, 0x8000
FN_DOS, FN_WIN32_AND_DOS = 2, 3


def u16(b, o): return struct.unpack_from("<H", b, o)[0]
def u32(b, o): return struct.unpack_from("<I", b, o)[0]
def u64(b, o): return struct.unpack_from("<Q", b, o)[0]


class Volume:
    def __init__(self, path):
        self.raw = open(path, "rb").read()
        b = self.raw
        self.bps = u16(b, 0x0B)
        self.cs = self.bps * b[0x0D]
        self.mft_lcn = u64(b, 0x30)
        cpr = struct.unpack_from("<b", b, 0x40)[0]
        self.rs = self.cs * cpr if cpr > 0 else 1 << -cpr
        self.clusters = u64(b, 0x28) // b[0x0D]
        rec0 = self.fixup(b[self.mft_lcn * self.cs:self.mft_lcn * self.cs + self.rs])
        attrs0 = parse_attrs(rec0)
        self.mft = self.read_nonres(next(a for a in attrs0 if a["type"] == T_DATA))
        self.mft_bitmap = self.read_nonres(next(a for a in attrs0 if a["type"] == T_BITMAP)) \
            if next(a for a in attrs0 if a["type"] == T_BITMAP)["nonres"] else \
            next(a for a in attrs0 if a["type"] == T_BITMAP)["value"]
        self.count = len(self.mft) // self.rs
        self.records = [self.record(i) for i in range(self.count)]
        bm = next(a for a in self.records[6]["attrs"] if a["type"] == T_DATA)
        self.bitmap = self.read_nonres(bm)

    def fixup(self, rec):
        rec = bytearray(rec)
        if rec[:4] != b"FILE":
            return None
        usa, n = u16(rec, 4), u16(rec, 6)
        for j in range(1, n):
            end = j * self.bps - 2
            if rec[end:end + 2] != rec[usa:usa + 2]:
                raise SystemExit("fixup mismatch")
            rec[end:end + 2] = rec[usa + 2 * j:usa + 2 * j + 2]
        return bytes(rec)

    def record(self, i):
        rec = self.fixup(self.mft[i * self.rs:(i + 1) * self.rs])
        if rec is None:
            return None
        return {"number": i, "seq": u16(rec, 0x10), "links": u16(rec, 0x12), "flags": u16(rec, 0x16),
                "inuse": bool(u16(rec, 0x16) & 1), "isdir": bool(u16(rec, 0x16) & 2),
                "base": u64(rec, 0x20) & 0xFFFFFFFFFFFF, "baseseq": u64(rec, 0x20) >> 48,
                "attrs": parse_attrs(rec)}

    def read_nonres(self, a):
        out = bytearray()
        for lcn, n in a["runs"]:
            out += bytes(n * self.cs) if lcn is None else self.raw[lcn * self.cs:(lcn + n) * self.cs]
        return bytes(out[:a["size"]]) + bytes(max(0, a["size"] - len(out)))

    def bit_set(self, k):
        return (self.bitmap[k // 8] >> (k % 8)) & 1


def parse_runs(b, o, end):
    runs, lcn = [], 0
    while o < end and b[o]:
        h = b[o]
        ln, lo = h & 15, h >> 4
        n = int.from_bytes(b[o + 1:o + 1 + ln], "little")
        if lo:
            lcn += int.from_bytes(b[o + 1 + ln:o + 1 + ln + lo], "little", signed=True)
            runs.append((lcn, n))
        else:
            runs.append((None, n))
        o += 1 + ln + lo
    return runs


def parse_attrs(rec):
    out, o = [], u16(rec, 0x14)
    while o + 8 <= len(rec):
        t = u32(rec, o)
        if t == T_END:
            break
        ln = u32(rec, o + 4)
        nonres, nlen, noff, flags, aid = rec[o + 8], rec[o + 9], u16(rec, o + 10), u16(rec, o + 12), u16(rec, o + 14)
        a = {"type": t, "name": rec[o + noff:o + noff + 2 * nlen].decode("utf-16-le", "surrogatepass"),
             "flags": flags, "id": aid, "nonres": bool(nonres)}
        if nonres:
            a.update(startvcn=u64(rec, o + 16), lastvcn=u64(rec, o + 24), size=u64(rec, o + 48),
                     alloc=u64(rec, o + 40), init=u64(rec, o + 56),
                     runs=parse_runs(rec, o + u16(rec, o + 32), o + ln))
        else:
            vo, vl = u16(rec, o + 20), u32(rec, o + 16)
            a.update(value=rec[o + vo:o + vo + vl], size=vl)
        out.append(a)
        o += ln
    return out


def ft_iso(ft):
    t = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(microseconds=ft // 10)
    frac = ft % 10**7
    return t.strftime("%Y-%m-%dT%H:%M:%S") + ("" if frac == 0 else ".%07d" % frac) + "Z"


def file_names(attrs):
    out = []
    for a in attrs:
        if a["type"] == T_FN and not a["nonres"]:
            v = a["value"]
            n = v[64]
            out.append({"parent": u64(v, 0) & 0xFFFFFFFFFFFF, "parentseq": u64(v, 0) >> 48,
                        "ns": v[65], "name": v[66:66 + 2 * n].decode("utf-16-le", "surrogatepass"),
                        "units": n})
    return out


def longest_name(fns):
    best = None
    for f in fns:
        if best is None or f["units"] > best["units"]:
            best = f
    return best


def utf8(s):
    return s.encode("utf-16-le", "surrogatepass").decode("utf-16-le").encode("utf-8").decode("utf-8")


class Scan:
    def __init__(self, vol):
        self.vol = vol
        self.cache = {}

    def all_attrs(self, rec):
        """The record's attributes, with those its $ATTRIBUTE_LIST places in other records."""
        attrs = list(rec["attrs"])
        al = next((a for a in attrs if a["type"] == T_ATTRLIST), None)
        ext = []
        if al:
            data = self.vol.read_nonres(al) if al["nonres"] else al["value"]
            o, seen = 0, set()
            while o + 26 <= len(data):
                ln = u16(data, o + 4)
                if ln == 0:
                    break
                r = u64(data, o + 16) & 0xFFFFFFFFFFFF
                if r != rec["number"] and r not in seen:
                    seen.add(r)
                    ext.append(r)
                o += ln
            for r in ext:
                attrs += self.vol.records[r]["attrs"]
        return attrs, ext

    def check_parent(self, ref, refseq):
        r = self.vol.records[ref] if ref < self.vol.count else None
        if r is None or not r["isdir"] or r["base"] != 0:
            return False
        return r["seq"] == refseq or (not r["inuse"] and r["seq"] == (refseq + 1) & 0xFFFF)

    def folder_of(self, ref, refseq):
        """The folder path of an entry whose chosen name has parent (ref, refseq): the parent
        chain up to the root, or "<unknown N>" then the folders below the first parent N that
        fails the check (not a folder, or its sequence number neither the reference's nor, for
        a freed record, one above it)."""
        parts, seen = [], set()
        while True:
            if ref in seen or len(parts) >= MAX_DEPTH or not self.check_parent(ref, refseq):
                return "<unknown %d>" % ref + "".join("\\" + p for p in reversed(parts))
            if ref == ROOT:
                return "\\" + "\\".join(reversed(parts))
            seen.add(ref)
            fn = longest_name(file_names(self.vol.records[ref]["attrs"]))
            if fn is None:
                return "<unknown %d>" % ref + "".join("\\" + p for p in reversed(parts))
            parts.append(utf8(fn["name"]))
            ref, refseq = fn["parent"], fn["parentseq"]

    def streams(self, attrs):
        """name -> merged data attribute (runs of every piece in VCN order)."""
        out = {}
        for a in sorted((a for a in attrs if a["type"] == T_DATA), key=lambda a: a.get("startvcn", 0)):
            s = out.get(a["name"])
            if s is None:
                out[a["name"]] = dict(a, runs=list(a.get("runs", [])))
            else:
                s["runs"] += a["runs"]
        return out

    def estimate(self, s):
        if not s["nonres"]:
            return 255
        free = used = 0
        for lcn, n in s["runs"]:
            if lcn is None:
                continue
            for k in range(lcn, lcn + n):
                if self.vol.bit_set(k):
                    used += 1
                else:
                    free += 1
        if free == 0:
            return 0
        if used == 0:
            return 255
        return free * 100 // (free + used)


def istat(img, rec):
    return subprocess.run(["istat", img, str(rec)], capture_output=True, check=True).stdout.decode("utf-8", "replace")


ATTR = re.compile(r"^Type: (\$\w+) \((\d+)-(\d+)\)\s+Name: (.*?)\s+(Resident|Non-Resident)(?:, ([\w, ]+?))?\s+size: (\d+)")


def istat_streams(text):
    out, cur, started = {}, None, False
    for line in text.splitlines():
        if line.startswith("Attributes:"):
            started = True
            continue
        if not started:
            continue
        m = ATTR.match(line)
        if m:
            cur = None
            if m.group(1) == "$DATA":
                cur = {"id": int(m.group(3)), "size": int(m.group(7)), "clusters": []}
                out[m.group(4)] = cur
        elif cur is not None and re.match(r"^[\d ]+$", line.strip() or "x"):
            cur["clusters"] += [int(x) for x in line.split()]
    return out


def istat_si_times(text):
    m = re.search(r"\$STANDARD_INFORMATION Attribute Values:.*?Created:\s+(\S+ \S+).*?File Modified:\s+(\S+ \S+)"
                  r".*?MFT Modified:\s+(\S+ \S+).*?Accessed:\s+(\S+ \S+)", text, re.S)
    return m.groups() if m else None


def geometry(img):
    v = Volume(img)
    print("bytes_per_sector: %d" % v.bps)
    print("sectors_per_cluster: %d" % (v.cs // v.bps))
    print("cluster_size: %d" % v.cs)
    print("mft_record_size: %d" % v.rs)
    print("mft_start_cluster: %d" % v.mft_lcn)
    print("volume_clusters: %d" % v.clusters)
    print("mft_records: %d" % v.count)


def main():
    if sys.argv[1] == "--geometry":
        return geometry(sys.argv[2])
    img, plan_path, prefix, clocks = sys.argv[1:5]
    plan = json.load(open(plan_path))
    vol = Volume(img)
    scan = Scan(vol)
    failures, notes = [], []

    def check(ok, what):
        if not ok:
            failures.append(what)

    items = [dict(e, state="deleted" if e["delete"] else "live") for e in plan["entries"]]
    reused = {e["record"]: e for e in plan["new"]}
    items = [e for e in items if not (e["delete"] and e["record"] in reused)]
    for e in plan["new"]:
        gone = e.get("delete", False)
        item = {"type": e["type"], "path": e["path"], "delete": gone, "state": "deleted" if gone else "live",
                "record": e["record"], "note": "reuses a deleted record"}
        if e["type"] == "file":
            item["streams"] = [["-"] + e["data"]]
        items.append(item)

    rows, icat_rows = [], []
    for e in items:
        rec = vol.records[e["record"]]
        check(rec is not None, "record %d unreadable" % e["record"])
        check(rec["inuse"] == (e["state"] == "live"), "record %d in-use flag" % e["record"])
        check(rec["base"] == 0, "record %d is an extension record" % e["record"])
        attrs, ext = scan.all_attrs(rec)
        fns = file_names(attrs)
        fn = longest_name(fns)
        want_path = e.get("link", e["path"])
        flags = []
        if ext or any(a["type"] == T_ATTRLIST for a in attrs):
            flags.append("attrlist")
        if fn is None:
            # No $FILE_NAME left (the driver drops it when the file has extension records): listed
            # under its record number in the folder "<unknown>", with the streams its extension
            # records hold; the extension records themselves are not listed.
            check(e["state"] == "deleted", "live record %d has no name" % e["record"])
            for r in ext:
                x = vol.records[r]
                rows.append({"state": "unlisted", "type": "extension",
                             "record": r, "sequence": x["seq"], "parentRecord": "-", "parentSequence": "-",
                             "folder": "-", "namespace": "-", "name": "-", "stream": "-", "size": "-", "md5": "-",
                             "expectedStatus": "-", "createTime": "-", "createFiletime": "-",
                             "modifyTime": "-", "modifyFiletime": "-", "mftModifyTime": "-",
                             "mftModifyFiletime": "-", "accessTime": "-", "accessFiletime": "-",
                             "originalPath": "/" + e["path"], "flags": "extension,base=%d" % e["record"]})
            al = next(a for a in rec["attrs"] if a["type"] == T_ATTRLIST)
            data = vol.read_nonres(al) if al["nonres"] else al["value"]
            listed, o = [], 0
            while o + 26 <= len(data) and u16(data, o + 4):
                listed.append((u32(data, o), u64(data, o + 16) & 0xFFFFFFFFFFFF))
                o += u16(data, o + 4)
            check((T_FN, e["record"]) in listed, "record %d: list without a $FILE_NAME entry" % e["record"])
            notes.append("- Record %d (`%s`, deleted) lost its $FILE_NAME on deletion, though its "
                         "$ATTRIBUTE_LIST (%d entries) still names one in the base record; it keeps "
                         "$STANDARD_INFORMATION and the unnamed $DATA. It is listed as `<record %d>` in the "
                         "folder `<unknown>` (flag noname); its extension records are `unlisted` rows."
                         % (e["record"], e["path"], len(listed), e["record"]))
            fn = {"parent": "-", "parentseq": "-", "ns": "-"}
            folder = "<unknown>"
            base_name = "<record %d>" % e["record"]
            flags.append("noname")
        else:
            folder = scan.folder_of(fn["parent"], fn["parentseq"])
            want_folder = "\\" + "\\".join(want_path.split("/")[:-1])
            base_name = utf8(fn["name"])
            check(base_name == want_path.split("/")[-1], "record %d name %r" % (e["record"], base_name))
            if any(f["ns"] in (FN_DOS, FN_WIN32_AND_DOS) for f in fns):
                flags.append("dosname")
            if "link" in e:
                flags.append("hardlink")
            if folder.startswith("<unknown"):
                flags.append("reused-parent")
            else:
                check(folder == want_folder, "record %d folder %s, expected %s" % (e["record"], folder, want_folder))
        si = next(a for a in attrs if a["type"] == T_SI)["value"]
        times = [u64(si, 0), u64(si, 8), u64(si, 16), u64(si, 24)]
        itext = istat(img, e["record"])
        m = re.search(r"^Entry: (\d+)\s+Sequence: (\d+)", itext, re.M)
        check(m is not None and int(m.group(2)) == rec["seq"], "record %d sequence vs istat" % e["record"])
        it = istat_si_times(itext)
        check(it is not None and [t.replace(" ", "T")[:19] for t in it] == [ft_iso(t)[:19] for t in times],
              "record %d times vs istat %s" % (e["record"], it))
        common = {"state": e["state"], "record": e["record"], "sequence": rec["seq"],
                  "parentRecord": fn["parent"], "parentSequence": fn["parentseq"], "folder": folder,
                  "namespace": fn["ns"],
                  "createTime": ft_iso(times[0]), "createFiletime": times[0],
                  "modifyTime": ft_iso(times[1]), "modifyFiletime": times[1],
                  "mftModifyTime": ft_iso(times[2]), "mftModifyFiletime": times[2],
                  "accessTime": ft_iso(times[3]), "accessFiletime": times[3],
                  "originalPath": "/" + want_path}
        nonascii = any(ord(c) > 127 for c in base_name)
        if e["type"] == "dir":
            check(rec["isdir"], "record %d not a folder" % e["record"])
            fl = flags + (["nonascii"] if nonascii else [])
            rows.append(dict(common, type="dir", name=base_name, stream="-", size=0, md5="-",
                             expectedStatus="-", flags=",".join(fl) or "-"))
            continue
        streams = scan.streams(attrs)
        ist = istat_streams(itext)
        for sname, size, md5 in e["streams"]:
            key = "" if sname == "-" else sname
            s = streams.get(key)
            check(s is not None, "record %d stream %s missing" % (e["record"], sname))
            check(s["size"] == size, "record %d stream %s size %d != %d" % (e["record"], sname, s["size"], size))
            fl = ["nonresident" if s["nonres"] else "resident"]
            real = [(l, n) for l, n in s.get("runs", []) if l is not None]
            if len(real) > 1 and any(b[0] != a[0] + a[1] for a, b in zip(real, real[1:])):
                fl.append("fragmented")
            if s["flags"] & ATTR_SPARSE:
                fl.append("sparse")
            if s["flags"] & ATTR_COMPRESSED:
                fl.append("compressed")
            fl += flags
            status = scan.estimate(s) if e["state"] == "deleted" else "-"
            if "wholly" in e.get("note", ""):
                fl.append("wholly-reused")
                check(status == 0, "record %d: wholly reused but status %s" % (e["record"], status))
            if "partly" in e.get("note", ""):
                fl.append("partly-reused")
                check(0 < status < 100, "record %d: partly reused but status %s" % (e["record"], status))
            if e["state"] == "deleted" and "reused" not in e.get("note", "") and e["note"] != "record reused":
                check(status == 255, "record %d stream %s status %s" % (e["record"], sname, status))
            if nonascii or any(ord(c) > 127 for c in key):
                fl.append("nonascii")
            # The bytes, read here from the runs (not for compressed data) and by icat.
            if not s["flags"] & ATTR_COMPRESSED and status in (255, "-"):
                data = vol.read_nonres(s) if s["nonres"] else s["value"]
                check(hashlib.md5(data).hexdigest() == md5, "record %d stream %s bytes differ" % (e["record"], sname))
            tsk = ist.get(key or "N/A")
            check(tsk is not None and tsk["size"] == size, "istat record %d stream %s" % (e["record"], sname))
            if tsk and s["nonres"]:
                mine = sorted(k for l, n in real for k in range(l, l + n))
                check(sorted(c for c in tsk["clusters"] if c) == mine,
                      "istat clusters record %d stream %s" % (e["record"], sname))
            addr = "%d-128-%d" % (e["record"], tsk["id"]) if tsk else "-"
            r = subprocess.run(["icat", img, addr], capture_output=True)
            result = "error" if r.returncode else ("match" if hashlib.md5(r.stdout).hexdigest() == md5
                                                   else "differs(%d bytes)" % len(r.stdout))
            icat_rows.append((e["state"], addr, "/" + want_path, sname, result))
            name = base_name if key == "" else base_name + ":" + key
            rows.append(dict(common, type="file", name=name, stream=sname, size=size, md5=md5,
                             expectedStatus=status, flags=",".join(fl)))

    # Extension records of deleted files: free, and pointing at their base record.
    for e in items:
        rec = vol.records[e["record"]]
        _, ext = scan.all_attrs(rec)
        for r in ext:
            x = vol.records[r]
            bit = (vol.mft_bitmap[r // 8] >> (r % 8)) & 1
            check(x["base"] == e["record"], "extension record %d base" % r)
            if e["state"] == "deleted":
                check(not x["inuse"] and not bit, "extension record %d of deleted %d still in use" % (r, e["record"]))
        if ext:
            notes.append("- Record %d (%s, %s) keeps its $ATTRIBUTE_LIST; its extension records %s "
                         "are %s in the MFT bitmap and in their headers, each naming base record %d."
                         % (e["record"], e["path"], e["state"], ", ".join(map(str, ext)),
                            "free" if e["state"] == "deleted" else "in use", e["record"]))

    # Reused folder records: the deleted children's parent reference no longer matches.
    for e in plan["new"]:
        old = next(x for x in plan["entries"] if x["record"] == e["record"])
        rec = vol.records[e["record"]]
        m = re.search(r"^Entry: (\d+)\s+Sequence: (\d+)", istat(img, e["record"]), re.M)
        check(m is not None and int(m.group(2)) == rec["seq"], "reused record %d sequence vs istat" % e["record"])
        kids = [r for r in rows if r["parentRecord"] == e["record"]]
        kid_seqs = sorted({r["parentSequence"] for r in kids})
        check(all(s != rec["seq"] for s in kid_seqs), "reused record %d sequence matches a child" % e["record"])
        notes.append("- Record %d was deleted %s `%s` and is now the %s %s `%s`, sequence %d%s."
                     % (e["record"], old["type"] == "dir" and "folder" or "file", old["path"],
                        "live" if rec["inuse"] else "deleted (free)",
                        e["type"] == "dir" and "folder" or "file", e["path"], rec["seq"],
                        "; its deleted children's parent references carry sequence %s"
                        % ", ".join(map(str, kid_seqs)) if kids else ""))

    # Clusters of the files written in the reuse phase, against the victims.
    for e in plan["new"]:
        if e["type"] != "file":
            continue
        s = scan.streams(vol.records[e["record"]]["attrs"])[""]
        if s["nonres"]:
            notes.append("- New file `%s` (record %d) took clusters %s." % (
                e["path"], e["record"], ", ".join("%d-%d" % (l, l + n - 1) for l, n in s["runs"])))
    for e in plan["entries"]:
        if "clusters" in e.get("note", "") and e["type"] == "file" and e["record"] not in reused:
            s = scan.streams(vol.records[e["record"]]["attrs"])[""]
            notes.append("- Deleted `%s` (record %d) had clusters %s: expected status %d." % (
                e["path"], e["record"], ", ".join("%d-%d" % (l, l + n - 1) for l, n in s["runs"]),
                scan.estimate(s)))

    # Records never used: formatted or blank, beyond the ones the files took.
    blank = [i for i in range(16, vol.count)
             if vol.records[i] is None or (not vol.records[i]["inuse"] and vol.records[i]["base"] == 0
                                           and not any(a["type"] in (T_FN, T_DATA) for a in vol.records[i]["attrs"]))]
    spans, start = [], None
    for i in blank:
        if start is None:
            start = prev = i
        elif i != prev + 1:
            spans.append((start, prev)); start = i
        prev = i
    if start is not None:
        spans.append((start, prev))
    notes.append("- The MFT holds %d records. Free and never used (no $FILE_NAME, no $DATA): %s."
                 % (vol.count, ", ".join("%d-%d" % sp for sp in spans) or "none"))

    cols = ["state", "type", "record", "sequence", "parentRecord", "parentSequence", "folder", "namespace", "name",
            "stream", "size", "md5", "expectedStatus", "createTime", "createFiletime", "modifyTime",
            "modifyFiletime", "mftModifyTime", "mftModifyFiletime", "accessTime", "accessFiletime",
            "originalPath", "flags"]
    order = {"deleted": 0, "unlisted": 1, "live": 2}
    rows.sort(key=lambda r: (order[r["state"]], r["record"], r["stream"] != "-", r["stream"]))
    with open(prefix + ".expected.tsv", "w") as f:
        f.write("\t".join(cols) + "\n")
        for r in rows:
            f.write("\t".join(str(r[c]) for c in cols) + "\n")
    icat_rows.sort(key=lambda c: (int(c[1].split("-")[0]), int(c[1].split("-")[2])))
    with open(prefix + ".icat.tsv", "w") as f:
        f.write("state\ticat_address\tpath\tstream\tresult\n")
        for c in icat_rows:
            f.write("\t".join(c) + "\n")
    bad_icat = [c for c in icat_rows if c[4] != "match"]
    notes.append("- icat gives the expected bytes for %d of %d streams%s." % (
        len(icat_rows) - len(bad_icat), len(icat_rows),
        "" if not bad_icat else " (not: %s)" % ", ".join("%s %s" % (c[1], c[4]) for c in bad_icat)))
    with open(prefix + ".notes.md", "w") as f:
        f.write("\n".join(notes) + "\n")
    if failures:
        sys.exit("\n".join(failures))


main()
