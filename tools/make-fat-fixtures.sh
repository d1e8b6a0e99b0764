#!/usr/bin/env bash
# Build the FAT12/16/32 test images used by rekkon's tests.
#
# Usage: tools/make-fat-fixtures.sh [OUTDIR [NAME...]]
#        (default: tests/data/fat of this checkout, every image; NAME picks images)
#
# Needs: mkfs.fat (dosfstools), mtools, The Sleuth Kit (fsstat, fls, istat),
#        python3, xz, md5sum.
#
# Every image is made by mkfs.fat and then filled, and files deleted, by
# mtools only.  The one exception is clear_hint (FAT32 only): it sets the
# "next free cluster" hint in the FSInfo sector to 0xFFFFFFFF ("unknown"), a
# legal value that makes the allocator search from cluster 2 again.  Without
# it mtools keeps allocating after the last cluster it used and never reuses
# freed clusters on FAT32, so the "reused" and "fragmented" cases could not
# be built there.
#
# Output, per image NAME:
#   NAME.img.xz          the image (xz -9e)
#   NAME.manifest.tsv    every file/folder ever created, with its fate
#   NAME.geometry.txt    mkfs.fat arguments and boot-sector values
#   NAME.fsstat.txt      fsstat output (oracle)
#   NAME.fls.txt         fls -rdp output: the deleted entries (oracle)
#
# fat16-lost has its own scenario (populate_lost): long names everywhere, a
# deleted folder of long-named files, a folder whose clusters were scattered
# among other files before it was deleted, a deleted folder whose entry in
# its parent was taken by a later entry, and two deleted files whose data
# cluster is a copy of a real folder cluster with one field made impossible.
#
# The run is deterministic: fixed volume ids, mkfs.fat --invariant, all
# times come from a fake clock (SOURCE_DATE_EPOCH for mtools, touch -d +
# mcopy -m for file times), file contents come from a fixed generator.
set -euo pipefail

OUT=${1:-$(dirname "$0")/../tests/data/fat}
shift || true
ONLY=("$@")
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

for tool in mkfs.fat fsck.fat mmd mcopy mdel mdeltree mdir mshowfat mtype fsstat fls istat python3 xz md5sum; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/rekkon-fat.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

export TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
# Pin the mtools settings that change what ends up on disk (short-name
# code page, name mangling) and ignore any ~/.mtoolsrc.
printf 'default_codepage=850\nmtools_name_numeric_tail=1\nmtools_no_vfat=0\nmtools_lower_case=0\n' > "$WORK/mtoolsrc"
export MTOOLSRC="$WORK/mtoolsrc"

# ---------------------------------------------------------------------------
# Python helper: content generator, snapshots, manifest, geometry.
cat > "$WORK/h.py" <<'PY'
import os, re, struct, subprocess, sys

def run(*args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout.decode('utf-8', 'replace')

def gen(tag, n):
    """Deterministic, compressible content: every line names the file and
    its own byte offset, so every sector of every file is different."""
    buf = bytearray()
    while len(buf) < n:
        buf += ("%08d %s\n" % (len(buf), tag)).encode('utf-8')
    sys.stdout.buffer.write(bytes(buf[:n]))

def mdir_entries(img, d):
    """(short_name, long_name_or_None) for every entry that mdir lists in d."""
    out = run('mdir', '-a', '-i', img, '::' + (d or '/'))
    res = []
    for line in out.split('\n'):
        if len(line) < 13 or line[8] != ' ' or line.startswith(' '):
            continue
        rest = line[12:].split(None, 3)
        if len(rest) < 3 or not re.match(r'\d{4}-\d\d-\d\d$', rest[1]):
            continue
        base, ext = line[0:8].rstrip(), line[9:12].rstrip()
        short = base + ('.' + ext if ext else '')
        if short in ('.', '..'):
            continue
        res.append((short, rest[3] if len(rest) > 3 else None))
    return res

def short_path(img, path):
    parts = [p for p in path.split('/') if p]
    cur_long, cur_short = '', ''
    for p in parts:
        hits = [s for s, l in mdir_entries(img, cur_long) if l == p or (l is None and s == p)]
        if len(hits) != 1:
            raise SystemExit('cannot find short name of %r in %r: %r' % (p, cur_long, hits))
        cur_long += '/' + p
        cur_short += '/' + hits[0]
    return cur_short

def chain(img, path):
    out = run('mshowfat', '-i', img, '::' + path)
    cl = []
    for a, b in re.findall(r'<(\d+)(?:-(\d+))?>', out):
        cl.extend(range(int(a), int(b or a) + 1))
    return cl

def ctime(img, path):
    for line in run('fls', '-rp', img).split('\n'):
        m = re.match(r'[-a-z]/[-a-z] (\d+):\t(.*)$', line)
        if m and '/' + m.group(2) == path:
            st = run('istat', img, m.group(1))
            c = re.search(r'^Created:\s+(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)', st, re.M)
            return c.group(1) if c else '-'
    raise SystemExit('fls does not list %r' % path)

def snap(img, path):
    cl = chain(img, path)
    print('\t'.join([short_path(img, path), ','.join(map(str, cl)) or '-', ctime(img, path)]))

def bpb(img):
    with open(img, 'rb') as f:
        bs = f.read(512)
    g = {}
    g['bytes_per_sector'], g['sectors_per_cluster'], g['reserved_sectors'], g['fat_count'], \
        g['root_entries'], ts16, g['media'], spf16 = struct.unpack_from('<HBHBHHBH', bs, 11)
    g['total_sectors'] = ts16 or struct.unpack_from('<I', bs, 32)[0]
    if spf16:
        g['sectors_per_fat'] = spf16
        g['root_cluster'] = 0
        g['fsinfo_sector'] = 0
        g['backup_boot_sector'] = 0
        off = 36
    else:
        g['sectors_per_fat'], _, _, g['root_cluster'], g['fsinfo_sector'], g['backup_boot_sector'] = \
            struct.unpack_from('<IHHIHH', bs, 36)
        off = 64
    g['volume_id'] = '%08X' % struct.unpack_from('<I', bs, off + 3)[0]
    g['volume_label'] = bs[off + 7:off + 18].decode('ascii', 'replace').rstrip()
    g['fs_type_string'] = bs[off + 18:off + 26].decode('ascii', 'replace').rstrip()
    bps = g['bytes_per_sector']
    root_secs = (g['root_entries'] * 32 + bps - 1) // bps
    g['root_dir_sectors'] = root_secs
    g['first_data_sector'] = g['reserved_sectors'] + g['fat_count'] * g['sectors_per_fat'] + root_secs
    g['cluster_count'] = (g['total_sectors'] - g['first_data_sector']) // g['sectors_per_cluster']
    n = g['cluster_count']
    g['fat_type'] = 'FAT12' if n < 4085 else 'FAT16' if n < 65525 else 'FAT32'
    g['cluster_bytes'] = bps * g['sectors_per_cluster']
    return g

def cluster_size(img):
    print(bpb(img)['cluster_bytes'])

def clear_hint(img):
    g = bpb(img)
    if not g['fsinfo_sector']:
        return
    pos = g['fsinfo_sector'] * g['bytes_per_sector']
    with open(img, 'r+b') as f:
        f.seek(pos)
        sec = f.read(512)
        if sec[0:4] != b'RRaA' or sec[0x1e4:0x1e8] != b'rrAa':
            raise SystemExit('bad FSInfo sector')
        f.seek(pos + 0x1ec)
        f.write(b'\xff\xff\xff\xff')

def geometry(img, mkfs_args):
    g = bpb(img)
    s512 = g['sectors_per_cluster'] * g['bytes_per_sector'] // 512
    rows = [
        ('mkfs.fat arguments', mkfs_args),
        ('fat_type', g['fat_type']),
        ('fs_type_string', g['fs_type_string']),
        ('bytes_per_sector', g['bytes_per_sector']),
        ('sectors_per_cluster', g['sectors_per_cluster']),
        ('sectors_per_cluster_512', s512),
        ('cluster_bytes', g['cluster_bytes']),
        ('total_sectors', g['total_sectors']),
        ('total_sectors_512', g['total_sectors'] * g['bytes_per_sector'] // 512),
        ('reserved_sectors', g['reserved_sectors']),
        ('fat_count', g['fat_count']),
        ('sectors_per_fat', g['sectors_per_fat']),
        ('root_entries', g['root_entries']),
        ('root_dir_sectors', g['root_dir_sectors']),
        ('root_cluster', g['root_cluster'] if g['root_cluster'] else '- (fixed root directory)'),
        ('fsinfo_sector', g['fsinfo_sector'] or '-'),
        ('backup_boot_sector', g['backup_boot_sector'] or '-'),
        ('first_data_sector', g['first_data_sector']),
        ('cluster_count', g['cluster_count']),
        ('media', '0x%02X' % g['media']),
        ('volume_id', g['volume_id']),
        ('volume_label', g['volume_label']),
        ('image_bytes', os.path.getsize(img)),
    ]
    for k, v in rows:
        print('%s: %s' % (k, v))

def manifest(log):
    items, order = {}, []
    seq = 0
    for line in open(log, encoding='utf-8'):
        f = line.rstrip('\n').split('\t')
        seq += 1
        if f[0] == 'create':
            _, typ, path, size, md5 = f
            items[path] = dict(type=typ, size=size, md5=md5, state='live', deleted_at=None)
            order.append(path)
        elif f[0] == 'snap':
            _, path, short, cl, ct = f
            items[path].update(short=short, chain=[] if cl == '-' else [int(x) for x in cl.split(',')],
                               ctime=ct, snap_at=seq)
        elif f[0] == 'delete':
            _, path, state = f
            items[path].update(state=state, deleted_at=seq)
    print('\t'.join(['state', 'type', 'long_path', 'short_path', 'size', 'md5', 'first_cluster',
                     'contiguous', 'reused', 'ctime']))
    for p in order:
        it = items[p]
        cl = it['chain']
        contiguous = all(b == a + 1 for a, b in zip(cl, cl[1:]))
        reused = False
        if it['deleted_at'] is not None:
            # Another entry took one of these clusters if it held it at a
            # moment after this entry was deleted.
            for q, other in items.items():
                if q != p and other['snap_at'] > it['deleted_at'] and set(other['chain']) & set(cl):
                    reused = True
        print('\t'.join([it['state'], it['type'], p, it['short'], it['size'], it['md5'],
                         str(cl[0] if cl else 0), 'yes' if contiguous else 'no',
                         'yes' if reused else 'no', it['ctime']]))

def print_chain(img, path):
    print(' '.join(map(str, chain(img, path))))

def lookalike(img, cluster, mode):
    """The bytes of folder cluster CLUSTER with one field made impossible:
    'date' gives the first short entry month 13, 'cluster' gives it a first
    cluster past the end of the volume."""
    g = bpb(img)
    cb = g['cluster_bytes']
    with open(img, 'rb') as f:
        f.seek((g['first_data_sector'] + (int(cluster) - 2) * g['sectors_per_cluster']) * g['bytes_per_sector'])
        data = bytearray(f.read(cb))
    for at in range(0, cb, 32):
        if data[at] not in (0, 0xE5, 0x2E) and data[at + 11] & 0x3F != 0x0F:
            break
    else:
        raise SystemExit('no short entry in cluster %s' % cluster)
    if mode == 'date':
        d = struct.unpack_from('<H', data, at + 0x18)[0]
        struct.pack_into('<H', data, at + 0x18, (d & ~0x01E0) | (13 << 5))
    else:
        struct.pack_into('<H', data, at + 0x1A, 0xFFF0)
    sys.stdout.buffer.write(bytes(data))

if __name__ == '__main__':
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == 'gen':
        gen(args[0], int(args[1]))
    elif cmd == 'snap':
        snap(*args)
    elif cmd == 'cluster_size':
        cluster_size(*args)
    elif cmd == 'clear_hint':
        clear_hint(*args)
    elif cmd == 'geometry':
        geometry(*args)
    elif cmd == 'manifest':
        manifest(*args)
    elif cmd == 'chain':
        print_chain(*args)
    elif cmd == 'lookalike':
        lookalike(*args)
    else:
        raise SystemExit('unknown command ' + cmd)
PY
H() { python3 "$WORK/h.py" "$@"; }

# ---------------------------------------------------------------------------
# Operations on the current image ($IMG).  Every operation advances the fake
# clock by two minutes and is written to $LOG, from which the manifest is made.
CLOCK=0
tick() {
  CLOCK=$((CLOCK + 120))
  export SOURCE_DATE_EPOCH=$CLOCK
}

new_dir() {      # new_dir PATH
  tick
  mmd -i "$IMG" "::$1"
  printf 'create\tdir\t%s\t0\t-\n' "$1" >> "$LOG"
}

new_file() {     # new_file PATH SIZE
  tick
  local src="$WORK/src.bin"
  rm -f "$src"
  H gen "$1" "$2" > "$src"
  touch -d "@$CLOCK" "$src"
  mcopy -m -i "$IMG" "$src" "::$1"
  printf 'create\tfile\t%s\t%s\t%s\n' "$1" "$2" "$(md5sum < "$src" | cut -d' ' -f1)" >> "$LOG"
}

new_copy() {     # new_copy PATH SRC: a file holding the bytes of SRC
  tick
  touch -d "@$CLOCK" "$2"
  mcopy -m -i "$IMG" "$2" "::$1"
  printf 'create\tfile\t%s\t%s\t%s\n' "$1" "$(stat -c %s "$2")" "$(md5sum < "$2" | cut -d' ' -f1)" >> "$LOG"
}

snap() {         # snap PATH: short name, cluster chain and ctime, as of now
  printf 'snap\t%s\t%s\n' "$1" "$(H snap "$IMG" "$1")" >> "$LOG"
}

del_file() {     # del_file PATH
  tick
  snap "$1"
  mdel -i "$IMG" "::$1"
  printf 'delete\t%s\tdeleted\n' "$1" >> "$LOG"
}

del_tree() {     # del_tree PATH: the folder and all it holds
  tick
  local p inside=()
  while IFS= read -r p; do inside+=("$p"); done < <(awk -F'\t' -v d="$1/" \
      '$1 == "create" && substr($3, 1, length(d)) == d { print $3 }' "$LOG")
  snap "$1"
  for p in "${inside[@]}"; do snap "$p"; done
  mdeltree -i "$IMG" "::$1"
  printf 'delete\t%s\tdeleted\n' "$1" >> "$LOG"
  for p in "${inside[@]}"; do printf 'delete\t%s\tin-deleted-folder\n' "$p" >> "$LOG"; done
}

clear_hint() {   # FAT32: forget the next-free hint so the allocator starts at cluster 2
  H clear_hint "$IMG"
}

# ---------------------------------------------------------------------------
# The scenario, the same on every image; sizes scale with the cluster size C.
populate() {
  local C BIG
  C=$(H cluster_size "$IMG")
  BIG=$2

  # 1. A live tree, plus everything that will be deleted later.  Nothing is
  #    deleted yet, so all of this is laid out contiguously from cluster 2/3.
  new_dir  "/DOCS"
  new_file "/DOCS/README.TXT" 300
  new_dir  "/DOCS/Project Notes 2021"
  new_file "/DOCS/Project Notes 2021/Meeting Minutes January.txt" $((3 * C + 123))
  new_file "/DOCS/Project Notes 2021/café résumé.txt" $((C / 2 + 17))
  new_file "/DOCS/Project Notes 2021/Ärger über Übersetzung.txt" $((2 * C + 5))
  new_dir  "/DOCS/Project Notes 2021/Drafts"
  new_file "/DOCS/Project Notes 2021/Drafts/CHAPTER1.TXT" "$C"
  new_file "/DOCS/Project Notes 2021/Drafts/Second Chapter Draft.txt" $((C + 1))
  new_file "/DOCS/OLDNOTES.TXT" $((C + C / 2))
  new_file "/DOCS/EMPTYDEL.TXT" 0
  new_file "/EMPTY.DAT" 0
  new_file "/ONECLUS.BIN" "$C"
  new_file "/Big Archive Of Measurements.csv" "$BIG"
  new_file "/Deleted Root Note.txt" $((C - 1))
  new_dir  "/LETTERS"
  new_file "/LETTERS/NEW.TXT" 100
  new_file "/LETTERS/FEW.TXT" $((C + 200))
  new_file "/LETTERS/KEEP.TXT" 50
  new_file "/LETTERS/Letter to the Editor.txt" $((2 * C + 10))
  new_dir  "/Old Projects Archive"
  new_file "/Old Projects Archive/PLAN.TXT" 400
  new_file "/Old Projects Archive/Budget Forecast 2020.txt" $((2 * C + 300))
  new_dir  "/Old Projects Archive/Sub Folder Two"
  new_file "/Old Projects Archive/Sub Folder Two/NOTES.TXT" $((C + 3))
  new_file "/Old Projects Archive/Sub Folder Two/Final Summary Notes.txt" 0
  new_dir  "/TEMP"

  # 2. Reuse: a deleted file whose clusters a later file takes over.  The
  #    empty SESSION.LCK sits after it in the folder so that the new file's
  #    three directory entries cannot go into SCRATCH.TMP's freed slot: the
  #    deleted entry must survive, only its clusters are taken.
  new_file "/TEMP/SCRATCH.TMP" $((3 * C - 100))
  new_file "/TEMP/SESSION.LCK" 0
  del_file "/TEMP/SCRATCH.TMP"
  clear_hint
  new_file "/TEMP/Replacement Data File.txt" $((3 * C - 7))

  # 3. Fragmentation: A, B, C; delete B; a new file fills B's gap and
  #    continues after C; then that file is deleted too.
  new_dir  "/Fragment Test"
  new_file "/Fragment Test/PART_A.BIN" $((2 * C))
  new_file "/Fragment Test/PART_B.BIN" $((2 * C))
  new_file "/Fragment Test/PART_C.BIN" $((2 * C))
  del_file "/Fragment Test/PART_B.BIN"
  clear_hint
  new_file "/Fragment Test/Fragmented Log File.log" $((5 * C - 50))
  del_file "/Fragment Test/Fragmented Log File.log"

  # 4. Plain deletions (nothing is written after these).
  del_file "/LETTERS/NEW.TXT"
  del_file "/LETTERS/FEW.TXT"
  del_file "/LETTERS/Letter to the Editor.txt"
  del_file "/DOCS/OLDNOTES.TXT"
  del_file "/DOCS/EMPTYDEL.TXT"
  del_file "/DOCS/Project Notes 2021/Ärger über Übersetzung.txt"
  del_file "/Deleted Root Note.txt"
  del_tree "/Old Projects Archive"

  # 5. Snapshot everything still live.
  local p
  while IFS= read -r p; do snap "$p"; done < <(awk -F'\t' '
      $1 == "create" { live[$3] = 1; order[++n] = $3 }
      $1 == "delete" { delete live[$2] }
      END { for (i = 1; i <= n; i++) if (order[i] in live) print order[i] }' "$LOG")
}

# Checks that the image holds what the manifest says and that the planned
# cases really happened.
check() {
  local name=$1 want=$2 man=$3 state type path short size md5 rest
  fsstat "$IMG" | grep -q "^File System Type: $want\$" || { echo "$name: fsstat does not say $want" >&2; exit 1; }
  fsck.fat -n "$IMG" >/dev/null || { echo "$name: fsck.fat reports problems" >&2; exit 1; }
  while IFS=$'\t' read -r state type path short size md5 rest; do
    [ "$state" = live ] && [ "$type" = file ] || continue
    [ "$(mtype -i "$IMG" "::$path" | md5sum | cut -d' ' -f1)" = "$md5" ] || { echo "$name: bad content $path" >&2; exit 1; }
  done < <(tail -n +2 "$man")
  local want_del got_del
  want_del=$(awk -F'\t' 'NR > 1 && $1 != "live"' "$man" | wc -l)
  got_del=$(fls -rd "$IMG" | wc -l)
  [ "$want_del" = "$got_del" ] || { echo "$name: fls -rd lists $got_del deleted entries, manifest has $want_del" >&2; exit 1; }
  awk -F'\t' -v n="$name" '
    $3 == "/TEMP/SCRATCH.TMP" && $9 == "yes" { ok1 = 1 }
    $3 == "/Fragment Test/PART_B.BIN" && $9 == "yes" { ok2 = 1 }
    $3 == "/Fragment Test/Fragmented Log File.log" && $8 == "no" && $9 == "no" { ok3 = 1 }
    $1 != "live" && $3 !~ /SCRATCH|PART_B/ && $9 == "yes" { bad = $3 }
    END { if (!ok1 || !ok2 || !ok3 || bad != "") { print n ": planned reuse/fragmentation did not happen " bad > "/dev/stderr"; exit 1 } }' "$man"
}

# ---------------------------------------------------------------------------
# The lost-folder scenario (fat16-lost, 512-byte clusters so folders span
# several clusters).
populate_lost() {
  local C i second
  C=$(H cluster_size "$IMG")

  # 1. Live folders and files with long names.
  new_dir  "/Live Documents"
  new_file "/Live Documents/Quarterly Report Final.txt" $((2 * C + 40))
  new_file "/Live Documents/README.TXT" 200

  # 2. A folder of long-named files, deleted whole at the end: its entries
  #    all lie in its first cluster, where the folder walk finds them.
  new_dir  "/Holiday Photos 2019"
  new_file "/Holiday Photos 2019/Beach Sunset Panorama.jpg" $((3 * C + 11))
  new_file "/Holiday Photos 2019/Mountain Hike Morning.jpg" $((2 * C + 7))

  # 3. A folder (with a folder in it) that is deleted and whose entry in its
  #    live parent a later entry takes over: only its "."/".." cluster says
  #    where it was.
  new_dir  "/Overwritten Parent"
  new_dir  "/Overwritten Parent/Lost Child Folder"
  new_file "/Overwritten Parent/Lost Child Folder/Orphaned Child Document.txt" $((2 * C + 99))
  new_file "/Overwritten Parent/Lost Child Folder/CHILD.TXT" 300
  new_dir  "/Overwritten Parent/Lost Child Folder/Nested Inside Lost"
  new_file "/Overwritten Parent/Lost Child Folder/Nested Inside Lost/Deeply Nested Notes.txt" $((C + 5))

  # 4. A folder that grows while other files are written: each of its
  #    clusters lies after the data written since the one before, and each of
  #    its files is contiguous.  A sub-folder is made when it spans three
  #    clusters already.
  new_dir  "/Scattered Folder"
  new_dir  "/Fillers"
  for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    new_file "/Scattered Folder/Scattered Long Named File $i.txt" $((3 * C + 50))
    new_file "/Fillers/FILL$i.BIN" $((2 * C))
    if [ "$i" = 09 ]; then
      new_dir  "/Scattered Folder/Late Subfolder"
      new_file "/Scattered Folder/Late Subfolder/Inside Late Subfolder.txt" $((C + 77))
    fi
  done

  # 5. Files of one cluster each holding a copy of the scattered folder's
  #    second cluster, with one field made impossible (deleted below).
  second=$(H chain "$IMG" "/Scattered Folder" | cut -d' ' -f2)
  H lookalike "$IMG" "$second" date > "$WORK/look-date.bin"
  new_copy "/Folder Lookalike Date.bin" "$WORK/look-date.bin"
  H lookalike "$IMG" "$second" cluster > "$WORK/look-cluster.bin"
  new_copy "/Folder Lookalike Cluster.bin" "$WORK/look-cluster.bin"

  # 6. Deletions.  The empty file takes the three slots "Lost Child Folder"
  #    held (two long-name pieces and the short entry) and no cluster.
  del_tree "/Holiday Photos 2019"
  del_tree "/Overwritten Parent/Lost Child Folder"
  new_file "/Overwritten Parent/Taken Slot Entry.txt" 0
  del_tree "/Scattered Folder"
  del_file "/Folder Lookalike Date.bin"
  del_file "/Folder Lookalike Cluster.bin"

  local p
  while IFS= read -r p; do snap "$p"; done < <(awk -F'\t' '
      $1 == "create" { live[$3] = 1; order[++n] = $3 }
      $1 == "delete" { delete live[$2] }
      END { for (i = 1; i <= n; i++) if (order[i] in live) print order[i] }' "$LOG")
}

check_lost() {
  local name=$1 want=$2 man=$3 state type path short size md5 rest
  fsstat "$IMG" | grep -q "^File System Type: $want\$" || { echo "$name: fsstat does not say $want" >&2; exit 1; }
  fsck.fat -n "$IMG" >/dev/null || { echo "$name: fsck.fat reports problems" >&2; exit 1; }
  while IFS=$'\t' read -r state type path short size md5 rest; do
    [ "$state" = live ] && [ "$type" = file ] || continue
    [ "$(mtype -i "$IMG" "::$path" | md5sum | cut -d' ' -f1)" = "$md5" ] || { echo "$name: bad content $path" >&2; exit 1; }
  done < <(tail -n +2 "$man")
  # The entry of the lost child is gone from its parent.
  if fls -rdp "$IMG" | grep -q "Overwritten Parent/Lost Child Folder"; then
    echo "$name: the lost child folder is still named in its parent" >&2; exit 1
  fi
  awk -F'\t' -v n="$name" '
    $3 == "/Scattered Folder" && $8 == "no" { scattered = 1 }
    $3 ~ /^\/Scattered Folder\/.*txt$/ && $8 != "yes" { bad = $3 }
    $1 != "live" && $9 == "yes" { bad = $3 }
    END { if (!scattered || bad != "") { print n ": planned layout did not happen " bad > "/dev/stderr"; exit 1 } }' "$man"
}

build() {        # build NAME FATTYPE BIGSIZE KIB MKFS-ARGS...: the common scenario
  build_with populate check "$@"
}

build_with() {   # build_with POPULATE CHECK NAME FATTYPE BIGSIZE KIB MKFS-ARGS...
  local populate=$1 check=$2 name=$3 want=$4 big=$5 kib=$6
  shift 6
  if [ ${#ONLY[@]} -gt 0 ] && ! printf '%s\n' "${ONLY[@]}" | grep -qxF "$name"; then return; fi
  IMG="$WORK/$name.img"
  LOG="$WORK/$name.log"
  CLOCK=1609459200   # 2021-01-01 00:00:00 UTC
  : > "$LOG"
  rm -f "$IMG"
  mkfs.fat "$@" -C "$IMG" "$kib" >/dev/null
  "$populate" "$name" "$big"
  H manifest "$LOG" > "$OUT/$name.manifest.tsv"
  "$check" "$name" "$want" "$OUT/$name.manifest.tsv"
  H geometry "$IMG" "$* -C $name.img $kib" > "$OUT/$name.geometry.txt"
  fsstat "$IMG" > "$OUT/$name.fsstat.txt"
  fls -rdp "$IMG" > "$OUT/$name.fls.txt"
  xz -9e -T1 -c "$IMG" > "$OUT/$name.img.xz"
  rm -f "$IMG"
  echo "$name: $(stat -c %s "$OUT/$name.img.xz") bytes compressed"
}

build fat12    FAT12 60000  1440   --invariant -i 1A2B3C12 -n REKKON12 -F 12
build fat16    FAT16 204923 16384  --invariant -i 1A2B3C16 -n REKKON16 -F 16 -s 4
build fat32    FAT32 204923 33300  --invariant -i 1A2B3C32 -n REKKON32 -F 32 -s 1
build fat32-4k FAT32 204923 262800 --invariant -i 1A2B3C4B -n REKKON4K -F 32 -S 4096 -s 1
build_with populate_lost check_lost fat16-lost FAT16 0 4096 --invariant -i 1A2B3C1F -n REKKONLOST -F 16 -s 1
