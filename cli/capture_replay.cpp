#include "cli/capture_replay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
