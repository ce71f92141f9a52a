// The publish/subscribe roles that join producers and consumers of the pipe
// interfaces at run time. Delivery is synchronous on the producer's thread;
// either side may be destroyed first without leaving a dangling entry.
#pragma once

#include <mutex>

#include "core/shared_lock.h"
#include "core/subscriber_list.h"

namespace TolvarRT {

// A producer's list of consumers of interface I.
//
// Thread rules: Attach, Detach and Publish may be called from any thread.
// Publish holds the shared lock only while stepping through the list, so a
// producer that must deliver one input at a time (a decoder in OnBytes) holds
// its own lock around Publish; the log pipe and the generators do not.
// A subscriber may unsubscribe itself, or others, from inside its callback.
template <class I>
class TSubscription : public virtual CSharedLock {
public:
    TSubscription() : subscribers(sharedLock) {}
    virtual ~TSubscription() { subscribers.DetachAll(); }

    sSubscriber* Attach(SubscriberDetach* detachSink, I* subscriber)
    {
        return subscribers.Attach(detachSink, subscriber);
    }
    bool Detach(sSubscriber*& position) { return subscribers.Detach(position); }
    unsigned SubscriberCount() const { return subscribers.Count(); }
    bool HasSubscribers() const { return !subscribers.Empty(); }

    // Calls call(I&) on every subscriber in attach order; returns how many
    // were called.
    template <class Call>
    unsigned Publish(Call&& call)
    {
        unsigned called = 0;
        CSubscriberList::Cursor cursor(subscribers);
        while (void* subscriber = cursor.Next()) {
            call(*static_cast<I*>(subscriber));
            ++called;
        }
        return called;
    }

private:
    CSubscriberList subscribers;
};

// A consumer's attachment to one producer of interface I.
//
// Thread rules: Subscribe and Unsubscribe may be called from any thread. The
// subscriber's own lock is never held while the producer's lock is taken, so
// attaching and detaching cannot deadlock against a delivery, which nests the
// producer's lock and then the consumer's. Once Unsubscribe returns (outside
// the subscriber's own callback) the subscriber is not called again.
// A subscriber that can still be called on another thread when it is
// destroyed calls Unsubscribe first thing in its own destructor: by the time
// this base destructor runs, the derived object is gone.
template <class I>
class TSubscriber : public I, public SubscriberDetach, public virtual CSharedLock {
public:
    TSubscriber() = default;
    TSubscriber(const TSubscriber&) = delete;
    TSubscriber& operator=(const TSubscriber&) = delete;
    virtual ~TSubscriber() { Release(nullptr); }

    // Attaches to subscription (moving away from any previous one, so the
    // subscriber goes to the end of the delivery order). False when
    // subscription is null.
    bool Subscribe(TSubscription<I>* newSubscription) { return AttachTo(newSubscription, nullptr); }

    bool Unsubscribe()
    {
        Release(nullptr);
        return true;
    }

    bool IsSubscribed() const
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        return position != nullptr;
    }

    void OnDetach(sSubscriber* dyingEntry) override { Release(dyingEntry); }

protected:
    // Attaches with a back channel that the two-way subscriber hands out.
    bool AttachTo(TSubscription<I>* newSubscription, void* newBackChannel)
    {
        if (newSubscription == nullptr)
            return false;
        Release(nullptr);
        sSubscriber* newPosition = newSubscription->Attach(this, this);
        TSubscription<I>* oldSubscription;
        sSubscriber* oldPosition;
        {
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            oldSubscription = subscription;
            oldPosition = position;
            subscription = newSubscription;
            position = newPosition;
            backChannel = newBackChannel;
        }
        // Another thread subscribed us meanwhile: the latest attachment wins.
        if (oldSubscription != nullptr)
            oldSubscription->Detach(oldPosition);
        return newPosition != nullptr;
    }

    // Null while detached; read it under the shared lock.
    void* backChannel = nullptr;

private:
    // Takes the current attachment (only if it is `only`, when given) under
    // the own lock, then detaches from the producer without it.
    void Release(sSubscriber* only)
    {
        TSubscription<I>* leaving;
        sSubscriber* leavingPosition;
        {
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            if (subscription == nullptr || position == nullptr || (only != nullptr && position != only))
                return;
            leaving = subscription;
            leavingPosition = position;
            subscription = nullptr;
            position = nullptr;
            backChannel = nullptr;
        }
        leaving->Detach(leavingPosition);
    }

    TSubscription<I>* subscription = nullptr;
    sSubscriber* position = nullptr;
};

// A producer that also offers its consumers a back channel B (the byte pipe's
// MarkLost and Send, the packet parser's SendPacket).
template <class B, class I>
class TBiSubscription : public B, public TSubscription<I> {
};

// A consumer of I that may call back into its producer through B.
template <class I, class B>
class TBiSubscriber : public TSubscriber<I> {
public:
    bool Subscribe(TBiSubscription<B, I>* newSubscription)
    {
        return this->AttachTo(newSubscription, static_cast<B*>(newSubscription));
    }

protected:
    // The producer's back channel, or null when detached. Call it under the
    // shared lock (a consumer holds it throughout its callbacks anyway) and
    // test it for null first.
    B* Back() const { return static_cast<B*>(this->backChannel); }
};

}  // namespace TolvarRT
