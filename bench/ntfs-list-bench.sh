#!/usr/bin/env bash
# NTFS listing against the read limit: `rekkon-cli list` of the 100,000-file image that
# bench/ntfs-bench.sh makes, paired with `dd` of the $MFT's bytes (its runs, from istat) in
# reads of the size the list reads the MFT in, page cache warm and cold.
#
# Usage: sudo bench/ntfs-list-bench.sh   (root: the cold runs drop the page cache)
#
# Environment:
#   REKKON_CLI         the rekkon-cli binary to time; when unset, it is built (Release) in
#                      <repo>/build-bench, or brought up to date in REKKON_BUILD
#   REKKON_BENCH_DIR   where bench/ntfs-bench.sh left ntfs-bench.img (default /var/tmp/rekkon-bench)
#   REKKON_BENCH_RUNS  timed warm runs per command after one warm-up run (default 15)
#   REKKON_BENCH_COLD_RUNS  timed cold runs per command (default 5; 0: none)
#   REKKON_BENCH_NICE  niceness of the whole run (default 10), as the machine is shared
#
# Needs: root, istat and fsstat (The Sleuth Kit), python3, dd; the image from ntfs-bench.sh.
#
# Prints the medians of both commands, list / dd ("target met" at 2 or less, warm) and the median
# of that ratio over the pairs of runs.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RUNS=${REKKON_BENCH_RUNS:-15}
COLD_RUNS=${REKKON_BENCH_COLD_RUNS:-5}
IMG=$BENCH_DIR/ntfs-bench.img
# The list reads the MFT 256 records (256 KiB of 1 KiB records) at a time.
BLOCK=256K

die() {
    echo "ntfs-list-bench: $*" >&2
    exit 1
}

[[ $(id -u) == 0 ]] || die "run as root: the cold runs drop the page cache"
for tool in istat fsstat python3 dd; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ -f $IMG && -f $BENCH_DIR/ntfs-bench.info ]] || die "no $IMG: run bench/ntfs-bench.sh once to make it"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
[[ $COLD_RUNS =~ ^[0-9]+$ ]] || die "REKKON_BENCH_COLD_RUNS must be a number"
export TZ=UTC LC_ALL=C.UTF-8

bench_cli

# The $MFT's data runs (record 0), as one dd per run, each reading its clusters in $BLOCK
# reads; the whole script is the yardstick.
cluster=$(fsstat "$IMG" | awk -F': *' '/^Cluster Size/ { print $2; exit }')
[[ $cluster =~ ^[0-9]+$ ]] || die "fsstat shows no cluster size"
DD_SCRIPT=$BENCH_DIR/ntfs-mft-dd.sh
istat "$IMG" 0 | awk '
    /^Type: \$DATA/ { on = 1; next }
    /^Type: / { on = 0 }
    on { for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) {
             c = $i
             if (n && c == s + len) len++
             else { if (n) print s, len; s = c; len = 1; n = 1 }
         } }
    END { if (n) print s, len }' |
    awk -v img="$IMG" -v cs="$cluster" -v bs="$BLOCK" '
        { printf "dd if=%s of=/dev/null bs=%s iflag=skip_bytes,count_bytes skip=%d count=%d status=none\n", img, bs, $1 * cs, $2 * cs
          bytes += $2 * cs; runs++ }
        END { printf "# %d bytes in %d runs\n", bytes, runs }' >"$DD_SCRIPT"
grep -q '^dd ' "$DD_SCRIPT" || die "istat shows no clusters for the \$MFT"
mft_note=$(sed -n 's/^# //p' "$DD_SCRIPT")

SUMMARY=$BENCH_DIR/ntfs-list-summary.txt
LIST="$CLI list $IMG --format json"  # split into words: no blanks in the paths
{
    echo "ntfs-list-bench: $(date -u +%FT%TZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "rekkon-cli: $CLI"
    echo "\$MFT: $mft_note; dd reads of $BLOCK"
} >"$SUMMARY"

# Paired runs: list, then dd, then the next pair, so that a change in the machine's load falls
# on both alike (one warm-up pair first); medians of each and of the pairs' ratios. Cold: the
# page cache is dropped before each command.
paired() { # label runs cold target
    python3 - "$@" "$BENCH_DIR/ntfs-list-$1.json" "$DD_SCRIPT" $LIST <<'PY'
import json, statistics, subprocess, sys, time
label, runs, cold, target, export, dd, lst = sys.argv[1], int(sys.argv[2]), sys.argv[3] == '1', sys.argv[4], sys.argv[5], ['bash', sys.argv[6]], sys.argv[7:]
def timed(cmd):
    if cold:
        subprocess.run(['sync'], check=True)
        with open('/proc/sys/vm/drop_caches', 'w') as f:
            f.write('3\n')
    began = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - began
if not cold:
    timed(lst), timed(dd)
l, d = [], []
for _ in range(runs):
    l.append(timed(lst))
    d.append(timed(dd))
json.dump({'list': l, 'dd': d}, open(export, 'w'))
ratio = statistics.median(l) / statistics.median(d)
pairs = statistics.median(a / b for a, b in zip(l, d))
verdict = '' if not target else ('  target met' if ratio <= float(target) else '  target missed')
print('%-5s list %.3f s  dd of the $MFT %.3f s  list / dd %.2f  (pairs %.2f)%s' % (label, statistics.median(l), statistics.median(d), ratio, pairs, verdict))
PY
}

cat "$IMG" >/dev/null
paired warm "$RUNS" 0 2 >>"$SUMMARY"
if [[ $COLD_RUNS != 0 ]]; then
    if echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; then
        paired cold "$COLD_RUNS" 1 "" >>"$SUMMARY"
        cat "$IMG" >/dev/null
    else
        echo "cold: the page cache cannot be dropped here (/proc/sys/vm/drop_caches)" >>"$SUMMARY"
    fi
fi
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$SUMMARY"
cat "$SUMMARY"
