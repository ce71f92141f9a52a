// Corruption as the document judges it: the Listener's decoders all see the
// bytes, and only bytes none of them can use count against the link.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "chosen_time.h"
#include "decoders/dc_packet.h"
#include "nmea_sentence.h"
#include "packet_bytes.h"
#include "rtcm3_frame_builder.h"
#include "scripted_document_ui.h"

namespace {

using namespace TolvarRT;
using TolvarRT::testing::At;
using Bytes = std::vector<std::uint8_t>;

// A second of a mixed line: a CMR packet, an NMEA sentence and an RTCM v3
// frame, each whole.
Bytes MixedSecond(unsigned second)
{
    Bytes bytes =
        TolvarRT::testing::Packet(kPacketCMR, {0x00, 0x20, std::uint8_t(second), 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const std::string sentence = TolvarRT::testing::NmeaSentence(
        "GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,"
        "1600.000,M,-30.455,M,,");
    bytes.insert(bytes.end(), sentence.begin(), sentence.end());
    const Bytes frame = TolvarRT::testing::rtcm3_reference::Frame(1005, 19, 0, second + 1);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    return bytes;
}

class LinkHealthDocumentTest : public ::testing::Test {
protected:
    void Feed(const Bytes& bytes, double seconds)
    {
        document.ListenerEndpoint().PublishStampedBytes(bytes.data(), std::uint32_t(bytes.size()), At(seconds));
    }

    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
};

TEST_F(LinkHealthDocumentTest, ACleanLineMixingProtocolsRejectsNothing)
{
    for (unsigned second = 0; second < 10; ++second)
        Feed(MixedSecond(second), second);
    EXPECT_EQ(document.ListenerEndpoint().RejectedBytes(), 0u);
    const sHealthCounts counts = document.ListenerStatistics().HealthCounts(At(10));
    EXPECT_EQ(counts.corruptedSpells, 0u);
    EXPECT_EQ(counts.rejectedBytes, 0u);
    // Every protocol's frames were counted: each decoder took its own bytes.
    PacketStats record;
    EXPECT_TRUE(document.ListenerStatistics().FindRecord(FrameKey(kFrameClassCMR, 1), record));
    EXPECT_EQ(record.frames, 10u);
    EXPECT_TRUE(document.ListenerStatistics().FindRecord(FrameKey(kFrameClassRTCM3, 1005), record));
    EXPECT_EQ(record.frames, 10u);
}

TEST_F(LinkHealthDocumentTest, ABitErrorInAPacketIsOneSpellOfCorruptionThatGoodFramesEnd)
{
    for (unsigned second = 0; second < 5; ++second)
        Feed(MixedSecond(second), second);
    Bytes damaged = MixedSecond(5);
    damaged[8] ^= 0x10;  // in the CMR packet's data: its checksum fails
    Feed(damaged, 5);
    const std::uint64_t rejected = document.ListenerEndpoint().RejectedBytes();
    EXPECT_GE(rejected, 1u);
    EXPECT_LE(rejected, 18u) << "no more than the damaged packet";
    sHealthCounts counts = document.ListenerStatistics().HealthCounts(At(5.5));
    EXPECT_EQ(counts.corruptedSpells, 1u);
    EXPECT_EQ(counts.rejectedBytes, rejected) << "the side's collection counts what its byte pipe rejected";

    for (unsigned second = 6; second < 10; ++second)
        Feed(MixedSecond(second), second);
    counts = document.ListenerStatistics().HealthCounts(At(10));
    EXPECT_EQ(counts.corruptedSpells, 1u);
    // Ended, at the next good frame (the same second's other frames): still
    // going, it would count the 5 s to the reading.
    EXPECT_LT(counts.corruptedSeconds, 1.5);
    EXPECT_EQ(document.SourceStatistics().HealthCounts(At(10)).rejectedBytes, 0u) << "the other side is clean";
}

}  // namespace
