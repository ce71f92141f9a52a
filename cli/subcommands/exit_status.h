// What the tolvar command's exit status says, for scripts that run it.
#pragma once

namespace cli {

// Exit statuses: 0 success, 1 a port or file could not be opened, 2 bad
// arguments, 3 the test ran but a --require, --max-latency or --max-age failed, 4 the
// test ran (and passed what was required) but its log file, recording or
// events file lost data.
constexpr int kCannotOpen = 1;
constexpr int kBadArguments = 2;
constexpr int kRequirementFailed = 3;
constexpr int kDataLost = 4;

}  // namespace cli
