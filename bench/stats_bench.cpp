// The cost of filing one received frame and correlating it with the source,
// on a link that delivers at once and on one that holds every frame for
// seconds, and the memory a source keeps for frames not received yet.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

#include "stats/stats_collection.h"

namespace {

using namespace TolvarRT;

void BM_RecordFrameWithLinkedSource(benchmark::State& state)
{
    CLogPipe logPipe;
    CStatsCollection source(&logPipe, true);
    CStatsCollection receiver(&logPipe, false);
    receiver.SetSource(&source);
    // A mix of frame types as a busy RTK link carries them.
    const unsigned types[] = {1004, 1005, 1012, 1074, 1084, 1094, 1124, 1230};
    TimeStamp now = 1'000'000'000;
    std::uint16_t sum = 0;
    unsigned i = 0;
    for (auto _ : state) {
        const unsigned type = types[i++ % 8];
        now += 20'000'000;
        ++sum;
        source.RecordFrame(kFrameClassRTCM3, type, 200, sum, now);
        receiver.RecordFrame(kFrameClassRTCM3, type, 200, sum, now + 50'000'000);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    state.SetLabel("one source frame and its received copy per iteration");
}
BENCHMARK(BM_RecordFrameWithLinkedSource);

// An RTK link at 20 Hz: four RTCM v3 types every 50 ms. Observations change
// their content every epoch; with constant set, two of the types are the
// station and antenna descriptions, whose content never changes, so that a
// received copy of those has every pending source frame of its type as a
// candidate (a base sends them at 20 Hz only in this worst case).
constexpr unsigned kDelayedTypes[] = {1004, 1005, 1012, 1033};
constexpr unsigned kTypesPerEpoch = 4;
constexpr TimeStamp kEpochNs = 50'000'000;

struct sDelayedFrame {
    unsigned type;
    unsigned length;
    std::uint16_t sum;
    TimeStamp sent;
};

// Frame number n of the stream: which type, its content, when it was sent.
sDelayedFrame DelayedFrame(std::uint64_t n, bool constant)
{
    const unsigned type = kDelayedTypes[n % kTypesPerEpoch];
    const std::uint64_t epoch = n / kTypesPerEpoch;
    const TimeStamp sent = 1'000'000'000 + TimeStamp(epoch) * kEpochNs;
    if (constant && (type == 1005 || type == 1033))
        return {type, type == 1005 ? 25u : 47u, std::uint16_t(type * 3), sent};
    return {type, 120 + unsigned(epoch % 40), std::uint16_t(epoch * 7919 + type), sent};
}

// Per iteration the source files frame n and the receiver its copy of the
// frame the source sent range(0) epochs earlier, 30 ms after that epoch's
// delay: with 100 epochs (5 s at 20 Hz) each type has 100 frames in flight.
// range(1): whether two of the types never change their content.
void BM_ReceiveDelayedLink(benchmark::State& state)
{
    CLogPipe logPipe;
    CStatsCollection source(&logPipe, true);
    CStatsCollection receiver(&logPipe, false);
    receiver.SetSource(&source);
    const std::uint64_t lag = std::uint64_t(state.range(0)) * kTypesPerEpoch;
    const bool constant = state.range(1) != 0;
    std::uint64_t n = 0;
    for (; n < lag; ++n) {
        const sDelayedFrame frame = DelayedFrame(n, constant);
        source.RecordFrame(kFrameClassRTCM3, frame.type, frame.length, frame.sum, frame.sent);
    }
    const TimeStamp transit = TimeStamp(state.range(0)) * kEpochNs + 30'000'000;
    for (auto _ : state) {
        const sDelayedFrame sent = DelayedFrame(n, constant);
        source.RecordFrame(kFrameClassRTCM3, sent.type, sent.length, sent.sum, sent.sent);
        const sDelayedFrame copy = DelayedFrame(n - lag, constant);
        receiver.RecordFrame(kFrameClassRTCM3, copy.type, copy.length, copy.sum, copy.sent + transit);
        ++n;
    }
    std::uint64_t matched = 0, received = 0;
    for (const unsigned type : kDelayedTypes) {
        PacketStats record;
        if (receiver.FindRecord(FrameKey(kFrameClassRTCM3, type), record)) {
            matched += record.matched;
            received += record.frames;
        }
    }
    state.counters["matched_percent"] = received == 0 ? 0.0 : 100.0 * double(matched) / double(received);
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    state.SetLabel("one source frame and one received frame per iteration");
}
BENCHMARK(BM_ReceiveDelayedLink)->ArgNames({"epochs_late", "constant"})->ArgsProduct({{0, 100}, {0, 1}});

// The process's resident size in kB.
double ResidentKb()
{
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// One type at 50 Hz for an hour of simulated time, with a receiver linked
// that gets none of it: every source frame stays unmatched, so whatever the
// source keeps for frames in flight shows as resident memory grown.
void BM_SourceHourAt50HzNothingReceived(benchmark::State& state)
{
    constexpr std::uint64_t kFramesPerHour = 50 * 3600;
    double grownKb = 0.0;
    for (auto _ : state) {
        CLogPipe logPipe;
        CStatsCollection source(&logPipe, true);
        CStatsCollection receiver(&logPipe, false);
        receiver.SetSource(&source);
        // One frame received at the start links the receiver's record.
        source.RecordFrame(kFrameClassRTCM3, 1077, 300, 1, 1'000'000'000);
        receiver.RecordFrame(kFrameClassRTCM3, 1077, 300, 1, 1'010'000'000);
        const double before = ResidentKb();
        for (std::uint64_t n = 1; n <= kFramesPerHour; ++n)
            source.RecordFrame(kFrameClassRTCM3, 1077, 300 + unsigned(n % 200), std::uint16_t(n * 40503u),
                               1'000'000'000 + TimeStamp(n) * 20'000'000);
        grownKb = ResidentKb() - before;
    }
    state.counters["resident_grown_kB"] = grownKb;
    state.SetItemsProcessed(std::int64_t(state.iterations() * kFramesPerHour));
    state.SetLabel("180000 source frames of one type, none received");
}
BENCHMARK(BM_SourceHourAt50HzNothingReceived)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
