#!/usr/bin/env bash
# Every capture decoded by the Windows build under wine gives the Linux
# build's output byte for byte, as text, as JSON and frame by frame:
# decode_matches.sh LINUX_TOLVAR WINDOWS_BUILD CAPTURES_DIR
set -euo pipefail
linux="$(realpath "$1")"
build="$(realpath "$2")"
captures="$3"
here="$(cd "$(dirname "$0")" && pwd)"
exe="$build/cli/tolvar.exe"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
status=0
# Run in the captures' folder with plain names, so that both builds print the
# same names.
cd "$captures"
files=()
for file in *; do
  case "$file" in *.md) continue ;; esac
  files+=("$file")
done
for mode in "" --json --frames; do
  for file in "${files[@]}"; do
    name="$file${mode:+.$mode}"
    "$linux" decode $mode "$file" >"$out/linux" 2>&1 || echo "exit $?" >>"$out/linux"
    set +e
    "$here/wine_run.sh" "$build" "$exe" decode $mode "$file" >"$out/windows" 2>&1
    code=$?
    set -e
    [ "$code" -eq 77 ] && exit 77
    [ "$code" -ne 0 ] && echo "exit $code" >>"$out/windows"
    # The console's line ends are the one difference Windows may add.
    tr -d '\r' <"$out/windows" >"$out/windows.lf"
    if cmp -s "$out/linux" "$out/windows.lf"; then
      if cmp -s "$out/windows" "$out/windows.lf"; then
        echo "same: $name"
      else
        echo "DIFFERENT: $name (carriage returns)"
        status=1
      fi
    else
      echo "DIFFERENT: $name"
      diff "$out/linux" "$out/windows.lf" | head -n 20
      status=1
    fi
  done
done
exit $status
