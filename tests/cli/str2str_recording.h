// RTKLIB's str2str as a child process of a test, and a real capture paced
// into it and recorded with its time tags (str2str -out file://PATH::T).
// Tests that need str2str fail without it: ./dev deps installs Debian's rtklib.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture_manifest.h"
#include "program_path.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace cli::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::uintmax_t FileSize(const std::string& path)
{
    std::error_code missing;
    const std::uintmax_t size = std::filesystem::file_size(path, missing);
    return missing ? 0 : size;
}

// Where str2str is on the PATH; empty when it is not installed.
inline std::string Str2strPath()
{
    return TolvarRT::testing::ProgramPath("str2str");
}

inline constexpr const char* kNoStr2str = "str2str is missing: ./dev deps installs Debian's rtklib";

// str2str as a child: its standard input a pipe the test writes (when asked),
// its output thrown away; ended by SIGINT, as its usage asks.
class Str2str {
public:
    Str2str(const std::vector<std::string>& arguments, bool withInput)
    {
        const std::string program = Str2strPath();
        int ends[2] = {-1, -1};
        if (program.empty() || (withInput && pipe(ends) != 0))
            return;
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            if (withInput)
                dup2(ends[0], STDIN_FILENO);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        if (withInput) {
            close(ends[0]);
            input = ends[1];
        }
    }
    Str2str(const Str2str&) = delete;
    Str2str& operator=(const Str2str&) = delete;
    ~Str2str() { Stop(); }

    bool Started() const { return pid > 0; }
    bool Write(const Bytes& bytes) { return ::write(input, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }
    void Stop()
    {
        if (input >= 0)
            close(input);
        input = -1;
        if (pid <= 0)
            return;
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }

private:
    pid_t pid = -1;
    int input = -1;
};

// The RTCM v3 frames of a capture that holds nothing else after its first
// frame's preamble (testglo.rtcm3 begins with a receiver's replies).
inline std::vector<Bytes> Rtcm3Frames(const Bytes& capture)
{
    std::vector<Bytes> frames;
    const auto first = std::find(capture.begin(), capture.end(), std::uint8_t(0xd3));
    for (std::size_t at = std::size_t(first - capture.begin()); at + 3 <= capture.size();) {
        const std::size_t length = 6 + (std::size_t(capture[at + 1] & 0x03) << 8 | capture[at + 2]);
        frames.emplace_back(capture.begin() + std::ptrdiff_t(at),
                            capture.begin() + std::ptrdiff_t(std::min(at + length, capture.size())));
        at += length;
    }
    return frames;
}

struct sPacedRecording {
    std::string path;                    // the data file; its tags are path + ".tag"
    Bytes fed;                           // what str2str was given
    std::vector<std::size_t> writeEnds;  // where each write ended in it
    std::size_t frames = 0;
    std::string error;  // not empty when the recording could not be made
};

// testglo.rtcm3 written to str2str's input in writes of whole frames, pace
// apart, and recorded by it to DIR/base.rtcm3 with time tags.
inline sPacedRecording RecordPacedCapture(const TolvarRT::testing::TempFolder& folder, int writes,
                                          std::chrono::milliseconds pace)
{
    sPacedRecording recording;
    recording.path = folder.File("base.rtcm3");
    Str2str str2str({"-out", "file://" + recording.path + "::T"}, true);
    const auto opened = [&] { return std::filesystem::exists(recording.path + ".tag"); };
    if (!str2str.Started() || !TolvarRT::testing::WaitUntil(opened)) {
        recording.error = kNoStr2str;
        return recording;
    }
    const std::vector<Bytes> frames = Rtcm3Frames(ReadBytes(TolvarRT::testing::CapturePath("testglo.rtcm3")));
    recording.frames = frames.size();
    auto start = std::chrono::steady_clock::now();
    for (int write = 0; write < writes; ++write) {
        // The feed's own schedule: a base station's bursts, pace apart, from
        // when str2str has taken the first (it reads nothing for its first
        // few hundred milliseconds, and what waits in the pipe comes at once).
        if (write == 1) {
            TolvarRT::testing::WaitUntil([&] { return FileSize(recording.path) == recording.fed.size(); });
            start = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_until(start + pace * write);
        Bytes piece;
        for (std::size_t i = frames.size() * write / writes; i < frames.size() * (write + 1) / writes; ++i)
            piece.insert(piece.end(), frames[i].begin(), frames[i].end());
        if (!str2str.Write(piece)) {
            recording.error = "str2str took no input";
            return recording;
        }
        recording.fed.insert(recording.fed.end(), piece.begin(), piece.end());
        recording.writeEnds.push_back(recording.fed.size());
    }
    TolvarRT::testing::WaitUntil([&] { return FileSize(recording.path) == recording.fed.size(); });
    str2str.Stop();
    return recording;
}

}  // namespace cli::testing
