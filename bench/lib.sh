# shellcheck shell=bash
# Sourced by the bench scripts. bench_nice "$@": runs the calling script again under
# `nice -n ${REKKON_BENCH_NICE:-10}` (0: as it is), as the machine is shared; sets NICE.
bench_nice() {
    NICE=${REKKON_BENCH_NICE:-10}
    if [[ -z ${REKKON_BENCH_NICED:-} && $NICE != 0 ]]; then
        export REKKON_BENCH_NICED=1
        exec nice -n "$NICE" bash "${BASH_SOURCE[1]}" "$@"
    fi
}

# bench_cli: sets CLI to the rekkon-cli to time: $REKKON_CLI, else one built (Release, without
# tests or desktop) in $REKKON_BUILD or <repo>/build-bench, its log in $BENCH_DIR/build.log.
# Needs REPO, BENCH_DIR and die from the caller.
bench_cli() {
    if [[ -n ${REKKON_CLI:-} ]]; then
        CLI=$REKKON_CLI
    else
        BUILD=${REKKON_BUILD:-$REPO/build-bench}
        [[ -f $BUILD/CMakeCache.txt ]] ||
            cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DREKKON_BUILD_TESTS=OFF \
                -DREKKON_BUILD_UI=OFF >/dev/null
        cmake --build "$BUILD" -j "$(nproc)" --target rekkon-cli >"$BENCH_DIR/build.log" 2>&1 ||
            { tail -30 "$BENCH_DIR/build.log" >&2; die "build failed (log: $BENCH_DIR/build.log)"; }
        CLI=$BUILD/rekkon-cli
    fi
    [[ -x $CLI ]] || die "rekkon-cli not found at $CLI"
}
