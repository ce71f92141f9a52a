// Raising a thread to time-critical scheduling and putting it back, whether
// or not this process may do so.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

#include "ports/platform/thread_priority.h"

namespace TolvarRT {
namespace {

struct sScheduling {
    int policy;
    int priority;
    int nice;
    bool operator==(const sScheduling&) const = default;
};

sScheduling Current()
{
    sScheduling now{};
    sched_param param{};
    pthread_getschedparam(pthread_self(), &now.policy, &param);
    now.priority = param.sched_priority;
    now.nice = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
    return now;
}

// On a thread of its own, so the test runner's scheduling is never touched.
TEST(ThreadPriorityTest, RaisesWhenAllowedAndRestoresTheNormalScheduling)
{
    std::thread([] {
        const sScheduling normal = Current();
        {
            CThreadPriority priority;
            const bool raised = priority.RaiseToTimeCritical();
            EXPECT_EQ(priority.IsRaised(), raised);
            if (raised)
                EXPECT_FALSE(Current() == normal);
            else
                EXPECT_TRUE(Current() == normal) << "a refusal changes nothing";
            EXPECT_EQ(priority.RaiseToTimeCritical(), raised) << "asking again gives the same answer";
            priority.RestoreNormal();
            EXPECT_FALSE(priority.IsRaised());
            EXPECT_TRUE(Current() == normal);
            priority.RaiseToTimeCritical();
        }
        EXPECT_TRUE(Current() == normal) << "the destructor restores";
    }).join();
}

// The way down is always open on Linux, the way back often is not: a lowered
// thread that could not climb back would stay at the bottom for good.
TEST(ThreadPriorityTest, LowersOnlyWhenItCanComeBackAndRestoresTheNormalScheduling)
{
    std::thread([] {
        const sScheduling normal = Current();
        {
            CThreadPriority priority;
            const bool lowered = priority.LowerToLowest();
            EXPECT_EQ(priority.IsLowered(), lowered);
            EXPECT_FALSE(priority.IsRaised());
            if (lowered)
                EXPECT_EQ(Current().nice, 19);
            else
                EXPECT_TRUE(Current() == normal) << "a refusal changes nothing";
            EXPECT_EQ(priority.LowerToLowest(), lowered) << "asking again gives the same answer";
            priority.RestoreNormal();
            EXPECT_FALSE(priority.IsLowered());
            EXPECT_TRUE(Current() == normal) << "lowered only where the way back is open";
            priority.LowerToLowest();
        }
        EXPECT_TRUE(Current() == normal) << "the destructor restores";
    }).join();
}

}  // namespace
}  // namespace TolvarRT
