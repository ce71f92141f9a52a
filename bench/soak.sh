#!/usr/bin/env bash
# bench/soak.sh [TOLVAR] [SECONDS] [OUTDIR]
#
# A long demo on the emulated radio link (fake CMR at 5 Hz, 10 % loss) with
# the process watched from outside: resident memory once warm, every minute
# and at the end; CPU time per second of traffic; and, from the demo's JSON,
# whether what the tool measured is exactly what the link did.
#
# Fails when resident memory grew by 1 MiB or more after warm-up, or when a
# count differs from the link's account. Not a CI job: an hour by default.
set -euo pipefail

tolvar="${1:-build/cli/tolvar}"
seconds="${2:-3600}"
out="${3:-soak-$(date -u +%Y%m%dT%H%M%S)}"
warm=60       # seconds before the first memory sample: buffers, tables and caches reach their size
period=60     # seconds between samples
limit_kb=1024 # growth allowed once warm

if [ "$seconds" -le "$warm" ]; then
  warm=$((seconds / 3))
  period=$(((seconds - warm) / 4 + 1))
fi
mkdir -p "$out"
samples="$out/samples.tsv"
json="$out/demo.json"

# Resident kB and CPU ticks (user+system) of a live process.
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu_ticks() {
  # The command name sits in parentheses and may hold spaces: count fields after it.
  sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'
}
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "load average at start: $(load)" | tee "$out/summary.txt"
"$tolvar" demo --seconds "$seconds" --schedule 0 --loss 10 --json >"$json" 2>"$out/demo.err" &
pid=$!
start=$(date +%s.%N)
hz=$(getconf CLK_TCK)
printf 'elapsed_s\trss_kB\tcpu_s\tload1\n' >"$samples"

sample() {
  local now rss ticks
  now=$(date +%s.%N)
  rss=$(rss_kb "$pid" 2>/dev/null) || return 1
  ticks=$(cpu_ticks "$pid" 2>/dev/null) || return 1
  [ -n "$rss" ] && [ -n "$ticks" ] || return 1
  printf '%.1f\t%s\t%.2f\t%s\n' "$(echo "$now - $start" | bc)" "$rss" "$(echo "$ticks / $hz" | bc -l)" \
    "$(cut -d' ' -f1 /proc/loadavg)" >>"$samples"
}

# Samples on absolute due times from the start, so the loop's own cost does
# not stretch the schedule; the last is taken a second before the traffic ends.
due=$warm
last=$((seconds - 1))
while kill -0 "$pid" 2>/dev/null; do
  target=$(echo "$start + $due" | bc)
  pause=$(echo "$target - $(date +%s.%N)" | bc)
  if [ "$(echo "$pause > 0" | bc)" -eq 1 ]; then sleep "$pause"; fi
  sample || break
  [ "$due" -ge "$last" ] && break
  due=$((due + period))
  [ "$due" -gt "$last" ] && due=$last
done
status=0
wait "$pid" || status=$?
echo "load average at end: $(load)" | tee -a "$out/summary.txt"
if [ "$status" -ne 0 ]; then
  echo "FAIL: tolvar demo exited with $status" | tee -a "$out/summary.txt"
  cat "$out/demo.err"
  exit 1
fi

fail=0
read -r t0 rss0 cpu0 _ < <(sed -n 2p "$samples")
read -r t1 rss1 cpu1 _ < <(tail -n 1 "$samples")
growth=$((rss1 - rss0))
max_rss=$(tail -n +2 "$samples" | cut -f2 | sort -n | tail -n 1)
cpu_per_s=$(echo "($cpu1 - $cpu0) / ($t1 - $t0)" | bc -l)
{
  printf 'samples: %d (first at %.0f s, last at %.0f s)\n' "$(($(wc -l <"$samples") - 1))" "$t0" "$t1"
  printf 'resident: %d kB warm, %d kB at the end, %d kB most; growth %d kB (limit %d kB)\n' \
    "$rss0" "$rss1" "$max_rss" "$growth" "$limit_kb"
  printf 'CPU: %.2f ms per second of traffic (user+system, warm to end)\n' "$(echo "$cpu_per_s * 1000" | bc -l)"
} | tee -a "$out/summary.txt"
if [ "$growth" -ge "$limit_kb" ]; then
  echo "FAIL: resident memory grew by $growth kB once warm" | tee -a "$out/summary.txt"
  fail=1
fi

# Every generated packet went over the air; a dropped or corrupted one is a
# missed frame, an intact one a matched frame, and nothing else turns up.
# Late frames are a measurement (delay against the period) and only shown.
checks=$(jq -r '
  .measuredTotal as $m | .link as $l |
  [ ["sent", $m.sent, $l.sent],
    ["received", $m.received, $l.delivered],
    ["matched", $m.matched, $l.delivered],
    ["missed", $m.missed, ($l.dropped + $l.corrupted)],
    ["unmatched", $m.unmatched, 0],
    ["inFlight", $m.inFlight, 0] ]
  | .[] | "\(.[0])\t\(.[1])\t\(.[2])"' "$json")
while IFS=$'\t' read -r name measured expected; do
  if [ "$measured" != "$expected" ]; then
    echo "FAIL: $name $measured, the link's account says $expected" | tee -a "$out/summary.txt"
    fail=1
  fi
done <<<"$checks"
jq -r '"link: \(.link.sent) sent, \(.link.dropped) dropped, \(.link.corrupted) corrupted, \(.link.delivered) delivered" ,
       "measured: \(.measuredTotal.sent) sent, \(.measuredTotal.received) received, \(.measuredTotal.matched) matched, \(.measuredTotal.missed) missed, \(.measuredTotal.unmatched) unmatched, \(.measuredTotal.late) late"' \
  "$json" | tee -a "$out/summary.txt"
[ "$fail" -eq 0 ] && echo "PASS" | tee -a "$out/summary.txt"
exit "$fail"
