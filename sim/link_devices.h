// The two devices of the emulated link: a device the tool opens by name on
// each side, and the link's own end of each. Linux gives each side a
// pseudo-terminal pair, so that the tool drives its real serial port; Windows
// has none, and there each side is an in-process wire ("LOOP:...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TolvarRT {

// Thread rules: Open and the names belong to the owner before the link's
// thread starts; Wait, Read and Write to the link's thread; RequestStop may
// be called from any thread.
class CLinkDevices {
public:
    enum Side { kBase = 0, kRover = 1 };

    struct sReady {
        bool stopped = false;
        bool readable[2] = {false, false};
    };

    CLinkDevices();
    ~CLinkDevices();
    CLinkDevices(const CLinkDevices&) = delete;
    CLinkDevices& operator=(const CLinkDevices&) = delete;

    // False with a reason when the devices cannot be made.
    bool Open(std::string& error);
    // What the tool opens for that side.
    const std::string& PortName(Side side) const;
    // Until a side has bytes or a stop is requested, for at most timeoutMs
    // (negative: no limit). A stop stays requested until ClearStop.
    sReady Wait(int timeoutMs);
    void RequestStop();
    void ClearStop();
    // What the tool sent on that side, without waiting; 0 for none.
    std::size_t Read(Side side, std::uint8_t* data, std::size_t size);
    // To the tool on that side; bytes nobody reads within a second are gone,
    // as on a cable.
    void Write(Side side, const std::vector<std::uint8_t>& bytes);

private:
    struct sDevices;
    std::unique_ptr<sDevices> devices;
};

}  // namespace TolvarRT
