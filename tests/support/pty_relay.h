// Two pseudo-terminal pairs joined as a radio link joins its two ends.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "pty_pair.h"

namespace TolvarRT::testing {

// Copies whatever one side's device writes to the other side's device, as a
// radio link would.
class PtyRelay {
public:
    PtyRelay(const PtyPair& from, const PtyPair& to)
        : thread([this, &from, &to] {
              while (!stop.load()) {
                  if (!from.WaitReadable(std::chrono::milliseconds(50)))
                      continue;
                  const Bytes bytes = from.ReadSome();
                  if (!bytes.empty())
                      to.Write(bytes);
              }
          })
    {
    }
    ~PtyRelay()
    {
        stop.store(true);
        thread.join();
    }
    PtyRelay(const PtyRelay&) = delete;
    PtyRelay& operator=(const PtyRelay&) = delete;

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

}  // namespace TolvarRT::testing
