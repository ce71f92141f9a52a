// One recorded side read back for replay or decoding: its data file and,
// when a time-tag file lies beside it, the chunks it was received in.
//
// A recording ended by a crash, a kill or a full disk may end with a torn
// time-tag line, tags that point past the data, or data that no tag covers
// yet. Such a side is not refused: it is taken up to the end of its last
// chunk known to be whole, and what was left out is said in a text the
// caller shows (the core prints nothing itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ports/recording/file_blocks.h"
#include "ports/recording/rtklib_time_tags.h"
#include "ports/recording/time_tag_file.h"

namespace TolvarRT {

struct sRecordedSide {
    std::vector<std::uint8_t> bytes;
    bool timed = false;  // a time-tag file lies beside the data file
    sTimeTags tags;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;  // of a timed side, as [start, end)
    // Empty when the whole side is used; otherwise what was left out.
    std::string leftOut;
};

// How much of a side is used, judged from its time tags and its data file's
// length before any data is read: a day of recording is judged with one line
// of tags in memory.
struct sRecordedExtent {
    bool timed = false;
    std::string tagPath;       // of a timed side: its time-tag file
    sTimeTags head;            // of a timed side: its time-tag file without the tags
    std::uint64_t usable = 0;  // of a timed side: the bytes used
    std::size_t tags = 0;      // of a timed side: the tags used
    std::string leftOut;       // as sRecordedSide's
};

// The tags of a time-tag file of either kind, our text or RTKLIB's binary
// (told apart by the head), one at a time. Thread rules: one thread at a time.
class CTagSource {
public:
    explicit CTagSource(std::size_t readBlock = CFileBlocks::kBlock) : file(readBlock) {}

    bool Open(const std::string& tagPath, std::string& error);
    enum eTagRead { kTag, kNoTag, kTornTag, kTagError };
    // The next tag; kTornTag for a last line or record that the end of the
    // recording tore.
    eTagRead Next(sTimeTag& tag, std::string& error);
    // Whether what was read makes a whole head; false with the error.
    bool Finish(std::string& error) const;
    // Everything but the tags.
    const sTimeTags& Head() const;

private:
    eTagRead NextRecord(sTimeTag& tag, std::string& error);
    eTagRead NextLine(sTimeTag& tag, std::string& error);

    std::string path;
    CFileBlocks file;
    CTimeTagParser parser;
    std::optional<CRtklibTagParser> rtklib;
    std::string line;
};

// The time-tag file beside a data file: ours ("NAME.tags" for "NAME.raw"),
// else RTKLIB's ("NAME.raw.tag"); empty when there is none.
std::string FindTimeTagPath(const std::string& dataPath);

// Reads a whole file; false with "PATH: reason" when it cannot.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// False with an error when the data file or its time tags cannot be read, or
// the tags are not a time-tag file (a damaged head or a bad whole line is not
// the mark of a cut).
bool JudgeRecordedSide(const std::string& dataPath, sRecordedExtent& extent, std::string& error);

// Reads the data file and its time tags whole.
bool ReadRecordedSide(const std::string& dataPath, sRecordedSide& side, std::string& error);

// Reads a judged side front to back, a piece at a time, with a block of
// memory whatever its length. Thread rules: one thread at a time.
class CRecordedSideReader {
public:
    struct sPiece {
        const std::uint8_t* data = nullptr;  // good until the next call
        std::size_t length = 0;              // 0 at the end of the side
        std::uint64_t offset = 0;            // in the data file
        bool startsChunk = false;            // else it goes on with the last piece's chunk
    };

    explicit CRecordedSideReader(std::size_t readBlock = CFileBlocks::kBlock) : data(readBlock), tagSource(readBlock) {}

    // keepTags, when given, receives the tags used as they are read.
    bool Open(const std::string& dataPath, const sRecordedExtent& extent, std::string& error,
              std::vector<sTimeTag>* keepTags = nullptr);
    // Of a timed side, the next chunk as it was received, in pieces of at
    // most maxLength bytes; of a plain capture, the next maxLength bytes, each
    // a chunk. False with an error when a file cannot be read or changed
    // since it was judged.
    bool Next(std::size_t maxLength, sPiece& piece, std::string& error);

private:
    bool NextCut(std::string& error);

    std::string dataPath;
    sRecordedExtent extent;
    std::vector<sTimeTag>* keptTags = nullptr;
    CFileBlocks data;
    CTagSource tagSource;
    std::size_t tagsRead = 0;
    std::uint64_t position = 0;
    std::uint64_t chunkEnd = 0;
};

}  // namespace TolvarRT
