// Waiting for something another thread makes happen, with a deadline: tests
// assert on the answer instead of sleeping and hoping the work is done.
#pragma once

#include <chrono>
#include <thread>

namespace TolvarRT::testing {

// True as soon as condition() holds; false once limit has passed without it.
// Polls, because the conditions are read through the objects' own accessors
// and most of them have no event to wait on.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace TolvarRT::testing
