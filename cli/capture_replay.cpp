#include "cli/capture_replay.h"

#include "ports/time_tag_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace TolvarRT {

bool ReadCaptureFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
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

bool ReadCaptureStreams(const std::string& path, std::vector<sCaptureStream>& streams, std::string& error)
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
            if (!ReadCaptureStreams(side, streams, error))
                return false;
        return true;
    }
    sCaptureStream stream;
    stream.path = path;
    if (!ReadCaptureFile(path, stream.bytes, error))
        return false;
    const std::string tagPath = TimeTagPathFor(path);
    if (std::filesystem::exists(tagPath, ignored)) {
        sTimeTags tags;
        if (!ReadTimeTagFile(tagPath, tags, error))
            return false;
        stream.recordedChunks = TaggedChunks(tags, stream.bytes.size());
    }
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
