#!/usr/bin/env bash
# bench/file_log_load.sh [SECONDS] [BUILD]
#
# The log file under load for SECONDS (60 by default): 3000 texts a second
# from four threads through the log pipe, every text checked in the file
# exactly once and whole. Runs the test suite's load test for longer; it
# prints the rate reached, the file's size and the worst lag of a sender
# behind its due time.
set -euo pipefail

seconds="${1:-60}"
build="${2:-build}"
cmake --build "$build" --target file_log_load_tests >/dev/null
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
TOLVAR_LOG_LOAD_SECONDS="$seconds" "$build/tests/app/file_log_load_tests" --gtest_brief=1
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
