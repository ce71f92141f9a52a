// Four threads logging while sinks attach, change level, detach and die.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "core/log_pipe.h"

namespace {

constexpr unsigned kAlive = 0x5EED;

// Like the log pane: takes its own lock in Write, from any thread.
class CountingSink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    explicit CountingSink(unsigned sinkLevel) : level(sinkLevel) {}
    ~CountingSink() override
    {
        Unsubscribe();
        alive.store(0);
    }
    void Write(const char* text, unsigned) override
    {
        ASSERT_EQ(alive.load(), kAlive) << "written after destruction";
        ASSERT_EQ(std::strncmp(text, "\r\n", 2), 0);
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        characters += std::strlen(text);
        ++texts;
    }
    unsigned GetLogLevel() override { return level.load(); }

    std::atomic<unsigned> alive{kAlive};
    std::atomic<unsigned> level;
    unsigned long characters = 0;
    unsigned long texts = 0;
};

TEST(LogPipeStressTest, WritersOnFourThreadsWhileSinksComeAndGo)
{
    using Clock = std::chrono::steady_clock;
    CLogPipe pipe;
    CountingSink steady(kLogAll);
    steady.Subscribe(&pipe);
    const auto until = Clock::now() + std::chrono::milliseconds(400);
    std::atomic<unsigned long> written{0};

    std::vector<std::thread> threads;
    for (int w = 0; w < 4; ++w) {
        threads.emplace_back([&, w] {
            CLogNode node(&pipe);
            const unsigned char bytes[40] = {0x02, 0x93, 0x10};
            unsigned i = 0;
            while (Clock::now() < until) {
                switch (i++ % 4) {
                case 0: node.LogBasic("writer %d text %u", w, i); break;
                case 1: node.LogMost("writer %d most %u", w, i); break;
                case 2: node.LogAll("writer %d all %u", w, i); break;
                default: node.HexDump("Rx", bytes, sizeof bytes); break;
                }
                written.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    for (int c = 0; c < 2; ++c) {
        threads.emplace_back([&, c] {
            std::minstd_rand random(unsigned(c) + 7);
            std::vector<std::unique_ptr<CountingSink>> sinks;
            while (Clock::now() < until) {
                switch (random() % 3) {
                case 0:
                    sinks.push_back(std::make_unique<CountingSink>(random() % 4));
                    sinks.back()->Subscribe(&pipe);
                    break;
                case 1:
                    if (!sinks.empty()) {
                        sinks[random() % sinks.size()]->level.store(random() % 4);
                        pipe.RaiseSinkLevel();
                    }
                    break;
                default:
                    if (!sinks.empty())
                        sinks.erase(sinks.begin() + long(random() % sinks.size()));
                    break;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_GT(written.load(), 0u);
    EXPECT_GT(steady.texts, 0u);
    EXPECT_EQ(pipe.SubscriberCount(), 1u);
}

}  // namespace
