#include "cli/capture_replay.h"

#include "ports/recorded_side.h"
#include "ports/time_tag_file.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace TolvarRT {

bool ReadCaptureFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    return ReadWholeFile(path, bytes, error);
}

bool ReadCaptureStreams(const std::string& path, std::vector<sCaptureStream>& streams, std::string& error,
                        std::ostream& notes)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        std::vector<std::string> sides;
        for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
            if (entry.path().extension() == ".raw" && std::filesystem::exists(TimeTagPathFor(entry.path().string())))
                sides.push_back(entry.path().string());
        if (sides.empty()) {
            error = path + ": a folder without a recorded side (NAME.raw with NAME.tags)";
            return false;
        }
        std::sort(sides.begin(), sides.end());
        for (const std::string& side : sides)
            if (!ReadCaptureStreams(side, streams, error, notes))
                return false;
        return true;
    }
    sRecordedSide side;
    if (!ReadRecordedSide(path, side, error))
        return false;
    if (!side.leftOut.empty())
        notes << "tolvar: " << side.leftOut << "\n";
    sCaptureStream stream;
    stream.path = path;
    stream.bytes = std::move(side.bytes);
    stream.recordedChunks = std::move(side.chunks);
    stream.leftOut = std::move(side.leftOut);
    streams.push_back(std::move(stream));
    return true;
}

std::size_t ReplayCapture(CBytePipeSubscription& endpoint, const std::uint8_t* data, std::size_t length,
                          std::size_t chunkSize)
{
    // A port never delivers more than this at once; neither does a replay.
    constexpr std::size_t kLargestChunk = 1u << 16;
    chunkSize = chunkSize == 0 ? kLargestChunk : std::min(chunkSize, kLargestChunk);
    std::size_t chunks = 0;
    for (std::size_t offset = 0; offset < length; offset += chunkSize, ++chunks)
        endpoint.PublishBytes(data + offset, std::uint32_t(std::min(chunkSize, length - offset)));
    return chunks;
}

}  // namespace TolvarRT
