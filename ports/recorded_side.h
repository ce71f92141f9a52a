// One recorded side read back for replay or decoding: its data file and,
// when a time-tag file lies beside it, the chunks it was received in.
//
// A recording ended by a crash, a kill or a full disk may end with a torn
// time-tag line, tags that point past the data, or data that no tag covers
// yet. Such a side is not refused: it is taken up to the end of its last
// chunk known to be whole, and what was left out is said in a text the
// caller shows (the core prints nothing itself).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ports/time_tag_file.h"

namespace TolvarRT {

struct sRecordedSide {
    std::vector<std::uint8_t> bytes;
    bool timed = false;  // a time-tag file lies beside the data file
    sTimeTags tags;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;  // of a timed side, as [start, end)
    // Empty when the whole side is used; otherwise what was left out.
    std::string leftOut;
};

// Reads a whole file; false with "PATH: reason" when it cannot.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// Reads the data file and its time tags; false with an error when either
// cannot be read or the tags are not a time-tag file (a damaged head or a
// bad whole line is not the mark of a cut).
bool ReadRecordedSide(const std::string& dataPath, sRecordedSide& side, std::string& error);

}  // namespace TolvarRT
