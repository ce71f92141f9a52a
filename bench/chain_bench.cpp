// The packet parser alone, and the whole Listener chain: the endpoint with
// every decoder subscribed and the receiver statistics behind them, fed as a
// port feeds it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "bench_streams.h"
#include "cli/capture_replay.h"
#include "decoder_rig.h"
#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/dc_proto.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "packet_bytes.h"
#include "rtcm3_frame_builder.h"
#include "stats/stats_collection.h"

namespace {

using namespace TolvarRT;

// Back-to-back CMR and CMR+ packets of realistic lengths, with a little noise.
const std::vector<std::uint8_t>& DenseCMRPackets()
{
    static const std::vector<std::uint8_t> stream = [] {
        std::vector<std::uint8_t> bytes;
        std::minstd_rand random(3);
        while (bytes.size() < (1u << 20)) {
            const std::uint8_t type = random() % 4 == 0 ? kPacketCMRPlus : kPacketCMR;
            const auto length = std::uint8_t(type == kPacketCMRPlus ? 12 : 12 + 15 * (4 + random() % 10));
            std::vector<std::uint8_t> data(length);
            for (auto& byte : data)
                byte = std::uint8_t(random());
            const std::vector<std::uint8_t> packet = TolvarRT::testing::Packet(type, data);
            bytes.insert(bytes.end(), packet.begin(), packet.end());
            if (random() % 16 == 0)
                bytes.insert(bytes.end(), {0x0D, 0x0A});
        }
        return bytes;
    }();
    return stream;
}

// Every capture and the packet stream, one after the other.
const std::vector<std::uint8_t>& MixedStream()
{
    static const std::vector<std::uint8_t> stream = [] {
        std::vector<std::uint8_t> bytes;
        for (const char* name : {"testglo.rtcm3", "hemi.log", "sample.rtcm2", "rtcm2.bend.log",
                                 "pygpsdata-NTRIP-USCL00CHL0.log", "ublox-f9p-rtcm.log"}) {
            const std::vector<std::uint8_t> capture = bench::Capture(name);
            bytes.insert(bytes.end(), capture.begin(), capture.end());
        }
        const std::vector<std::uint8_t>& packets = DenseCMRPackets();
        bytes.insert(bytes.end(), packets.begin(), packets.begin() + std::ptrdiff_t(packets.size() / 4));
        return bytes;
    }();
    return stream;
}

class Parser : public CDataCollectorParser {
public:
    Parser() : CDataCollectorParser(log) {}
    CLogNode log;
};

class PacketCounter : public TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
public:
    void OnPacket(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override
    {
        ++frames;
    }
    std::uint64_t frames = 0;
};

void BM_PacketParser_Dense(benchmark::State& state)
{
    bench::DecoderRig<Parser, PacketCounter> rig;
    rig.Run(state, DenseCMRPackets());
}
BENCHMARK(BM_PacketParser_Dense);

// The Listener side of a test document, without a port (or, given true, the
// Source side: the same decoders into a source collection).
struct ListenerChain {
    explicit ListenerChain(bool isSource = false) : statistics(&logPipe, isSource)
    {
        cmr.Subscribe(&endpoint);
        rtcm.Subscribe(&endpoint);
        rtcm3.Subscribe(&endpoint);
        nmea.Subscribe(&endpoint);
        ats.Subscribe(&endpoint);
        statistics.SubscribeTo(&cmr, &rtcm, &nmea, &ats, &rtcm3);
    }
    ~ListenerChain()
    {
        statistics.UnsubscribeAll();
        for (CBytePipeSubscriber* decoder : std::initializer_list<CBytePipeSubscriber*>{&rtcm, &rtcm3, &nmea, &ats})
            decoder->Unsubscribe();
        cmr.Unsubscribe();
    }

    CLogPipe logPipe;
    CDCProto endpoint{&logPipe};
    CDCCMRHandler cmr{&logPipe};
    CRTCMInputHandler rtcm{&logPipe};
    CRTCM3InputHandler rtcm3{&logPipe};
    CNMEAInputHandler nmea{&logPipe};
    CATSInputHandler ats{&logPipe};
    CStatsCollection statistics;
};

void RunChain(benchmark::State& state, const std::vector<std::uint8_t>& stream, unsigned sinkLevel = kLogNone,
              bool withSink = false)
{
    ListenerChain chain;
    bench::CountingLogSink sink(sinkLevel);
    if (withSink)
        sink.Subscribe(&chain.logPipe);
    for (auto _ : state)
        ReplayCapture(chain.endpoint, stream.data(), stream.size(), 1024);
    sink.Unsubscribe();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()));
    PacketStats record;
    std::uint64_t frames = 0;
    int position = -1;
    while (position != 0 && chain.statistics.NextRecord(position, record, false))
        frames += record.frames;
    const double passes = double(std::max<std::int64_t>(1, state.iterations()));
    state.counters["frames/pass"] = double(frames) / passes;
    if (withSink)
        state.counters["log_chars/pass"] = double(sink.characters) / passes;
}

void BM_ListenerChain_Mixed(benchmark::State& state)
{
    RunChain(state, MixedStream());
}
BENCHMARK(BM_ListenerChain_Mixed);

// With the desktop's log pane at Basic: a line for every frame received.
void BM_ListenerChain_Mixed_LogSinkAtBasic(benchmark::State& state)
{
    RunChain(state, MixedStream(), kLogBasic, true);
}
BENCHMARK(BM_ListenerChain_Mixed_LogSinkAtBasic);

void BM_ListenerChain_Testglo(benchmark::State& state)
{
    static const std::vector<std::uint8_t> stream = bench::Capture("testglo.rtcm3");
    RunChain(state, stream);
}
BENCHMARK(BM_ListenerChain_Testglo);

// A base sending four RTCM v3 types at 20 Hz, every frame of new content:
// the bytes of each epoch, enough epochs that content comes back only long
// after the match window.
const std::vector<std::vector<std::uint8_t>>& TwentyHertzEpochs()
{
    static const std::vector<std::vector<std::uint8_t>> epochs = [] {
        std::vector<std::vector<std::uint8_t>> all(4096);
        std::uint32_t seed = 1;
        for (auto& epoch : all) {
            for (const auto& [type, length] : {std::pair{1077u, 240u}, {1087u, 180u}, {1097u, 150u}, {1230u, 20u}}) {
                const std::vector<std::uint8_t> frame =
                    TolvarRT::testing::rtcm3_reference::Frame(type, length, 0, ++seed);
                epoch.insert(epoch.end(), frame.begin(), frame.end());
            }
        }
        return all;
    }();
    return epochs;
}

// The Listener's chain on a link that holds every frame range(0) epochs of
// 50 ms (100: 5 s, a hundred frames of each type pending at the Source).
// Only the Listener's work is timed; the Source's decoders run beside it,
// as its own port's thread would.
void BM_ListenerChain_DelayedLink(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const auto& epochs = TwentyHertzEpochs();
    ListenerChain source(true);
    ListenerChain listener;
    listener.statistics.SetSource(&source.statistics);
    const std::uint64_t lag = std::uint64_t(state.range(0));
    const TimeStamp epochTicks =
        TimeStamp(std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(50)).count());
    const TimeStamp transit = TimeStamp(lag) * epochTicks + epochTicks * 3 / 5;
    const auto sendEpoch = [&](ListenerChain& side, std::uint64_t n, TimeStamp delay) {
        const std::vector<std::uint8_t>& bytes = epochs[n % epochs.size()];
        side.endpoint.PublishStampedBytes(bytes.data(), std::uint32_t(bytes.size()), TimeStamp(n) * epochTicks + delay);
    };
    std::uint64_t n = 0;
    for (; n < lag; ++n)
        sendEpoch(source, n, 0);
    for (auto _ : state) {
        sendEpoch(source, n, 0);
        const Clock::time_point start = Clock::now();
        sendEpoch(listener, n - lag, transit);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        ++n;
    }
    PacketStats record;
    std::uint64_t frames = 0, matched = 0;
    int position = -1;
    while (position != 0 && listener.statistics.NextRecord(position, record, false)) {
        frames += record.frames;
        matched += record.matched;
    }
    state.SetItemsProcessed(std::int64_t(frames));
    state.counters["matched_percent"] = frames == 0 ? 0.0 : 100.0 * double(matched) / double(frames);
}
BENCHMARK(BM_ListenerChain_DelayedLink)->ArgName("epochs_late")->Arg(0)->Arg(100)->UseManualTime();

}  // namespace
