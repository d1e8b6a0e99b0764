#!/usr/bin/env bash
# exFAT benchmark: rekkon-cli against The Sleuth Kit (fls) and a plain dd of the same bytes, on a
# 32 GiB sparse image with 100,000 small files, half of them deleted, and one 1 GiB deleted file
# in one run of clusters; peak memory of `list` there.
#
# Usage: sudo bench/exfat-bench.sh     (root: the image is filled through exfat-fuse on a loop device)
#
# Environment:
#   REKKON_CLI         the rekkon-cli binary to time; when unset, it is built as below
#   REKKON_BUILD       an existing build folder to use (rekkon-cli is brought up to date there);
#                      default: <repo>/build-bench, configured here with CMAKE_BUILD_TYPE=Release
#   REKKON_BENCH_DIR   where the image and the outputs live, outside the repository;
#                      default: /var/tmp/rekkon-bench. The image is made once and then reused.
#   REKKON_BENCH_RUNS  timed runs per command after one warm-up run (default 10)
#   REKKON_BENCH_FLS_RUNS  timed runs of fls -rd (default 3: it takes over 20 s a run)
#   REKKON_BENCH_RAM   a folder on a RAM disk for a second set of recovery outputs
#                      (default /dev/shm; skipped when it is not a tmpfs)
#   REKKON_BENCH_NICE  niceness of the whole run (default 10), as the machine is shared
#
# Needs: root, losetup, mkfs.exfat (exfatprogs), mount.exfat-fuse (exfat-fuse), fls (The Sleuth
#        Kit), hyperfine, python3, jq, md5sum, dd, /usr/bin/time; cmake and a C++20 compiler
#        unless REKKON_CLI is given.
#
# Exit status: 0 when everything ran, the list holds every deleted file and the recovered file
# has the original's md5, whether or not the speed targets were met (they print as "target met"
# / "target missed"); non-zero on any error or failed check.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RUNS=${REKKON_BENCH_RUNS:-10}
FLS_RUNS=${REKKON_BENCH_FLS_RUNS:-3}
RAM=${REKKON_BENCH_RAM:-/dev/shm}

IMG_SIZE=32G                               # sparse; mkfs.exfat picks the cluster size
BIG_BYTES=$((1024 * 1024 * 1024))          # the large deleted file
BIG_NAME=BigVideo_0001.mp4

die() {
    echo "exfat-bench: $*" >&2
    exit 1
}
note() { echo "exfat-bench: $*" >&2; }

[[ $(id -u) == 0 ]] || die "run as root: the image is filled through exfat-fuse on a loop device"
missing=()
for pkg in exfatprogs exfat-fuse sleuthkit hyperfine jq time; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for tool in losetup findmnt mkfs.exfat mount.exfat-fuse mountpoint fls hyperfine python3 jq md5sum awk dd \
    /usr/bin/time; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
[[ $FLS_RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_FLS_RUNS must be a positive number"

mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd -P)
case "$BENCH_DIR/" in
    "$(cd "$REPO" && pwd -P)/"*) die "REKKON_BENCH_DIR ($BENCH_DIR) must lie outside the repository" ;;
esac
[[ $(stat -f -c %T "$RAM" 2>/dev/null) == tmpfs ]] || { note "$RAM is not a tmpfs: no RAM-disk figures"; RAM=""; }

LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
IMG=$BENCH_DIR/exfat-bench.img
INFO=$BENCH_DIR/exfat-bench.info        # written last: its presence marks a complete image
DELETED=$BENCH_DIR/exfat-bench.deleted  # size and path of every deleted file

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
# 2. The image, made once.
#
# The driver refuses a plain file when run as root, so the image goes through a loop device.
# It runs in the foreground (-d, its debug log cut to the last lines) as a child of this shell:
# after `umount` the script waits for it to exit, when every write is on the device.
MNT="" FUSE_PID="" LOOP=""
mount_exfat() { # image mountpoint
    LOOP=$(losetup -f --show "$1")
    mkdir -p "$2"
    mount.exfat-fuse -d "$LOOP" "$2" > >(tail -n 200 >"$BENCH_DIR/exfat-fuse.log") 2>&1 &
    FUSE_PID=$!
    MNT=$2
    for _ in $(seq 100); do
        mountpoint -q "$2" && return 0
        kill -0 "$FUSE_PID" 2>/dev/null || die "exfat-fuse did not mount $1 (log: $BENCH_DIR/exfat-fuse.log)"
        sleep 0.1
    done
    die "exfat-fuse did not mount $1 in 10 s"
}
unmount_exfat() {
    [[ -n $MNT ]] || return 0
    sync
    umount "$MNT"
    wait "$FUSE_PID" || die "exfat-fuse ended with an error (log: $BENCH_DIR/exfat-fuse.log)"
    rmdir "$MNT"
    losetup -d "$LOOP"
    MNT="" FUSE_PID="" LOOP=""
}
cleanup_mount() {
    if [[ -n $MNT ]]; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
        if [[ -n $FUSE_PID ]]; then wait "$FUSE_PID" 2>/dev/null || true; fi
        rmdir "$MNT" 2>/dev/null || true
    fi
    if [[ -n $LOOP ]]; then losetup -d "$LOOP" 2>/dev/null || true; fi
}

# The tree: 10 folders Dir_0..Dir_9, each with 10 folders Sub_0..Sub_9 of 1,000 files
# (100,000 files of 100..900 bytes, fixed pseudo-random content; short 8.3-like names and
# 25-character names, which take a second name entry, alternate). BigVideo_0001.mp4 (1 GiB of
# pseudo-random bytes) is written first on the empty volume, so its clusters are one run.
# Deleted afterwards: Dir_8 with its 10 folders (rm -r, 10,000 files), every other file in
# Dir_0..Dir_7 (40,000) and the large file: 50,001 files. Nothing is written after the
# deletions, so every deleted file is intact.
make_image() {
    local tmp=$IMG.part start=$SECONDS
    rm -f "$tmp"
    truncate -s "$IMG_SIZE" "$tmp"
    mkfs.exfat -L REKKONBENCH "$tmp" >"$BENCH_DIR/mkfs.log" 2>&1 ||
        { cat "$BENCH_DIR/mkfs.log" >&2; die "mkfs.exfat failed"; }
    mount_exfat "$tmp" "$BENCH_DIR/mnt"
    note "filling $tmp through exfat-fuse (100,000 files; takes minutes)"
    python3 - "$MNT" "$BIG_BYTES" "$BIG_NAME" "$DELETED.part" "$INFO.part" >&2 <<'PY'
import hashlib, os, random, shutil, sys, time

mnt, big_bytes, big_name, deleted_out, info_out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
rng = random.Random(20261209)
began = time.monotonic()

# The large file first, in 4 MiB writes.
digest = hashlib.md5()
with open(os.path.join(mnt, big_name), 'xb', buffering=0) as f:
    left = big_bytes
    while left:
        chunk = rng.randbytes(min(left, 4 << 20))
        digest.update(chunk)
        f.write(chunk)
        left -= len(chunk)
big_md5 = digest.hexdigest()
t_big = time.monotonic() - began
print('large file written: %.1f s' % t_big, flush=True)

pool = rng.randbytes(1 << 20)
files = []  # (path, size)
serial = 0
for d in range(10):
    for s in range(10):
        folder = 'Dir_%d/Sub_%d' % (d, s)
        os.makedirs(os.path.join(mnt, folder))
        base = os.path.join(mnt, folder)
        for i in range(1000):
            serial += 1
            name = ('IMG_%06d.JPG' % serial) if serial % 2 else ('Holiday photo %06d.jpeg' % serial)
            size = rng.randint(100, 900)
            at = rng.randrange(0, len(pool) - size)
            data = (b'%08d\n' % serial + pool[at:at + size])[:size]
            fd = os.open(os.path.join(base, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            try:
                os.write(fd, data)
            finally:
                os.close(fd)
            files.append((folder + '/' + name, size))
    print('Dir_%d done: %d files, %.1f s' % (d, serial, time.monotonic() - began), flush=True)
t_files = time.monotonic() - began - t_big

deleted = [(big_name, big_bytes)]
shutil.rmtree(os.path.join(mnt, 'Dir_8'))
for n, (path, size) in enumerate(files):
    if path.startswith('Dir_8/'):
        deleted.append((path, size))
    elif not path.startswith('Dir_9/') and n % 2 == 1:
        os.unlink(os.path.join(mnt, path))
        deleted.append((path, size))
os.unlink(os.path.join(mnt, big_name))
t_delete = time.monotonic() - began - t_big - t_files
print('deleted %d files, %.1f s' % (len(deleted), time.monotonic() - began), flush=True)

with open(deleted_out, 'w') as f:
    f.write('# size\tpath\n')
    f.writelines('%d\t%s\n' % (size, path) for path, size in deleted)
with open(info_out, 'w') as f:
    f.write('big_name=%s\nbig_bytes=%d\nbig_md5=%s\n' % (big_name, big_bytes, big_md5))
    f.write('files_created=%d\nfolders_created=110\nfiles_deleted=%d\nfolders_deleted=11\n' %
            (len(files) + 1, len(deleted)))
    f.write('seconds_big_file=%.1f\nseconds_small_files=%.1f\nseconds_deleting=%.1f\n' %
            (t_big, t_files, t_delete))
PY
    unmount_exfat
    mv "$DELETED.part" "$DELETED"
    mv "$tmp" "$IMG"
    echo "build_seconds=$((SECONDS - start))" >>"$INFO.part"
    mv "$INFO.part" "$INFO"
}

trap cleanup_mount EXIT
if [[ -f $IMG && -f $INFO && -f $DELETED ]]; then
    note "reusing $IMG"
else
    rm -f "$IMG" "$INFO" "$DELETED"
    avail=$(df -P -k "$BENCH_DIR" | awk 'NR == 2 { print $4 }')
    [[ $avail -gt $((4 * 1024 * 1024)) ]] || die "less than 4 GiB free in $BENCH_DIR (the image takes about 1.5 GiB)"
    make_image
    note "image made in $(sed -n 's/^build_seconds=//p' "$INFO") s"
fi
info() { sed -n "s/^$1=//p" "$INFO"; }
big_name=$(info big_name)
big_bytes=$(info big_bytes)
big_md5=$(info big_md5)
files_deleted=$(info files_deleted)
[[ -n $big_name && -n $big_bytes && -n $big_md5 && -n $files_deleted ]] ||
    die "$INFO is incomplete; delete it to make the image again"

# The geometry, from the boot sector: where the cluster heap starts and the cluster size.
read -r heap_offset cluster_bytes < <(python3 - "$IMG" <<'PY'
import struct, sys
with open(sys.argv[1], 'rb') as f:
    bs = f.read(512)
assert bs[3:11] == b'EXFAT   ', 'not an exFAT boot sector'
heap = struct.unpack_from('<I', bs, 88)[0]
sector, per_cluster = 1 << bs[108], 1 << bs[109]
print(heap * sector, sector * per_cluster)
PY
)

# ---------------------------------------------------------------------------------------------
# 3. What each tool finds, and the checks (outside the timed runs).
OUT=$BENCH_DIR/out
ROUT=""
[[ -n $RAM ]] && ROUT=$(mktemp -d "$RAM/rekkon-bench.XXXXXX")
trap 'cleanup_mount; rm -rf "$OUT" ${ROUT:+"$ROUT"}' EXIT
rm -rf "$OUT"
mkdir -p "$OUT"
q() { printf '%q' "$1"; }
qCLI=$(q "$CLI")
qIMG=$(q "$IMG")
failures=0
fail() {
    echo "exfat-bench: CHECK FAILED: $*" >&2
    failures=$((failures + 1))
}

"$CLI" list "$IMG" --format json >"$BENCH_DIR/exfat-list.json" || die "rekkon-cli list failed"
rekkon_found=$(jq length "$BENCH_DIR/exfat-list.json")
# Every listed entry against the deleted files, by folder, name and size.
rekkon_paths=$(python3 - "$BENCH_DIR/exfat-list.json" "$DELETED" <<'PY'
import json, sys
listed, deleted = sys.argv[1], sys.argv[2]
want = {}
for line in open(deleted, encoding='utf-8'):
    if not line.startswith('#'):
        size, path = line.rstrip('\n').split('\t')
        want['\\' + path.replace('/', '\\')] = int(size)
ok = 0
for e in json.load(open(listed, encoding='utf-8')):
    path = (e.get('folder') or '').rstrip('\\') + '\\' + e.get('name', '')
    if want.get(path) == e.get('size'):
        ok += 1
print('%d/%d' % (ok, len(want)))  # listed right / deleted
PY
)
[[ ${rekkon_paths%/*} == "$rekkon_found" ]] ||
    fail "of the $rekkon_found entries rekkon-cli lists, only ${rekkon_paths%/*} are deleted files at their folder, name and size"

big_json=$(jq -c --arg n "$big_name" '[.[] | select(.name == $n)]' "$BENCH_DIR/exfat-list.json")
[[ $(jq length <<<"$big_json") == 1 ]] || die "rekkon-cli list does not show exactly one $big_name"
location=$(jq -r '.[0].location' <<<"$big_json")
[[ $(jq -r '.[0].size' <<<"$big_json") == "$big_bytes" ]] || die "rekkon-cli lists $big_name with a wrong size"
big_offset=$((heap_offset + (location - 2) * cluster_bytes))

fls -rd -f exfat "$IMG" >"$BENCH_DIR/exfat-fls.txt"
fls_files=$(grep -c '^[+ ]*r/r \* ' "$BENCH_DIR/exfat-fls.txt" || true)
fls_folders=$(grep -c '^[+ ]*d/d \* ' "$BENCH_DIR/exfat-fls.txt" || true)
# shellcheck disable=SC2016 # a literal $ in the pattern
fls_orphans=$(grep -c '^[+ ]*-/[rd] \* [0-9]*:.*\$OrphanFiles/' "$BENCH_DIR/exfat-fls.txt" || true)
[[ $rekkon_found -ge $fls_files ]] || fail "rekkon-cli lists $rekkon_found deleted files, fewer than the $fls_files fls names"

# dd of the same bytes: the file lies in one run from its first cluster.
dd_cmd() { # output file
    echo "dd if=$qIMG of=$(q "$1") bs=4M iflag=skip_bytes,count_bytes skip=$big_offset count=$big_bytes status=none"
}
eval "$(dd_cmd "$OUT/dd.bin")"
dd_md5=$(md5sum "$OUT/dd.bin" | cut -d' ' -f1)
[[ $dd_md5 == "$big_md5" ]] || fail "dd of $big_bytes bytes at $big_offset differs from the original"
rm -f "$OUT/dd.bin"

"$CLI" recover "$IMG" --to "$OUT/r" --only "$location" >/dev/null || fail "rekkon-cli recover --only $location failed"
rekkon_md5=$([[ -f $OUT/r/$big_name ]] && md5sum "$OUT/r/$big_name" | cut -d' ' -f1 || echo missing)
[[ $rekkon_md5 == "$big_md5" ]] || fail "the $big_name recovered by rekkon-cli differs from the original"
rm -rf "$OUT/r"

# ---------------------------------------------------------------------------------------------
# 4. Timings: one warm-up run per command (page cache warm: the image's used parts are read
# before), then the timed runs; medians compared. Before each recovery run its outputs are
# removed and dirty pages flushed, so no run pays for the write-back of an earlier one.
"$CLI" list "$IMG" --format json >/dev/null
eval "$(dd_cmd /dev/null)"
hf() { hyperfine --style basic --warmup 1 --runs "$RUNS" "$@" >&2; }

note "timing list"
hf --export-json "$BENCH_DIR/exfat-list-times.json" \
    -n rekkon-list "$qCLI list $qIMG --format json > /dev/null"
# fls takes over 20 s of CPU on this volume: fewer runs, its warm-up was the check above.
note "timing fls -rd ($FLS_RUNS runs)"
hyperfine --style basic --runs "$FLS_RUNS" --export-json "$BENCH_DIR/exfat-fls-times.json" \
    -n fls "fls -rd -f exfat $qIMG > /dev/null" >&2

recover_pair() { # name-suffix folder
    local qd
    qd=$(q "$2")
    hf --export-json "$BENCH_DIR/exfat-recover-$1.json" \
        --prepare "rm -rf $qd/r $qd/dd.bin && mkdir -p $qd && sync" \
        -n "rekkon-recover-$1" "$qCLI recover $qIMG --to $qd/r --only $location > /dev/null" \
        -n "dd-$1" "$(dd_cmd "$2/dd.bin")"
    rm -rf "$2/r" "$2/dd.bin"
}
note "timing the recovery of $big_name ($big_bytes bytes, cluster $location) into $OUT"
recover_pair disk "$OUT"
if [[ -n $ROUT ]]; then
    note "timing the recovery of $big_name into $ROUT (tmpfs)"
    recover_pair ram "$ROUT"
fi
note "timing the scan alone (list --only $location)"
hf --export-json "$BENCH_DIR/exfat-scan-only.json" \
    -n rekkon-scan-only "$qCLI list $qIMG --format json --only $location > /dev/null"

# Peak memory (maximum resident set), one run each after the timed ones.
peak() { # command...
    /usr/bin/time -v -o "$BENCH_DIR/peak.txt" "$@" >/dev/null 2>&1 &&
        awk -F': *' '/Maximum resident set size/ { print $2 }' "$BENCH_DIR/peak.txt" || echo n/a
}
rss_list=$(peak "$CLI" list "$IMG" --format json)
rss_fls=$(peak fls -rd -f exfat "$IMG")

# ---------------------------------------------------------------------------------------------
# 5. Report.
stat_of() { jq -r --arg n "$2" --arg f "$3" '.results[] | select(.command == $n) | .[$f]' "$1"; }
median() { stat_of "$1" "$2" median; }
row() {
    [[ -f $1 ]] || return 0
    jq -r --arg n "$2" '.results[] | select(.command == $n) |
        "\(.command)\t\(.median)\t\(.min)\t\(.mean)\t\(.stddev)"' "$1" |
        awk -F'\t' '{ printf "  %-20s median %8.3f s   min %8.3f s   mean %8.3f s +- %.3f\n", $1, $2, $3, $4, $5 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v v="$1" -v t="$2" -v op="$3" 'BEGIN {
    ok = op == "le" ? v <= t : op == "lt" ? v < t : v >= t; print ok ? "target met" : "target missed" }'; }
mibs() { awk -v t="$1" -v b="$big_bytes" 'BEGIN { printf "%.0f MiB/s", b / 1048576 / t }'; }
mib() { if [[ $1 == n/a ]]; then echo n/a; else awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; fi; }

t_list=$(median "$BENCH_DIR/exfat-list-times.json" rekkon-list)
t_fls=$(median "$BENCH_DIR/exfat-fls-times.json" fls)
t_scan=$(median "$BENCH_DIR/exfat-scan-only.json" rekkon-scan-only)
r_fls=$(ratio "$t_list" "$t_fls")
{
    echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), nice $NICE," \
        "load average $LOAD_START at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end"
    echo "rekkon-cli: $CLI"
    echo "image:   $IMG ($(du -h --apparent-size "$IMG" | cut -f1) sparse, $(du -h "$IMG" | cut -f1) used, exFAT," \
        "$cluster_bytes-byte clusters, cluster heap at byte $heap_offset)"
    sed 's/^/         /' "$INFO"
    echo "deleted files found: rekkon-cli list $rekkon_found; fls -rd $fls_files files with a name (+ $fls_folders folders," \
        "$fls_orphans nameless \$OrphanFiles entries); deleted $files_deleted (those of Dir_8 lie partly in its" \
        "folders' later clusters, which nothing links once the driver has zeroed their FAT entries: list --deep reads them)"
    echo "$big_name: first cluster $location (byte $big_offset), $big_bytes bytes"
    echo "timings (medians of $RUNS after 1 warm-up, fls of $FLS_RUNS; page cache warm):"
    row "$BENCH_DIR/exfat-list-times.json" rekkon-list
    row "$BENCH_DIR/exfat-fls-times.json" fls
    row "$BENCH_DIR/exfat-scan-only.json" rekkon-scan-only
    row "$BENCH_DIR/exfat-recover-disk.json" rekkon-recover-disk
    row "$BENCH_DIR/exfat-recover-disk.json" dd-disk
    [[ -n $ROUT ]] && row "$BENCH_DIR/exfat-recover-ram.json" rekkon-recover-ram
    [[ -n $ROUT ]] && row "$BENCH_DIR/exfat-recover-ram.json" dd-ram
    echo "peak memory (max RSS): rekkon-cli list $(mib "$rss_list"); fls -rd $(mib "$rss_fls")"
    echo "targets (medians):"
    echo "  list time:                  $(awk -v t="$t_list" 'BEGIN { printf "%.3f", t }') s   (target < 1 s: $(verdict "$t_list" 1 lt))"
    echo "  list / fls -rd time:        $r_fls   (target <= 0.2: $(verdict "$r_fls" 0.2 le))"
    echo "  peak memory of list:        $(mib "$rss_list")   (target < 64 MiB: $(verdict "${rss_list/n\/a/999999999}" 65536 lt))"
    for where in disk ram; do
        f=$BENCH_DIR/exfat-recover-$where.json
        [[ $where == ram && -z $ROUT ]] && continue
        t_rec=$(median "$f" "rekkon-recover-$where")
        t_dd=$(median "$f" "dd-$where")
        r_dd=$(ratio "$t_dd" "$t_rec") # throughput ratio = inverse time ratio
        label=$([[ $where == disk ]] && echo "$OUT ($(findmnt -n -o FSTYPE -T "$OUT"))" || echo "$ROUT (tmpfs)")
        echo "  large file / dd throughput into $label: $r_dd   (target >= 0.8: $(verdict "$r_dd" 0.8 ge))"
        echo "      rekkon $(mibs "$t_rec"), dd $(mibs "$t_dd"); best times: $(ratio "$(stat_of "$f" "dd-$where" min)" \
            "$(stat_of "$f" "rekkon-recover-$where" min)"); the scan alone $(awk -v t="$t_scan" 'BEGIN { printf "%.3f s", t }')"
    done
    echo "checks:"
    echo "  rekkon-cli list: $rekkon_paths deleted files listed with their folder, name and size"
    echo "  $big_name md5 $big_md5: rekkon-cli $rekkon_md5, dd $dd_md5"
    echo "  failed checks: $failures"
} | tee "$BENCH_DIR/exfat-summary.txt"

[[ $failures == 0 ]] || die "$failures check(s) failed (see above)"
