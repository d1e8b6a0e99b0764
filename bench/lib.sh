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
