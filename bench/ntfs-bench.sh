#!/usr/bin/env bash
# NTFS benchmark: rekkon-cli against ntfsundelete (ntfs-3g), The Sleuth Kit (fls, icat) and a
# plain dd of the same clusters, on a large image with many deleted files and folders and one
# large deleted file; peak memory of `list` there and on a 2 TiB volume.
#
# Usage: sudo bench/ntfs-bench.sh     (root: the images are filled through the ntfs-3g driver)
#
# Environment:
#   REKKON_CLI         the rekkon-cli binary to time; when unset, it is built as below
#   REKKON_BUILD       an existing build folder to use (rekkon-cli is brought up to date there);
#                      default: <repo>/build-bench, configured here with CMAKE_BUILD_TYPE=Release
#   REKKON_BENCH_DIR   where the images and the outputs live, outside the repository;
#                      default: /var/tmp/rekkon-bench. The images are made once and then reused.
#   REKKON_BENCH_RUNS  timed runs per command after one warm-up run (default 10)
#   REKKON_BENCH_RECOVER_RUNS  timed runs of the recover-all commands (default 3)
#   REKKON_BENCH_RAM   a folder on a RAM disk for the outputs (default /dev/shm)
#   REKKON_BENCH_NICE  niceness of the whole run (default 10), as the machine is shared
#
# Needs: root, mkntfs and ntfs-3g, ntfsundelete, fls/icat/istat/fsstat (The Sleuth Kit),
#        hyperfine, python3, jq, md5sum, /usr/bin/time; cmake and a C++20 compiler unless
#        REKKON_CLI is given.
#
# A rekkon-cli that cannot read NTFS volumes is not an error: its figures print as "n/a" and
# the peers are still timed. Exit status: 0 when everything ran and every checked recovered
# file has the original's md5, whether or not the targets were met (they print as PASS /
# FAIL); non-zero on any error, including a recovered file that differs from the original.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RUNS=${REKKON_BENCH_RUNS:-10}
RECOVER_RUNS=${REKKON_BENCH_RECOVER_RUNS:-3}
RAM=${REKKON_BENCH_RAM:-/dev/shm}

IMG_SIZE=4G                                # the large image (sparse)
BIG_BYTES=$((300 * 1024 * 1024 + 4321))    # the large deleted file: over 300 MiB, odd tail
BIG_PATH=Top_1/Sub_1/BigFile_2026.bin
HUGE_SIZE=2T                               # the volume for the memory figure (sparse)

die() {
    echo "ntfs-bench: $*" >&2
    exit 1
}
note() { echo "ntfs-bench: $*" >&2; }

[[ $(id -u) == 0 ]] || die "run as root: the images are filled through the ntfs-3g driver (FUSE)"
missing=()
for pkg in hyperfine jq ntfs-3g sleuthkit time; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for tool in mkntfs ntfs-3g ntfsundelete fls icat istat fsstat hyperfine python3 jq md5sum awk dd \
    /usr/bin/time; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
[[ $RECOVER_RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RECOVER_RUNS must be a positive number"

mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd -P)
case "$BENCH_DIR/" in
    "$(cd "$REPO" && pwd -P)/"*) die "REKKON_BENCH_DIR ($BENCH_DIR) must lie outside the repository" ;;
esac
[[ $(stat -f -c %T "$RAM" 2>/dev/null) == tmpfs ]] || die "REKKON_BENCH_RAM ($RAM) is not a tmpfs"

IMG=$BENCH_DIR/ntfs-bench.img
INFO=$BENCH_DIR/ntfs-bench.info        # written last: its presence marks a complete image
DELETED=$BENCH_DIR/ntfs-bench.deleted  # record, size, md5, path of every deleted file
HUGE=$BENCH_DIR/ntfs-2tib.img
HUGE_INFO=$BENCH_DIR/ntfs-2tib.info

export TZ=UTC LC_ALL=C.UTF-8

# ---------------------------------------------------------------------------------------------
# 1. rekkon-cli.
if [[ -n ${REKKON_CLI:-} ]]; then
    CLI=$REKKON_CLI
elif [[ -n ${REKKON_BUILD:-} ]]; then
    [[ -f $REKKON_BUILD/CMakeCache.txt ]] || die "REKKON_BUILD ($REKKON_BUILD) is not a configured build folder"
    note "using the build in $REKKON_BUILD"
    cmake --build "$REKKON_BUILD" -j "$(nproc)" --target rekkon-cli >/dev/null
    CLI=$REKKON_BUILD/rekkon-cli
else
    # A folder of its own, so the RelWithDebInfo build of tools/test.sh is not reconfigured.
    BUILD=$REPO/build-bench
    note "building rekkon-cli (Release) in $BUILD"
    cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DREKKON_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" -j "$(nproc)" --target rekkon-cli >"$BENCH_DIR/build.log" 2>&1 ||
        { tail -30 "$BENCH_DIR/build.log" >&2; die "build failed (log: $BENCH_DIR/build.log)"; }
    CLI=$BUILD/rekkon-cli
fi
[[ -x $CLI ]] || die "rekkon-cli not found at $CLI"
CLI=$(cd "$(dirname "$CLI")" && pwd -P)/$(basename "$CLI")

# ---------------------------------------------------------------------------------------------
# 2. The images, made once.
#
# Mounting: ntfs-3g runs in the foreground (no_detach) as a child of this shell, so after
# `umount` the script waits for it to exit, and every write has reached the image file.
MNT=""
FUSE_PID=""
mount_ntfs() { # image mountpoint
    mkdir -p "$2"
    ntfs-3g -o big_writes,noatime,no_detach "$1" "$2" >"$BENCH_DIR/ntfs-3g.log" 2>&1 &
    FUSE_PID=$!
    MNT=$2
    for _ in $(seq 100); do
        mountpoint -q "$2" && return 0
        kill -0 "$FUSE_PID" 2>/dev/null || die "ntfs-3g did not mount $1 (log: $BENCH_DIR/ntfs-3g.log)"
        sleep 0.1
    done
    die "ntfs-3g did not mount $1 in 10 s"
}
unmount_ntfs() {
    [[ -n $MNT ]] || return 0
    sync
    umount "$MNT"
    wait "$FUSE_PID" || die "ntfs-3g ended with an error (log: $BENCH_DIR/ntfs-3g.log)"
    rmdir "$MNT"
    MNT=""
    FUSE_PID=""
}
cleanup_mount() {
    if [[ -n $MNT ]]; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
        if [[ -n $FUSE_PID ]]; then wait "$FUSE_PID" 2>/dev/null || true; fi
        rmdir "$MNT" 2>/dev/null || true
    fi
}

format_ntfs() { # image size label
    rm -f "$1"
    truncate -s "$2" "$1"
    mkntfs -Q -F -q -c 4096 -L "$3" "$1" >/dev/null 2>&1 || die "mkntfs failed on $1"
}

# The large image, 4 GiB, 4 KiB clusters. The tree: 8 top folders Top_0..Top_7, each with 6
# Sub_N, each with 5 Leaf_N (296 folders); 200 files in each top folder, 150 in each sub
# folder, 400 in each leaf (104,800 files; about 30% of 1..700 bytes, kept inside their MFT
# records, 60% of 0.7..16 KiB, 10% of 16..96 KiB; names unique over the volume, one in 25 with
# non-ASCII letters). Each Sub_0 also holds frag_T.bin (32 MiB + 4 bytes), its first 64 KiB
# written before the folder's other files and the rest after, so that it lies in several
# pieces (see fragmented_start). BigFile_2026.bin (300 MiB +
# 4,321 bytes of random data) is written first on the empty volume, so its clusters are
# contiguous.
# Deleted afterwards: Top_7 with all its folders (37 folders), Leaf_3 and Leaf_4 in every
# other Sub_N (84 folders), with rm -r; every fifth file elsewhere, every frag_T.bin and
# BigFile_2026.bin, one by one. About 58,000 files and 121 folders.
make_image() {
    local tmp=$IMG.part start=$SECONDS
    format_ntfs "$tmp" "$IMG_SIZE" REKKONBENCH
    mount_ntfs "$tmp" "$BENCH_DIR/mnt"
    note "filling $tmp through ntfs-3g (about 105,000 files)"
    python3 - "$MNT" "$BIG_BYTES" "$BIG_PATH" "$DELETED.part" "$INFO.part" >&2 <<'PY'
import hashlib, os, random, subprocess, sys, time

mnt, big_bytes, big_path, deleted_out, info_out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
rng = random.Random(20261208)
pool = rng.randbytes(1 << 22)
began = time.monotonic()
files = {}  # relative path -> (record, size, md5)

def write(rel, data):
    fd = os.open(os.path.join(mnt, rel), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        os.write(fd, data)
        record = os.fstat(fd).st_ino  # ntfs-3g numbers inodes by MFT record
    finally:
        os.close(fd)
    files[rel] = (record, len(data), hashlib.md5(data).hexdigest())

# The large file first, in 8 MiB writes of random data.
os.makedirs(os.path.join(mnt, os.path.dirname(big_path)))
digest = hashlib.md5()
fd = os.open(os.path.join(mnt, big_path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
left = big_bytes
while left:
    chunk = os.urandom(min(left, 8 << 20))
    digest.update(chunk)
    os.write(fd, chunk)
    left -= len(chunk)
big_record = os.fstat(fd).st_ino
os.close(fd)
files[big_path] = (big_record, big_bytes, digest.hexdigest())
print('large file written: record %d, %.1f s' % (big_record, time.monotonic() - began), flush=True)

serial = 0
NAMES = ['doc_%06d.dat', 'IMG_%06d.JPG', 'Notes %06d - draft.txt', 'data.%06d.csv', 'report_%06d.pdf']

made_folders, every_fifth = set(), []

def put(folder, count):
    global serial
    os.makedirs(os.path.join(mnt, folder), exist_ok=True)
    made_folders.add(folder)
    for _ in range(count):
        serial += 1
        name = ('café_%06d_日本.txt' % serial) if serial % 25 == 0 else NAMES[serial % len(NAMES)] % serial
        r = rng.random()
        size = rng.randint(1, 700) if r < 0.3 else rng.randint(701, 16384) if r < 0.9 else rng.randint(16385, 98304)
        at = rng.randrange(0, len(pool) - size)
        head = b'%08d\n' % serial
        write(folder + '/' + name, (head + pool[at:at + size])[:size])
        if serial % 5 == 2:
            every_fifth.append(folder + '/' + name)

# ntfs-3g extends a file in place while the clusters after it are free, and starts each new
# file some way after the last one. A file that gets its first 64 KiB, then sees other files
# written, then grows to 32 MiB runs into their clusters and ends up in several pieces.
FRAG_PIECE, FRAG_PIECES = 65536, 512

def fragmented_start(rel):
    at = rng.randrange(0, len(pool) - FRAG_PIECE)
    data = pool[at:at + FRAG_PIECE]
    with open(os.path.join(mnt, rel), 'xb') as f:
        f.write(data)
    return hashlib.md5(data)

def fragmented_finish(rel, digest):
    with open(os.path.join(mnt, rel), 'ab') as f:
        for _ in range(FRAG_PIECES - 1):
            at = rng.randrange(0, len(pool) - FRAG_PIECE)
            data = pool[at:at + FRAG_PIECE]
            f.write(data)
            digest.update(data)
        f.write(b'tail')
        digest.update(b'tail')
        f.flush()
        files[rel] = (os.fstat(f.fileno()).st_ino, FRAG_PIECE * FRAG_PIECES + 4, digest.hexdigest())

doomed_trees, doomed_files = [], [big_path]
for t in range(8):
    top = 'Top_%d' % t
    put(top, 200)
    for s in range(6):
        sub = '%s/Sub_%d' % (top, s)
        if s == 0:
            frag = sub + '/frag_%d.bin' % t
            os.makedirs(os.path.join(mnt, sub), exist_ok=True)
            digest = fragmented_start(frag)
            put(sub, 150)
            fragmented_finish(frag, digest)
            if t != 7:
                doomed_files.append(frag)
        else:
            put(sub, 150)
        for l in range(5):
            leaf = '%s/Leaf_%d' % (sub, l)
            put(leaf, 400)
            if t != 7 and l >= 3:
                doomed_trees.append(leaf)
    print('%s done: %d files, %.1f s' % (top, serial, time.monotonic() - began), flush=True)
    if t == 7:
        doomed_trees.append(top)

doomed_set = set(doomed_trees)

def in_tree(p):
    parts = p.split('/')
    return any('/'.join(parts[:i]) in doomed_set for i in range(1, len(parts) + 1))

doomed_files += [p for p in every_fifth if not in_tree(p)]
deleted = sorted({p for p in files if in_tree(p)} | set(doomed_files), key=lambda p: files[p][0])
folders = len(made_folders)
folders_deleted = sum(1 for d in made_folders if in_tree(d))
print('written: %d files, %d folders, %.1f s; deleting %d files and %d folders' %
      (len(files), folders, time.monotonic() - began, len(deleted), folders_deleted), flush=True)

subprocess.run(['rm', '-r', '--'] + doomed_trees, cwd=mnt, check=True)
for p in doomed_files:
    os.unlink(os.path.join(mnt, p))
print('deleted, %.1f s' % (time.monotonic() - began), flush=True)

with open(deleted_out, 'w') as f:
    f.write('# record\tsize\tmd5\tpath\n')
    for p in deleted:
        record, size, md5 = files[p]
        f.write('%d\t%d\t%s\t%s\n' % (record, size, md5, p))
with open(info_out, 'w') as f:
    f.write('big_record=%d\nbig_bytes=%d\nbig_md5=%s\nbig_path=%s\n' % (big_record, big_bytes, files[big_path][2], big_path))
    f.write('files_created=%d\nfolders_created=%d\nfiles_deleted=%d\nfolders_deleted=%d\n' %
            (len(files), folders, len(deleted), folders_deleted))
PY
    unmount_ntfs
    mv "$DELETED.part" "$DELETED"
    mv "$tmp" "$IMG"
    echo "build_seconds=$((SECONDS - start))" >>"$INFO.part"
    mv "$INFO.part" "$INFO"
}

# The 2 TiB volume: formatted, three files written in a folder, two deleted.
make_huge() {
    local tmp=$HUGE.part
    format_ntfs "$tmp" "$HUGE_SIZE" REKKONHUGE
    mount_ntfs "$tmp" "$BENCH_DIR/mnt"
    mkdir "$MNT/Keep"
    head -c 100000 /dev/urandom >"$MNT/Keep/live.bin"
    head -c 200000 /dev/urandom >"$MNT/Keep/gone.bin"
    printf 'small deleted file\n' >"$MNT/gone.txt"
    rm "$MNT/Keep/gone.bin" "$MNT/gone.txt"
    unmount_ntfs
    mv "$tmp" "$HUGE"
    echo "files_deleted=2" >"$HUGE_INFO"
}

trap cleanup_mount EXIT
if [[ -f $IMG && -f $INFO && -f $DELETED ]]; then
    note "reusing $IMG"
else
    rm -f "$IMG" "$INFO" "$DELETED"
    make_image
    note "image made in $(sed -n 's/^build_seconds=//p' "$INFO") s"
fi
if [[ -f $HUGE && -f $HUGE_INFO ]]; then
    note "reusing $HUGE"
else
    rm -f "$HUGE" "$HUGE_INFO"
    make_huge
    note "2 TiB image made"
fi
info() { sed -n "s/^$1=//p" "$INFO"; }
big_record=$(info big_record)
big_bytes=$(info big_bytes)
big_md5=$(info big_md5)
big_name=$(basename "$(info big_path)")
files_deleted=$(info files_deleted)
[[ -n $big_record && -n $big_bytes && -n $big_md5 && -n $files_deleted ]] ||
    die "$INFO is incomplete; delete it to make the image again"

# ---------------------------------------------------------------------------------------------
# 3. What each tool finds, and the correctness checks (outside the timed runs).
OUT=$(mktemp -d "$RAM/rekkon-bench.XXXXXX")
trap 'cleanup_mount; rm -rf "$OUT"' EXIT
q() { printf '%q' "$1"; }
qCLI=$(q "$CLI")
qIMG=$(q "$IMG")
qOUT=$(q "$OUT")
failures=0
fail() {
    echo "ntfs-bench: CHECK FAILED: $*" >&2
    failures=$((failures + 1))
}

# A sample of the deleted files to check after each recovery: every 100th, and every file of
# 1 MiB or more (the large file and the fragmented ones).
awk -F'\t' '!/^#/ && (++n % 100 == 0 || $2 >= 1048576)' "$DELETED" >"$BENCH_DIR/sample.tsv"

# Checks the sample against a recovery folder, finding each file by its name (the names are
# unique on the volume). Prints "matched/sampled, missing N, wrong N".
check_sample() { # folder
    python3 - "$1" "$BENCH_DIR/sample.tsv" <<'PY'
import hashlib, os, sys
root, sample = sys.argv[1], sys.argv[2]
where = {}
for d, _, names in os.walk(root):
    for n in names:
        where.setdefault(n, os.path.join(d, n))
ok = missing = wrong = total = 0
for line in open(sample, encoding='utf-8'):
    record, size, md5, path = line.rstrip('\n').split('\t')
    total += 1
    p = where.get(os.path.basename(path))
    if p is None:
        missing += 1
        continue
    h = hashlib.md5()
    with open(p, 'rb') as f:
        for chunk in iter(lambda: f.read(1 << 20), b''):
            h.update(chunk)
    if h.hexdigest() == md5:
        ok += 1
    else:
        wrong += 1
print('%d/%d match, %d missing, %d differ' % (ok, total, missing, wrong))
PY
}

# The large file's clusters, from istat, as "start_cluster count" runs.
cluster=$(fsstat "$IMG" | awk -F': *' '/^Cluster Size/ { print $2; exit }')
[[ $cluster =~ ^[0-9]+$ ]] || die "fsstat shows no cluster size"
istat "$IMG" "$big_record" | awk '
    /^Type: \$DATA/ { on = 1; next }
    /^Type: / { on = 0 }
    on { for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) {
             c = $i
             if (n && c == s + len) len++
             else { if (n) print s, len; s = c; len = 1; n = 1 }
         } }
    END { if (n) print s, len }' >"$BENCH_DIR/big-runs.txt"
[[ -s $BENCH_DIR/big-runs.txt ]] || die "istat shows no clusters for record $big_record"
runs=$(wc -l <"$BENCH_DIR/big-runs.txt")
if [[ $runs == 1 ]]; then
    read -r s _ <"$BENCH_DIR/big-runs.txt"
    DD_CMD="dd if=$qIMG of=$qOUT/dd.bin bs=4M iflag=skip_bytes,count_bytes skip=$((s * cluster)) count=$big_bytes status=none"
else
    # One dd per run, each written at its place in the output; the last stops at the size.
    awk -v img="$qIMG" -v cs="$cluster" -v size="$big_bytes" '
        { bytes = $2 * cs; if (done + bytes > size) bytes = size - done
          if (bytes > 0) printf "dd if=%s of=\"$1\" bs=4M iflag=skip_bytes,count_bytes oflag=seek_bytes conv=notrunc skip=%d seek=%d count=%d status=none\n", img, $1 * cs, done, bytes
          done += bytes }' "$BENCH_DIR/big-runs.txt" >"$BENCH_DIR/dd-big.sh"
    DD_CMD="bash $(q "$BENCH_DIR/dd-big.sh") $qOUT/dd.bin"
fi
eval "$DD_CMD"
dd_md5=$(md5sum "$OUT/dd.bin" | cut -d' ' -f1)
[[ $dd_md5 == "$big_md5" ]] || fail "dd of the large file's $runs run(s) differs from the original"
icat "$IMG" "$big_record" >"$OUT/icat.bin"
icat_md5=$(md5sum "$OUT/icat.bin" | cut -d' ' -f1)
rm -f "$OUT/dd.bin" "$OUT/icat.bin"

fls -rd "$IMG" >"$BENCH_DIR/fls.txt"
# Deleted entries, by record number (a file can show twice); the reserved records 16..23 that
# fls shows under $OrphanFiles are not counted.
fls_count() { # type letter
    awk -v t="$1" '$0 ~ "^[+ ]*[-" t "]/" t " [*] [0-9]" && !/OrphanFiles\/OrphanFile-/ {
        sub(/^[^*]*[*] /, ""); split($0, a, /[-:]/); seen[a[1]] = 1 } END { print length(seen) }' \
        "$BENCH_DIR/fls.txt"
}
fls_files=$(fls_count r)
fls_folders=$(fls_count d)
ntfsundelete --scan "$IMG" >"$BENCH_DIR/ntfsundelete-scan.txt" 2>&1 || true
# Records 16..23 (reserved, never used) show as nameless files at 0%: not counted.
nu_files=$(grep -E '^ *[0-9]+ +F' "$BENCH_DIR/ntfsundelete-scan.txt" | grep -vc ' <none>$' || true)
nu_folders=$(grep -cE '^ *[0-9]+ +D' "$BENCH_DIR/ntfsundelete-scan.txt" || true)

note "ntfsundelete: recovering every deleted file once, for the checks"
mkdir -p "$OUT/nu"
ntfsundelete "$IMG" --undelete --match '*' --truncate --destination "$OUT/nu" >/dev/null 2>&1 || true
nu_written=$(find "$OUT/nu" -type f | wc -l)
nu_sample=$(check_sample "$OUT/nu")
rm -rf "$OUT/nu"

# rekkon-cli: does it read this volume at all?
rekkon=yes
rekkon_found=n/a rekkon_big=n/a rekkon_sample=n/a rekkon_written=n/a huge_found=n/a rekkon_paths=n/a
huge_deleted=$(sed -n 's/^files_deleted=//p' "$HUGE_INFO")
if "$CLI" list "$IMG" --format json >"$BENCH_DIR/rekkon-list.json" 2>"$BENCH_DIR/rekkon-list.err" &&
    jq -e 'type == "array"' "$BENCH_DIR/rekkon-list.json" >/dev/null 2>&1; then
    rekkon_found=$(jq length "$BENCH_DIR/rekkon-list.json")
    [[ $rekkon_found == "$files_deleted" ]] ||
        fail "rekkon-cli lists $rekkon_found entries; $files_deleted files were deleted"
    jq -e --argjson r "$big_record" --argjson b "$big_bytes" \
        'any(.[]; (.location | tostring) == ($r | tostring) and .size == $b)' \
        "$BENCH_DIR/rekkon-list.json" >/dev/null || fail "rekkon-cli does not list record $big_record with its size"

    # Each listed entry against the deleted file of its record: name, folder and size.
    rekkon_paths=$(python3 - "$BENCH_DIR/rekkon-list.json" "$DELETED" <<'PY'
import json, sys
listed, deleted = sys.argv[1], sys.argv[2]
want = {}
for line in open(deleted, encoding='utf-8'):
    if not line.startswith('#'):
        record, size, _, path = line.rstrip('\n').split('\t')
        want[int(record)] = (int(size), '\\' + path.replace('/', '\\'))
ok = 0
for e in json.load(open(listed, encoding='utf-8')):
    folder = e.get('folder') or ''
    path = folder.rstrip('\\') + '\\' + e.get('name', '')
    if want.get(int(e.get('location', -1))) == (e.get('size'), path):
        ok += 1
print('%d/%d' % (ok, len(want)))
PY
    )
    [[ ${rekkon_paths%/*} == "${rekkon_paths#*/}" ]] ||
        fail "rekkon-cli lists $rekkon_paths deleted files with their record, size, folder and name"

    huge_found=$("$CLI" list "$HUGE" --format json | jq length) || huge_found=error
    [[ $huge_found == "$huge_deleted" ]] ||
        fail "rekkon-cli lists $huge_found entries on the 2 TiB image; $huge_deleted files were deleted"

    "$CLI" recover "$IMG" --to "$OUT/rekkon" --only "$big_record" >/dev/null ||
        fail "rekkon-cli recover --only $big_record failed"
    got=$(find "$OUT/rekkon" -type f -name "$big_name" | head -n 1)
    rekkon_big=$([[ -n $got ]] && md5sum "$got" | cut -d' ' -f1 || echo missing)
    [[ $rekkon_big == "$big_md5" ]] || fail "the large file recovered by rekkon-cli differs from the original"
    rm -rf "$OUT/rekkon"

    note "rekkon-cli: recovering every deleted file once, for the checks"
    "$CLI" recover "$IMG" --to "$OUT/rekkon" >/dev/null || fail "rekkon-cli recover (all) failed"
    rekkon_written=$(find "$OUT/rekkon" -type f | wc -l)
    rekkon_sample=$(check_sample "$OUT/rekkon")
    [[ $rekkon_sample =~ ^([0-9]+)/([0-9]+)\ match,\ 0\ missing,\ 0\ differ$ && ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] ||
        fail "rekkon-cli recover (all): $rekkon_sample"
    rm -rf "$OUT/rekkon"
else
    rekkon=no
    note "rekkon-cli cannot list this NTFS volume ($(head -c 200 "$BENCH_DIR/rekkon-list.err" | tr '\n' ' ')); its figures are n/a"
fi

# ---------------------------------------------------------------------------------------------
# 4. Timings: one warm-up run per command (page cache warm: the image is read in full before),
# then the timed runs; the best (minimum) is compared, the median shown beside it. Before each
# recovery run its output folder on the RAM disk is removed.
cat "$IMG" >/dev/null
hf() { hyperfine --style basic --warmup 1 "$@" >&2; }
list_cmds=() big_cmds=() all_cmds=()
if [[ $rekkon == yes ]]; then
    list_cmds+=(-n rekkon-list "$qCLI list $qIMG --format json > /dev/null")
    big_cmds+=(-n rekkon-recover "$qCLI recover $qIMG --only $big_record --to $qOUT/r > /dev/null")
    all_cmds+=(-n rekkon-recover-all "$qCLI recover $qIMG --to $qOUT/r > /dev/null")
fi

note "timing list vs ntfsundelete --scan vs fls -rd"
hf --runs "$RUNS" --export-json "$BENCH_DIR/ntfs-list.json" "${list_cmds[@]}" \
    -n ntfsundelete-scan "ntfsundelete --scan $qIMG > /dev/null" \
    -n fls "fls -rd $qIMG > /dev/null"

note "timing the recovery of $big_name ($big_bytes bytes, record $big_record, $runs run(s))"
hf --runs "$RUNS" --export-json "$BENCH_DIR/ntfs-big.json" \
    --prepare "rm -rf $qOUT/r $qOUT/icat.bin $qOUT/dd.bin && mkdir -p $qOUT" "${big_cmds[@]}" \
    -n icat "icat $qIMG $big_record > $qOUT/icat.bin" \
    -n dd "$DD_CMD"

note "timing the recovery of every deleted file ($files_deleted)"
hf --runs "$RECOVER_RUNS" --export-json "$BENCH_DIR/ntfs-all.json" \
    --prepare "rm -rf $qOUT/r $qOUT/nu && mkdir -p $qOUT/nu" "${all_cmds[@]}" \
    -n ntfsundelete-all "ntfsundelete $qIMG --undelete --match '*' --truncate --destination $qOUT/nu > /dev/null 2>&1 || true"
rm -rf "${OUT:?}"/*

# Peak memory (maximum resident set), one run each after the timed ones.
peak() { # command...
    /usr/bin/time -f %M -o "$BENCH_DIR/peak.txt" "$@" >/dev/null 2>&1 && cat "$BENCH_DIR/peak.txt" || echo n/a
}
rss_list=n/a rss_huge=n/a
if [[ $rekkon == yes ]]; then
    rss_list=$(peak "$CLI" list "$IMG" --format json)
    rss_huge=$(peak "$CLI" list "$HUGE" --format json)
fi
rss_nu=$(peak ntfsundelete --scan "$IMG")
rss_fls=$(peak fls -rd "$IMG")

# ---------------------------------------------------------------------------------------------
# 5. Report.
stat_of() { jq -r --arg n "$2" --arg f "$3" '.results[] | select(.command == $n) | .[$f]' "$1"; }
best() { stat_of "$1" "$2" min; }
row() {
    jq -r --arg n "$2" '.results[] | select(.command == $n) |
        "\(.command)\t\(.min)\t\(.median)\t\(.mean)\t\(.stddev)"' "$1" |
        awk -F'\t' '{ printf "  %-20s best %8.3f s   median %8.3f s   mean %8.3f s +- %.3f\n", $1, $2, $3, $4, $5 }'
}
ratio() {
    if [[ $1 == n/a || $2 == n/a ]]; then echo n/a; else awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; fi
}
verdict() { # value target le|ge|lt
    [[ $1 == n/a ]] && { echo "n/a (rekkon-cli cannot list NTFS)"; return; }
    awk -v v="$1" -v t="$2" -v op="$3" 'BEGIN {
        ok = op == "le" ? v <= t : op == "lt" ? v < t : v >= t; print ok ? "PASS" : "FAIL" }'
}
mibs() {
    if [[ $1 == n/a ]]; then echo n/a; else awk -v t="$1" -v b="$big_bytes" 'BEGIN { printf "%.0f MiB/s", b / 1048576 / t }'; fi
}
mib() {
    if [[ $1 == n/a ]]; then echo n/a; else awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; fi
}

t_nu=$(best "$BENCH_DIR/ntfs-list.json" ntfsundelete-scan)
t_fls=$(best "$BENCH_DIR/ntfs-list.json" fls)
t_icat=$(best "$BENCH_DIR/ntfs-big.json" icat)
t_dd=$(best "$BENCH_DIR/ntfs-big.json" dd)
t_nu_all=$(best "$BENCH_DIR/ntfs-all.json" ntfsundelete-all)
t_list=n/a t_rec=n/a t_all=n/a
if [[ $rekkon == yes ]]; then
    t_list=$(best "$BENCH_DIR/ntfs-list.json" rekkon-list)
    t_rec=$(best "$BENCH_DIR/ntfs-big.json" rekkon-recover)
    t_all=$(best "$BENCH_DIR/ntfs-all.json" rekkon-recover-all)
fi
r_nu=$(ratio "$t_list" "$t_nu")
r_fls=$(ratio "$t_list" "$t_fls")
r_dd=$(ratio "$t_dd" "$t_rec") # throughput ratio = inverse time ratio
r_icat=$(ratio "$t_icat" "$t_rec")
r_all=$(ratio "$t_all" "$t_nu_all")
huge_mib=$(mib "$rss_huge")

{
    echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), nice $NICE"
    echo "rekkon-cli: $CLI"
    echo "image:   $IMG ($(du -h --apparent-size "$IMG" | cut -f1) sparse, $(du -h "$IMG" | cut -f1) used, NTFS, $cluster-byte clusters)"
    sed 's/^/         /' "$INFO"
    echo "2 TiB:   $HUGE ($(du -h --apparent-size "$HUGE" | cut -f1) sparse, $(du -h "$HUGE" | cut -f1) used)"
    echo "deleted files found: rekkon-cli list $rekkon_found; ntfsundelete --scan $nu_files files" \
        "(+ $nu_folders folders); fls -rd $fls_files files (+ $fls_folders folders); deleted $files_deleted"
    echo "$big_name: record $big_record, $big_bytes bytes in $runs run(s) of $cluster-byte clusters"
    echo "timings (best of $RUNS after 1 warm-up, recover-all best of $RECOVER_RUNS; page cache warm; outputs in $RAM):"
    [[ $rekkon == yes ]] && row "$BENCH_DIR/ntfs-list.json" rekkon-list
    row "$BENCH_DIR/ntfs-list.json" ntfsundelete-scan
    row "$BENCH_DIR/ntfs-list.json" fls
    [[ $rekkon == yes ]] && row "$BENCH_DIR/ntfs-big.json" rekkon-recover
    row "$BENCH_DIR/ntfs-big.json" icat
    row "$BENCH_DIR/ntfs-big.json" dd
    [[ $rekkon == yes ]] && row "$BENCH_DIR/ntfs-all.json" rekkon-recover-all
    row "$BENCH_DIR/ntfs-all.json" ntfsundelete-all
    echo "peak memory (max RSS): rekkon-cli list $(mib "$rss_list") on the image, $huge_mib on 2 TiB;" \
        "ntfsundelete --scan $(mib "$rss_nu"); fls -rd $(mib "$rss_fls")"
    echo "targets (best times):"
    echo "  list / ntfsundelete --scan time:     $r_nu   (target <= 0.5: $(verdict "$r_nu" 0.5 le))"
    echo "  list / fls -rd time:                 $r_fls   (target <= 0.05: $(verdict "$r_fls" 0.05 le))"
    echo "  large file throughput / dd:          $r_dd   (target >= 0.8: $(verdict "$r_dd" 0.8 ge))"
    echo "      rekkon $(mibs "$t_rec"), dd $(mibs "$t_dd"), icat $(mibs "$t_icat"); rekkon / icat $r_icat"
    echo "  recover-all time / ntfsundelete:     $r_all   (target <= 1.0: $(verdict "$r_all" 1.0 le))"
    echo "  peak memory of list on 2 TiB:        $huge_mib   (target < 32 MiB: $(verdict "$rss_huge" 32768 lt))"
    echo "checks:"
    echo "  large file md5 $big_md5: rekkon-cli $rekkon_big, icat $icat_md5, dd $dd_md5"
    echo "  rekkon-cli list: $rekkon_paths deleted files listed at their record with their size, folder and name"
    echo "  2 TiB image: rekkon-cli lists $huge_found entries; $huge_deleted files were deleted"
    echo "  recover-all, sample of $(wc -l <"$BENCH_DIR/sample.tsv") (every 100th deleted file, and those of 1 MiB or more):"
    echo "      rekkon-cli wrote $rekkon_written files: $rekkon_sample"
    echo "      ntfsundelete wrote $nu_written files: $nu_sample"
    echo "  failed checks: $failures"
} | tee "$BENCH_DIR/ntfs-summary.txt"

[[ $failures == 0 ]] || die "$failures check(s) failed (see above)"
