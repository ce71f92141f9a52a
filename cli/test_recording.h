// What --record DIR writes while a test runs: each side's raw bytes and the
// time tags of its chunks (DIR/listener.raw and .tags, DIR/source.raw and
// .tags), on one clock, so that the test can be replayed through FILE: ports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ports/recording/stream_recorder.h"

class CTolvarTestSuiteDoc;

namespace cli {

// Thread rules: the owner's thread only; the recorders take the bytes on the
// ports' threads. Start before the ports are connected, Stop after the test's
// last byte; the document must outlive the recording.
class CTestRecording {
public:
    ~CTestRecording();

    // Creates the folder when missing. A Source fed by a generator has no
    // traffic of its own to receive: its recording holds what the generator
    // sent, stamped as it left. With rtklib, RTKLIB's time tags go beside
    // each side as well (DIR/listener.raw.tag). False with a reason.
    bool Start(CTolvarTestSuiteDoc& document, const std::string& folder, bool sourceGenerated, std::string& error,
               bool rtklib = false);
    // Writes out what is buffered; returns the failures not returned before,
    // so that each is shown once, as soon as it is found.
    std::vector<std::string> Flush();
    // Unhooks and closes both sides; the same as Flush for what it finds.
    std::vector<std::string> Stop();
    // Every failure so far ("PATH: reason").
    const std::vector<std::string>& Failures() const { return failures; }

private:
    std::vector<std::string> Collect();

    CTolvarTestSuiteDoc* document = nullptr;
    bool sourceGenerated = false;
    std::unique_ptr<TolvarRT::CStreamRecorder> listener;
    std::unique_ptr<TolvarRT::CStreamRecorder> source;
    std::vector<std::string> failures;
};

}  // namespace cli
