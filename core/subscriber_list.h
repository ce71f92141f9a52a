// The ordered list behind every subscription: stable entries, publishing that
// survives entries removed mid-walk, and removal that waits for calls in flight.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace TolvarRT {
struct sSubscriber;
}

// The detach sink: a subscription that is being destroyed calls it on each
// subscriber still attached. Every subscriber template implements it by
// unsubscribing.
class SubscriberDetach {
public:
    virtual void OnDetach(TolvarRT::sSubscriber* position) = 0;

protected:
    ~SubscriberDetach() = default;
};

namespace TolvarRT {

// One entry of a subscription list. Its address is the position a subscriber
// keeps; it stays valid until the entry itself is removed.
struct sSubscriber {
    SubscriberDetach* detachSink;  // may be null: the entry is then simply dropped
    void* subscriber;              // the subscriber's interface, typed by the template
    sSubscriber* prev;
    sSubscriber* next;
    unsigned callsInFlight;  // publishers calling this entry right now
    unsigned waiters;        // threads waiting for this entry to settle
    bool removed;            // detached; unlinked once no call is in flight
};

// Thread rules: every operation may be called from any thread. The list is
// guarded by the owner's shared lock, which it never holds while calling a
// subscriber. An entry removed while a publisher is calling it stays linked
// (so the publisher can step on) until that call returns; Detach waits for
// calls in flight on other threads, so once it returns the subscriber is not
// called again and may be destroyed.
class CSubscriberList {
public:
    explicit CSubscriberList(std::recursive_mutex& ownerLock) : lock(ownerLock) {}
    ~CSubscriberList();
    CSubscriberList(const CSubscriberList&) = delete;
    CSubscriberList& operator=(const CSubscriberList&) = delete;

    // Appends an entry: subscribers are called in the order they attached.
    sSubscriber* Attach(SubscriberDetach* detachSink, void* subscriber);
    // Removes the entry at position and nulls position. False when position is
    // null. Waits for calls to that entry in flight on other threads, unless
    // the calling thread is itself inside a call to it (a subscriber leaving
    // from its own callback).
    bool Detach(sSubscriber*& position);
    // Asks every attached subscriber to leave, head first; entries without a
    // detach sink are dropped. Returns with the list empty.
    void DetachAll();
    unsigned Count() const;
    // The number of attached subscribers without taking the lock: a hint for
    // producers that can skip work nobody would receive.
    bool Empty() const { return attached.load(std::memory_order_relaxed) == 0; }

    // Walks the list for one delivery. Each Next() releases the entry of the
    // previous step and returns the next subscriber not removed, or null. The
    // lock is held only inside Next(), never while the caller calls out.
    class Cursor {
    public:
        explicit Cursor(CSubscriberList& list);
        ~Cursor();
        Cursor(const Cursor&) = delete;
        Cursor& operator=(const Cursor&) = delete;

        void* Next();

    private:
        friend class CSubscriberList;
        CSubscriberList& list;
        sSubscriber* current = nullptr;
        Cursor* outer;  // the enclosing delivery on this thread
    };

private:
    void ReleaseCall(sSubscriber* entry);
    void FreeIfSettled(sSubscriber* entry);
    static unsigned CallsOnThisThread(const sSubscriber* entry);

    std::recursive_mutex& lock;
    std::condition_variable_any settled;
    sSubscriber* head = nullptr;
    sSubscriber* tail = nullptr;
    std::atomic<unsigned> attached{0};
};

}  // namespace TolvarRT
