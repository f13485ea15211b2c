#!/usr/bin/env bash
# The main job in one command: build, write demo settings into a private
# settings store, load the plug-in into the stand-in charting host, hand it
# credentials (which starts the stand-in feed client through Orvalink.exe),
# request several charts, stream live updates for a while, remove the charts,
# unload the plug-in, stop the feed and show what arrived: a summary, and the
# charts on one page (index.html) to open in a web browser.
#
#   scripts/demo.sh [--seconds N] [--out DIR] [--prefix INSTALLED_TREE]
#
# --seconds  how long live updates stream (default 10)
# --out      where the settings store, log, record and charts go
#            (default: build/demo)
# --prefix   run the programs of an installed tree (cmake --install) instead
#            of building
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=10
out=""
prefix=""
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        --prefix) prefix="$2"; shift 2 ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

if [ -z "$prefix" ]; then
    scripts/bootstrap.sh
    cmake --preset default >/dev/null
    cmake --build --preset default --target OrvellaForNST nst-host orvella-feed-sim \
        orvella_launcher orvella-reg
    bin="$root/build/bin"
    plugin="$root/build/lib/libOrvellaForNST.so"
else
    prefix=$(cd "$prefix" && pwd)
    bin="$prefix/bin"
    plugin=$(ls "$prefix"/lib*/libOrvellaForNST.so | head -n 1)
fi
out=${out:-$root/build/demo}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# A private world: settings store, home, runtime folder. Nothing of the
# user's own settings is read or written.
rm -rf "$out/home" "$out/run" "$out/novascope" "$out/charts" "$out/registry.db"*
mkdir -p "$out/home/Documents" "$out/run" "$out/novascope" "$out/charts"
chmod 700 "$out/run"
export HOME="$out/home"
export XDG_CONFIG_HOME="$out/home/.config"
export XDG_DOCUMENTS_DIR="$out/home/Documents"
export XDG_RUNTIME_DIR="$out/run"
export ORVELLA_REGISTRY="$out/registry.db"
export PATH="$bin:$PATH"
# The feed's clock starts at 11:00 of the last trading day, so trades stream
# whatever the time of day the demo runs.
trading_day=$(date +%Y-%m-%d)
while [ "$(date -d "$trading_day" +%u)" -gt 5 ]; do
    trading_day=$(date -d "$trading_day - 1 day" +%Y-%m-%d)
done
export ORVELLA_FEED_SIM_ARGS="--update-rate 5 --now ${trading_day}T11:00:00 --log $out/feed-sim.log"

key='HKCU\Software\Corvan\Orvella\OrvellaForNST'
orvella-reg add "$key" /v Streaming /t REG_DWORD /d 1 /f >/dev/null
orvella-reg add "$key" /v ExtendedTrade /t REG_DWORD /d 0 /f >/dev/null
orvella-reg add "$key" /v Logging /t REG_DWORD /d 1 /f >/dev/null
orvella-reg add "$key" /v NovaScopeRoot /t REG_SZ /d "$out/novascope" /f >/dev/null

stop_feed() {
    local pidfile="$XDG_RUNTIME_DIR/orvella-feed-sim-$(id -u).pid"
    if [ -f "$pidfile" ]; then
        local pid
        pid=$(cat "$pidfile")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
}
trap stop_feed EXIT

# The feed client must be listening before the plug-in connects: the plug-in
# does not wait for the launcher, and it opens its level-one connection only
# once per process. Starting it through the launcher first is what a user
# does by starting the feed client before the charting host; the plug-in's
# own launch then finds it running.
Orvalink.exe -product NOVASCOPE_TRADER -version demo -login demo -password demo-password

week_ago=$(date -d "$trading_day - 7 days" +%Y-%m-%d)
days_ago=$(date -d "$trading_day - 3 days" +%Y-%m-%d)
year_ago=$(date -d "$trading_day - 1 year" +%Y-%m-%d)

echo "demo: loading the plug-in into nst-host; live updates for $seconds s"
nst-host "$plugin" \
    --record "$out/record.jsonl" --chart-dir "$out/charts" \
    -c "credentials demo demo-password" \
    -c "request ABC 5 $week_ago \"ABC Corp\" Equities" \
    -c "request ABC 0 $days_ago \"ABC Corp\" Equities" \
    -c "request XYZ 60 $week_ago \"XYZ Inc\" Equities" \
    -c "request XYZ 1440 $year_ago \"XYZ Inc\" Equities" \
    -c "pump $seconds" \
    -c "remove ABC 5" -c "remove ABC 0" -c "remove XYZ 60" -c "remove XYZ 1440" \
    -c "unload"

echo
echo "demo: charts in $out/charts, all on one page:"
echo "demo:   $out/charts/index.html"
echo "demo:   file://$out/charts/index.html"
echo "demo: open it in a web browser (xdg-open $out/charts/index.html, or paste the"
echo "demo: file:// address into the address bar); it needs no network"
echo "demo: call record in $out/record.jsonl, plug-in log in $out/novascope"
