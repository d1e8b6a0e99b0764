#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in build-fuzz/ and runs each
# for SECONDS (default 60) on its seeds, its saved corpus and the regression corpus (without
# tests/data/fuzz/regressions/<target>/pending/, the inputs still waiting for a mend). Fails
# (exit 1) when any target finds a crash, a timeout, a leak or runs out of memory; the inputs
# are copied to build-fuzz/findings/<target>/.
#
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]     targets: fat_image ntfs_image mft_record
#                                                         run_list lznt1 fat_dir partition_table
#                                                         fat_folder_cluster fat_volume
#                                                         ntfs_volume exfat_volume exfat_entries
#                                                         disk writer carve_scan carve_<type>
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_NO_BUILD=1 (use it as built),
#              FUZZ_FLAGS (more libFuzzer options, e.g. -jobs=2), FUZZ_JOBS (targets run at
#              once, default one a processor).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
all_targets=(fat_image ntfs_image mft_record run_list lznt1 fat_dir partition_table fat_folder_cluster
    fat_volume ntfs_volume exfat_volume exfat_entries disk writer carve_scan preview_bytes)
# A target per carving format: carve_<type>, as fuzz/CMakeLists.txt lists them.
for type in $(sed -n 's/^set(REKKON_CARVE_FUZZ_TYPES\(.*\))$/\1/p' fuzz/CMakeLists.txt); do
    all_targets+=("carve_$type")
done
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
build=${FUZZ_BUILD:-build-fuzz}

max_len() {
    case $1 in
        fat_image | ntfs_image | fat_volume | ntfs_volume | exfat_volume | disk) echo 1048576 ;;
        exfat_entries) echo 65536 ;;
        mft_record) echo 16384 ;;
        writer) echo 8192 ;;
        run_list) echo 4096 ;;
        lznt1 | fat_dir | fat_folder_cluster) echo 65536 ;;
        partition_table) echo 1048576 ;;
        carve_* | preview_bytes) echo 262144 ;;
    esac
}

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
    bash tools/install-deps.sh
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DREKKON_FUZZ=ON -DREKKON_BUILD_TESTS=OFF -DREKKON_WERROR=ON >/dev/null
    cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
fi

# Seeds: whole images (cut to the length the targets take) and what cut-seeds.py takes out of them.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/fat_image" "$seeds/ntfs_image" "$seeds/partition_table" "$seeds/images" \
    "$seeds/fat_volume" "$seeds/ntfs_volume" "$seeds/exfat_volume" "$seeds/exfat_entries" "$seeds/disk"
unpack() {  # packed-image target
    local out="$seeds/$2/$(basename "${1%.xz}")"
    { xz -dc "$1" || true; } | head -c "$(max_len "$2")" >"$out"
}
# A volume target's seed again with last bytes (its control byte) that ask for a deep scan, a
# found entry's folder, some records only.
variants() {
    local f
    for f in "$seeds/$1"/*.img "$seeds/$1"/*.dd; do
        [ -s "$f" ] || continue
        for control in 05 0b 16 2f; do
            { head -c -1 "$f"; printf "\\x$control"; } >"${f%.*}-c$control.${f##*.}"
        done
    done
}
for f in tests/data/fat/*.img.xz tests/data/fat/realworld/*/*.xz tests/data/fuzz/seeds/fat*.img.xz; do
    unpack "$f" fat_image
    unpack "$f" fat_volume
done
for f in tests/data/ntfs/*.img.xz tests/data/ntfs/realworld/*/*.xz tests/data/fuzz/seeds/ntfs*.img.xz; do
    unpack "$f" ntfs_image
    unpack "$f" ntfs_volume
done
for f in tests/data/exfat/*.img.xz tests/data/fuzz/seeds/exfat*.img.xz; do
    unpack "$f" exfat_volume
done
# Entry sets: the root and folder clusters of the exFAT images (the heap's first 64 KiB).
for f in "$seeds"/exfat_volume/*.img; do
    dd if="$f" of="$seeds/exfat_entries/$(basename "$f").heap" bs=64K skip=32 count=1 status=none
    head -c 512 "$f" >"$seeds/exfat_entries/$(basename "$f").boot"
done
for f in tests/data/fuzz/seeds/partition-*.img.xz; do
    unpack "$f" partition_table
    unpack "$f" disk
done
variants fat_volume
variants ntfs_volume
variants exfat_volume
xz -dc tests/data/ntfs/ntfs-512-4k.img.xz >"$seeds/images/ntfs-512-4k.img"
python3 fuzz/cut-seeds.py "$seeds" "$seeds"/fat_image/fat1[26]*.img "$seeds"/ntfs_image/* \
    "$seeds/images/ntfs-512-4k.img"
xz -dc tests/data/fat/fat12.img.xz >"$seeds/images/fat12.img"
xz -dc tests/data/fuzz/seeds/ntfs-small-512.img.xz >"$seeds/images/ntfs-512.img"
xz -dc tests/data/fuzz/seeds/ntfs-small-4096.img.xz >"$seeds/images/ntfs-4096.img"
python3 fuzz/make-disk-seeds.py "$seeds/disk" "$seeds/images/fat12.img" \
    "$seeds/images/ntfs-512.img" "$seeds/images/ntfs-4096.img"
rm -rf "$seeds/images"
# The preview: the sample pictures and a text.
mkdir -p "$seeds/preview_bytes"
cp tests/data/carve/images/*.jpg tests/data/carve/images/*.png tests/data/carve/images/*.gif \
    tests/data/carve/images/*.bmp "$seeds/preview_bytes/"
head -c 4096 README.md >"$seeds/preview_bytes/readme.txt"

# fuzz_one TARGET: runs one target; leaves $build/logs/TARGET.failed unless it ran to its end
# and found nothing.
fuzz_one() {
    local t=$1 corpus findings log inputs status execs last cov ft found
    corpus=$build/corpus/$t
    findings=$build/findings/$t
    log=$build/logs/$t.log
    mkdir -p "$corpus" "$findings" "$(dirname "$log")" "$seeds/$t"
    touch "$build/logs/$t.failed"
    # Every input that ever failed, but not those under pending/ that wait for their mend.
    # Committed seeds of a target, where it has some.
    find "tests/data/fuzz/seeds/$t" -maxdepth 1 -type f -exec cp -t "$seeds/$t" {} + 2>/dev/null || true
    find "tests/data/fuzz/regressions/$t" -maxdepth 1 -type f \
        -exec sh -c 'for f; do cp "$f" "$0/regression-${f##*/}"; done' "$seeds/$t" {} + 2>/dev/null || true
    inputs=("$corpus" "$seeds/$t")
    status=0
    # shellcheck disable=SC2086
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
        -rss_limit_mb=4096 -timeout=10 -reload=0 -print_final_stats=1 -artifact_prefix="$findings/" \
        ${FUZZ_FLAGS:-} "${inputs[@]}" >"$log" 2>&1 || status=$?
    execs=$(grep -ao 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    last=$(grep -aE '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
    ft=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
    printf '%-11s execs %-9s cov %-6s ft %-6s corpus %-5s status %s\n' "$t" "${execs:-?}" \
        "${cov:-?}" "${ft:-?}" "$(find "$corpus" -type f | wc -l)" "$status"
    found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
        -o -name 'leak-*' \) | wc -l)
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        echo "fuzz $t: finding(s) in $findings/ (log: $log)" >&2
        grep -E 'ERROR: |SUMMARY: |invariant broken|runtime error' "$log" | head -5 >&2 || true
    else
        rm "$build/logs/$t.failed"
    fi
}

# The targets run side by side, one a processor (FUZZ_JOBS), each for the whole SECONDS.
jobs=${FUZZ_JOBS:-$(nproc)}
running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    fuzz_one "$t" &
    running=$((running + 1))
done
wait

failed=()
for t in "${targets[@]}"; do
    [ ! -e "$build/logs/$t.failed" ] || failed+=("$t")
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: findings for ${failed[*]}" >&2
    exit 1
fi
