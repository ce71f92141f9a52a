// Offline decoding as a stream: chunks go through the Listener's decoders as
// they are read, and the listing of frames and lost runs leaves as soon as
// no decoder can change it, so memory stays bounded whatever the capture's
// length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ports/lost_byte_tally.h"
#include "stats/content_snapshot.h"
#include "stats/frame_lister.h"

namespace cli {

struct sDecodedType {
    std::string name;
    unsigned frameClass = 0;
    unsigned type = 0;
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};

struct sDecodeResult {
    std::uint64_t bytesRead = 0;
    std::vector<sDecodedType> frames;   // in key order
    std::vector<sDecodedType> packets;  // data-collector packets by packet type
    // Bytes every decoder reported lost; bytes a decoder still holds at the
    // end, for a frame that might have followed, do not count.
    std::uint64_t unclaimedBytes = 0;
    // Every frame and every run of bytes in no frame, in stream order: see
    // FrameLines. Filled by DecodeStreams only; a session hands them out.
    std::vector<TolvarRT::sListedFrame> listing;
    // What the frames told about themselves, without ages: a plain capture
    // holds no arrival times, and a recording's are replayed by a run.
    TolvarRT::sContentSnapshot content;
};

struct sDecodeOptions {
    std::size_t chunkSize = 1024;
    bool ats = false;
    // How far behind the newest byte a decoder may still report bytes it
    // gave up or place a frame it publishes: older entries of the listing
    // are final. A decoder holds at most 64 KiB of a frame in progress and
    // a chunk is at most 64 KiB, as the lost-byte tally counts.
    std::uint64_t reach = TolvarRT::CLostByteTally::kWindow;
};

// Thread rules: one thread, as a port's reader.
class CDecodeSession {
public:
    // Receives each entry of the listing once it is final, in stream order;
    // without one nothing is listed.
    using ListingSink = std::function<void(const TolvarRT::sListedFrame&)>;
    // A chunk longer than this is handed over in pieces, as no port delivers more.
    static constexpr std::size_t kLargestDelivery = 1u << 16;

    explicit CDecodeSession(const sDecodeOptions& options, ListingSink sink = {});
    ~CDecodeSession();
    CDecodeSession(const CDecodeSession&) = delete;
    CDecodeSession& operator=(const CDecodeSession&) = delete;

    // The next bytes of the streams, as a port delivers them; startsChunk
    // false goes on with the last chunk (its frames keep its number).
    void Deliver(const std::uint8_t* data, std::size_t length, bool startsChunk = true);
    // Bytes of the streams that no decoder is given.
    void Skip(std::uint64_t bytes);
    // Lists what is left and gives the counts (the listing went to the sink).
    sDecodeResult Finish();

private:
    struct sParts;
    std::unique_ptr<sParts> parts;
};

}  // namespace cli
