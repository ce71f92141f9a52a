// Any byte stream, cut anywhere and with decoding switched between chunks:
// every frame runs from 0x80 to its only 0x04 or is 256 bytes long, and
// every byte ends up in a frame or lost.
#include <cstdlib>

#include "decoders/ats_input_handler.h"
#include "fuzz_byte_pipe.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

class Checker : public TolvarRT::TSubscriber<TolvarRT::IIncommingATSPipe> {
public:
    ~Checker() override { Unsubscribe(); }
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TolvarRT::TimeStamp&) override
    {
        Require(type == 0 && data != nullptr && length >= 2);
        Require(length <= TolvarRT::CATSInputHandler::kMaxFrameLength);
        Require(data[0] == 0x80);
        Require(data[length - 1] == 0x04 || length == TolvarRT::CATSInputHandler::kMaxFrameLength);
        for (std::uint16_t i = 0; i + 1 < length; ++i)
            Require(data[i] != 0x04);
        framed += length;
    }
    std::uint64_t framed = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::FuzzRig<TolvarRT::CATSInputHandler, Checker> rig;
    rig.decoder.SetEnabled(true);
    rig.pipe.FeedInput(data, size, [&rig] {
        rig.decoder.SetEnabled(false);
        rig.decoder.SetEnabled(true);
    });
    // Switching off settles a frame left open; one more byte reports it.
    rig.decoder.SetEnabled(false);
    const std::uint8_t last = 0;
    rig.pipe.Feed(&last, 1);
    Require(rig.checker.framed + rig.pipe.Lost(rig.decoder).total == rig.pipe.fed);
    return 0;
}
