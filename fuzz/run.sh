#!/usr/bin/env bash
# Runs every fuzz target for a fixed time over a copy of its seed corpus.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# Targets run two at a time (ORVELLA_FUZZ_JOBS to change). New inputs go to a
# scratch corpus (the seeds in the repo stay as they are); a crash leaves its
# input in BUILD_DIR/fuzz-artifacts/ and fails the run. Prints one line per
# target: executions, corpus entries and bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build dir}
seconds=${2:?seconds}
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(history_reply_fuzzer level_one_lines_fuzzer lst_build_fuzzer admin_status_fuzzer
             registry_path_fuzzer port_text_fuzzer redirect_target_fuzzer)
fi
jobs=${ORVELLA_FUZZ_JOBS:-2}

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
# Scratch space, memory-backed where the machine has it; the targets' own
# scratch folders go there too (TMPDIR) and leave with it.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    work=$(mktemp -d -p /dev/shm)
else
    work=$(mktemp -d)
fi
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"

# One target; writes its summary line to $work/<target>.result.
run_target() {
    local target=$1
    local corpus="$work/$target"
    local log="$artifacts/$target.log"
    mkdir -p "$corpus" "$work/$target.home"
    cp fuzz/corpus/"$target"/* "$corpus"/
    # Bounded inputs keep every execution short; a private registry and home
    # keep the targets away from the user's settings.
    if ORVELLA_REGISTRY="$work/$target.home/registry.db" HOME="$work/$target.home" \
        "$build/bin/$target" -max_total_time="$seconds" -max_len=4096 -len_control=0 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" >"$log" 2>&1; then
        local runs entries bytes
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        entries=$(find "$corpus" -type f | wc -l)
        bytes=$(du -sb "$corpus" | cut -f1)
        echo "fuzz $target: ${runs:-?} executions in ${seconds}s, corpus $entries entries ($bytes bytes)" \
            >"$work/$target.result"
    else
        echo "fuzz $target: FAILED (see $log)" >"$work/$target.result"
        return 1
    fi
}

for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    run_target "$target" &
done
wait || true

failed=0
for target in "${targets[@]}"; do
    cat "$work/$target.result" 2>/dev/null || echo "fuzz $target: no result"
    if ! grep -q executions "$work/$target.result" 2>/dev/null; then
        tail -40 "$artifacts/$target.log"
        failed=1
    fi
done
exit $failed
