#!/usr/bin/env bash
# The Windows build's demo under wine: a whole link test over the emulated
# link's in-process ports, whose measured counts must agree with the link's
# own account of what it sent, dropped, corrupted and delivered:
# demo_agrees.sh WINDOWS_BUILD SECONDS
set -euo pipefail
build="$(realpath "$1")"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
set +e
"$here/wine_run.sh" "$build" "$build/cli/tolvar.exe" demo --seconds "$seconds" --json >"$out/demo.json" 2>"$out/demo.err"
code=$?
set -e
[ "$code" -eq 77 ] && exit 77
if [ "$code" -ne 0 ]; then
  echo "tolvar.exe demo exited with $code"
  cat "$out/demo.err"
  exit 1
fi
python3 - "$out/demo.json" <<'PY'
import json, sys
demo = json.load(open(sys.argv[1]))
link, total = demo["link"], demo["measuredTotal"]
checks = [
    ("the link carried packets", link["sent"] > 0),
    ("every packet sent is accounted for",
     link["sent"] == link["dropped"] + link["corrupted"] + link["delivered"]),
    ("measured sent == link sent", total["sent"] == link["sent"]),
    ("received == delivered", total["received"] == link["delivered"]),
    ("matched == delivered", total["matched"] == link["delivered"]),
    ("missed == dropped + corrupted", total["missed"] == link["dropped"] + link["corrupted"]),
    ("nothing left in flight", total["inFlight"] == 0),
]
failed = [name for name, ok in checks if not ok]
print(json.dumps({"link": link, "measured": {k: total[k] for k in ("sent", "received", "matched", "missed", "inFlight")}}))
for name in failed:
    print("FAILED:", name)
sys.exit(1 if failed else 0)
PY
