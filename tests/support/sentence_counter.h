// Counts the NMEA sentences a decoder publishes, on whatever thread it
// publishes them.
#pragma once

#include <atomic>

#include "core/pipes.h"
#include "core/subscription.h"

namespace TolvarRT::testing {

class SentenceCounter : public TSubscriber<IIncommingNMEAPipe> {
public:
    ~SentenceCounter() override { Unsubscribe(); }
    void OnNMEASentence(unsigned, const sNMEAPosition*, const char*, const TimeStamp&) override { ++count; }
    std::atomic<int> count{0};
};

}  // namespace TolvarRT::testing
