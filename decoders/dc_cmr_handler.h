// Picks CMR, CMR+, CMR-W and "Send To" frames out of data-collector packets
// and republishes them; also builds and sends the frames of the fake CMR
// generator.
#pragma once

#include <cstdint>

#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/dc_input_handler.h"
#include "decoders/dc_packet.h"

namespace TolvarRT {

// '@': a radio command packet that carries a "Send To" frame.
constexpr std::uint8_t kSendToMarker = 0x40;

// One generated frame, reused from epoch to epoch.
struct sFakeFrame {
    std::uint8_t type = 0;
    std::uint8_t command = 0;
    std::uint8_t length = 0;
    std::uint32_t epochTime = 0;
    std::uint8_t data[255] = {};
};

// Thread rules: OnPacket runs on the reader thread of the port feeding the
// parser; subscribers are called there with the handler's lock held. The
// fake-frame builders run on the generator thread.
class CDCCMRHandler : public CDCInputHandler, public TSubscription<IIncommingCMRPipe> {
public:
    explicit CDCCMRHandler(CLogPipe* logPipe = nullptr) : CDCInputHandler(logPipe) {}
    ~CDCCMRHandler() override;

    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TimeStamp& timeStamp) override;
    virtual void PublishCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                                 const TimeStamp& timeStamp);
    virtual void PublishCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                                  const TimeStamp& timeStamp);
    virtual void PublishSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                                    const TimeStamp& timeStamp);

    // Header bytes as a CMR frame carries them: version and station in byte 0,
    // type in bits 7..5 of byte 1, the 18-bit epoch time in bytes 2..4; the
    // body is random. The epoch time advances by a second after each type-0
    // frame and wraps after 239 s.
    void BuildFakeCMR(sFakeFrame& frame, std::uint8_t type, std::uint8_t length);
    void BuildFakeSendTo(sFakeFrame& frame, std::uint8_t length, std::uint8_t value);
    void BuildFakeCMRW(sFakeFrame& frame, std::uint8_t type, std::uint8_t length);
    bool SendFakeFrame(const sFakeFrame& frame, std::uint8_t status);

    std::uint32_t FakeEpochTime() const;

private:
    std::uint32_t fakeEpochTime = 1000;  // ms
};

}  // namespace TolvarRT
