// Any byte stream, cut anywhere: every packet published has a good checksum
// and fits its length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "decoders/data_collector_parser.h"
#include "fuzz_byte_pipe.h"

namespace {

class CheckedHandler : public TolvarRT::TBiSubscriber<TolvarRT::IIncomingDCPipe, TolvarRT::IOutgoingDCPipe> {
public:
    ~CheckedHandler() override { Unsubscribe(); }
    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TolvarRT::TimeStamp&) override
    {
        // The checksum byte follows the data in the parser's buffer.
        if (TolvarRT::PacketChecksum(status, command, data, length) != data[length])
            std::abort();
    }
};

class Parser : public TolvarRT::CDataCollectorParser {
public:
    explicit Parser(CLogNode& log) : CDataCollectorParser(log) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CLogNode log;
    fuzzing::FuzzBytePipe pipe;
    Parser parser(log);
    CheckedHandler handler;
    parser.Subscribe(&pipe);
    handler.Subscribe(&parser);
    pipe.FeedInput(data, size, [] {});
    parser.Unsubscribe();
    return 0;
}
