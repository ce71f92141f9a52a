// Attaching, detaching and delivering through the subscription roles, and
// teardown in either order.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/subscription.h"

namespace TolvarRT {
namespace {

class INumberPipe {
public:
    virtual void OnNumber(int number) = 0;

protected:
    ~INumberPipe() = default;
};

class IBackPipe {
public:
    virtual int Echo(int number) = 0;

protected:
    ~IBackPipe() = default;
};

class Producer : public TSubscription<INumberPipe> {
public:
    unsigned Send(int number)
    {
        return Publish([number](INumberPipe& pipe) { pipe.OnNumber(number); });
    }
};

class Consumer : public TSubscriber<INumberPipe> {
public:
    Consumer(std::string consumerName, std::vector<std::string>* sharedJournal)
        : name(std::move(consumerName)), journal(sharedJournal)
    {
    }
    void OnNumber(int number) override
    {
        journal->push_back(name + ":" + std::to_string(number));
        if (onNumber)
            onNumber(number);
    }

    std::string name;
    std::vector<std::string>* journal;
    std::function<void(int)> onNumber;
};

class SubscriptionTest : public ::testing::Test {
protected:
    static void SubscribeAll(Producer& producer, std::initializer_list<Consumer*> consumers)
    {
        for (Consumer* consumer : consumers)
            EXPECT_TRUE(consumer->Subscribe(&producer));
    }

    std::vector<std::string> journal;
};

TEST_F(SubscriptionTest, DeliversInAttachOrderAndCountsTheCalls)
{
    Producer producer;
    Consumer a("a", &journal), b("b", &journal), c("c", &journal);
    SubscribeAll(producer, {&b, &a, &c});
    EXPECT_EQ(producer.Send(7), 3u);
    EXPECT_EQ(journal, (std::vector<std::string>{"b:7", "a:7", "c:7"}));
}

TEST_F(SubscriptionTest, NullArgumentsChangeNothingAndUnsubscribeIsAlwaysTrue)
{
    Producer producer;
    Consumer a("a", &journal), b("b", &journal);
    a.Subscribe(&producer);
    sSubscriber* none = nullptr;
    EXPECT_FALSE(producer.Detach(none));
    EXPECT_EQ(producer.SubscriberCount(), 1u);
    EXPECT_TRUE(a.IsSubscribed());
    EXPECT_FALSE(b.Subscribe(nullptr));
    EXPECT_TRUE(b.Unsubscribe());
    EXPECT_FALSE(b.IsSubscribed());
}

TEST_F(SubscriptionTest, SubscribingElsewhereLeavesTheFirstProducer)
{
    Producer first, second;
    Consumer a("a", &journal);
    a.Subscribe(&first);
    a.Subscribe(&second);
    EXPECT_EQ(first.SubscriberCount(), 0u);
    EXPECT_EQ(second.SubscriberCount(), 1u);
    EXPECT_EQ(first.Send(1), 0u);
    EXPECT_EQ(second.Send(2), 1u);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:2"}));
}

TEST_F(SubscriptionTest, SubscribingAgainMovesToTheEndOfTheOrder)
{
    Producer producer;
    Consumer a("a", &journal), b("b", &journal);
    a.Subscribe(&producer);
    b.Subscribe(&producer);
    a.Subscribe(&producer);
    EXPECT_EQ(producer.SubscriberCount(), 2u);
    producer.Send(1);
    EXPECT_EQ(journal, (std::vector<std::string>{"b:1", "a:1"}));
}

TEST_F(SubscriptionTest, SubscriberLeavingInItsCallbackIsNotCalledAgainAndOthersStillAre)
{
    Producer producer;
    Consumer a("a", &journal), b("b", &journal), c("c", &journal);
    SubscribeAll(producer, {&a, &b, &c});
    b.onNumber = [&](int) { b.Unsubscribe(); };
    EXPECT_EQ(producer.Send(1), 3u);
    EXPECT_EQ(producer.Send(2), 2u);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:1", "b:1", "c:1", "a:2", "c:2"}));
    EXPECT_FALSE(b.IsSubscribed());
}

TEST_F(SubscriptionTest, SubscriberRemovingTheNextOneInItsCallbackSkipsIt)
{
    Producer producer;
    Consumer a("a", &journal), b("b", &journal), c("c", &journal);
    SubscribeAll(producer, {&a, &b, &c});
    a.onNumber = [&](int) { b.Unsubscribe(); };
    EXPECT_EQ(producer.Send(1), 2u);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:1", "c:1"}));
}

TEST_F(SubscriptionTest, SubscriberDestroyedInsideADeliveryIsNotCalled)
{
    Producer producer;
    Consumer a("a", &journal);
    auto b = std::make_unique<Consumer>("b", &journal);
    a.Subscribe(&producer);
    b->Subscribe(&producer);
    a.onNumber = [&](int) { b.reset(); };
    EXPECT_EQ(producer.Send(1), 1u);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:1"}));
}

TEST_F(SubscriptionTest, DestroyingTheProducerDetachesEverySubscriberHeadFirstOnce)
{
    struct Recorder : Consumer {
        using Consumer::Consumer;
        void OnDetach(sSubscriber* entry) override
        {
            journal->push_back("detach " + name);
            Consumer::OnDetach(entry);
        }
    };
    Recorder a("a", &journal), b("b", &journal), c("c", &journal);
    {
        Producer producer;
        SubscribeAll(producer, {&a, &b, &c});
    }
    EXPECT_EQ(journal, (std::vector<std::string>{"detach a", "detach b", "detach c"}));
    EXPECT_FALSE(a.IsSubscribed());
    EXPECT_FALSE(b.IsSubscribed());
    EXPECT_FALSE(c.IsSubscribed());
    // Detached subscribers can join a new producer as usual.
    Producer next;
    EXPECT_TRUE(b.Subscribe(&next));
    EXPECT_EQ(next.Send(3), 1u);
}

TEST_F(SubscriptionTest, DestroyingASubscriberRemovesOnlyItsOwnEntry)
{
    Producer producer;
    Consumer a("a", &journal), c("c", &journal);
    a.Subscribe(&producer);
    {
        Consumer b("b", &journal);
        b.Subscribe(&producer);
        c.Subscribe(&producer);
    }
    EXPECT_EQ(producer.SubscriberCount(), 2u);
    producer.Send(5);
    EXPECT_EQ(journal, (std::vector<std::string>{"a:5", "c:5"}));
}

TEST_F(SubscriptionTest, EntriesWithoutDetachSinkAreDroppedWithTheProducer)
{
    Consumer a("a", &journal);
    auto producer = std::make_unique<Producer>();
    sSubscriber* position = producer->Attach(nullptr, &a);
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(producer->Send(1), 1u);
    producer.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"a:1"}));
}

// A decoder-shaped object: a subscriber of one pipe and a producer of another,
// with one lock for both roles.
class Relay : public TSubscriber<INumberPipe>, public TSubscription<IBackPipe> {
public:
    void OnNumber(int number) override
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        TSubscription<IBackPipe>::Publish([number](IBackPipe& pipe) { pipe.Echo(number); });
    }
};

class EchoCounter : public TSubscriber<IBackPipe> {
public:
    int Echo(int number) override { return total += number; }
    int total = 0;
};

TEST_F(SubscriptionTest, AnObjectWithSeveralRolesRelaysThroughOneLock)
{
    Producer producer;
    EchoCounter counter;
    {
        Relay relay;
        relay.Subscribe(&producer);
        counter.Subscribe(&relay);
        producer.Send(4);
        producer.Send(5);
        EXPECT_EQ(counter.total, 9);
    }
    // The relay died in the middle of the chain: both ends are let go.
    EXPECT_FALSE(counter.IsSubscribed());
    EXPECT_EQ(producer.SubscriberCount(), 0u);
}

class Pipe : public TBiSubscription<IBackPipe, INumberPipe> {
public:
    int Echo(int number) override { return number * 2; }
    unsigned Send(int number)
    {
        return Publish([number](INumberPipe& pipe) { pipe.OnNumber(number); });
    }
};

class Decoder : public TBiSubscriber<INumberPipe, IBackPipe> {
public:
    void OnNumber(int number) override
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        if (IBackPipe* back = Back())
            lastEcho = back->Echo(number);
    }
    bool HasBack() const
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        return Back() != nullptr;
    }
    int lastEcho = 0;
};

TEST_F(SubscriptionTest, TwoWaySubscriberReachesTheBackChannelOnlyWhileAttached)
{
    Decoder decoder;
    EXPECT_FALSE(decoder.HasBack());
    {
        Pipe pipe;
        EXPECT_TRUE(decoder.Subscribe(&pipe));
        EXPECT_TRUE(decoder.HasBack());
        pipe.Send(21);
        EXPECT_EQ(decoder.lastEcho, 42);
        Pipe other;
        decoder.Subscribe(&other);
        EXPECT_TRUE(decoder.HasBack());
        EXPECT_EQ(pipe.SubscriberCount(), 0u);
        other.Send(5);
        EXPECT_EQ(decoder.lastEcho, 10);
        decoder.Unsubscribe();
        EXPECT_FALSE(decoder.HasBack());
        EXPECT_EQ(other.Send(1), 0u);
        decoder.Subscribe(&pipe);
    }
    // The pipe died first.
    EXPECT_FALSE(decoder.HasBack());
    EXPECT_FALSE(decoder.IsSubscribed());
}

}  // namespace
}  // namespace TolvarRT
