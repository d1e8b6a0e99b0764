#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test; builds the Debian
# package, installs it, checks it and removes it (tools/package-test.sh); runs every fuzz target
# for a short smoke time (tools/fuzz.sh) and fails on any finding; then builds the library and its
# tests again with AddressSanitizer and UndefinedBehaviorSanitizer and runs them. Prints the time
# each step took at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

times=()
cpu() {  # processor seconds the finished commands took (load stretches only the wall time)
    local fields
    read -ra fields </proc/$$/stat
    echo $(((fields[15] + fields[16]) / $(getconf CLK_TCK)))
}
phase() {  # phase NAME COMMAND...: runs the command and notes how long it took
    local name=$1 start=$SECONDS start_cpu
    start_cpu=$(cpu)
    shift
    "$@"
    times+=("$(printf '%-14s %4d s  (processor %4d s)' "$name" $((SECONDS - start)) \
        $(($(cpu) - start_cpu)))")
}
report() {
    printf 'test.sh: %s\n' "${times[@]}" \
        "$(printf '%-14s %4d s  (processor %4d s)' total "$SECONDS" "$(cpu)")" >&2
}
trap report EXIT

phase deps bash tools/install-deps.sh

jobs=$(nproc)
phase configure cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREKKON_WERROR=ON >/dev/null
phase build cmake --build build -j "$jobs"
phase ctest ctest --test-dir build --output-on-failure -j "$jobs"

# The Debian package: built in Release, installed with apt, checked and removed again.
phase package bash tools/package-test.sh

# Ten seconds per target, the targets side by side (tools/fuzz.sh), after the clang build.
phase fuzz bash tools/fuzz.sh 10

phase asan-configure cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREKKON_SANITIZE=ON \
    -DREKKON_WERROR=ON >/dev/null
phase asan-build cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
phase asan-ctest ctest --test-dir build-asan --output-on-failure -j "$jobs"
