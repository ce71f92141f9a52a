// Any bytes as a frame of any type: the content readers never read past the
// frame (each input is copied into a buffer of its own size, for the
// sanitizers), refuse with nothing kept, and give only values their fields
// can hold.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoders/frame_content.h"

namespace {

using namespace TolvarRT;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Message numbers with a layout of their own, so that random input reaches
// every reader and not only the types a random 12 bits would name.
constexpr unsigned kRtcm3Types[] = {1001, 1004, 1005, 1006, 1007, 1008, 1009, 1012, 1013, 1019, 1029, 1033,
                                    1071, 1074, 1077, 1081, 1087, 1094, 1107, 1117, 1124, 1137, 1230, 4072};

bool IsEmpty(const sFrameContent& content)
{
    const sFrameContent empty;
    return !content.hasStation && !content.HasEpoch() && !content.hasZcount && !content.hasReferencePoint &&
           !content.hasDescriptor && !content.hasReceiver && !content.hasAntennaSerial && content.gnss == empty.gnss &&
           content.satellites == 0 && content.cells == 0 && content.antenna.length == 0 && content.multiple == -1 &&
           content.sync == -1;
}

void CheckText(const sRecordText& text)
{
    Require(std::memchr(text.text, '\0', sizeof text.text) != nullptr);
    Require(std::strlen(text.text) == (text.length < 31 ? text.length : 31u) || std::strlen(text.text) < text.length);
}

void CheckContent(bool read, const sFrameContent& content)
{
    if (!read) {
        Require(IsEmpty(content));
        return;
    }
    Require(content.dayOfWeek <= 7);
    Require(content.satellites <= 64 && content.cells <= 64 && content.signalTypes <= 32);
    Require(content.cells <= unsigned(content.satellites) * content.signalTypes || content.multiple < 0);
    Require(content.HasEpoch() == (content.gnss != Gnss::None) || content.gnss == Gnss::GLONASS || content.hasZcount);
    CheckText(content.antenna);
    CheckText(content.antennaSerial);
    CheckText(content.receiver);
    CheckText(content.firmware);
    CheckText(content.receiverSerial);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned selector = data[0];
    std::vector<std::uint8_t> frame(data + 2, data + size);
    sFrameContent content;
    switch (selector % 3) {
    case 0: {
        frame.resize(std::min<std::size_t>(frame.size(), 1023));
        if ((selector & 0x80) != 0 && frame.size() >= 2) {
            const unsigned type = kRtcm3Types[data[1] % (sizeof kRtcm3Types / sizeof kRtcm3Types[0])];
            frame[0] = std::uint8_t(type >> 4);
            frame[1] = std::uint8_t((type << 4) | (frame[1] & 0x0F));
        }
        CheckContent(ReadRTCM3Content(frame.data(), std::uint16_t(frame.size()), content), content);
        break;
    }
    case 1: {
        // The pipe's words hold the two header words and the data words.
        if (frame.size() < 6)
            return 0;
        const std::uint16_t wordCount = std::uint16_t(std::min<std::size_t>(data[1] % 32, frame.size() / 3 - 2));
        frame.resize((2u + wordCount) * 3u);
        CheckContent(ReadRTCM2Content(frame.data(), wordCount, content), content);
        break;
    }
    default:
        frame.resize(std::min<std::size_t>(frame.size(), 255));
        CheckContent(ReadCMRContent(std::uint8_t(data[1] % 8), frame.data(), std::uint8_t(frame.size()), content),
                     content);
        break;
    }
    return 0;
}
