#!/usr/bin/env bash
# The found list at scale: `rekkon-cli list` of a sparse NTFS image with 5 million deleted file
# records (made once by bench/ntfs-scale-image), in each output format, wall time and peak memory
# (maximum resident set) of each run, beside `dd` of the image's $MFT as the yardstick.
#
# Usage: bench/scale-bench.sh
#
# Environment:
#   REKKON_BUILD            an existing build folder to use (rekkon-cli and ntfs-scale-image are
#                           brought up to date there, with REKKON_BENCH turned on); default:
#                           <repo>/build-bench, configured here with CMAKE_BUILD_TYPE=Release
#   REKKON_BENCH_DIR        where the image is kept (default /var/tmp/rekkon-bench)
#   REKKON_SCALE_RECORDS    deleted records in the image (default 5000000); an image made with
#                           another count is made again
#   REKKON_BENCH_RUNS       timed runs per command after one warm-up run (default 3)
#   REKKON_BENCH_NICE       niceness of the whole run (default 10), as the machine is shared
#
# Needs: cmake, a C++20 compiler, python3, dd; about 1.1 KiB of disk per record for the image
# (5.2 GiB for 5 million; its data area is a hole).
#
# Prints, per command, the medians of wall time and peak memory ("target met" when every run's
# peak is under 1.5 GB), and the time of the $MFT's dd. Exit status: 0 when it ran, whether or
# not the target was met; non-zero on a build error or a failed command.
set -euo pipefail

# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_nice "$@"

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${REKKON_BUILD:-$REPO/build-bench}
BENCH_DIR=${REKKON_BENCH_DIR:-/var/tmp/rekkon-bench}
RECORDS=${REKKON_SCALE_RECORDS:-5000000}
RUNS=${REKKON_BENCH_RUNS:-3}
IMG=$BENCH_DIR/ntfs-scale.img
INFO=$IMG.info

die() {
    echo "scale-bench: $*" >&2
    exit 1
}

for tool in python3 dd cmake; do
    command -v "$tool" >/dev/null || die "missing tool: $tool"
done
[[ $RECORDS =~ ^[1-9][0-9]*$ ]] || die "REKKON_SCALE_RECORDS must be a positive number"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "REKKON_BENCH_RUNS must be a positive number"
mkdir -p "$BENCH_DIR"
export TZ=UTC LC_ALL=C.UTF-8

if [[ -z ${REKKON_BUILD:-} ]]; then
    cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DREKKON_BUILD_TESTS=OFF \
        -DREKKON_BENCH=ON >/dev/null
else
    cmake -S "$REPO" -B "$BUILD" -DREKKON_BENCH=ON >/dev/null
fi
cmake --build "$BUILD" -j2 --target rekkon-cli ntfs-scale-image ui-scale-bench >"$BENCH_DIR/build.log" 2>&1 ||
    { tail -30 "$BENCH_DIR/build.log" >&2; die "build failed (log: $BENCH_DIR/build.log)"; }
CLI=$BUILD/rekkon-cli

# The image, made again when missing or made for another count. ntfs-scale-image prints the
# $MFT's place as "mft-offset N" and "mft-bytes N" lines, kept in $INFO.
if [[ ! -f $IMG || ! -f $INFO ]] || ! grep -qx "deleted-records $RECORDS" "$INFO"; then
    rm -f "$IMG" "$INFO"
    need_kib=$((RECORDS * 11 / 10 + 65536))
    free_kib=$(df -Pk "$BENCH_DIR" | awk 'NR == 2 { print $4 }')
    ((free_kib > need_kib)) ||
        die "$BENCH_DIR has $((free_kib / 1024)) MiB free; the image needs about $((need_kib / 1024)) MiB"
    echo "scale-bench: making $IMG ($RECORDS deleted records)..." >&2
    "$BUILD/bench/ntfs-scale-image" "$IMG.part" "$RECORDS" >"$INFO.part"
    mv "$IMG.part" "$IMG"
    mv "$INFO.part" "$INFO"
fi
mft_offset=$(awk '$1 == "mft-offset" { print $2 }' "$INFO")
mft_bytes=$(awk '$1 == "mft-bytes" { print $2 }' "$INFO")
[[ $mft_offset =~ ^[0-9]+$ && $mft_bytes =~ ^[0-9]+$ ]] || die "$INFO gives no \$MFT place"

SUMMARY=$BENCH_DIR/scale-summary.txt
{
    echo "scale-bench: $(date -u +%FT%TZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "rekkon-cli: $CLI"
    echo "image: $IMG, $(grep -v '^mft-offset\|^mft-bytes' "$INFO" | tr '\n' ' ')"
    echo "image on disk: $(du -k "$IMG" | cut -f1) KiB of $(stat -c %s "$IMG") bytes"
} >"$SUMMARY"

# Peak memory from GNU time's %M where it is installed; else from wait4, which also counts the
# pages of the Python process the command was forked from (about 14 MiB).
GNU_TIME=
if /usr/bin/time --version 2>&1 | grep -q GNU; then
    GNU_TIME=/usr/bin/time
    echo "peak memory: GNU time (%M)" >>"$SUMMARY"
else
    echo "peak memory: wait4 (GNU time missing: about 14 MiB of Python counted in)" >>"$SUMMARY"
fi

# Each command once to warm up (the csv run's lines counted), then RUNS rounds of all the
# commands in turn, so that a change in the machine's load falls on all alike. Wall time and
# the command's maximum resident set, medians over the rounds.
list_measurement() {
    python3 - "$RUNS" "$BENCH_DIR/scale-runs.json" "$CLI" "$IMG" "$mft_offset" "$mft_bytes" \
        "$GNU_TIME" <<'PY'
import json, os, statistics, subprocess, sys, tempfile, time
runs, export, cli, img, mft_offset, mft_bytes, gnu_time = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6], sys.argv[7]
LIMIT = 1.5e9  # bytes of peak memory
commands = [
    ('list', [cli, 'list', img]),
    ('list --format json', [cli, 'list', img, '--format', 'json']),
    ('list --format csv', [cli, 'list', img, '--format', 'csv']),
    ('list --format bodyfile', [cli, 'list', img, '--format', 'bodyfile']),
    ('dd of the $MFT', ['dd', 'if=' + img, 'of=/dev/null', 'bs=256K', 'iflag=skip_bytes,count_bytes',
                        'skip=' + mft_offset, 'count=' + mft_bytes, 'status=none']),
]
peak_file = tempfile.NamedTemporaryFile(prefix='scale-bench-', suffix='.time')
def timed(argv, count_lines=False):
    if gnu_time:
        argv = [gnu_time, '-f', '%M', '-o', peak_file.name] + argv
    began = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.PIPE if count_lines else subprocess.DEVNULL)
    lines = 0
    if count_lines:
        for block in iter(lambda: child.stdout.read(1 << 20), b''):
            lines += block.count(b'\n')
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - began
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit('scale-bench: %s exited with %d' % (' '.join(argv), code))
    kib = int(open(peak_file.name).read().split()[-1]) if gnu_time else usage.ru_maxrss
    return wall, kib * 1024, lines
results = {label: {'wall': [], 'peak': []} for label, _ in commands}
for label, argv in commands:
    wall, peak, lines = timed(argv, count_lines=(label == 'list --format csv'))
    if lines:
        print('csv rows (header included): %d' % lines)
        results[label]['rows'] = lines
for _ in range(runs):
    for label, argv in commands:
        wall, peak, _ = timed(argv)
        results[label]['wall'].append(wall)
        results[label]['peak'].append(peak)
json.dump(results, open(export, 'w'), indent=1)
dd = statistics.median(results['dd of the $MFT']['wall'])
print('medians of %d runs, page cache warm:' % runs)
for label, _ in commands:
    r = results[label]
    wall, peak = statistics.median(r['wall']), statistics.median(r['peak'])
    line = '%-24s %7.2f s  %6.2f x dd  peak %7.0f MiB' % (label, wall, wall / dd, peak / 2**20)
    if label.startswith('list'):
        line += '  target %s' % ('met' if max(r['peak']) < LIMIT else 'missed')
    print(line)
PY
}

# ---- The desktop: fill and sort of the results list from the same store -----------------------
# ui-scale-bench (bench/, with the desktop program built) fills the results list from the image's
# scan and sorts it; its figures go here, beside the command line's. Until it exists this section
# says so.
desktop_measurement() {
    local ui_bench=$BUILD/bench/ui-scale-bench
    if [[ ! -x $ui_bench ]]; then
        echo "desktop fill and sort: not measured (no $ui_bench)"
        return
    fi
    QT_QPA_PLATFORM=offscreen "$ui_bench" "$IMG"
}

# The $MFT's pages in the cache before the first run.
dd if="$IMG" of=/dev/null bs=1M iflag=skip_bytes,count_bytes skip="$mft_offset" \
    count="$mft_bytes" status=none
{
    list_measurement
    desktop_measurement
    echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
} >>"$SUMMARY"
cat "$SUMMARY"
