#include "ports/recording/recorded_side.h"

#include "ports/recording/rtklib_time_tags.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace TolvarRT {
namespace {

std::string Counted(std::uint64_t count, const char* what)
{
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Which chunks of a side are whole, from its tags in order: chunk i ends
// where tag i + 1 begins (the last where the data ends, when that is known),
// and the chunks kept are those up to the first that ends past the data.
// Offsets rise, so the tags after the first are counted while they lie
// within the data.
class CWholeChunks {
public:
    explicit CWholeChunks(std::uint64_t length) : length(length) {}

    void Tag(std::uint64_t offset)
    {
        if (tags == 0)
            firstOffset = offset;
        else if (offset <= length) {
            ++endedInData;
            lastEndInData = offset;
        }
        ++tags;
    }
    // lastEnd is where the last tag's chunk ends, when that is known.
    void Judge(std::optional<std::uint64_t> lastEnd, bool torn, const std::string& dataPath, sRecordedExtent& extent)
    {
        std::size_t kept = endedInData;
        if (tags > 0 && kept == tags - 1 && lastEnd && *lastEnd <= length)
            kept = tags;
        // Bytes before the first tag form a chunk of their own (none in a recording).
        std::uint64_t usable = 0;
        if (kept > 0)
            usable = kept < tags ? lastEndInData : *lastEnd;
        else if (tags > 0)
            usable = std::min(firstOffset, length);
        else if (lastEnd)
            usable = std::min(*lastEnd, length);

        const std::size_t tagsLeft = tags - kept;
        const std::uint64_t bytesLeft = length - usable;
        if (tagsLeft > 0 || bytesLeft > 0 || torn) {
            extent.leftOut =
                dataPath + ": the recording was cut short; using its first " + Counted(usable, "byte") + " in " +
                Counted(kept, "chunk") + ", leaving out " + Counted(bytesLeft, "byte") + " and " +
                Counted(tagsLeft, "time tag") + " after them" +
                (torn ? extent.head.rtklib ? " and a torn last time-tag record" : " and a torn last time-tag line"
                      : "");
        }
        extent.tags = kept;
        extent.usable = usable;
    }

private:
    const std::uint64_t length;
    std::size_t tags = 0;
    std::uint64_t firstOffset = 0;
    std::size_t endedInData = 0;  // tags whose chunk ends at the next tag, within the data
    std::uint64_t lastEndInData = 0;
};

}  // namespace

std::string FindTimeTagPath(const std::string& dataPath)
{
    std::error_code ignored;
    const std::string ours = TimeTagPathFor(dataPath);
    if (std::filesystem::exists(ours, ignored))
        return ours;
    const std::string theirs = RtklibTagPathFor(dataPath);
    return std::filesystem::exists(theirs, ignored) ? theirs : std::string();
}

bool CTagSource::Open(const std::string& tagPath, std::string& error)
{
    path = tagPath;
    parser = CTimeTagParser{};
    rtklib.reset();
    if (!file.Open(path, error))
        return false;
    const std::uint8_t* head = nullptr;
    std::size_t length = 0;
    if (!file.Take(kRtklibTagHeadLength, head, length, error))
        return false;
    if (!IsRtklibTagHead(head, length))
        return file.Open(path, error);  // from the start again, a line at a time
    rtklib.emplace();
    if (length < kRtklibTagHeadLength) {
        error = path + ": the head is cut short";
        return false;
    }
    if (!rtklib->Head(head, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

CTagSource::eTagRead CTagSource::Next(sTimeTag& tag, std::string& error)
{
    return rtklib ? NextRecord(tag, error) : NextLine(tag, error);
}

bool CTagSource::Finish(std::string& error) const
{
    if (rtklib || parser.Finish(error))
        return true;
    error = path + ": " + error;
    return false;
}
const sTimeTags& CTagSource::Head() const
{
    return rtklib ? rtklib->Parsed() : parser.Head();
}

CTagSource::eTagRead CTagSource::NextRecord(sTimeTag& tag, std::string& error)
{
    for (;;) {
        const std::uint8_t* data = nullptr;
        std::size_t length = 0;
        if (!file.Take(CRtklibTagParser::kRecordLength, data, length, error))
            return kTagError;
        if (length == 0)
            return kNoTag;
        if (length < CRtklibTagParser::kRecordLength)
            return kTornTag;
        switch (rtklib->Record(data, tag, error)) {
        case CRtklibTagParser::kBadRecord: error = path + ": " + error; return kTagError;
        case CRtklibTagParser::kEmptyRecord: continue;
        case CRtklibTagParser::kTagRecord: return kTag;
        }
    }
}

CTagSource::eTagRead CTagSource::NextLine(sTimeTag& tag, std::string& error)
{
    for (;;) {
        bool overlong = false;
        switch (file.NextLine(line, overlong, error)) {
        case CFileBlocks::kReadError: return kTagError;
        case CFileBlocks::kNoLine: return kNoTag;
        case CFileBlocks::kTornLine: return kTornTag;
        case CFileBlocks::kLine: break;
        }
        // No line of a time-tag file but a note is anywhere near a block long.
        if (overlong && line[0] != '#') {
            error = path + ": line " + std::to_string(parser.Lines() + 1) + ": too long";
            return kTagError;
        }
        const CTimeTagParser::eLine kind = parser.Line(line, tag, error);
        if (kind == CTimeTagParser::kBadLine) {
            error = path + ": " + error;
            return kTagError;
        }
        if (kind == CTimeTagParser::kTagLine)
            return kTag;
    }
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool JudgeRecordedSide(const std::string& dataPath, sRecordedExtent& extent, std::string& error)
{
    extent = sRecordedExtent{};
    std::uint64_t length = 0;
    {
        CFileBlocks data;
        if (!data.Open(dataPath, error) || !data.Size(length, error))
            return false;
    }
    extent.tagPath = FindTimeTagPath(dataPath);
    extent.timed = !extent.tagPath.empty();
    if (!extent.timed)
        return true;
    CTagSource source;
    if (!source.Open(extent.tagPath, error))
        return false;
    CWholeChunks chunks(length);
    sTimeTag tag;
    CTagSource::eTagRead read = CTagSource::kTag;
    while ((read = source.Next(tag, error)) == CTagSource::kTag)
        chunks.Tag(tag.offset);
    if (read == CTagSource::kTagError)
        return false;
    // A line or record cut off was torn by the end of the recording.
    const bool torn = read == CTagSource::kTornTag;
    if (!source.Finish(error))
        return false;
    extent.head = source.Head();
    // Where the last tag's chunk ends: at the end line; for a version 1 file
    // (never ended) at the data's end unless a line was torn; otherwise the
    // recording was cut and its extent is not known.
    std::optional<std::uint64_t> lastEnd = extent.head.end;
    if (!lastEnd && extent.head.version == 1 && !torn)
        lastEnd = length;
    chunks.Judge(lastEnd, torn, dataPath, extent);
    return true;
}

bool ReadRecordedSide(const std::string& dataPath, sRecordedSide& side, std::string& error)
{
    side = sRecordedSide{};
    sRecordedExtent extent;
    CRecordedSideReader reader;
    if (!JudgeRecordedSide(dataPath, extent, error) || !reader.Open(dataPath, extent, error, &side.tags.tags))
        return false;
    side.timed = extent.timed;
    side.leftOut = extent.leftOut;
    CRecordedSideReader::sPiece piece;
    do {
        if (!reader.Next(CFileBlocks::kBlock, piece, error))
            return false;
        side.bytes.insert(side.bytes.end(), piece.data, piece.data + piece.length);
        if (!side.timed || piece.length == 0)
            continue;
        if (piece.startsChunk)
            side.chunks.emplace_back(piece.offset, piece.offset);
        side.chunks.back().second += piece.length;
    } while (piece.length > 0);
    std::vector<sTimeTag> tags = std::move(side.tags.tags);
    side.tags = extent.head;
    side.tags.tags = std::move(tags);
    return true;
}

bool CRecordedSideReader::Open(const std::string& path, const sRecordedExtent& judged, std::string& error,
                               std::vector<sTimeTag>* keepTags)
{
    dataPath = path;
    extent = judged;
    keptTags = keepTags;
    tagsRead = 0;
    position = 0;
    chunkEnd = 0;
    if (!data.Open(dataPath, error))
        return false;
    return !extent.timed || tagSource.Open(extent.tagPath, error);
}

// The chunks are those of TaggedChunks for the tags used, over the bytes used.
bool CRecordedSideReader::NextCut(std::string& error)
{
    while (tagsRead < extent.tags) {
        sTimeTag tag;
        const CTagSource::eTagRead read = tagSource.Next(tag, error);
        if (read != CTagSource::kTag) {
            if (read != CTagSource::kTagError)
                error = extent.tagPath + ": shorter than when it was first read";
            return false;
        }
        ++tagsRead;
        if (keptTags != nullptr)
            keptTags->push_back(tag);
        const std::uint64_t at = std::min(tag.offset, extent.usable);
        if (at > position) {
            chunkEnd = at;
            return true;
        }
    }
    chunkEnd = extent.usable;
    return true;
}

bool CRecordedSideReader::Next(std::size_t maxLength, sPiece& piece, std::string& error)
{
    piece = sPiece{};
    piece.offset = position;
    std::size_t wanted = std::max<std::size_t>(maxLength, 1);
    if (extent.timed) {
        piece.startsChunk = position == chunkEnd;
        if (piece.startsChunk && !NextCut(error))
            return false;
        wanted = std::size_t(std::min<std::uint64_t>(wanted, chunkEnd - position));
        if (wanted == 0)
            return true;
    } else
        piece.startsChunk = true;
    if (!data.Take(wanted, piece.data, piece.length, error))
        return false;
    if (extent.timed && piece.length < wanted) {
        error = dataPath + ": shorter than when it was first read";
        return false;
    }
    position += piece.length;
    return true;
}

}  // namespace TolvarRT
