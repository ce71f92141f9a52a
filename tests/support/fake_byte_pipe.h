// A byte pipe without a port, for decoder tests: feeds bytes in chunks as a
// port's reader thread would, and records what decoders report back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_pipe_subscriber.h"
#include "core/frame_cover.h"
#include "core/pipes.h"
#include "core/subscription.h"

namespace TolvarRT::testing {

class FakeBytePipe : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    // Publishes bytes in chunks of chunkSize (0: all at once). Each chunk gets
    // the next time stamp of a counter, so a test can tell chunks apart.
    void Feed(const std::uint8_t* data, std::size_t length, std::size_t chunkSize = 0);
    void Feed(const std::vector<std::uint8_t>& bytes, std::size_t chunkSize = 0)
    {
        Feed(bytes.data(), bytes.size(), chunkSize);
    }
    void Feed(const std::string& text, std::size_t chunkSize = 0)
    {
        Feed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), chunkSize);
    }

    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override;
    bool Send(const std::uint8_t* data, std::uint32_t length) override;
    CFrameCover* FrameCover() override { return coverFrames ? &cover : nullptr; }

    // Sum of the counts of every MarkLost report.
    std::uint64_t LostTotal() const;

    std::vector<std::pair<std::uint32_t, std::uint32_t>> lost;  // (firstIndex, count)
    // Who made each report of lost, while a chunk was delivered to it.
    std::vector<const IIncomingBytePipe*> lostBy;
    // As the real byte pipe: a frame cover, and the strongly checked decoders
    // served first. Off: attach order, and no frame is held back.
    bool coverFrames = false;
    CFrameCover cover;
    std::vector<std::uint8_t> sent;
    bool portOpen = true;
    std::uint32_t runningIndex = 0;
    static constexpr TimeStamp kFirstTimeStamp = 1000;
    TimeStamp nextTimeStamp = kFirstTimeStamp;

private:
    const IIncomingBytePipe* delivering = nullptr;
};

// The bytes of a recorded capture in tests/data/captures.
std::vector<std::uint8_t> ReadCapture(const std::string& fileName);

}  // namespace TolvarRT::testing
