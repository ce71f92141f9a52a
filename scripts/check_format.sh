#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of it
# with the tree's .clang-format, and names the files.
#
#   scripts/check_format.sh          check
#   scripts/check_format.sh --fix    rewrite the files in place
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
# The broken trees under tests/layers are fixtures of the layer check.
mapfile -t files < <(git ls-files '*.h' '*.cpp' | grep -v '^tests/layers/')

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

bad=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    bad+=("$file")
  fi
done
if [ "${#bad[@]}" -gt 0 ]; then
  printf '%s\n' "${bad[@]}"
  printf '%d file(s) differ from .clang-format: run scripts/check_format.sh --fix\n' "${#bad[@]}"
  exit 1
fi
