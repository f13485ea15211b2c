#!/usr/bin/env bash
# Installs the build into a scratch prefix, runs the demo from the installed
# tree with a short streaming time, and checks that every requested series
# got history rows and live rows, that every series' gap after the feed's
# outage was filled and the tick chart checked against the feed's history,
# and that every chart and the chart page were drawn, the filled stretch
# marked.
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
"$source_dir/scripts/demo.sh" --prefix "$work/prefix" --seconds 3 --out "$work/out" \
    > "$work/demo.log" 2>&1 || { cat "$work/demo.log"; exit 1; }
cat "$work/demo.log"

fail=0
series=$(grep -c '^series ' "$work/demo.log" || true)
if [ "$series" -ne 4 ]; then
    echo "FAIL: expected 4 series in the summary, found $series"
    fail=1
fi
while read -r line; do
    history=$(sed -n 's/.*(\([0-9]*\) history, \([0-9]*\) streamed).*/\1/p' <<<"$line")
    streamed=$(sed -n 's/.*(\([0-9]*\) history, \([0-9]*\) streamed).*/\2/p' <<<"$line")
    if [ "${history:-0}" -eq 0 ] || [ "${streamed:-0}" -eq 0 ]; then
        echo "FAIL: $line"
        fail=1
    fi
done < <(grep '^series ' "$work/demo.log")

# The outage: every series was filled, and the tick chart was checked
# against the feed's history.
fills=$(grep -c '^demo:   Filled the gap of ' "$work/demo.log" || true)
if [ "$fills" -ne 4 ]; then
    echo "FAIL: expected the gaps of 4 series filled after the outage, found $fills"
    fail=1
fi
if ! grep -q '^demo:   ABC ticks: the feed sent [0-9]* trades' "$work/demo.log"; then
    echo "FAIL: the demo does not check the tick chart against the feed's history"
    fail=1
fi

charts=$(ls "$work/out/charts"/*.svg 2>/dev/null | wc -l)
if [ "$charts" -ne 4 ]; then
    echo "FAIL: expected 4 charts, found $charts"
    fail=1
fi
if [ ! -s "$work/out/charts/index.html" ] || [ "$(grep -c '<canvas ' "$work/out/charts/index.html")" -ne 4 ]; then
    echo "FAIL: index.html does not show the 4 charts"
    fail=1
fi
# The outage's fill lies on its own band on the page.
if ! grep -q '<g class="fill-band"><title>gap filled: ' "$work/out/charts/index.html"; then
    echo "FAIL: the chart page does not mark the gap filled after the outage"
    fail=1
fi
if ! grep -q "file://$work/out/charts/index.html" "$work/demo.log"; then
    echo "FAIL: the demo does not tell where its chart page is"
    fail=1
fi
if pgrep -f "$work/prefix/bin/orvella-feed-sim" >/dev/null; then
    echo "FAIL: the demo left the feed client running"
    fail=1
fi
if grep -q 'demo-password' "$work"/out/novascope/*.log; then
    echo "FAIL: the password reached the plug-in's log"
    fail=1
fi
exit $fail
