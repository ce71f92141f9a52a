#include "fake_byte_pipe.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace TolvarRT::testing {

void FakeBytePipe::Feed(const std::uint8_t* data, std::size_t length, std::size_t chunkSize)
{
    if (chunkSize == 0)
        chunkSize = length;
    for (std::size_t offset = 0; offset < length; offset += chunkSize) {
        const auto size = std::uint32_t(std::min(chunkSize, length - offset));
        // Held for the whole delivery, as the real byte pipe does.
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        const std::uint32_t firstIndex = runningIndex;
        runningIndex += size;
        const TimeStamp stamp = nextTimeStamp++;
        const auto deliver = [&](IIncomingBytePipe& decoder) {
            delivering = &decoder;
            decoder.OnBytes(data + offset, size, firstIndex, stamp);
            delivering = nullptr;
        };
        if (coverFrames) {
            cover.BeginChunk(firstIndex);
            DeliverChunk(*this, deliver);
        } else {
            Publish(deliver);
        }
    }
}

int FakeBytePipe::MarkLost(std::uint32_t firstIndex, std::uint32_t count)
{
    lost.emplace_back(firstIndex, count);
    lostBy.push_back(delivering);
    return 0;
}

bool FakeBytePipe::Send(const std::uint8_t* data, std::uint32_t length)
{
    if (!portOpen)
        return false;
    sent.insert(sent.end(), data, data + length);
    return true;
}

std::uint64_t FakeBytePipe::LostTotal() const
{
    std::uint64_t total = 0;
    for (const auto& report : lost)
        total += report.second;
    return total;
}

std::vector<std::uint8_t> ReadCapture(const std::string& fileName)
{
    const std::string path = std::string(TOLVAR_CAPTURES_DIR) + "/" + fileName;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read capture " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace TolvarRT::testing
