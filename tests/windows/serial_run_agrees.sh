#!/usr/bin/env bash
# A `run` of the Windows build under wine over two COM ports, COM6 (the
# Source's fake CMR) wired to COM5 (the Listener) by a null-modem cable of
# two pseudo-terminals: every frame sent arrives and is matched.
# serial_run_agrees.sh WINDOWS_BUILD SECONDS
set -euo pipefail
build="$(realpath "$1")"
seconds="$2"
here="$(cd "$(dirname "$0")" && pwd)"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
[ -f "$build/cli/tolvar.exe" ] || { echo "tolvar.exe not built: skipped"; exit 77; }
set +e
python3 "$here/serial_cable.py" "$here/wine_run.sh" "$build" "$build/cli/tolvar.exe" run --listener '{listener}' \
  --source 'fake-cmr:{source}' --no-probe --seconds "$seconds" --json >"$out/run.json" 2>"$out/run.err"
code=$?
set -e
[ "$code" -eq 77 ] && exit 77
if [ "$code" -ne 0 ]; then
  echo "tolvar.exe run exited with $code"
  cat "$out/run.err"
  exit 1
fi
python3 - "$out/run.json" <<'PY'
import json, sys
total = json.load(open(sys.argv[1]))["measuredTotal"]
print({k: total[k] for k in ("sent", "received", "matched", "missed", "unmatched")})
ok = total["sent"] > 0 and total["matched"] == total["sent"] and total["missed"] == 0 and total["unmatched"] == 0
sys.exit(0 if ok else 1)
PY
