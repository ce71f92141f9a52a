// A radio link without radios: two devices (pseudo-terminal pairs on Linux,
// in-process wires on Windows), the base side's device (a receiver feeding the
// base radio) and the rover side's device (the rover radio), and between them a channel that drops, corrupts and delays
// whole packets (data-collector packets or RTCM v3 frames) as a radio link does, keeping their order.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/link_devices.h"

namespace TolvarRT {

// A spell in which the channel drops every packet, in milliseconds after
// Start: [fromMs, toMs).
struct sDropWindow {
    unsigned fromMs = 0;
    unsigned toMs = 0;
};

struct sRadioChannel {
    double lossPercent = 2.0;
    double corruptPercent = 0.0;
    unsigned latencyMs = 80;
    unsigned jitterMs = 20;  // each packet waits latency plus a uniform 0..jitter
    std::uint32_t seed = 1;
    std::vector<sDropWindow> dropWindows;
};

// What the channel did, to compare with what the tool measured.
struct sRadioAccount {
    std::uint64_t sent = 0;     // packets the base radio took in
    std::uint64_t dropped = 0;  // drop windows' included
    std::uint64_t droppedInWindows = 0;
    std::uint64_t corrupted = 0;  // delivered with one byte changed
    std::uint64_t delivered = 0;  // delivered intact
    double delaySumMs = 0.0;      // over every packet delivered (intact or not)
    double MeanDelayMs() const
    {
        const std::uint64_t through = delivered + corrupted;
        return through == 0 ? 0.0 : delaySumMs / double(through);
    }
};

// Thread rules: Start, Stop and the accessors belong to the owner's thread;
// the link runs one thread of its own, which waits on both devices and its
// stop request at once, with the next delivery as its time-out.
class CEmulatedRadioLink {
public:
    static constexpr const char* kBaseIdentity = "PRODUCT,TR-500,Base;PORT,1,0,0,8,1,N,0;VERSION,4,2,0,0;";
    static constexpr const char* kRoverIdentity = "PRODUCT,UHF-450,Rover;PORT,2,0,0,8,1,N,0;VERSION,2,1,0,0;";

    explicit CEmulatedRadioLink(const sRadioChannel& channel);
    ~CEmulatedRadioLink();
    CEmulatedRadioLink(const CEmulatedRadioLink&) = delete;
    CEmulatedRadioLink& operator=(const CEmulatedRadioLink&) = delete;

    // False (with a reason) when the devices cannot be made.
    bool Start(std::string& error);
    void Stop();

    // The port names the tool opens: the Source port and the Listener port.
    const std::string& BasePort() const { return devices.PortName(CLinkDevices::kBase); }
    const std::string& RoverPort() const { return devices.PortName(CLinkDevices::kRover); }
    sRadioAccount Account() const;

private:
    void Run();

    const sRadioChannel channel;
    CLinkDevices devices;
    std::thread thread;
    mutable std::mutex accountLock;
    sRadioAccount account;
};

}  // namespace TolvarRT
