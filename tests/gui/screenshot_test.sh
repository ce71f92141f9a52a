#!/usr/bin/env bash
# Starts the real program on a virtual display with the demonstration link,
# lets it save a picture of one of its windows and checks that the picture
# shows something: a blank or unreadable picture has only a few colours, and
# the program names the texts the pictured window shows, which must hold the
# expected one.
#
#   screenshot_test.sh TOLVAR_GUI IMAGE_COLOURS [WINDOW EXPECTED_TEXT [KEEP_AS]]
#
# WINDOW is main (default), position, content or port-dialog; KEEP_AS, when given, is
# where the picture is copied (the pictures of docs/ are made this way).
set -uo pipefail

program="$1"
colours="$2"
window="${3:-main}"
expected="${4:-Listener :}"
keep="${5:-}"
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "SKIP: xvfb-run is not installed (apt-get install xvfb)"
  exit 77
fi
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
shot="$folder/shot.png"

# The program saves the picture and ends by itself; the time-out only catches
# a program that hangs.
timeout 90 xvfb-run -a "$program" --demo --window "$window" --screenshot "$shot" --after 3 >"$folder/out.txt"
status=$?
cat "$folder/out.txt"
[ "$status" -eq 0 ] || { echo "FAIL: tolvar-gui ended with status $status"; exit 1; }
[ -s "$shot" ] || { echo "FAIL: no picture at $shot"; exit 1; }
line="$("$colours" "$shot")" || { echo "FAIL: the picture cannot be read"; exit 1; }
echo "$line"
count="$(echo "$line" | sed -n 's/.* \([0-9][0-9]*\) colours$/\1/p')"
[ -n "$count" ] && [ "$count" -gt 16 ] || { echo "FAIL: the picture is blank ($line)"; exit 1; }
grep -F -q -- "shown: " "$folder/out.txt" || { echo "FAIL: the window shows no text"; exit 1; }
grep -F -q -- "$expected" "$folder/out.txt" || { echo "FAIL: \"$expected\" is not shown"; exit 1; }
[ -z "$keep" ] || cp "$shot" "$keep"
echo "PASS"
