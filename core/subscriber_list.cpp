#include "core/subscriber_list.h"

#include <cassert>

namespace TolvarRT {
namespace {

// Innermost delivery in progress on this thread; deliveries nest when a
// subscriber publishes further from inside its callback.
thread_local CSubscriberList::Cursor* innermostCursor = nullptr;

}  // namespace

CSubscriberList::~CSubscriberList()
{
    assert(head == nullptr && "a subscription must be emptied by DetachAll before it dies");
}

sSubscriber* CSubscriberList::Attach(SubscriberDetach* detachSink, void* subscriber)
{
    auto* entry = new sSubscriber{detachSink, subscriber, nullptr, nullptr, 0, 0, false};
    std::lock_guard<std::recursive_mutex> guard(lock);
    entry->prev = tail;
    if (tail != nullptr)
        tail->next = entry;
    else
        head = entry;
    tail = entry;
    attached.fetch_add(1, std::memory_order_relaxed);
    return entry;
}

bool CSubscriberList::Detach(sSubscriber*& position)
{
    std::unique_lock<std::recursive_mutex> guard(lock);
    if (position == nullptr)
        return false;
    sSubscriber* entry = position;
    position = nullptr;
    entry->removed = true;
    attached.fetch_sub(1, std::memory_order_relaxed);
    if (entry->callsInFlight > 0 && CallsOnThisThread(entry) == 0) {
        ++entry->waiters;
        settled.wait(guard, [entry] { return entry->callsInFlight == 0; });
        --entry->waiters;
    }
    FreeIfSettled(entry);
    settled.notify_all();
    return true;
}

void CSubscriberList::DetachAll()
{
    std::unique_lock<std::recursive_mutex> guard(lock);
    for (;;) {
        sSubscriber* entry = head;
        while (entry != nullptr && entry->removed)
            entry = entry->next;
        if (entry == nullptr) {
            if (head == nullptr)
                return;
            // Only removed entries with calls still in flight are left.
            settled.wait(guard);
            continue;
        }
        if (entry->detachSink == nullptr) {
            entry->removed = true;
            attached.fetch_sub(1, std::memory_order_relaxed);
            FreeIfSettled(entry);
            continue;
        }
        // The subscriber removes its own entry (taking its own lock first); a
        // subscriber that is switching subscriptions on another thread removes
        // it from there, so wait until it is gone either way.
        SubscriberDetach* sink = entry->detachSink;
        ++entry->waiters;
        guard.unlock();
        sink->OnDetach(entry);
        guard.lock();
        settled.wait(guard, [entry] { return entry->removed; });
        --entry->waiters;
        FreeIfSettled(entry);
    }
}

unsigned CSubscriberList::Count() const
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    unsigned count = 0;
    for (const sSubscriber* entry = head; entry != nullptr; entry = entry->next)
        count += entry->removed ? 0 : 1;
    return count;
}

void CSubscriberList::ReleaseCall(sSubscriber* entry)
{
    --entry->callsInFlight;
    if (entry->removed && entry->callsInFlight == 0) {
        FreeIfSettled(entry);
        settled.notify_all();
    }
}

void CSubscriberList::FreeIfSettled(sSubscriber* entry)
{
    if (!entry->removed || entry->callsInFlight != 0 || entry->waiters != 0)
        return;
    (entry->prev != nullptr ? entry->prev->next : head) = entry->next;
    (entry->next != nullptr ? entry->next->prev : tail) = entry->prev;
    delete entry;
}

unsigned CSubscriberList::CallsOnThisThread(const sSubscriber* entry)
{
    unsigned calls = 0;
    for (const Cursor* cursor = innermostCursor; cursor != nullptr; cursor = cursor->outer)
        calls += cursor->current == entry ? 1 : 0;
    return calls;
}

CSubscriberList::Cursor::Cursor(CSubscriberList& owner) : list(owner), outer(innermostCursor)
{
    innermostCursor = this;
}

CSubscriberList::Cursor::~Cursor()
{
    if (current != nullptr) {
        std::lock_guard<std::recursive_mutex> guard(list.lock);
        list.ReleaseCall(current);
    }
    innermostCursor = outer;
}

void* CSubscriberList::Cursor::Next()
{
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    // The current entry is pinned, hence still linked: its successor is valid.
    sSubscriber* candidate = current != nullptr ? current->next : list.head;
    if (current != nullptr)
        list.ReleaseCall(current);
    while (candidate != nullptr && candidate->removed)
        candidate = candidate->next;
    current = candidate;
    if (current == nullptr)
        return nullptr;
    ++current->callsInFlight;
    return current->subscriber;
}

}  // namespace TolvarRT
