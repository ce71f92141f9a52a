// Any byte stream, cut anywhere: every packet published has a good checksum,
// fits its length, lies in the stream where the parser places it and is
// published with the chunk that completes it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoders/data_collector_parser.h"
#include "fuzz_byte_pipe.h"
#include "packet_bytes.h"

namespace {

class CheckedHandler : public TolvarRT::TBiSubscriber<TolvarRT::IIncomingDCPipe, TolvarRT::IOutgoingDCPipe> {
public:
    CheckedHandler(const TolvarRT::CBytePipeSubscriber& parser, const fuzzing::FuzzBytePipe& pipe)
        : parser(parser), pipe(pipe)
    {
    }
    ~CheckedHandler() override { Unsubscribe(); }
    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TolvarRT::TimeStamp&) override
    {
        // The checksum byte follows the data in the parser's buffer; it is
        // summed here apart from the parser, so a fault shared with it shows.
        if (TolvarRT::testing::PacketSum(status, command, std::vector<std::uint8_t>(data, data + length)) !=
            data[length])
            std::abort();
        // The packet lies in the stream where the parser says, after every
        // byte reported lost, and ends in the chunk being delivered: none is
        // held behind the start of another still arriving.
        const auto span = parser.PublishedSpan();
        const std::uint64_t end = std::uint64_t(span.firstIndex) + span.count;
        if (span.count != length + TolvarRT::kPacketOverhead || span.firstIndex < pipe.Lost(parser).end ||
            end <= pipe.chunkFirst || end > pipe.fed)
            std::abort();
        const std::uint8_t* packet = pipe.fedStream + span.firstIndex;
        if (packet[0] != TolvarRT::kPacketStx || packet[1] != status || packet[2] != command || packet[3] != length ||
            std::memcmp(packet + 4, data, length) != 0 || packet[end - span.firstIndex - 1] != TolvarRT::kPacketEtx)
            std::abort();
    }

private:
    const TolvarRT::CBytePipeSubscriber& parser;
    const fuzzing::FuzzBytePipe& pipe;
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
    CheckedHandler handler(parser, pipe);
    parser.Subscribe(&pipe);
    handler.Subscribe(&parser);
    pipe.FeedInput(data, size, [] {});
    parser.Unsubscribe();
    return 0;
}
