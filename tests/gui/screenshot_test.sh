#!/usr/bin/env bash
# Starts the real program on a virtual display with the demonstration link,
# lets it save a picture of its main window and checks that the picture shows
# something: a blank or unreadable picture has only a few colours.
#
#   screenshot_test.sh TOLVAR_GUI IMAGE_COLOURS
set -uo pipefail

program="$1"
colours="$2"
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "SKIP: xvfb-run is not installed (apt-get install xvfb)"
  exit 77
fi
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
shot="$folder/shot.png"

# The program saves the picture and ends by itself; the time-out only catches
# a program that hangs.
timeout 90 xvfb-run -a "$program" --demo --screenshot "$shot" --after 3
status=$?
[ "$status" -eq 0 ] || { echo "FAIL: tolvar-gui ended with status $status"; exit 1; }
[ -s "$shot" ] || { echo "FAIL: no picture at $shot"; exit 1; }
line="$("$colours" "$shot")" || { echo "FAIL: the picture cannot be read"; exit 1; }
echo "$line"
count="$(echo "$line" | sed -n 's/.* \([0-9][0-9]*\) colours$/\1/p')"
[ -n "$count" ] && [ "$count" -gt 16 ] || { echo "FAIL: the picture is blank ($line)"; exit 1; }
echo "PASS"
