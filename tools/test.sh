#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test; runs every fuzz target
# for a short smoke time (tools/fuzz.sh) and fails on any finding; then builds the library and its
# tests again with AddressSanitizer and UndefinedBehaviorSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREKKON_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Ten seconds per target, six targets: about a minute after the clang build.
bash tools/fuzz.sh 10

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DREKKON_SANITIZE=ON -DREKKON_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
