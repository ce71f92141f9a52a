#include "cli/test_recording.h"

#include <algorithm>
#include <filesystem>

#include "app/tolvar_test_suite_doc.h"
#include "ports/recording/rtklib_time_tags.h"

namespace cli {

using namespace TolvarRT;

CTestRecording::~CTestRecording()
{
    Stop();
}

bool CTestRecording::Start(CTolvarTestSuiteDoc& owner, const std::string& folder, bool generated, std::string& error,
                           bool rtklib)
{
    Stop();
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed) {
        error = folder + ": " + failed.message();
        return false;
    }
    const std::filesystem::path base(folder);
    const sRecordingClock clock = StartRecordingClock();
    auto startSide = [&](const char* side) -> std::unique_ptr<CStreamRecorder> {
        auto recorder = std::make_unique<CStreamRecorder>(&owner.LogPipe());
        const std::string data = (base / (std::string(side) + ".raw")).string();
        if (!recorder->Start(data, TimeTagPathFor(data), clock, error, rtklib ? RtklibTagPathFor(data) : std::string()))
            return nullptr;
        return recorder;
    };
    listener = startSide("listener");
    source = listener != nullptr ? startSide("source") : nullptr;
    if (source == nullptr) {
        listener.reset();
        return false;
    }
    document = &owner;
    sourceGenerated = generated;
    listener->Subscribe(&owner.ListenerEndpoint());
    if (generated)
        owner.SourceEndpoint().SetSentBytesTap(source.get());
    else
        source->Subscribe(&owner.SourceEndpoint());
    return true;
}

std::vector<std::string> CTestRecording::Flush()
{
    for (CStreamRecorder* side : {listener.get(), source.get()})
        if (side != nullptr)
            side->Flush();
    return Collect();
}

std::vector<std::string> CTestRecording::Stop()
{
    if (document == nullptr)
        return {};
    if (sourceGenerated)
        document->SourceEndpoint().SetSentBytesTap(nullptr);
    for (CStreamRecorder* side : {listener.get(), source.get()}) {
        side->Unsubscribe();
        side->Stop();
    }
    std::vector<std::string> found = Collect();
    listener.reset();
    source.reset();
    document = nullptr;
    return found;
}

std::vector<std::string> CTestRecording::Collect()
{
    std::vector<std::string> found;
    for (CStreamRecorder* side : {listener.get(), source.get()}) {
        if (side == nullptr)
            continue;
        const std::string failure = side->Failure();
        if (!failure.empty() && std::find(failures.begin(), failures.end(), failure) == failures.end()) {
            failures.push_back(failure);
            found.push_back(failure);
        }
    }
    return found;
}

}  // namespace cli
