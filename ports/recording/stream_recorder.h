// Records one side of a test as it arrives: the raw bytes to a data file and
// the offset and arrival time of every chunk to its time-tag file, and when
// asked to RTKLIB's time-tag file as well, so that RTKLIB's tools replay the
// side too. It is one more subscriber of the byte pipe, so every kind of port
// is recorded alike.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/byte_pipe_subscriber.h"
#include "core/log_pipe.h"
#include "ports/recording/time_tag_file.h"

namespace TolvarRT {

// Thread rules: Start, Stop and Flush belong to the owner's thread; OnBytes
// runs on the port's reader thread. All take the subscriber's lock. The
// reader thread does no more than a buffered write; the buffers go to disk
// when the tags' fills, at Flush and at Stop: the data always before the
// tags that point into it, so that a recording ended by a crash or a kill
// holds every chunk its whole tags name. Stop ends the tags with the data's
// length; a tags file without that end was cut short.
//
// A write that fails (a full disk, an I/O error) ends the recording of the
// side at once, with one log line, and Failure says why from then on; the
// test itself goes on. Nothing is lost silently: either every byte received
// is in the file, or Failure is set.
class CStreamRecorder : public CBytePipeSubscriber {
public:
    explicit CStreamRecorder(CLogPipe* logPipe = nullptr);
    ~CStreamRecorder() override;

    // Creates (or empties) the files; false with error when one cannot be.
    // rtklibTagPath, when not empty, is where RTKLIB's time tags go. RTKLIB's
    // tags hold lengths of 32 bits: a side that grows past 4 GiB fails there.
    bool Start(const std::string& dataPath, const std::string& tagPath, const sRecordingClock& clock,
               std::string& error, const std::string& rtklibTagPath = {});
    // Writes out what is buffered and closes the files; false when the
    // recording failed, now or earlier.
    bool Stop();
    // Writes out what is buffered; false when the recording failed.
    bool Flush();
    bool IsRecording() const;
    // Empty while all is well: "PATH: the system's reason".
    std::string Failure() const;
    std::uint64_t BytesRecorded() const;

    bool ReportsUnusedBytes() const override { return false; }
    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;

    CLogNode log;

private:
    // Under the lock: records why the file at path failed and stops recording.
    void Fail(const std::string& path, int error);
    void CloseFiles();
    // Under the lock: the data to disk, then the tags held back.
    void WriteOutTags();

    std::FILE* dataFile = nullptr;
    std::FILE* tagFile = nullptr;
    std::FILE* rtklibFile = nullptr;
    std::string dataPath;
    std::string tagPath;
    std::string rtklibPath;
    sRecordingClock clock;
    std::uint64_t bytes = 0;
    std::string pendingTags;  // not yet written: its data may not be on disk
    std::string pendingRtklib;
    std::string failure;
};

}  // namespace TolvarRT
