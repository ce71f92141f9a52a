// Publishing from several threads while subscribers come, go and die on
// others. Run under ThreadSanitizer and AddressSanitizer: a call into a dead
// subscriber, a race on the list or a lock-order deadlock shows up there (or
// as a hang that the test time-out turns into a failure).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "core/subscription.h"

namespace TolvarRT {
namespace {

class ITickPipe {
public:
    virtual void OnTick(unsigned value) = 0;

protected:
    ~ITickPipe() = default;
};

// Publishes like the log pipe and the generators: the lock is taken only
// between steps, so deliveries from several threads overlap.
class SteppingProducer : public TSubscription<ITickPipe> {
public:
    void Tick(unsigned value)
    {
        Publish([value](ITickPipe& pipe) { pipe.OnTick(value); });
    }
};

// Publishes like a decoder: its own lock is held for the whole delivery.
class HoldingProducer : public TSubscription<ITickPipe> {
public:
    void Tick(unsigned value)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        Publish([value](ITickPipe& pipe) { pipe.OnTick(value); });
    }
};

constexpr unsigned kAlive = 0xA11CE;

// Takes its own lock in the callback, as every real consumer does, and fails
// loudly when called after its destruction began.
class CheckedConsumer : public TSubscriber<ITickPipe> {
public:
    ~CheckedConsumer() override
    {
        Unsubscribe();
        alive.store(0);
    }
    void OnTick(unsigned value) override
    {
        ASSERT_EQ(alive.load(), kAlive) << "called after destruction";
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        sum += value;
        ++calls;
    }

    std::atomic<unsigned> alive{kAlive};
    unsigned long sum = 0;
    unsigned long calls = 0;
};

// count subscribers of type Consumer, attached to producer in order.
template <class Consumer = CheckedConsumer>
std::vector<std::unique_ptr<Consumer>> Subscribed(TSubscription<ITickPipe>* producer, int count)
{
    std::vector<std::unique_ptr<Consumer>> consumers;
    for (int i = 0; i < count; ++i) {
        consumers.push_back(std::make_unique<Consumer>());
        consumers.back()->Subscribe(producer);
    }
    return consumers;
}

template <class Producer>
void PublishWhileSubscribersChurn(Producer& producer)
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(400);
    std::atomic<unsigned long> published{0};

    std::vector<std::thread> threads;
    for (int p = 0; p < 4; ++p) {
        threads.emplace_back([&, p] {
            unsigned value = unsigned(p);
            while (Clock::now() < until) {
                producer.Tick(value++);
                published.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    // Long-lived subscribers that keep leaving and coming back.
    const auto regulars = Subscribed(&producer, 4);
    for (int c = 0; c < 3; ++c) {
        threads.emplace_back([&, c] {
            std::minstd_rand random(unsigned(c) + 1);
            while (Clock::now() < until) {
                switch (random() % 4) {
                case 0: {  // born, used and destroyed while attached
                    auto transient = std::make_unique<CheckedConsumer>();
                    transient->Subscribe(&producer);
                    std::this_thread::yield();
                    break;
                }
                case 1: regulars[random() % regulars.size()]->Unsubscribe(); break;
                default: regulars[random() % regulars.size()]->Subscribe(&producer); break;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_GT(published.load(), 0u);
    EXPECT_LE(producer.SubscriberCount(), regulars.size());
}

TEST(SubscriptionStressTest, SteppingPublishersWithSubscribersComingAndGoing)
{
    SteppingProducer producer;
    PublishWhileSubscribersChurn(producer);
}

TEST(SubscriptionStressTest, HoldingPublishersWithSubscribersComingAndGoing)
{
    HoldingProducer producer;
    PublishWhileSubscribersChurn(producer);
}

TEST(SubscriptionStressTest, ProducerDiesWhileItsSubscribersLeaveOnAnotherThread)
{
    for (int round = 0; round < 200; ++round) {
        auto producer = std::make_unique<SteppingProducer>();
        const auto consumers = Subscribed(producer.get(), 6);
        std::thread leaver([&] {
            for (auto& consumer : consumers)
                consumer->Unsubscribe();
        });
        producer.reset();
        leaver.join();
        for (auto& consumer : consumers)
            EXPECT_FALSE(consumer->IsSubscribed());
    }
}

TEST(SubscriptionStressTest, SubscribersLeavingFromTheirOwnCallbacksOnManyThreads)
{
    SteppingProducer producer;
    const auto consumers = Subscribed(&producer, 50);
    class Quitter : public CheckedConsumer {
    public:
        void OnTick(unsigned value) override
        {
            CheckedConsumer::OnTick(value);
            Unsubscribe();
        }
    };
    const auto quitters = Subscribed<Quitter>(&producer, 50);
    std::vector<std::thread> threads;
    for (int p = 0; p < 4; ++p)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                producer.Tick(1);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(producer.SubscriberCount(), 50u);
    for (auto& quitter : quitters) {
        EXPECT_FALSE(quitter->IsSubscribed());
        EXPECT_GE(quitter->calls, 1u);
    }
    for (auto& consumer : consumers)
        EXPECT_EQ(consumer->calls, 800u);
}

}  // namespace
}  // namespace TolvarRT
