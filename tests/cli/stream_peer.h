// RTKLIB's str2str as the far end of a port, fed a real capture at a pace by
// the test, so that what the tool reads was chunked by that program's own
// buffering. Everything on 127.0.0.1.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chunked_feed.h"
#include "loopback.h"
#include "rtcm3_frame_builder.h"
#include "tcp_server.h"
#include "tolvar_process.h"
#include "wait_until.h"

namespace cli::testing {

using TolvarRT::testing::Bytes;

// The program's full path on PATH; empty when it is not installed.
inline std::string ProgramOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return {};
}

// A loopback port free a moment ago (type SOCK_STREAM or SOCK_DGRAM), for a
// peer that must be told its port before it binds.
inline std::uint16_t FreeLoopbackPort(int type)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address = TolvarRT::testing::Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const std::uint16_t port = TolvarRT::testing::BoundPort(fd);
    close(fd);
    return port;
}

// Whether something accepts TCP connections on the loopback port.
inline bool Accepts(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = TolvarRT::testing::Loopback(port);
    const bool accepted = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

// A child process this test started, ended by its pid with SIGINT (the way
// str2str is stopped), or SIGKILL when it does not go within 5 s.
class CChildProcess {
public:
    CChildProcess() = default;
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;
    ~CChildProcess() { Stop(); }

    void Start(const std::string& program, const std::vector<std::string>& arguments)
    {
        child = StartProgram(program, arguments);
    }
    bool Running() const { return child.pid > 0; }
    // Interrupts the child and waits for it; its exit status (-1 after a
    // signal).
    int Stop()
    {
        if (child.pid <= 0)
            return status;
        kill(child.pid, SIGINT);
        int raw = 0;
        const bool ended = TolvarRT::testing::WaitUntil([&] { return waitpid(child.pid, &raw, WNOHANG) == child.pid; },
                                                        std::chrono::seconds(5));
        if (!ended) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &raw, 0);
        }
        child.pid = -1;
        status = ExitStatus(raw);
        out = TakeFile(child.out);
        err = TakeFile(child.err);
        return status;
    }
    const std::string& Out() const { return out; }
    const std::string& Err() const { return err; }

private:
    sTolvarChild child;
    int status = -1;
    std::string out;
    std::string err;
};

// str2str reading a feed of the test (its -in tcpcli://) and writing out.
class CStr2Str {
public:
    // False (and a test failure saying what to install) without str2str.
    bool Start(std::uint16_t feedPort, const std::string& out)
    {
        const std::string program = ProgramOnPath("str2str");
        if (program.empty()) {
            ADD_FAILURE() << "str2str is not installed: the Debian package rtklib (./dev deps)";
            return false;
        }
        // -r: reconnect after 200 ms rather than 10 s, should a connection
        // be tried before the other end is there.
        process.Start(program, {"-in", "tcpcli://127.0.0.1:" + std::to_string(feedPort), "-out", out, "-r", "200"});
        return process.Running();
    }
    void Stop() { process.Stop(); }

private:
    CChildProcess process;
};

// The message number of the frames that open every feed: none of the
// capture's own, so they tell when the peer's output reaches the tool
// without being confused with the capture's frames.
constexpr unsigned kPrimerType = 1021;

// A TCP server that str2str's input connects to. It sends a primer frame
// every 20 ms until told the tool hears them, then the bytes in pieces of up
// to 700 bytes, 5 ms apart.
class CPacedFeed {
public:
    CPacedFeed() { listening = server.Listen(); }
    ~CPacedFeed() { Join(); }
    std::uint16_t Port() const { return server.Port(); }

    void Start(Bytes bytes, unsigned seed)
    {
        ASSERT_TRUE(listening);
        worker = std::thread([this, bytes = std::move(bytes), seed] {
            if (!server.Accept())
                return;
            const Bytes primer = TolvarRT::testing::rtcm3_reference::Frame(kPrimerType, 12);
            while (!heard.load()) {
                server.Send(primer);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::size_t offset = 0;
            for (const std::size_t piece : TolvarRT::testing::RandomPieces(bytes.size(), seed, 700)) {
                server.Send(
                    Bytes(bytes.begin() + std::ptrdiff_t(offset), bytes.begin() + std::ptrdiff_t(offset + piece)));
                offset += piece;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            sent = true;
        });
    }
    // The tool hears the primer: the capture follows.
    void Heard() { heard = true; }
    bool AllSent() const { return sent.load(); }
    void Join()
    {
        heard = true;
        if (worker.joinable())
            worker.join();
    }

private:
    TolvarRT::testing::CTcpServer server;
    bool listening = false;
    std::thread worker;
    std::atomic<bool> heard{false};
    std::atomic<bool> sent{false};
};

// The RTCM v3 frames with a good CRC in bytes, counted apart from the tool's
// decoder: where each starts, and its message number.
struct sCountedFrame {
    std::size_t offset;
    std::size_t length;
    unsigned type;
};
inline std::vector<sCountedFrame> Rtcm3Frames(const Bytes& bytes)
{
    std::vector<sCountedFrame> frames;
    for (std::size_t i = 0; i + 6 <= bytes.size();) {
        const std::size_t payload = ((bytes[i + 1] & 0x03u) << 8) | bytes[i + 2];
        const std::size_t length = payload + 6;
        if (bytes[i] != 0xD3 || (bytes[i + 1] & 0xFC) != 0 || i + length > bytes.size()) {
            ++i;
            continue;
        }
        const std::uint32_t crc = (std::uint32_t(bytes[i + length - 3]) << 16) |
                                  (std::uint32_t(bytes[i + length - 2]) << 8) | bytes[i + length - 1];
        if (TolvarRT::testing::rtcm3_reference::Crc24q(&bytes[i], length - 3) != crc) {
            ++i;
            continue;
        }
        frames.push_back({i, length, payload >= 2 ? (unsigned(bytes[i + 3]) << 4) | (bytes[i + 4] >> 4) : 0u});
        i += length;
    }
    return frames;
}

// The frames of each type that the tool's log (level basic) says it received.
inline std::size_t LoggedFrames(const std::string& logFile, bool primer)
{
    std::ifstream in(logFile);
    const std::string primerText = "Type " + std::to_string(kPrimerType) + ",";
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find("Receive RTCM v3 Frame") != std::string::npos &&
            (line.find(primerText) != std::string::npos) == primer)
            ++count;
    }
    return count;
}

inline std::size_t LogLines(const std::string& logFile, const std::string& text)
{
    std::ifstream in(logFile);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace cli::testing
