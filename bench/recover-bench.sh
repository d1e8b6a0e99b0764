#!/usr/bin/env bash
# Recovery against the read limit: `rekkon-cli recover --only` of one 300 MiB deleted file that
# lies in one run of clusters, paired with `dd` of the very same bytes, on FAT32, exFAT and NTFS,
# both writing into a RAM file system, page cache warm.
#
# Usage: sudo bench/recover-bench.sh   (root: the exFAT and NTFS images are filled through FUSE)
#
# Environment:
#   REKKON_CLI         the rekkon-cli binary to time; when unset, it is built (Release) in
#                      <repo>/build-bench, or brought up to date in REKKON_BUILD
#   REKKON_BENCH_DIR   where the images live, outside the repository (default /var/tmp/rekkon-bench);
#                      each image is made once and reused while its .info file exists
#   REKKON_BENCH_RAM   a folder on a tmpfs for the outputs (default /dev/shm)
#   REKKON_BENCH_RUNS  timed runs per command after one warm-up run (default 15)
#   REKKON_BENCH_NICE  niceness of the whole run (default 10), as the machine is shared
#
# Needs: root, mkfs.fat and mtools, mkfs.exfat and mount.exfat-fuse, mkntfs and ntfs-3g, losetup,
#        python3, jq, md5sum, dd.
#
# Prints, per file system, the medians of both commands, dd's time / rekkon's (the share of dd's
# speed; "target met" at 0.9 or more) and the median of that ratio over the pairs of runs. Exit status non-zero only on errors or a wrong md5.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RAM=${REKKON_BENCH_RAM:-/dev/shm}
RUNS=${REKKON_BENCH_RUNS:-15}
BIG_BYTES=$((300 * 1024 * 1024 + 4321))
BIG_NAME=BIGFILE.BIN

die() {
    echo "recover-bench: $*" >&2
    exit 1
}
note() { echo "recover-bench: $*" >&2; }

[[ $(id -u) == 0 ]] || die "run as root: the exFAT and NTFS images are filled through FUSE"
for tool in mkfs.fat mcopy mdel mkfs.exfat mount.exfat-fuse mkntfs ntfs-3g losetup mountpoint \
    python3 jq md5sum dd; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
[[ $(stat -f -c %T "$RAM" 2>/dev/null) == tmpfs ]] || die "$RAM is not a tmpfs (REKKON_BENCH_RAM)"
mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd -P)
case "$BENCH_DIR/" in
    "$(cd "$REPO" && pwd -P)/"*) die "REKKON_BENCH_DIR ($BENCH_DIR) must lie outside the repository" ;;
esac
export TZ=UTC LC_ALL=C.UTF-8

bench_cli
CLI=$(cd "$(dirname "$CLI")" && pwd -P)/$(basename "$CLI")

# ---------------------------------------------------------------------------------------------
# The images: 400 MiB (NTFS 1 GiB), the large file (fixed pseudo-random bytes) written first on the
# empty volume, so it lies in one run, a small file after it, then the large file deleted.
SRC=$BENCH_DIR/recover-big.bin
if [[ ! -f $SRC.md5 ]]; then
    python3 - "$BIG_BYTES" >"$SRC" <<'PY'
import random, sys
rng, left = random.Random(22), int(sys.argv[1])
while left:
    n = min(left, 1 << 20)
    sys.stdout.buffer.write(rng.randbytes(n))
    left -= n
PY
    md5sum <"$SRC" | cut -d' ' -f1 >"$SRC.md5"
fi
BIG_MD5=$(cat "$SRC.md5")

MNT="" FUSE_PID="" LOOP=""
cleanup() {
    if [[ -n $MNT ]]; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
        if [[ -n $FUSE_PID ]]; then wait "$FUSE_PID" 2>/dev/null || true; fi
    fi
    if [[ -n $LOOP ]]; then losetup -d "$LOOP" 2>/dev/null || true; fi
    rm -rf "${OUT:-}"
}
trap cleanup EXIT
# Runs a FUSE driver in the foreground as a child of this shell: after `umount` the script waits
# for it, when every write has reached the image.
fuse_mount() { # mountpoint command...
    local mnt=$1
    shift
    mkdir -p "$mnt"
    "$@" >"$BENCH_DIR/recover-fuse.log" 2>&1 &
    FUSE_PID=$!
    MNT=$mnt
    for _ in $(seq 100); do
        mountpoint -q "$mnt" && return 0
        kill -0 "$FUSE_PID" 2>/dev/null || die "$1 did not mount (log: $BENCH_DIR/recover-fuse.log)"
        sleep 0.1
    done
    die "$1 did not mount in 10 s"
}
fuse_unmount() {
    sync
    umount "$MNT"
    wait "$FUSE_PID" || die "the FUSE driver ended with an error (log: $BENCH_DIR/recover-fuse.log)"
    rmdir "$MNT"
    MNT="" FUSE_PID=""
    if [[ -n $LOOP ]]; then losetup -d "$LOOP"; fi
    LOOP=""
}
fill_mounted() {
    cp "$SRC" "$MNT/$BIG_NAME"
    echo small >"$MNT/SMALL.TXT"
    sync
    rm "$MNT/$BIG_NAME"
}

make_image() { # fs image
    local fs=$1 img=$2 tmp=$2.part
    rm -f "$tmp"
    # NTFS keeps a stretch in the middle of the volume for itself: 1 GiB leaves room for the
    # file before it.
    truncate -s "$([[ $fs == ntfs ]] && echo 1G || echo 400M)" "$tmp"
    case $fs in
        fat32)
            mkfs.fat -F 32 -s 8 -n RECOVER "$tmp" >/dev/null
            MTOOLS_SKIP_CHECK=1 mcopy -i "$tmp" "$SRC" "::$BIG_NAME"
            echo small | MTOOLS_SKIP_CHECK=1 mcopy -i "$tmp" - ::SMALL.TXT
            MTOOLS_SKIP_CHECK=1 mdel -i "$tmp" "::$BIG_NAME"
            ;;
        exfat)
            mkfs.exfat -L RECOVER "$tmp" >/dev/null
            # As root the driver wants a block device.
            LOOP=$(losetup -f --show "$tmp")
            fuse_mount "$BENCH_DIR/mnt-recover" mount.exfat-fuse -d "$LOOP" "$BENCH_DIR/mnt-recover"
            fill_mounted
            fuse_unmount
            ;;
        ntfs)
            mkntfs -Q -F -q -c 4096 -L RECOVER "$tmp" >/dev/null 2>&1
            fuse_mount "$BENCH_DIR/mnt-recover" ntfs-3g -o big_writes,no_detach "$tmp" "$BENCH_DIR/mnt-recover"
            fill_mounted
            fuse_unmount
            ;;
    esac
    mv "$tmp" "$img"
}

OUT=$(mktemp -d "$RAM/rekkon-recover-bench.XXXXXX")
SUMMARY=$BENCH_DIR/recover-summary.txt
{
    echo "recover-bench: $(date -u +%FT%TZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "rekkon-cli: $CLI"
    echo "file: $BIG_BYTES bytes, into $RAM (tmpfs); medians of $RUNS runs, page cache warm"
    printf '%-6s %12s %12s %8s %8s\n' fs rekkon dd dd/rekkon pairs
} >"$SUMMARY"
failed=0
for fs in fat32 exfat ntfs; do
    img=$BENCH_DIR/recover-$fs.img
    if [[ ! -f $img.info ]]; then
        note "making $img"
        make_image "$fs" "$img"
        # Where the file's bytes lie: its first 64 KiB found in the image; the md5 of the bytes
        # from there proves the run whole.
        python3 - "$img" "$SRC" >"$img.info.part" <<'PY'
import mmap, sys
img, src = sys.argv[1], sys.argv[2]
with open(src, 'rb') as f:
    head = f.read(65536)
with open(img, 'rb') as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as m:
    at = m.find(head)
if at < 0:
    sys.exit('the file is not in the image')
print('offset=%d' % at)
PY
        mv "$img.info.part" "$img.info"
    fi
    offset=$(sed -n 's/^offset=//p' "$img.info")
    cat "$img" >/dev/null
    # The entry to recover: the one deleted file of that size.
    loc=$("$CLI" list "$img" --format json | jq -r --argjson n "$BIG_BYTES" \
        '[.. | objects | select(.size? == $n)][0].location')
    [[ -n $loc && $loc != null ]] || die "$fs: rekkon-cli does not list the large file"
    extra=()
    [[ $fs == fat32 ]] && extra=(--first-char B)
    rekkon=("$CLI" recover "$img" --to "$OUT/r" --only "$loc" "${extra[@]}")
    ddcmd="dd if=$img of=$OUT/dd.bin bs=1M iflag=skip_bytes,count_bytes skip=$offset count=$BIG_BYTES status=none"
    # Checks, outside the timed runs.
    rm -rf "${OUT:?}"/*
    "${rekkon[@]}" >/dev/null
    eval "$ddcmd"
    got_r=$(find "$OUT/r" -type f -exec md5sum {} + | cut -d' ' -f1)
    got_d=$(md5sum <"$OUT/dd.bin" | cut -d' ' -f1)
    if [[ $got_r != "$BIG_MD5" || $got_d != "$BIG_MD5" ]]; then
        note "$fs: md5 mismatch (rekkon $got_r, dd $got_d, original $BIG_MD5)"
        failed=1
        continue
    fi
    # Paired runs: rekkon, then dd, then the next pair, so that a change in the machine's load
    # falls on both alike; one warm-up pair first. Medians of each, and of the pairs' ratios.
    python3 - "$RUNS" "$OUT" "$BENCH_DIR/recover-$fs.json" "$ddcmd" "${rekkon[@]}" <<'PY' >>"$SUMMARY"
import json, shutil, shlex, statistics, subprocess, sys, time
runs, out, export, dd, rekkon = int(sys.argv[1]), sys.argv[2], sys.argv[3], shlex.split(sys.argv[4]), sys.argv[5:]
fs = export.rsplit('recover-', 1)[1][:-len('.json')]
def timed(cmd):
    shutil.rmtree(out + '/r', ignore_errors=True)
    subprocess.run(['rm', '-f', out + '/dd.bin'], check=True)
    subprocess.run(['sync'], check=True)
    began = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - began
timed(rekkon), timed(dd)
r, d = [], []
for _ in range(runs):
    r.append(timed(rekkon))
    d.append(timed(dd))
json.dump({'rekkon': r, 'dd': d}, open(export, 'w'))
share = statistics.median(d) / statistics.median(r)
pairs = statistics.median(b / a for a, b in zip(r, d))
print('%-6s %10.3f s %10.3f s %8.3f %8.3f  %s' % (fs, statistics.median(r), statistics.median(d), share, pairs,
      'target met' if share >= 0.9 else 'target missed'))
PY
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$SUMMARY"
cat "$SUMMARY"
exit "$failed"
