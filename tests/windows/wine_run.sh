#!/usr/bin/env bash
# Runs a Windows program under wine with a prefix of its own in the Windows
# build folder: wine_run.sh WINDOWS_BUILD PROGRAM.exe ARGS...
# Exits 77 (a skipped test) when wine or the program is not there.
set -euo pipefail
build="$1"
program="$2"
shift 2
wine="${WINE:-/usr/lib/wine/wine64}"
if [ ! -x "$wine" ] && ! wine="$(command -v wine64 || command -v wine)"; then
  echo "wine is not installed: skipped" >&2
  exit 77
fi
if [ ! -f "$program" ]; then
  echo "$program not built (./dev windows): skipped" >&2
  exit 77
fi
export WINEPREFIX="${WINEPREFIX:-$(cd "$build" && pwd)/wineprefix}"
export WINEDEBUG=-all
# A first start builds the prefix; several tests at once must not each do it.
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" cmd /c exit >/dev/null 2>&1 || true
  "${wine%/*}/wineserver" -w 2>/dev/null || true
fi
flock -u 9
exec "$wine" "$program" "$@"
