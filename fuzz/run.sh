#!/usr/bin/env bash
# Runs every fuzz target for a fixed time over a copy of its seed corpus.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# New inputs go to a scratch corpus (the seeds in the repo stay as they are);
# a crash leaves its input in BUILD_DIR/fuzz-artifacts/ and fails the run.
# Prints one line per target: executions, corpus entries and bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build dir}
seconds=${2:?seconds}
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(history_reply_fuzzer level_one_lines_fuzzer admin_status_fuzzer registry_path_fuzzer
             port_text_fuzzer redirect_target_fuzzer lst_build_fuzzer)
fi

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/
    log="$artifacts/$target.log"
    # Bounded inputs keep every execution short; the private registry and
    # home keep the targets away from the user's settings.
    if ORVELLA_REGISTRY="$work/registry.db" HOME="$work" \
        "$build/bin/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        entries=$(find "$corpus" -type f | wc -l)
        bytes=$(du -sb "$corpus" | cut -f1)
        echo "fuzz $target: ${runs:-?} executions in ${seconds}s, corpus $entries entries ($bytes bytes)"
    else
        echo "fuzz $target: FAILED (see $log)"
        tail -40 "$log"
        failed=1
    fi
done
exit $failed
