// A wire inside the process between a port the tool opens by name
// ("LOOP:name") and the device end a simulator holds: what a pseudo-terminal
// pair is to the emulated link, on a system that has none.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "core/event.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

struct sInProcessWire;

// The device end. Thread rules: Read belongs to one thread; Write may be
// called from any thread.
class CInProcessDevice {
public:
    // Registers "LOOP:name" for ports to open; wake is set whenever the
    // port sends bytes. The name must be unique while the device lives.
    CInProcessDevice(const std::string& name, CEvent& wake);
    // Unregisters: a port still open delivers nothing more, and what it
    // sends is dropped.
    ~CInProcessDevice();
    CInProcessDevice(const CInProcessDevice&) = delete;
    CInProcessDevice& operator=(const CInProcessDevice&) = delete;

    const std::string& PortName() const { return portName; }
    // What the port has sent, up to size bytes, without waiting; 0 for none.
    std::size_t Read(std::uint8_t* data, std::size_t size);
    // To the port, which delivers it on its reader thread; dropped while no
    // port is open, as bytes sent down a cable nobody listens to.
    void Write(const std::uint8_t* data, std::size_t size);

private:
    std::string portName;
    std::shared_ptr<sInProcessWire> wire;
};

// The port end: opened by name, with a reader thread that sleeps until the
// device writes or the port is closed. Thread rules: as for every port.
class CInProcessPort : public CSerialPortInterface {
public:
    static constexpr const char* kPrefix = "LOOP:";

    using CSerialPortInterface::CSerialPortInterface;
    ~CInProcessPort() override;

    // Fails when no device of that name exists or another port has it open.
    bool Open(const char* portName) override;
    bool IsOpen() override { return wire != nullptr; }
    bool Configure(const PortSettings& newSettings) override;
    bool Close() override;
    void StartThread() override;
    void Purge(unsigned flags) override;
    void QueueWrite(OwnedPortBuffer buffer) override;
    void QueueWriteFirst(OwnedPortBuffer buffer) override { QueueWrite(std::move(buffer)); }
    void SendBreak(unsigned /*milliseconds*/) override {}

private:
    void ThreadMain();

    std::shared_ptr<sInProcessWire> wire;
    std::thread reader;
};

}  // namespace TolvarRT
