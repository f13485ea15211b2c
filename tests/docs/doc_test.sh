#!/usr/bin/env bash
# Runs the shell examples of a guide as written. A block is runnable when the
# line before it (blank lines aside) is "<!-- doc-test -->", or
# "<!-- doc-test exit=N -->" for a block that ends with status N. A block
# marked "<!-- doc-test output -->" right after a runnable block lists lines
# its output must hold. Each block runs in bash from a scratch folder with a
# private settings store, HOME and runtime folder; ~/orvella stands for the
# installed tree (its bin and lib are the build's), and the build's bin is
# first on PATH.
set -uo pipefail
guide=$1
build_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
stop_feed() {
    local pid_file
    for pid_file in "$work"/run/orvella-feed-sim-*.pid; do
        [ -f "$pid_file" ] && kill "$(cat "$pid_file")" 2>/dev/null
        rm -f "$pid_file"
    done
}
trap 'stop_feed; rm -rf "$work"' EXIT

# Splits the guide into numbered blocks: block-N.sh (with block-N.exit) and
# block-N.out, each with the guide's line number in block-N.line.
awk -v dir="$work/blocks" '
    function finish() { if (kind != "") close(file); kind = ""; fenced = 0 }
    BEGIN { system("mkdir -p " dir) }
    /^<!-- doc-test( exit=[0-9]+| output)? -->$/ {
        finish()
        if ($3 != "output") n++
        pending = ($3 == "output") ? "out" : "sh"
        status = ($3 ~ /^exit=/) ? substr($3, 6) : 0
        next
    }
    pending != "" && /^[[:space:]]*$/ && kind == "" { next }
    pending != "" && kind == "" {
        kind = pending; pending = ""
        file = dir "/block-" n "." kind
        if (kind == "sh") {
            print NR > (dir "/block-" n ".line")
            print status > (dir "/block-" n ".exit")
        }
        if ($0 ~ /^```/) { fenced = 1; next }
    }
    kind != "" && fenced && /^```/ { finish(); next }
    kind != "" && !fenced && !/^    / && !/^[[:space:]]*$/ { finish(); next }
    kind != "" { line = $0; if (!fenced) sub(/^    /, "", line); print line > file }
    END { finish() }
' "$guide"

blocks=$(ls "$work"/blocks/*.sh 2>/dev/null | wc -l)
if [ "$blocks" -eq 0 ]; then
    echo "FAIL: $guide marks no runnable block"
    exit 1
fi

fail=0
for script in $(ls "$work"/blocks/*.sh | sort -V); do
    base=${script%.sh}
    line=$(cat "$base.line")
    expected=$(cat "$base.exit")
    run="$work/run-$(basename "$base")"
    mkdir -p "$run/home/orvella" "$run/home/.config" "$run/run"
    ln -s "$build_dir/bin" "$run/home/orvella/bin"
    ln -s "$build_dir/lib" "$run/home/orvella/lib"
    chmod 700 "$run/run"
    (cd "$run" && env -u ORVELLA_FEED_SIM_ARGS HOME="$run/home" \
        ORVELLA_REGISTRY="$run/registry.db" XDG_CONFIG_HOME="$run/home/.config" \
        XDG_RUNTIME_DIR="$run/run" PATH="$build_dir/bin:$PATH" \
        timeout 150 bash -e "$script") > "$base.log" 2>&1
    status=$?
    for pid_file in "$run"/run/orvella-feed-sim-*.pid; do
        [ -f "$pid_file" ] && kill "$(cat "$pid_file")" 2>/dev/null
    done
    if [ "$status" -ne "$expected" ]; then
        echo "FAIL: the example at line $line of the guide exited $status, not $expected:"
        cat "$base.log"
        fail=1
        continue
    fi
    if [ -f "$base.out" ]; then
        while IFS= read -r want; do
            [ -z "$want" ] && continue
            if ! grep -qxF -- "$want" "$base.log"; then
                echo "FAIL: the example at line $line of the guide did not print: $want"
                fail=1
            fi
        done < "$base.out"
    fi
    echo "ok: the example at line $line of the guide"
done
exit $fail
