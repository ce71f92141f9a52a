// The cost of the messaging core on the receive path: one publish, a verbose
// log call nobody wants, one formatted log line.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "core/log_pipe.h"
#include "core/subscription.h"

namespace {

class ICountPipe {
public:
    virtual void OnCount(unsigned value) = 0;

protected:
    ~ICountPipe() = default;
};

class Producer : public TolvarRT::TSubscription<ICountPipe> {
public:
    void Send(unsigned value)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        Publish([value](ICountPipe& pipe) { pipe.OnCount(value); });
    }
};

class Consumer : public TolvarRT::TSubscriber<ICountPipe> {
public:
    void OnCount(unsigned value) override
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        total += value;
    }
    unsigned long total = 0;
};

void BM_PublishToFiveSubscribers(benchmark::State& state)
{
    Producer producer;
    std::array<Consumer, 5> consumers;
    for (auto& consumer : consumers)
        consumer.Subscribe(&producer);
    unsigned value = 0;
    for (auto _ : state)
        producer.Send(++value);
    benchmark::DoNotOptimize(consumers[4].total);
}
BENCHMARK(BM_PublishToFiveSubscribers);

class Sink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    explicit Sink(unsigned sinkLevel) : level(sinkLevel) {}
    void Write(const char* text, unsigned) override { characters += text[2] != 0 ? 1 : 0; }
    unsigned GetLogLevel() override { return level; }
    unsigned level;
    unsigned long characters = 0;
};

void BM_LogAllWithEverySinkBelowAll(benchmark::State& state)
{
    CLogPipe pipe;
    Sink pane(kLogBasic), file(kLogMost);
    pane.Subscribe(&pipe);
    file.Subscribe(&pipe);
    CLogNode node(&pipe);
    node.LogAlways("refresh the cached sink level");
    unsigned frame = 0;
    for (auto _ : state)
        node.LogAll("Rx Vendcomm CMD=%x, LEN=%d, STATUS=%x, CS=%x, TIME=%0.4f", 0x93, ++frame, 0, 0x55, 1.5);
    benchmark::DoNotOptimize(pane.characters);
}
BENCHMARK(BM_LogAllWithEverySinkBelowAll);

void BM_FormatLineToOneSink(benchmark::State& state)
{
    CLogPipe pipe;
    Sink pane(kLogAll);
    pane.Subscribe(&pipe);
    CLogNode node(&pipe);
    unsigned frame = 0;
    for (auto _ : state)
        node.LogBasic("%s Receive CMR Frame Length %d, Type %d, Time %0.3f", "Listener", ++frame & 0xFF, 0, 12.345);
    benchmark::DoNotOptimize(pane.characters);
}
BENCHMARK(BM_FormatLineToOneSink);

void BM_HexDumpOfAPacket(benchmark::State& state)
{
    CLogPipe pipe;
    Sink pane(kLogAll);
    pane.Subscribe(&pipe);
    pipe.RaiseSinkLevel();
    std::array<unsigned char, 80> packet{};
    for (unsigned i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<unsigned char>(i * 7);
    for (auto _ : state)
        pipe.HexDump("Rx", packet.data(), unsigned(packet.size()));
    benchmark::DoNotOptimize(pane.characters);
}
BENCHMARK(BM_HexDumpOfAPacket);

}  // namespace
