#!/usr/bin/env bash
# Search by content: rekkon-cli against PhotoRec on the carving volumes of
# tests/data/carve-volumes (quick-formatted FAT32, exFAT and NTFS, wiped exFAT, a card with two
# JPEGs split in two), and rekkon-cli against dd over 288 MiB of random free space.
#
# Usage: bench/carve-bench.sh
#
# Environment:
#   REKKON_CLI         the rekkon-cli binary to time (default <repo>/build/rekkon-cli; nothing
#                      is built here)
#   REKKON_BENCH_DIR   where the images and the outputs live, outside the repository;
#                      default: /var/tmp/rekkon-carve-bench
#   REKKON_BENCH_RUNS  timed runs per command, the median is shown (default 3)
#   REKKON_BENCH_NICE  niceness of the whole run (default 10), as the machine is shared
#
# Needs: photorec (package testdisk, installed with apt-get when missing), mkfs.fat, xz,
#        python3, md5sum, dd.
#
# Per image and tool: the time; files written whose md5 is a manifest file's (exact); distinct
# manifest files among them (originals); written files that match no original (other: bytes
# past the end, thumbnails written as pictures of their own, fragments); the split JPEGs that
# came back whole. Then the random-data pass: the time of `dd` and of `rekkon-cli list --carve`
# (and `--raw`) over the same image, page cache warm, their ratio (target at most 2) and the
# carved files listed (target 0).
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CLI=${REKKON_CLI:-$REPO/build/rekkon-cli}
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-carve-bench}
RUNS=${REKKON_BENCH_RUNS:-3}
VOLUMES=$REPO/tests/data/carve-volumes
RANDOM_MIB=288

die() {
    echo "carve-bench: $*" >&2
    exit 1
}

[[ -x $CLI ]] || die "no rekkon-cli at $CLI (build it, or set REKKON_CLI)"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
if ! command -v photorec >/dev/null; then
    [[ $(id -u) == 0 ]] || die "photorec is missing (package testdisk); run as root to install it"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq testdisk >/dev/null
fi
for tool in photorec mkfs.fat xz python3 md5sum dd; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd -P)
case "$BENCH_DIR/" in
    "$(cd "$REPO" && pwd -P)/"*) die "REKKON_BENCH_DIR ($BENCH_DIR) must lie outside the repository" ;;
esac
export TZ=UTC LC_ALL=C.UTF-8
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg); rekkon-cli: $CLI"

# seconds COMMAND...: the wall time of one run, output discarded.
seconds() {
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}

# median of the numbers on stdin.
median() { sort -g | awk '{v[NR] = $1} END {printf "%.3f", v[int((NR + 1) / 2)]}'; }

# timed OUTDIR COMMAND...: RUNS runs into a fresh OUTDIR each; prints the median time. The
# output of the last run stays in OUTDIR.
timed() {
    local out=$1 i
    shift
    for ((i = 0; i < RUNS; i++)); do
        rm -rf "$out" && mkdir -p "$out"
        seconds "$@"
    done | median
}

# tally MANIFEST OUTDIR: exact, originals, other, split JPEGs whole.
tally() {
    python3 - "$1" "$2" <<'PY'
import csv, hashlib, os, sys
rows = list(csv.DictReader(open(sys.argv[1]), delimiter="\t"))
orig = {r["md5"] for r in rows}
split = {r["md5"] for r in rows if r["contiguous"] == "no" and r["runs"] != "resident"
         and r["path"].lower().endswith(".jpg")}
exact, seen, other = 0, set(), 0
for root, _, files in os.walk(sys.argv[2]):
    for f in files:
        if f == "report.xml":
            continue
        md5 = hashlib.md5(open(os.path.join(root, f), "rb").read()).hexdigest()
        if md5 in orig:
            exact += 1
            seen.add(md5)
        else:
            other += 1
print(exact, len(seen), other, f"{len(seen & split)}/{len(split)}")
PY
}

printf '\n%-18s %-16s %9s %6s %10s %6s %6s\n' image tool seconds exact originals other split
for packed in "$VOLUMES"/*.img.xz; do
    name=$(basename "$packed" .img.xz)
    img=$BENCH_DIR/$name.img
    [[ $img -nt $packed ]] || xz -dc "$packed" >"$img"
    manifest=$VOLUMES/$name.manifest
    total=$(($(wc -l <"$manifest") - 1))
    # FAT or exFAT (the type name in the boot sector): rekkon also with --deep.
    f32=$(dd if="$img" bs=1 skip=82 count=5 status=none | tr -d '\0')
    f16=$(dd if="$img" bs=1 skip=54 count=3 status=none | tr -d '\0')
    ex=$(dd if="$img" bs=1 skip=3 count=5 status=none | tr -d '\0')
    modes=("--carve")
    [[ $f32 == FAT32 || $f16 == FAT || $ex == EXFAT ]] && modes+=("--carve --deep")
    t=$(timed "$BENCH_DIR/out-photorec" photorec /d "$BENCH_DIR/out-photorec/" /cmd "$img" \
        fileopt,everything,enable,search)
    read -r exact seen other split < <(tally "$manifest" "$BENCH_DIR/out-photorec")
    printf '%-18s %-16s %9s %6s %6s/%-3s %6s %6s\n' "$name" photorec "$t" "$exact" "$seen" "$total" \
        "$other" "$split"
    for mode in "${modes[@]}"; do
        # shellcheck disable=SC2086 # the mode is two options at most
        t=$(timed "$BENCH_DIR/out-rekkon" "$CLI" recover "$img" $mode --long-names \
            --first-char auto --to "$BENCH_DIR/out-rekkon")
        read -r exact seen other split < <(tally "$manifest" "$BENCH_DIR/out-rekkon")
        printf '%-18s %-16s %9s %6s %6s/%-3s %6s %6s\n' "$name" "rekkon${mode#--carve}" "$t" \
            "$exact" "$seen" "$total" "$other" "$split"
    done
done

# ---------------------------------------------------------- random free space --
rnd=$BENCH_DIR/random-${RANDOM_MIB}m.img
if [[ ! -s $rnd ]]; then
    dd if=/dev/urandom of="$rnd.part" bs=1M count="$RANDOM_MIB" status=none
    mkfs.fat -F 32 -n RANDOM "$rnd.part" >/dev/null   # only metadata: the free space stays random
    mv "$rnd.part" "$rnd"
fi
cat "$rnd" >/dev/null   # warm the page cache
t_dd=$(for ((i = 0; i < RUNS; i++)); do seconds dd if="$rnd" of=/dev/null bs=1M; done | median)
t_free=$(for ((i = 0; i < RUNS; i++)); do seconds "$CLI" list "$rnd" --carve; done | median)
t_raw=$(for ((i = 0; i < RUNS; i++)); do seconds "$CLI" list "$rnd" --raw; done | median)
n_free=$("$CLI" list "$rnd" --carve --format csv 2>/dev/null | grep -c ',carved,' || true)
n_raw=$("$CLI" list "$rnd" --raw --format csv 2>/dev/null | grep -c ',carved,' || true)
verdict() { awk -v r="$1" 'BEGIN {print (r <= 2 ? "target met" : "target missed")}'; }
r_free=$(echo "$t_free / $t_dd" | bc -l | xargs printf '%.2f')
r_raw=$(echo "$t_raw / $t_dd" | bc -l | xargs printf '%.2f')
printf '\n%s MiB of random data (FAT32 over it), page cache warm, median of %s:\n' "$RANDOM_MIB" "$RUNS"
printf '  dd bs=1M                 %7s s\n' "$t_dd"
printf '  rekkon-cli list --carve  %7s s  x%s of dd (%s), %s carved listed\n' "$t_free" "$r_free" \
    "$(verdict "$r_free")" "$n_free"
printf '  rekkon-cli list --raw    %7s s  x%s of dd (%s), %s carved listed\n' "$t_raw" "$r_raw" \
    "$(verdict "$r_raw")" "$n_raw"
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
