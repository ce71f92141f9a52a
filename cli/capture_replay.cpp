#include "cli/capture_replay.h"

#include "ports/recording/recorded_side.h"
#include "ports/recording/time_tag_file.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace TolvarRT {

bool ReadCaptureFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    return ReadWholeFile(path, bytes, error);
}

namespace {

// The files a path names: itself, or a folder's recorded sides in name order.
bool CaptureFiles(const std::string& path, std::vector<std::string>& files, std::string& error)
{
    std::error_code ignored;
    if (!std::filesystem::is_directory(path, ignored)) {
        files.push_back(path);
        return true;
    }
    std::vector<std::string> sides;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
        if (entry.path().extension() == ".raw" && std::filesystem::exists(TimeTagPathFor(entry.path().string())))
            sides.push_back(entry.path().string());
    if (sides.empty()) {
        error = path + ": a folder without a recorded side (NAME.raw with NAME.tags)";
        return false;
    }
    std::sort(sides.begin(), sides.end());
    files.insert(files.end(), sides.begin(), sides.end());
    return true;
}

void Note(const std::string& leftOut, std::ostream& notes)
{
    if (!leftOut.empty())
        notes << "tolvar: " << leftOut << "\n";
}

}  // namespace

bool ReadCaptureStreams(const std::string& path, std::vector<sCaptureStream>& streams, std::string& error,
                        std::ostream& notes)
{
    std::vector<std::string> files;
    if (!CaptureFiles(path, files, error))
        return false;
    for (const std::string& file : files) {
        sRecordedSide side;
        if (!ReadRecordedSide(file, side, error))
            return false;
        Note(side.leftOut, notes);
        sCaptureStream stream;
        stream.path = file;
        stream.bytes = std::move(side.bytes);
        stream.recordedChunks = std::move(side.chunks);
        stream.leftOut = std::move(side.leftOut);
        streams.push_back(std::move(stream));
    }
    return true;
}

bool JudgeCaptures(const std::string& path, std::vector<sJudgedCapture>& captures, std::string& error,
                   std::ostream& notes)
{
    std::vector<std::string> files;
    if (!CaptureFiles(path, files, error))
        return false;
    for (const std::string& file : files) {
        sJudgedCapture capture{file, {}};
        if (!JudgeRecordedSide(file, capture.extent, error))
            return false;
        Note(capture.extent.leftOut, notes);
        captures.push_back(std::move(capture));
    }
    return true;
}

bool PlayCapture(const sJudgedCapture& capture, std::size_t chunkSize, const ChunkSink& sink, std::string& error,
                 std::size_t readBlock)
{
    CRecordedSideReader reader(readBlock);
    if (!reader.Open(capture.path, capture.extent, error))
        return false;
    // A recorded chunk comes whole up to the longest a port delivers.
    const std::size_t piece = capture.extent.timed ? CFileBlocks::kBlock : std::max<std::size_t>(chunkSize, 1);
    for (;;) {
        CRecordedSideReader::sPiece read;
        if (!reader.Next(piece, read, error))
            return false;
        if (read.length == 0)
            return true;
        sink(read.data, read.length, read.startsChunk);
    }
}

std::size_t ReplayCapture(CBytePipeSubscription& endpoint, const std::uint8_t* data, std::size_t length,
                          std::size_t chunkSize)
{
    // A port never delivers more than this at once; neither does a replay.
    constexpr std::size_t kLargestChunk = 1u << 16;
    chunkSize = chunkSize == 0 ? kLargestChunk : std::min(chunkSize, kLargestChunk);
    std::size_t chunks = 0;
    for (std::size_t offset = 0; offset < length; offset += chunkSize, ++chunks)
        endpoint.PublishBytes(data + offset, std::uint32_t(std::min(chunkSize, length - offset)));
    return chunks;
}

}  // namespace TolvarRT
