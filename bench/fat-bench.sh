#!/usr/bin/env bash
# FAT32 benchmark: rekkon-cli against The Sleuth Kit (fls, icat) and a plain read of the same
# number of bytes, on a large image with many deleted files and one large deleted file.
# Also list --deep against a dd of the data area scaled by the free share (target <= 1.5).
#
# Usage: bench/fat-bench.sh
#
# Environment:
#   REKKON_BUILD       an existing build folder to use (rekkon-cli is brought up to date there);
#                      default: <repo>/build-bench, configured here with CMAKE_BUILD_TYPE=Release
#   REKKON_BENCH_DIR   where the image and the outputs live, outside the repository;
#                      default: /var/tmp/rekkon-bench. The image is made once and then reused.
#   REKKON_BENCH_RUNS  timed runs per command after one warm-up run (default 10)
#
# Needs: cmake and a C++20 compiler, mkfs.fat, mtools, fls/icat (The Sleuth Kit), hyperfine,
#        python3, jq, md5sum.
#
# Exit status: 0 when everything ran and the recovered file is correct, whether or not the
# speed targets were met (they are reported as "target met" / "target missed"); non-zero on
# any error, including a recovered file whose md5 differs from the original's.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RUNS=${REKKON_BENCH_RUNS:-10}

IMG_MIB=1200          # image size
BIG_BYTES=$((200 * 1024 * 1024 + 4321))   # the large deleted file: over 200 MiB, odd tail
BIG_NAME=BIGFILE.BIN  # listed as ?IGFILE.BIN once deleted
BIG_FIRST_CHAR=B

die() {
    echo "fat-bench: $*" >&2
    exit 1
}
note() { echo "fat-bench: $*" >&2; }

# The benchmark's own tools, beside what the build needs.
bash "$REPO/tools/install-deps.sh"
missing=()
for pkg in hyperfine jq; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for tool in cmake mkfs.fat mcopy mdel mdeltree fls icat hyperfine python3 jq md5sum awk; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"

mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd -P)
case "$BENCH_DIR/" in
    "$(cd "$REPO" && pwd -P)/"*) die "REKKON_BENCH_DIR ($BENCH_DIR) must lie outside the repository" ;;
esac

IMG=$BENCH_DIR/fat32-bench.img
INFO=$BENCH_DIR/fat32-bench.info   # written last: its presence marks a complete image

export TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1704164645

# ---------------------------------------------------------------------------------------------
# 1. Build rekkon-cli.
if [[ -n ${REKKON_BUILD:-} ]]; then
    BUILD=$REKKON_BUILD
    [[ -f $BUILD/CMakeCache.txt ]] || die "REKKON_BUILD ($BUILD) is not a configured build folder"
    note "using the build in $BUILD"
    cmake --build "$BUILD" -j "$(nproc)" --target rekkon-cli >/dev/null
else
    # A folder of its own, so the RelWithDebInfo build of tools/test.sh is not reconfigured.
    BUILD=$REPO/build-bench
    note "building rekkon-cli (Release) in $BUILD"
    cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DREKKON_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" -j "$(nproc)" --target rekkon-cli >"$BENCH_DIR/build.log" 2>&1 ||
        { tail -30 "$BENCH_DIR/build.log" >&2; die "build failed (log: $BENCH_DIR/build.log)"; }
fi
CLI=$BUILD/rekkon-cli
[[ -x $CLI ]] || die "no rekkon-cli in $BUILD"

# ---------------------------------------------------------------------------------------------
# 2. The image, made once.
#
# Tree: 10 top folders Top_0..Top_9, each with 4 Sub_N, each with 4 Leaf_N and 3 Extra_N
# (330 folders); 50 files in each top and sub folder, 100 in each leaf, 15 in each extra
# folder (20,300 files, 200 B .. 40 KiB, pseudo-random content from a fixed seed). Long
# lower-case names and 8.3 upper-case names alternate.
# Deleted afterwards: every third file outside the Extra_N folders and Top_9/Sub_3 (mdel, about
# 6,000 files); the 117 Extra_N folders outside Top_9/Sub_3, and Top_9/Sub_3 with its 7
# subfolders (mdeltree, 125 folders); and BIGFILE.BIN, written first on the fresh volume so its
# clusters are contiguous (mtools allocates FAT32 clusters from the FSInfo next-free hint).
make_image() {
    local work
    work=$(mktemp -d "$BENCH_DIR/work.XXXXXX")
    # shellcheck disable=SC2064
    trap "rm -rf '$work'" EXIT
    printf 'default_codepage=850\nmtools_name_numeric_tail=1\nmtools_no_vfat=0\nmtools_lower_case=0\n' \
        >"$work/mtoolsrc"
    export MTOOLSRC=$work/mtoolsrc

    note "generating the file tree in $work"
    python3 - "$work" "$BIG_BYTES" "$BIG_NAME" >&2 <<'PY'
import os, random, sys

work, big_bytes, big_name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rng = random.Random(20240102)
stamp = 1704164645  # 2024-01-02 03:04:05 UTC
tree = os.path.join(work, 'tree')
deletes, deltrees = [], []
created = 0

def put(folder, rel, count, delete_every):
    global created
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        created += 1
        name = ('doc_%05d.dat' % created) if created % 2 else ('F%05d.TXT' % created)
        size = 200 + int(rng.random() ** 2 * 40 * 1024)
        path = os.path.join(folder, name)
        with open(path, 'wb') as f:
            f.write(rng.randbytes(size))
        os.utime(path, (stamp, stamp))
        if delete_every and i % delete_every == 1:
            deletes.append('::/%s/%s' % (rel, name))
    os.utime(folder, (stamp, stamp))

for t in range(10):
    top = 'Top_%d' % t
    put(os.path.join(tree, top), top, 50, 3)
    for s in range(4):
        sub = '%s/Sub_%d' % (top, s)
        doomed = (t, s) == (9, 3)
        put(os.path.join(tree, sub), sub, 50, 0 if doomed else 3)
        for l in range(4):
            leaf = '%s/Leaf_%d' % (sub, l)
            put(os.path.join(tree, leaf), leaf, 100, 0 if doomed else 3)
        for e in range(3):
            extra = '%s/Extra_%d' % (sub, e)
            put(os.path.join(tree, extra), extra, 15, 0)
            if not doomed:
                deltrees.append('::/' + extra)
        if doomed:
            deltrees.append('::/' + sub)

with open(os.path.join(work, big_name), 'wb') as f:
    left = big_bytes
    while left:
        n = min(left, 1 << 24)
        f.write(rng.randbytes(n))
        left -= n
os.utime(os.path.join(work, big_name), (stamp, stamp))

with open(os.path.join(work, 'mdel.txt'), 'w') as f:
    f.write(''.join(p + '\n' for p in deletes))
with open(os.path.join(work, 'mdeltree.txt'), 'w') as f:
    f.write(''.join(p + '\n' for p in deltrees))
print('created=%d mdel=%d mdeltree_calls=%d' % (created, len(deletes), len(deltrees)))
PY

    local tmp=$IMG.part
    rm -f "$tmp"
    truncate -s "${IMG_MIB}M" "$tmp"
    mkfs.fat -F 32 -s 8 -S 512 -i 5EC0BE4C -n REKKONBENCH --invariant "$tmp" >/dev/null

    note "copying the large file first, then the tree (mcopy -s per top folder)"
    mcopy -m -i "$tmp" "$work/$BIG_NAME" "::/$BIG_NAME"
    local top
    for top in "$work"/tree/*; do
        mcopy -s -m -i "$tmp" "$top" ::/
    done

    note "deleting: $(wc -l <"$work/mdel.txt") files (mdel), $(wc -l <"$work/mdeltree.txt") trees (mdeltree), $BIG_NAME"
    xargs -d '\n' -n 1000 mdel -i "$tmp" <"$work/mdel.txt"
    xargs -d '\n' -n 200 mdeltree -i "$tmp" <"$work/mdeltree.txt"
    mdel -i "$tmp" "::/$BIG_NAME"

    local md5
    md5=$(md5sum "$work/$BIG_NAME" | cut -d' ' -f1)
    mv "$tmp" "$IMG"
    {
        echo "big_md5=$md5"
        echo "big_bytes=$BIG_BYTES"
        echo "files_created=$(find "$work/tree" -type f | wc -l)"
        echo "folders_created=$(find "$work/tree" -mindepth 1 -type d | wc -l)"
        echo "files_mdel=$(wc -l <"$work/mdel.txt")"
        echo "mdeltree_calls=$(wc -l <"$work/mdeltree.txt")"
    } >"$INFO"
    rm -rf "$work"
    trap - EXIT
}

if [[ -f $IMG && -f $INFO ]]; then
    note "reusing $IMG"
else
    rm -f "$IMG" "$INFO"
    start=$SECONDS
    make_image
    note "image made in $((SECONDS - start)) s"
fi
big_md5=$(sed -n 's/^big_md5=//p' "$INFO")
big_bytes=$(sed -n 's/^big_bytes=//p' "$INFO")
[[ -n $big_md5 && -n $big_bytes ]] || die "$INFO is incomplete; delete it to make the image again"

# ---------------------------------------------------------------------------------------------
# 3. Locate the large file for both tools and check what they recover.
OUT=$BENCH_DIR/out
rm -rf "$OUT"
mkdir -p "$OUT"

big_json=$("$CLI" list "$IMG" --format json --name "?${BIG_NAME:1}")
[[ $(jq length <<<"$big_json") == 1 ]] || die "rekkon-cli list does not show exactly one ?${BIG_NAME:1}"
location=$(jq -r '.[0].location' <<<"$big_json")
[[ $(jq -r '.[0].size' <<<"$big_json") == "$big_bytes" ]] || die "rekkon-cli lists ?${BIG_NAME:1} with a wrong size"

fls -rd -f fat32 "$IMG" >"$OUT/fls.txt"
fls_line=$(grep -P "\t.${BIG_NAME:1}\$" "$OUT/fls.txt") || die "fls does not show the deleted ${BIG_NAME}"
[[ $(wc -l <<<"$fls_line") == 1 ]] || die "fls shows more than one deleted ${BIG_NAME}"
inode=$(grep -oE '[0-9]+:' <<<"$fls_line" | head -n 1 | tr -d :)

rekkon_found=$("$CLI" list "$IMG" --format json | jq length)
fls_found=$(grep -c '^[+ ]*[a-z-]/[a-z-] \* ' "$OUT/fls.txt" || true)

"$CLI" recover "$IMG" --to "$OUT/rekkon" --first-char "$BIG_FIRST_CHAR" --only "$location" >/dev/null
rekkon_md5=$(md5sum "$OUT/rekkon/$BIG_NAME" | cut -d' ' -f1)
icat -f fat32 "$IMG" "$inode" >"$OUT/icat.bin"
icat_md5=$(md5sum "$OUT/icat.bin" | cut -d' ' -f1)
rm -rf "$OUT"

# ---------------------------------------------------------------------------------------------
# 4. Timings: one warm-up run per command (page cache warm), then $RUNS timed runs. Before each
# recovery run the outputs are removed and dirty pages flushed, so no run pays for the
# write-back of an earlier one. cat-copy (the same bytes written to a file) is for reference:
# it shows what writing the output costs on this machine.
q() { printf '%q' "$1"; }
qCLI=$(q "$CLI")
qIMG=$(q "$IMG")
qOUT=$(q "$OUT")

note "timing list vs fls"
hyperfine --style basic --warmup 1 --runs "$RUNS" --export-json "$BENCH_DIR/list.json" \
    -n rekkon-list "$qCLI list $qIMG --format json > /dev/null" \
    -n fls "fls -rd -f fat32 $qIMG > /dev/null" >&2

note "timing the recovery of $BIG_NAME ($big_bytes bytes)"
hyperfine --style basic --warmup 1 --runs "$RUNS" --export-json "$BENCH_DIR/recover.json" \
    --prepare "rm -rf $qOUT && mkdir -p $qOUT && sync" \
    -n rekkon-recover "$qCLI recover $qIMG --to $qOUT/rekkon --first-char $BIG_FIRST_CHAR --only $location > /dev/null" \
    -n icat "icat -f fat32 $qIMG $inode > $qOUT/icat.bin" \
    -n cat-read "head -c $big_bytes $qIMG > /dev/null" \
    -n cat-copy "head -c $big_bytes $qIMG > $qOUT/cat.bin" \
    -n rekkon-scan-only "$qCLI list $qIMG --format json --only $location > /dev/null" >&2
rm -rf "$OUT"

# The free clusters, read by list --deep, against dd. The free clusters lie in many short runs
# between the files; a dd per run would mostly time process start-up, so the baseline is one dd
# of the whole data area (4 MiB blocks), scaled by the share of clusters that are free: the
# same bytes at dd's sequential rate, which is the cheapest way to read them.
read -r data_offset data_bytes free_clusters data_clusters < <(python3 - "$IMG" <<'PY'
import array, struct, sys
with open(sys.argv[1], 'rb') as f:
    bs = f.read(512)
    bps, spc, res, nfats = struct.unpack_from('<HBHB', bs, 11)
    total, spf = struct.unpack_from('<II', bs, 32)
    first_data = res + nfats * spf
    clusters = (total - first_data) // spc
    f.seek(res * bps)
    fat = array.array('I', f.read(spf * bps))
free = sum(1 for v in fat[2:clusters + 2] if v & 0x0FFFFFFF == 0)
print(first_data * bps, clusters * spc * bps, free, clusters)
PY
)
deep_found=$("$CLI" list "$IMG" --deep --format json | jq length)
note "timing list --deep vs dd of the free share of the data area"
hyperfine --style basic --warmup 1 --runs "$RUNS" --export-json "$BENCH_DIR/deep.json" \
    -n rekkon-list-deep "$qCLI list $qIMG --deep --format json > /dev/null" \
    -n dd-data-area "dd if=$qIMG of=/dev/null bs=4M iflag=skip_bytes,count_bytes skip=$data_offset count=$data_bytes status=none" >&2

# ---------------------------------------------------------------------------------------------
# 5. Report.
median() { jq -r --arg n "$2" '.results[] | select(.command == $n) | .median' "$1"; }
row() {
    jq -r --arg n "$2" '.results[] | select(.command == $n) |
        "\(.command)\t\(.median)\t\(.min)\t\(.mean)\t\(.stddev)"' "$1" |
        awk -F'\t' '{ printf "  %-18s median %8.3f s   min %8.3f s   mean %8.3f s +- %.3f\n", $1, $2, $3, $4, $5 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v v="$1" -v t="$2" -v op="$3" 'BEGIN { ok = op == "le" ? v <= t : v >= t; print ok ? "target met" : "target missed" }'; }

t_list=$(median "$BENCH_DIR/list.json" rekkon-list)
t_fls=$(median "$BENCH_DIR/list.json" fls)
t_rec=$(median "$BENCH_DIR/recover.json" rekkon-recover)
t_icat=$(median "$BENCH_DIR/recover.json" icat)
t_cat=$(median "$BENCH_DIR/recover.json" cat-read)
t_copy=$(median "$BENCH_DIR/recover.json" cat-copy)
t_scan=$(median "$BENCH_DIR/recover.json" rekkon-scan-only)
mib() { awk -v t="$1" -v b="$big_bytes" 'BEGIN { printf "%.0f", b / 1048576 / t }'; }

t_deep=$(median "$BENCH_DIR/deep.json" rekkon-list-deep)
t_dd=$(median "$BENCH_DIR/deep.json" dd-data-area)
t_dd_free=$(awk -v t="$t_dd" -v f="$free_clusters" -v n="$data_clusters" 'BEGIN { printf "%.6f", t * f / n }')
deep_ratio=$(ratio "$t_deep" "$t_dd_free")
list_ratio=$(ratio "$t_list" "$t_fls")
rec_share=$(ratio "$t_cat" "$t_rec")
rec_vs_icat=$(ratio "$t_icat" "$t_rec")
rec_vs_copy=$(ratio "$t_copy" "$t_rec")
md5_ok=yes
[[ $rekkon_md5 == "$big_md5" ]] || md5_ok=no

{
    echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "image:   $IMG ($(du -h --apparent-size "$IMG" | cut -f1), FAT32, 4 KiB clusters)"
    sed 's/^/         /' "$INFO"
    echo "deleted entries: rekkon-cli list $rekkon_found files; fls -rd $fls_found (files and folders, \$OrphanFiles included)"
    echo "$BIG_NAME: location (first cluster) $location, fls inode $inode, $big_bytes bytes"
    echo "timings ($RUNS runs after 1 warm-up, page cache warm):"
    row "$BENCH_DIR/list.json" rekkon-list
    row "$BENCH_DIR/list.json" fls
    row "$BENCH_DIR/recover.json" rekkon-recover
    row "$BENCH_DIR/recover.json" rekkon-scan-only
    row "$BENCH_DIR/recover.json" icat
    row "$BENCH_DIR/recover.json" cat-read
    row "$BENCH_DIR/recover.json" cat-copy
    row "$BENCH_DIR/deep.json" rekkon-list-deep
    row "$BENCH_DIR/deep.json" dd-data-area
    echo "results (medians):"
    echo "  list / fls time:                        $list_ratio   (target <= 1: $(verdict "$list_ratio" 1 le))"
    echo "  recovery throughput / cat throughput:   $rec_share   (target >= 0.5: $(verdict "$rec_share" 0.5 ge))"
    echo "      rekkon $(mib "$t_rec") MiB/s, cat-read $(mib "$t_cat") MiB/s, cat-copy $(mib "$t_copy") MiB/s," \
        "icat $(mib "$t_icat") MiB/s"
    echo "  recovery throughput / icat throughput:  $rec_vs_icat"
    echo "  recovery throughput / cat-copy (to a file) throughput: $rec_vs_copy"
    echo "  recover minus scan-only (the copy itself): $(awk -v a="$t_rec" -v b="$t_scan" 'BEGIN { printf "%.3f s", a - b }')"
    echo "  list --deep / dd of the free clusters:   $deep_ratio   (target <= 1.5: $(verdict "$deep_ratio" 1.5 le))"
    echo "      $free_clusters of $data_clusters clusters free; dd of the data area scaled by that share" \
        "$(awk -v t="$t_dd_free" 'BEGIN { printf "%.3f s", t }'); list --deep shows $deep_found files" \
        "($((deep_found - rekkon_found)) more than list)"
    echo "  md5 of the recovered $BIG_NAME: $rekkon_md5 (original $big_md5): $([[ $md5_ok == yes ]] && echo match || echo MISMATCH)"
    echo "  md5 of icat's output: $icat_md5: $([[ $icat_md5 == "$big_md5" ]] && echo match || echo differs)"
} | tee "$BENCH_DIR/summary.txt"

[[ $md5_ok == yes ]] || die "the recovered $BIG_NAME differs from the original"
