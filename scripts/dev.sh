#!/usr/bin/env bash
# ./dev deps    install the Debian packages that are missing (runs apt-get update first)
# ./dev build   configure and build everything into build/
# ./dev test    the layer check, deps, the format check, build, every test, all but the timing tests under ASan+UBSan and TSan, the Windows build and its tests under wine, half a minute of demo under each sanitizer, every fuzz harness 10 s (the whole chain 20 s)
# ./dev demo [ARGS]  deps, build, then a link test on the built-in emulated radio link (tolvar demo ARGS)
# ./dev gui [ARGS]   deps, build, then the desktop program (tolvar-gui ARGS; --demo shows a live test at once)
# ./dev tolvar ARGS  build (its output on stderr), then the command line program (build/cli/tolvar ARGS)
# ./dev windows  cross-compile the command line for Windows (build-windows/cli/tolvar.exe, statically linked) and its device-free unit tests
# ./dev bench   build and run the benchmarks
# ./dev fuzz [SECONDS]  build the fuzz harnesses with clang and libFuzzer, run each (10 s by default, the whole chain 20 s)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libyaml-cpp-dev
  qt6-base-dev qt6-multimedia-dev qt6-serialport-dev xvfb xauth
  clang-format
)

say() { printf '\n== %s  (%s)\n' "$*" "$(date +%T)"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# What only the tests need: a real monitoring server and its checker, which
# scrape and check the status server's metrics; a real browser, which loads
# the status pages; RTKLIB's stream tools, the peers of the network port
# tests, whose recordings the tests make and replay; the Windows cross
# compiler and wine, which builds and runs the Windows command line.
test_packages=(prometheus chromium rtklib g++-mingw-w64-x86-64-posix wine64)

# deps [PACKAGES...]: the packages above and those given.
deps() {
  local missing=()
  for package in "${packages[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    say "dependencies: all present"
    return
  fi
  say "installing: ${missing[*]}"
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure DIR [cmake options...]
configure() {
  local dir="$1"
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

build() {
  say "build"
  configure build
  cmake --build build -j "$jobs"
}

# The command line for Windows, by mingw-w64, and the one test program of the
# suites that need no device; the Linux build's tests run both under wine.
windows_packages=(g++-mingw-w64-x86-64-posix wine64)
windows() {
  say "Windows build (mingw-w64)"
  configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTOLVAR_BENCH=OFF -DTOLVAR_GUI=OFF
  cmake --build build-windows -j "$jobs" --target tolvar windows_unit_tests
}

# A sanitizer build holds the core, the command line and their tests; it runs
# every suite but those labelled "timing", whose time bounds only a plain
# build can be held to.
sanitizer_run() {
  local kind="$1" dir="build-$1"
  say "tests under ${kind} sanitizer (all but timing)"
  # -O1 with line tables: quick to build, fast enough to run, readable reports.
  configure "$dir" -DTOLVAR_SANITIZE="$kind" -DTOLVAR_BENCH=OFF -DTOLVAR_GUI=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
  cmake --build "$dir" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$dir" -LE 'timing|windows' --output-on-failure -j "$jobs"
}

# The whole program in a sanitizer build: the demo at 5 Hz with the log file
# and a log pane's queue at level All, so that every thread of a test (port
# readers, generator, emulated link, log sinks, statistics) runs at once. The
# first report stops the program with a failing status, and any report that
# still reaches the error output fails the job.
sanitized_demo() {
  local kind="$1" seconds="${2:-30}" dir="build-$1" out
  say "demo under ${kind} sanitizer, ${seconds} s"
  out="$dir/sanitized-demo"
  mkdir -p "$out"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
       "$dir/cli/tolvar" demo --seconds "$seconds" --schedule 0 --log "$out/demo.txt" --log-level all \
         --log-pane all --json >"$out/demo.json" 2>"$out/demo.err" ||
     grep -qE 'Sanitizer|runtime error' "$out/demo.err"; then
    echo "FAILED"
    tail -n 80 "$out/demo.err"
    exit 1
  fi
}

# Before anything is built: an include that breaks the layering fails at once.
layers() {
  say "layers"
  scripts/check_layers.sh
}

# Needs clang-format, so it runs once the dependencies are in.
format_check() {
  say "format"
  scripts/check_format.sh
}

test_all() {
  layers
  deps "${test_packages[@]}"
  format_check
  build
  windows
  say "all tests"
  ctest --test-dir build --output-on-failure -j "$jobs"
  sanitizer_run address
  sanitizer_run thread
  sanitized_demo address
  sanitized_demo thread
  fuzz
  say "all tests passed"
}

bench() {
  deps
  build
  for program in build/bench/*_bench; do
    say "$program"
    "$program" "$@"
  done
}

# Each harness runs from a fresh corpus seeded with the real captures; the
# first crash fails the run and leaves its input in build-fuzz/. SECONDS sets
# every harness's time; without it each has its own.
declare -A fuzz_seconds=([chain_fuzzer]=20)
fuzz() {
  local seconds="${1:-}"
  if [ -n "$seconds" ]; then
    say "fuzz harnesses under ASan+UBSan, ${seconds} s each"
  else
    say "fuzz harnesses under ASan+UBSan, 10 s each, the whole chain 20 s"
  fi
  CXX=clang++ configure build-fuzz -DTOLVAR_FUZZ=ON -DTOLVAR_TESTS=OFF -DTOLVAR_BENCH=OFF -DTOLVAR_GUI=OFF \
    -DTOLVAR_SANITIZE=address
  cmake --build build-fuzz -j "$jobs"
  for harness in build-fuzz/fuzz/*_fuzzer; do
    local corpus="build-fuzz/corpus/$(basename "$harness")"
    mkdir -p "$corpus"
    printf '%s: ' "$(basename "$harness")"
    local time="${seconds:-${fuzz_seconds[$(basename "$harness")]:-10}}"
    if ! (cd build-fuzz && "../$harness" -max_total_time="$time" -print_final_stats=1 \
          "../$corpus" ../tests/data/captures >"../$corpus.log" 2>&1); then
      echo "FAILED"
      tail -n 60 "$corpus.log"
      exit 1
    fi
    grep -E '^stat::number_of_executed_units' "$corpus.log" | sed 's/.*: *//; s/$/ runs/'
  done
}

case "${1:-}" in
  deps) deps ;;
  build) deps; build ;;
  test) test_all ;;
  demo) shift; deps; build; exec build/cli/tolvar demo "$@" ;;
  gui) shift; deps; build; exec build/gui/tolvar-gui "$@" ;;
  # What the program prints on stdout stays its own (--json into a pipe).
  tolvar) shift; build >&2; exec build/cli/tolvar "$@" ;;
  windows) deps "${windows_packages[@]}"; windows ;;
  bench) shift; bench "$@" ;;
  fuzz) shift; deps; fuzz "$@" ;;
  *)
    sed -n '2,10p' "$0" | sed 's/^# //'
    exit 2
    ;;
esac
