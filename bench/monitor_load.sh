#!/usr/bin/env bash
# bench/monitor_load.sh [TOLVAR] [LINKS] [SECONDS] [OUTDIR]
#
# `tolvar monitor` with LINKS (200) NTRIP mountpoints of one loopback caster,
# each streaming 1 kB/s of RTCM 3, watched from outside: the share of one
# core it takes from the first minute on, its resident memory at the first
# minute and at the end, and the growth between them. Aims: under a quarter
# of a core, under 300 MB, no growth. Not a CI job: 5 minutes by default.
set -euo pipefail

tolvar="${1:-build/cli/tolvar}"
links="${2:-200}"
seconds="${3:-300}"
out="${4:-monitor-load-$(date -u +%Y%m%dT%H%M%S)}"
warm=60
[ "$seconds" -gt "$warm" ] || warm=$((seconds / 3))
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$out"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }

python3 "$here/ntrip_load_caster.py" "$out/caster.port" 1000 &
caster=$!
trap 'kill "$caster" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -f "$out/caster.port" ] && break; sleep 0.1; done
port="$(cat "$out/caster.port")"
{
  echo "links:"
  for i in $(seq "$links"); do
    printf '  - name: base%03d\n    listener: NTRIP:127.0.0.1:%s/M%03d\n' "$i" "$port" "$i"
  done
} >"$out/links.yaml"

"$tolvar" monitor "$out/links.yaml" --seconds "$seconds" --json >"$out/monitor.json" 2>"$out/monitor.err" &
pid=$!
hz=$(getconf CLK_TCK)
sleep "$warm"
rss_warm=$(rss_kb "$pid")
ticks_warm=$(cpu_ticks "$pid")
start=$(date +%s.%N)
sleep $((seconds - warm - 2))
rss_end=$(rss_kb "$pid")
ticks_end=$(cpu_ticks "$pid")
end=$(date +%s.%N)
wait "$pid" || true

received=$(python3 -c "
import json; d = json.load(open('$out/monitor.json'))
print(sum(t['received'] for l in d['links'] if l['ran'] for t in l['figures']['measured']), sum(l['ran'] for l in d['links']))")
{
  echo "links: $links, seconds: $seconds, frames received: ${received% *} on ${received#* } links"
  awk -v a="$ticks_warm" -v b="$ticks_end" -v hz="$hz" -v s="$start" -v e="$end" \
    'BEGIN { printf "CPU from %s s on: %.1f %% of one core\n", 0, 100 * (b - a) / hz / (e - s) }' | sed "s/from 0 s/from ${warm} s/"
  echo "resident memory at ${warm} s: $((rss_warm / 1024)) MiB, at the end: $((rss_end / 1024)) MiB, growth: $((rss_end - rss_warm)) kB"
} | tee "$out/summary.txt"
