#!/usr/bin/env bash
# The main job in one command: build, write demo settings into a private
# settings store, load the plug-in into the stand-in charting host, hand it
# credentials (which starts the stand-in feed client through Orvalink.exe),
# request several charts, stream live updates for a while, drop and restore
# the feed's level-one port (the plug-in reconnects and fills each chart's
# gap), remove the charts, unload the plug-in, stop the feed and show what
# arrived: a summary, the trades streamed and filled with a check against the
# feed's own history, and the charts on one page (index.html) to open in a
# web browser.
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
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
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
orvella-reg add "$key" /v Reconnect /t REG_DWORD /d 1 /f >/dev/null
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

# Once the four charts are loaded and have streamed for the given time, the
# feed's level-one port goes away for three seconds, as in a restart of the
# feed client; the plug-in reconnects and fills each chart's gap.
feed_pid=$(cat "$XDG_RUNTIME_DIR/orvella-feed-sim-$(id -u).pid")
rm -f "$out/record.jsonl"
(
    for _ in $(seq 600); do
        [ "$(grep -c '"call":"RequestTicker"' "$out/record.jsonl" 2>/dev/null)" = 4 ] && break
        sleep 0.1
    done
    sleep "$seconds"
    kill -USR1 "$feed_pid" && echo "demo: the feed's level-one port is down for 3 s"
    sleep 3
    kill -USR2 "$feed_pid" && echo "demo: the feed's level-one port is back"
) &
outage=$!

tick_start="${trading_day}T10:50:00"
echo "demo: loading the plug-in into nst-host; live updates for $seconds s, then an outage"
nst-host "$plugin" \
    --record "$out/record.jsonl" --chart-dir "$out/charts" \
    -c "credentials demo demo-password" \
    -c "request ABC 5 $week_ago \"ABC Corp\" Equities" \
    -c "request ABC 0 $tick_start \"ABC Corp\" Equities" \
    -c "request XYZ 60 $week_ago \"XYZ Inc\" Equities" \
    -c "request XYZ 1440 $year_ago \"XYZ Inc\" Equities" \
    -c "pump $seconds" -c "pump 10" \
    -c "remove ABC 5" -c "remove ABC 0" -c "remove XYZ 60" -c "remove XYZ 1440" \
    -c "unload"
wait "$outage" || true

# Per series: the trades streamed live and the rows the gap fill handed over
# (from the plug-in's log). The tick chart's trades are checked against the
# feed's own history of the same stretch, which holds every trade it sent.
echo
echo "demo: the outage, per series"
awk '
    function field(name,    r) {
        if (!match($0, "\"" name "\":(\"[^\"]*\"|[^,}]*)")) return ""
        r = substr($0, RSTART + length(name) + 3, RLENGTH - length(name) - 3)
        gsub(/"/, "", r)
        return r
    }
    /"call":"RequestTicker"/ { i = field("interval"); loaded[field("symbol") " " (i == "0" ? "-0.0" : "-" i)] = 1 }
    /"call":"NSTSETVALUE"/ && /"column":4,/ { type[field("symbol") " " field("interval")] = field("value") }
    /"call":"NSTCOMMITROW"/ {
        k = field("symbol") " " field("interval")
        if (loaded[k] && (type[k] == "" || type[k] == "0")) streamed[k]++
        delete type[k]
    }
    END { for (k in streamed) printf "demo:   series %s: %d trade rows after its load (live and filled)\n", k, streamed[k] }
' "$out/record.jsonl" | sort
grep -ah "Filled the gap of" "$out"/novascope/*.log | sed 's/^[^,]*,/demo:   /' || true

# The tick chart's trades against the feed's history from the chart's start
# to the last whole second it charted.
trades=$(awk '
    /"call":"NSTSETVALUE","symbol":"ABC","interval":-0.0,"column":1,/ { match($0, /"value":[^}]*/); d = substr($0, RSTART + 8, RLENGTH - 8) }
    /"call":"NSTSETVALUE","symbol":"ABC","interval":-0.0,"column":4,"value":0}/ { t[++n] = sprintf("%.0f", d * 86400) + 0 }
    END { last = t[n]; c = 0; for (j = 1; j <= n; j++) if (t[j] < last) c++; printf "%d %.0f\n", c, last }
' "$out/record.jsonl")
charted=${trades% *}
last=${trades#* }
# Host day counts start at 1899-12-30, 25569 days before 1970-01-01.
last_text=$(date -u -d "@$((last - 1 - 25569 * 86400))" +"%Y%m%d %H%M%S")
exec 3<>/dev/tcp/127.0.0.1/9100
printf 'HTT,ABC,%s,%s,,,,1\r\n' "$(date -d "$tick_start" +"%Y%m%d %H%M%S")" "$last_text" >&3
sent=0
while IFS= read -r -t 30 line <&3; do
    case $line in
        '!ENDMSG!'* | E,*) break ;;
        [0-9]*) sent=$((sent + 1)) ;;
    esac
done
exec 3<&-
if [ "$charted" -eq "$sent" ]; then
    verdict="none missing"
elif [ "$charted" -lt "$sent" ]; then
    verdict="$((sent - charted)) missing"
else
    verdict="$((charted - sent)) more than it sent (charted twice)"
fi
echo "demo:   ABC ticks: the feed sent $sent trades up to $last_text, the chart holds $charted: $verdict"
echo
echo "demo: charts in $out/charts, all on one page:"
echo "demo:   $out/charts/index.html"
echo "demo:   file://$out/charts/index.html"
echo "demo: open it in a web browser (xdg-open $out/charts/index.html, or paste the"
echo "demo: file:// address into the address bar); it needs no network"
echo "demo: call record in $out/record.jsonl, plug-in log in $out/novascope"
