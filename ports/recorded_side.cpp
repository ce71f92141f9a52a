#include "ports/recorded_side.h"

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

// Keeps the chunks whose end lies within the data, up to the first that does
// not; lastEnd is where the last tag's chunk ends, when that is known.
void KeepWholeChunks(sRecordedSide& side, std::optional<std::uint64_t> lastEnd, bool torn, const std::string& dataPath)
{
    std::vector<sTimeTag>& tags = side.tags.tags;
    const std::uint64_t length = side.bytes.size();
    std::size_t kept = 0;
    while (kept < tags.size()) {
        const std::optional<std::uint64_t> end = kept + 1 < tags.size() ? tags[kept + 1].offset : lastEnd;
        if (!end || *end > length)
            break;
        ++kept;
    }
    // Bytes before the first tag form a chunk of their own (none in a recording).
    std::uint64_t usable = 0;
    if (kept > 0)
        usable = kept < tags.size() ? tags[kept].offset : *lastEnd;
    else if (!tags.empty())
        usable = std::min(tags.front().offset, length);
    else if (lastEnd)
        usable = std::min(*lastEnd, length);

    const std::size_t tagsLeft = tags.size() - kept;
    const std::uint64_t bytesLeft = length - usable;
    if (tagsLeft > 0 || bytesLeft > 0 || torn) {
        side.leftOut = dataPath + ": the recording was cut short; using its first " + Counted(usable, "byte") + " in " +
                       Counted(kept, "chunk") + ", leaving out " + Counted(bytesLeft, "byte") + " and " +
                       Counted(tagsLeft, "time tag") + " after them" + (torn ? " and a torn last time-tag line" : "");
    }
    tags.resize(kept);
    side.bytes.resize(usable);
    side.chunks = TaggedChunks(side.tags, usable);
}

}  // namespace

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

bool ReadRecordedSide(const std::string& dataPath, sRecordedSide& side, std::string& error)
{
    side = sRecordedSide{};
    if (!ReadWholeFile(dataPath, side.bytes, error))
        return false;
    const std::string tagPath = TimeTagPathFor(dataPath);
    std::error_code ignored;
    side.timed = std::filesystem::exists(tagPath, ignored);
    if (!side.timed)
        return true;
    std::vector<std::uint8_t> tagBytes;
    if (!ReadWholeFile(tagPath, tagBytes, error))
        return false;
    // A line without its newline was torn by the end of the recording.
    std::string text(tagBytes.begin(), tagBytes.end());
    const std::size_t lastNewline = text.rfind('\n');
    const std::size_t whole = lastNewline == std::string::npos ? 0 : lastNewline + 1;
    const bool torn = whole < text.size();
    text.resize(whole);
    if (!ParseTimeTags(text, side.tags, error)) {
        error = tagPath + ": " + error;
        return false;
    }
    // Where the last tag's chunk ends: at the end line; for a version 1 file
    // (never ended) at the data's end unless a line was torn; otherwise the
    // recording was cut and its extent is not known.
    std::optional<std::uint64_t> lastEnd = side.tags.end;
    if (!lastEnd && side.tags.version == 1 && !torn)
        lastEnd = side.bytes.size();
    KeepWholeChunks(side, lastEnd, torn, dataPath);
    return true;
}

}  // namespace TolvarRT
