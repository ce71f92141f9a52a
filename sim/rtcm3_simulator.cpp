// The generator thread of the fake RTCM v3 traffic: the tick grid on the
// host's clock, the epochs built, sent through the Source side's RTCM v3
// decoder and published.
#include "sim/rtcm3_simulator.h"

#include <system_error>

#include "core/gnss_time.h"
#include "core/time_base.h"

namespace TolvarRT {
namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

// Time for the port to write the last frames before the thread ends.
constexpr auto kLimitPause = std::chrono::milliseconds(1500);

}  // namespace

CRTCM3Simulator::CRTCM3Simulator(CRTCM3InputHandler* handler, CLogPipe* logPipe) : log(logPipe), rtcm3Handler(handler)
{
}

CRTCM3Simulator::~CRTCM3Simulator()
{
    Stop();
    // A thread that did not end in time still uses this object.
    if (thread.joinable())
        thread.join();
}

bool CRTCM3Simulator::SetSettings(const sRTCM3SimSettings& chosen)
{
    std::string error;
    if (!CheckRTCM3SimSettings(chosen, error)) {
        log.LogAlways("Fake RTCM v3: %s", error.c_str());
        return false;
    }
    std::lock_guard<std::mutex> guard(settingsLock);
    settings = chosen;
    return true;
}

sRTCM3SimSettings CRTCM3Simulator::Settings() const
{
    std::lock_guard<std::mutex> guard(settingsLock);
    return settings;
}

bool CRTCM3Simulator::Start(long epochLimit)
{
    // Tested before the stop event is reset: a thread that has not yet obeyed
    // a Stop must keep its request, or it would run on unowned.
    if (rtcm3Handler == nullptr || running.load())
        return false;
    stop.Clear();
    if (thread.joinable())
        thread.join();  // one that ended by itself
    finished.Clear();
    sentCount.store(0);
    frameCount.store(0);
    running.store(true);
    try {
        thread = std::thread(&CRTCM3Simulator::Run, this, Settings(), epochLimit);
    } catch (const std::system_error&) {
        running.store(false);
        return false;
    }
    return true;
}

bool CRTCM3Simulator::Stop()
{
    if (!thread.joinable())
        return true;
    stop.Set();
    if (!finished.WaitFor(std::chrono::milliseconds(kStopWaitMs))) {
        log.LogAlways("Fake RTCM v3 generator did not stop within %u ms", kStopWaitMs);
        return false;
    }
    thread.join();
    return true;
}

void CRTCM3Simulator::Run(sRTCM3SimSettings chosen, long epochLimit)
{
    CRTCM3MessageBuilder builder(chosen, std::uint32_t(chosen.stationId) + 1);
    const int gpsMinusUtc = SystemLeapSeconds().gpsMinusUtc;
    const auto interval = std::chrono::milliseconds(1000 / chosen.epochsPerSecond);
    log.LogBasic("Using Fake RTCM v3 Generation: MSM%u, %s, %u Hz, station %u", chosen.msm,
                 SimSatellitesText(chosen.satellites).c_str(), chosen.epochsPerSecond, unsigned(chosen.stationId));

    // The first tick after now on the UTC grid, and the same moment on the
    // steady clock; every later tick is a whole number of intervals on.
    const auto systemNow = system_clock::now();
    const auto steadyNow = steady_clock::now();
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(systemNow.time_since_epoch());
    std::chrono::milliseconds tick = (sinceEpoch / interval + 1) * interval;
    steady_clock::time_point due = steadyNow + (tick - sinceEpoch);

    sRTCM3SimEpoch epoch;
    while (!stop.WaitUntil(due)) {
        const auto late = steady_clock::now() - due;
        if (late > interval) {
            const auto skipped = late / interval;
            log.LogBasic("Lost sync: %lld fake RTCM v3 epochs skipped", static_cast<long long>(skipped));
            tick += skipped * interval;
            due += skipped * interval;
            continue;
        }
        builder.BuildEpoch(double(tick.count()) / 1000.0, gpsMinusUtc, epoch);
        SendEpoch(epoch);
        const long sent = ++sentCount;
        tick += interval;
        due += interval;
        if (epochLimit != kNoLimit && sent >= epochLimit) {
            stop.WaitFor(kLimitPause);
            break;
        }
    }
    stop.Set();
    running.store(false);
    finished.Set();
}

void CRTCM3Simulator::SendEpoch(const sRTCM3SimEpoch& epoch)
{
    for (unsigned i = 0; i < epoch.count; ++i) {
        const sRTCM3SimFrame& frame = epoch.frames[i];
        // Counted at the Source before it leaves: on a fast link the
        // Listener may decode the frame before this thread runs again, and a
        // frame received before its source record would be unmatched.
        const TimeStamp now = TimeStampNow();
        TSubscription<IIncommingRTCM3Pipe>::Publish([&](IIncommingRTCM3Pipe& pipe) {
            pipe.OnRTCM3Frame(frame.type, frame.Payload(), frame.PayloadLength(), now);
        });
        rtcm3Handler->SendFrame(frame.data.data(), frame.length);
        ++frameCount;
        if (log.Wants(kLogBasic))
            log.LogBasic("Fake RTCM v3 %u, Length %u", frame.type, unsigned(frame.PayloadLength()));
    }
}

}  // namespace TolvarRT
