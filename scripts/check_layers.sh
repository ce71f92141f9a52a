#!/usr/bin/env bash
# Fails when a source file includes from a layer above its own, or from a
# folder beside it on the same layer. The folder names are meant to tell a
# reader what depends on what; this keeps them honest.
#
#   scripts/check_layers.sh [ROOT]     ROOT defaults to the top of this tree
#
# Layers, lowest first; folders on one line share a layer but stay apart.
# tests/, bench/ and fuzz/ sit outside and may include anything.
set -euo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

layers='core:0 ports:1 decoders:2 sim:3 stats:3 radio:3 position:3 app:4 web:5 cli:6 gui:6'

folders=()
for entry in $layers; do
  [ -d "${entry%%:*}" ] && folders+=("${entry%%:*}")
done
[ "${#folders[@]}" -gt 0 ] || { echo "check_layers: no source folders under $root" >&2; exit 2; }

# Only includes written with a folder ("ports/byte_pipe.h") cross folders;
# the system's and the libraries' headers use angle brackets.
{ grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]+/' \
    "${folders[@]}" || true; } |
  awk -v layers="$layers" '
    BEGIN {
      n = split(layers, pairs, " ")
      for (i = 1; i <= n; i++) { split(pairs[i], kv, ":"); level[kv[1]] = kv[2] }
    }
    {
      split($0, parts, ":")
      file = parts[1]; line = parts[2]
      from = file; sub(/\/.*/, "", from)
      target = $0; sub(/^[^"]*"/, "", target); sub(/".*/, "", target)
      to = target; sub(/\/.*/, "", to)
      if (!(to in level) || to == from) next
      if (level[to] > level[from]) {
        printf "%s:%s: %s (layer %s) includes %s (layer %s, above)\n", file, line, from, level[from], target, level[to]
        bad++
      } else if (level[to] == level[from]) {
        printf "%s:%s: %s includes %s from %s, beside it on the same layer\n", file, line, from, target, to
        bad++
      }
    }
    END {
      if (bad) { printf "%d include(s) break the layering: core < ports < decoders < sim, stats, radio, position < app < web < cli, gui\n", bad; exit 1 }
    }'
