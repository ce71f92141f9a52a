// The RTCM v2 decoder on streams written here: what it publishes, what it
// rejects, how it finds its way back after a bad frame in any chunking, and
// how it accounts for every byte it does not publish.
#include <gtest/gtest.h>

#include <gmock/gmock.h>
#include "log_recorder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "rtcm2_harness.h"
#include "rtcm2_writer.h"

namespace TolvarRT::testing {
namespace {

using ::testing::ElementsAre;

// A stream under construction with the frames it must give and their bytes.
struct Script {
    Rtcm2Writer writer;
    std::vector<RecordedFrame> frames;
    std::vector<std::pair<std::size_t, std::size_t>> bitSpans;
    Ranges spans;  // the bytes of each frame, once Done

    void Frame(const Rtcm2Fields& fields, const std::vector<std::uint32_t>& data)
    {
        Expect(writer.Frame(fields, data), fields, data);
    }
    // A frame whose bits [first, end) of the writer were written by hand.
    void Expect(std::pair<std::size_t, std::size_t> bitSpan, const Rtcm2Fields& fields,
                const std::vector<std::uint32_t>& data)
    {
        bitSpans.push_back(bitSpan);
        frames.push_back(Expected(fields, data));
    }
    // A frame the decoder must reject.
    void Rejected(const Rtcm2Fields& fields, const std::vector<std::uint32_t>& data) { writer.Frame(fields, data); }
    void Noise(std::initializer_list<std::uint8_t> bytes) { writer.Raw(bytes); }
    Script& Done()
    {
        writer.Pad();
        spans.clear();
        for (const auto& bitSpan : bitSpans)
            spans.push_back(writer.ByteSpan(bitSpan));
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return writer.bytes; }

    static RecordedFrame Expected(const Rtcm2Fields& fields, const std::vector<std::uint32_t>& data)
    {
        RecordedFrame frame;
        frame.type = fields.type == 0 ? 64 : fields.type;
        frame.length = std::uint16_t(data.size());
        std::vector<std::uint32_t> words = Rtcm2Writer::HeaderWords(fields, unsigned(data.size()));
        words.insert(words.end(), data.begin(), data.end());
        for (const std::uint32_t word : words)
            frame.words.insert(frame.words.end(),
                               {std::uint8_t(word >> 16), std::uint8_t(word >> 8), std::uint8_t(word)});
        return frame;
    }
};

std::vector<std::uint32_t> SomeWords(unsigned count, std::uint32_t seed)
{
    std::vector<std::uint32_t> words;
    for (unsigned i = 0; i < count; ++i)
        words.push_back((seed = seed * 1664525u + 1013904223u) >> 8);
    return words;
}

// Publishes exactly the script's frames, stamped with the chunk of their last
// byte, and reports every other byte lost exactly once.
void ExpectDecodes(const std::vector<std::uint8_t>& bytes, const Script& script, const std::vector<std::size_t>& chunks)
{
    const Rtcm2Run run = DecodeRtcm2(bytes, chunks);
    SCOPED_TRACE("chunks: " + std::to_string(run.chunks.size()));
    ASSERT_EQ(run.frames.size(), script.frames.size());
    for (std::size_t i = 0; i < run.frames.size(); ++i) {
        EXPECT_TRUE(run.frames[i].SameContent(script.frames[i])) << "frame " << i;
        EXPECT_EQ(run.frames[i].stamp, run.StampOfByte(script.spans[i].second - 1)) << "frame " << i;
    }
    EXPECT_TRUE(run.lostInOrder);
    EXPECT_EQ(run.lost, Complement(script.spans, bytes.size()));
}

void ExpectDecodesInUsualChunkings(const Script& script)
{
    for (const auto& chunks : UsualChunkings(script.Bytes().size()))
        ExpectDecodes(script.Bytes(), script, chunks);
}

// A few frames of varied types and lengths with noise before, between and
// after, their words starting offsetBits into a byte.
Script MixedStream(unsigned offsetBits = 0)
{
    Script script;
    script.Noise({0x0D, 0x0A, 0x23, 0x21});
    script.writer.Bits(0x2A, offsetBits);
    script.Frame({9, 101, 1234, 3, 0}, SomeWords(5, 1));
    script.Frame({1, 101, 1240, 4, 0}, SomeWords(31, 2));
    script.Noise({0xFF, 0x00, 0x81});
    script.Frame({3, 1023, 0, 5, 7}, {});
    script.Frame({18, 55, 5999, 6, 1}, SomeWords(12, 3));
    script.Noise({0x0D, 0x0A});
    return script.Done();
}

// A receiver packs bits into bytes without knowing where words begin.
TEST(RtcmInputHandlerTest, DecodesEveryFrameAtEveryBitOffsetInAnyChunking)
{
    for (unsigned offset = 0; offset < 6; ++offset) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        ExpectDecodesInUsualChunkings(MixedStream(offset));
    }
}

// A chunk is taken into the ring in batches of kIntakeBatch bytes, decoded
// after each: frames across a batch boundary, and a rejected header whose
// search goes back over the batch before, come out as with any other cut.
TEST(RtcmInputHandlerTest, ChunksOfManyIntakeBatchesDecodeAsAnyOtherCut)
{
    Script script;
    for (unsigned i = 0; i < 80; ++i) {
        const unsigned words = (i * 7) % 32;
        if (i % 9 == 4)
            script.Rejected({2, 101, 7000, 1, 0}, SomeWords(31, i));  // Z-count past the hour
        script.Frame({1 + i % 20, 101, 10 * i, i % 8, 0}, SomeWords(words, i));
        script.Noise({0x0D, 0x0A, 0x81});
    }
    script.Done();
    ASSERT_GT(script.Bytes().size(), 4 * CRTCMInputHandler::kIntakeBatch);
    const std::size_t total = script.Bytes().size();
    for (const auto& chunks : {std::vector<std::size_t>{total}, FixedChunks(total, 1),
                               FixedChunks(total, CRTCMInputHandler::kIntakeBatch + 7)})
        ExpectDecodes(script.Bytes(), script, chunks);
}

TEST(RtcmInputHandlerTest, InvertedPolarityGivesTheSameFramesStoredUpright)
{
    for (unsigned offset = 0; offset < 6; offset += 5) {
        const Script script = MixedStream(offset);
        const std::vector<std::uint8_t> inverted = InvertRtcm2Polarity(script.Bytes());
        for (const auto& chunks : UsualChunkings(inverted.size()))
            ExpectDecodes(inverted, script, chunks);
        const Rtcm2Run run = DecodeRtcm2(inverted, {inverted.size()});
        ASSERT_FALSE(run.frames.empty());
        EXPECT_EQ(run.frames[0].words[0], 0x66);
    }
}

// Bits lost or gained on the link move the words against the bytes; the
// frames after the slip are found at their new offset.
TEST(RtcmInputHandlerTest, FollowsTheWordsWhenTheBitOffsetSlips)
{
    Script script;
    script.Frame({9, 4, 10, 0, 0}, SomeWords(3, 5));
    script.writer.Bits(0x5, 3);
    script.Frame({9, 4, 11, 1, 0}, SomeWords(3, 6));
    script.Frame({9, 4, 12, 2, 0}, SomeWords(3, 7));
    script.writer.Bits(0x1, 4);
    script.Frame({9, 4, 13, 3, 0}, SomeWords(3, 8));
    ExpectDecodesInUsualChunkings(script.Done());
}

// The D29* and D30* of the word before a frame are unknown to the decoder:
// D30* shows in the preamble's polarity, D29* is tried both ways.
TEST(RtcmInputHandlerTest, FindsAFrameWhateverTheParityOfTheWordBefore)
{
    for (unsigned previous = 0; previous < 4; ++previous) {
        SCOPED_TRACE("D29*,D30* = " + std::to_string(previous));
        Script script;
        script.writer.prev = previous;
        script.Frame({9, 3, 100, 0, 0}, SomeWords(2, previous));
        script.Done();
        ExpectDecodes(script.Bytes(), script, {script.Bytes().size()});
    }
}

// Each case is followed by a good frame, which must come through whatever the
// case did to the decoder. A frame is stamped with the chunk of its last byte
// (a frame without data words on its second header word, not on a byte after).
struct HeaderCase {
    const char* name;
    Rtcm2Fields fields;
    unsigned dataWords;
    bool accepted;
};

TEST(RtcmInputHandlerTest, HeaderRules)
{
    const HeaderCase cases[] = {
        {"type 0 is published as 64", {0, 7, 10, 1, 0}, 2, true},
        {"type 63", {63, 7, 10, 1, 0}, 1, true},
        {"Z-count 5999 (3599.4 s)", {9, 7, 5999, 1, 0}, 2, true},
        {"Z-count 6000 (3600 s)", {9, 7, 6000, 1, 0}, 2, false},
        {"Z-count 8191", {9, 7, 8191, 1, 0}, 2, false},
        {"no data words", {6, 7, 10, 1, 0}, 0, true},
        {"31 data words", {2, 7, 10, 1, 0}, 31, true},
    };
    for (const HeaderCase& test : cases) {
        SCOPED_TRACE(test.name);
        Script script;
        script.Noise({0x0A});
        if (test.accepted)
            script.Frame(test.fields, SomeWords(test.dataWords, 7));
        else
            script.Rejected(test.fields, SomeWords(test.dataWords, 7));
        script.Frame({3, 7, 11, 2, 0}, SomeWords(1, 8));
        ExpectDecodesInUsualChunkings(script.Done());
    }
}

// Noise between the bytes of a frame belongs to the frame: it is not lost.
TEST(RtcmInputHandlerTest, BytesNotMarked01InsideAFrameDoNotBreakIt)
{
    Script script;
    script.Noise({0xFF});
    Rtcm2Writer& writer = script.writer;
    const Rtcm2Fields fields{5, 77, 2000, 7, 0};
    const std::vector<std::uint32_t> data = SomeWords(3, 9);
    std::vector<std::uint32_t> words = Rtcm2Writer::HeaderWords(fields, 3);
    words.insert(words.end(), data.begin(), data.end());
    const std::size_t first = writer.bitCount;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::uint32_t sent = writer.Encode(words[i]);
        // Between the preamble's two bytes, inside a word, between words.
        const unsigned head = i == 0 ? 6 : unsigned(i % 5) * 6;
        writer.Bits(sent >> (30 - head), head);
        writer.Raw({0x0D, 0x0A, 0xFF});
        writer.Bits(sent, 30 - head);
    }
    script.Expect({first, writer.bitCount}, fields, data);
    script.Noise({0x0D, 0x0A});
    ExpectDecodesInUsualChunkings(script.Done());
}

TEST(RtcmInputHandlerTest, EverySplitOfAFrameAcrossTwoChunks)
{
    Script script;
    script.Noise({0x0D, 0x0A, 0xFF});
    script.Frame({9, 1, 4000, 2, 0}, SomeWords(3, 11));
    script.Noise({0x0D, 0x0A});
    script.Done();
    const std::size_t total = script.Bytes().size();
    for (std::size_t split = 1; split < total; ++split) {
        SCOPED_TRACE("split at " + std::to_string(split));
        ExpectDecodes(script.Bytes(), script, {split, total - split});
    }
}

// A frame that goes bad after a good frame has started inside it: the search
// must go back into bits that came in earlier chunks.
Script GoodFrameInsideABadOne(bool goodFrameEndsFirst, unsigned offsetBits)
{
    Script script;
    script.Noise({0x0A});
    script.writer.Bits(0, offsetBits);
    const Rtcm2Fields outer{1, 200, 50, 1, 0};
    const Rtcm2Fields inner{22, 200, 51, 2, 0};
    const std::size_t outerStart = script.writer.bitCount;
    std::size_t badBit = 0;
    if (goodFrameEndsFirst) {
        // The bad frame reads the good one's words as its own (same parity
        // chain) and fails only at its 8th word, well after the good one ended.
        std::vector<std::uint32_t> data = SomeWords(2, 21);
        const auto innerWords = Rtcm2Writer::HeaderWords(inner, 0);
        data.insert(data.end(), innerWords.begin(), innerWords.end());
        const auto tail = SomeWords(4, 22);
        data.insert(data.end(), tail.begin(), tail.end());
        script.writer.Words(Rtcm2Writer::HeaderWords(outer, unsigned(data.size())));
        script.writer.Words(data);
        script.Expect({outerStart + 4 * 30, outerStart + 6 * 30}, inner, {});
        badBit = outerStart + 7 * 30 + 10;
    } else {
        // The good frame starts 12 bits into the bad one's third word.
        script.writer.Words(Rtcm2Writer::HeaderWords(outer, 6));
        script.writer.Bits(0xABC, 12);
        script.Frame(inner, SomeWords(1, 24));
    }
    script.Noise({0x0D});
    script.Frame({3, 200, 52, 3, 0}, SomeWords(2, 25));
    script.Done();
    if (goodFrameEndsFirst)
        script.writer.bytes[script.writer.entryBytes[badBit / 6]] ^= 0x04;
    return script;
}

TEST(RtcmInputHandlerTest, GoodFrameInsideABadOneIsFoundInEveryChunking)
{
    for (const bool goodFrameEndsFirst : {false, true})
        for (unsigned offset = 0; offset < 6; offset += 3) {
            SCOPED_TRACE(std::string(goodFrameEndsFirst ? "good frame ends before the bad one fails"
                                                        : "bad frame fails inside the good one") +
                         ", offset " + std::to_string(offset));
            const Script script = GoodFrameInsideABadOne(goodFrameEndsFirst, offset);
            const std::size_t total = script.Bytes().size();
            for (std::size_t size = 1; size <= total; ++size)
                ExpectDecodes(script.Bytes(), script, FixedChunks(total, size));
            for (std::size_t first = 1; first < total; ++first)
                for (std::size_t second = first + 1; second < total; ++second)
                    ExpectDecodes(script.Bytes(), script, {first, second - first});
            if (::testing::Test::HasFailure())
                return;
        }
}

// A false header on the word grid of real frames reads their words as its
// data and would hold them until its own words ran out, or for ever on a line
// gone quiet. Its station is not that of the frame before, theirs is: they are
// out with the chunks that complete them.
TEST(RtcmInputHandlerTest, FramesOfTheLastStationBehindAFalseHeaderAreNotHeld)
{
    Script script;
    script.Frame({3, 200, 50, 1, 0}, SomeWords(2, 31));
    script.Noise({0x0D, 0x0A});
    script.writer.Words(Rtcm2Writer::HeaderWords({1, 77, 60, 2, 0}, 31));
    script.Frame({9, 200, 51, 2, 0}, SomeWords(3, 32));
    script.Frame({6, 200, 52, 3, 0}, {});
    script.Done();
    for (const std::size_t size : kPortChunkSizes)
        ExpectDecodes(script.Bytes(), script, FixedChunks(script.Bytes().size(), size));
}

// The data words of a real frame may read as a whole frame on its own word
// grid (a word that starts with the preamble, then a sound Z-count). The frame
// in progress is of the last station, so it is never given up for that one.
TEST(RtcmInputHandlerTest, AFrameOfTheLastStationIsNotCutForAFrameReadInItsWords)
{
    Script script;
    script.Frame({3, 200, 50, 1, 0}, SomeWords(2, 31));
    std::vector<std::uint32_t> data = SomeWords(2, 34);
    for (const std::uint32_t word : Rtcm2Writer::HeaderWords({6, 200, 51, 0, 0}, 0))
        data.push_back(word);
    for (const std::uint32_t word : SomeWords(6, 35))
        data.push_back(word);
    script.Frame({1, 200, 52, 2, 0}, data);
    script.Done();
    const std::size_t total = script.Bytes().size();
    for (std::size_t size = 1; size <= total; ++size)
        ExpectDecodes(script.Bytes(), script, FixedChunks(total, size));
}

TEST(RtcmInputHandlerTest, DisabledReportsEveryChunkLostAndPublishesNothing)
{
    const Script script = MixedStream();
    for (const auto& chunks : UsualChunkings(script.Bytes().size())) {
        const Rtcm2Run run = DecodeRtcm2(script.Bytes(), chunks, false);
        EXPECT_TRUE(run.frames.empty());
        EXPECT_TRUE(run.lostInOrder);
        EXPECT_EQ(run.lost, Ranges({{0, script.Bytes().size()}}));
    }
}

// The bytes of a frame cut short by disabling are lost once, never published.
TEST(RtcmInputHandlerTest, FrameInProgressWhenDisabledIsGivenUp)
{
    Script script;
    script.Frame({9, 1, 1, 0, 0}, SomeWords(2, 31));
    const std::size_t cut = script.Bytes().size() + 12;
    script.Rejected({9, 1, 2, 0, 0}, SomeWords(2, 32));
    const std::size_t resume = script.Bytes().size();
    script.Frame({9, 1, 3, 0, 0}, SomeWords(2, 33));
    script.Done();

    WiredDecoder wired;
    auto& [pipe, decoder, recorder] = wired;
    const auto& bytes = script.Bytes();
    pipe.Feed(bytes.data(), cut);
    decoder.SetEnabled(false);
    EXPECT_FALSE(decoder.IsEnabled());
    pipe.Feed(bytes.data() + cut, resume - cut);
    decoder.SetEnabled(true);
    pipe.Feed(bytes.data() + resume, bytes.size() - resume, 3);

    ASSERT_EQ(recorder.frames.size(), 2u);
    EXPECT_TRUE(recorder.frames[0].SameContent(script.frames[0]));
    EXPECT_TRUE(recorder.frames[1].SameContent(script.frames[1]));
    const auto frame1End = std::uint32_t(script.spans[0].second);
    EXPECT_THAT(pipe.lost, ElementsAre(std::make_pair(frame1End, std::uint32_t(cut) - frame1End),
                                       std::make_pair(std::uint32_t(cut), std::uint32_t(resume - cut))));
}

TEST(RtcmInputHandlerTest, ResetDropsTheFrameInProgressAndReportsItsBytesWithTheNextChunk)
{
    Script script;
    script.Rejected({9, 1, 2, 0, 0}, SomeWords(4, 41));
    const std::size_t cut = 17;
    const std::size_t resume = script.Bytes().size();
    script.Frame({9, 1, 3, 0, 0}, SomeWords(2, 42));
    script.Done();

    WiredDecoder wired;
    auto& [pipe, decoder, recorder] = wired;
    const auto& bytes = script.Bytes();
    pipe.Feed(bytes.data(), cut);
    EXPECT_TRUE(pipe.lost.empty());
    decoder.Reset();
    pipe.Feed(bytes.data() + cut, bytes.size() - cut);
    ASSERT_EQ(recorder.frames.size(), 1u);
    EXPECT_TRUE(recorder.frames[0].SameContent(script.frames[0]));
    EXPECT_EQ(pipe.LostTotal(), resume);
    EXPECT_EQ(pipe.lost.front().first, 0u);
}

// A chunk that does not follow the last one (another stream, or bytes never
// delivered) ends the frame in progress: its bytes are lost, not completed.
TEST(RtcmInputHandlerTest, GapInTheRunningIndexEndsTheFrameInProgress)
{
    Script first;
    first.Frame({9, 1, 2, 0, 0}, SomeWords(4, 51));
    Script second;
    second.Frame({9, 1, 3, 0, 0}, SomeWords(2, 52));
    second.Done();

    WiredDecoder wired;
    auto& [pipe, decoder, recorder] = wired;
    pipe.Feed(first.Bytes().data(), 20);
    pipe.runningIndex += 500;
    pipe.Feed(second.Bytes());
    ASSERT_EQ(recorder.frames.size(), 1u);
    EXPECT_TRUE(recorder.frames[0].SameContent(second.frames[0]));
    EXPECT_THAT(pipe.lost, ElementsAre(std::make_pair(0u, 20u)));
}

TEST(RtcmInputHandlerTest, FrameStretchedBeyondItsSpanByNoiseIsGivenUp)
{
    const std::vector<std::uint8_t> noise(CRTCMInputHandler::kMaxFrameSpan, 0xFF);
    Script script;
    script.writer.Words(Rtcm2Writer::HeaderWords({9, 1, 2, 0, 0}, 2));
    script.writer.bytes.insert(script.writer.bytes.end(), noise.begin(), noise.end());
    script.writer.Words(SomeWords(2, 61));
    script.Frame({9, 1, 3, 0, 0}, SomeWords(2, 62));
    script.Done();
    for (const std::size_t chunk : {std::size_t(1), std::size_t(4096), script.Bytes().size()})
        ExpectDecodes(script.Bytes(), script, FixedChunks(script.Bytes().size(), chunk));

    // Well within the span, the same noise is only noise.
    Script inside;
    const Rtcm2Fields fields{9, 1, 2, 0, 0};
    const std::size_t first = inside.writer.bitCount;
    inside.writer.Words(Rtcm2Writer::HeaderWords(fields, 2));
    inside.writer.bytes.insert(inside.writer.bytes.end(), noise.begin(), noise.begin() + 4000);
    inside.writer.Words(SomeWords(2, 61));
    inside.Expect({first, inside.writer.bitCount}, fields, SomeWords(2, 61));
    inside.Done();
    ExpectDecodes(inside.Bytes(), inside, FixedChunks(inside.Bytes().size(), 100));
}

// Running indices wrap at 2^32; losses and frames carry on across it.
TEST(RtcmInputHandlerTest, RunningIndexWrapsWithoutLosingCount)
{
    const Script script = MixedStream(2);
    const std::uint32_t base = 0xFFFFFFFFu - 70;
    WiredDecoder wired;
    auto& [pipe, decoder, recorder] = wired;
    pipe.runningIndex = base;
    pipe.Feed(script.Bytes(), 7);
    ASSERT_EQ(recorder.frames.size(), script.frames.size());
    Ranges lost;
    for (const auto& [first, count] : pipe.lost)
        lost.emplace_back(std::uint32_t(first - base), std::uint64_t(std::uint32_t(first - base)) + count);
    EXPECT_EQ(Merge(lost), Complement(script.spans, script.Bytes().size()));
}

// The owner switches the decoder and renames it while a port delivers.
TEST(RtcmInputHandlerTest, OwnerMaySwitchItWhileAPortDelivers)
{
    const Script script = MixedStream(1);
    WiredDecoder wired;
    auto& [pipe, decoder, recorder] = wired;
    std::atomic<bool> done{false};
    std::thread owner([&] {
        for (unsigned i = 0; !done.load(); ++i) {
            decoder.SetEnabled(i % 2 == 0);
            decoder.SetName(i % 3 == 0 ? "Listener" : "GPS Source");
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 200; ++round)
        pipe.Feed(script.Bytes(), 1 + round % 40);
    done = true;
    owner.join();
    for (const RecordedFrame& frame : recorder.frames)
        EXPECT_TRUE(std::any_of(script.frames.begin(), script.frames.end(),
                                [&frame](const RecordedFrame& expected) { return frame.SameContent(expected); }));
    std::uint64_t end = 0;
    for (const auto& [first, count] : pipe.lost) {
        EXPECT_GE(first, end);
        end = std::uint64_t(first) + count;
    }
    EXPECT_LE(end, pipe.runningIndex);
}

using testing::LogRecorder;

TEST(RtcmInputHandlerTest, LogsEachFrameAndDumpsItsWordsAtAll)
{
    Script script;
    script.Rejected({9, 2, 6000, 0, 0}, {});
    script.Frame({9, 2, 10, 0, 0}, {0x123456, 0xABCDEF});
    script.Done();
    for (const unsigned level : {unsigned(kLogBasic), unsigned(kLogAll)}) {
        CLogPipe logPipe;
        LogRecorder sink(nullptr, level);
        sink.Subscribe(&logPipe);
        logPipe.RaiseSinkLevel();
        FakeBytePipe pipe;
        CRTCMInputHandler decoder(&logPipe);
        decoder.SetName("Listener");
        decoder.Subscribe(&pipe);
        pipe.Feed(script.Bytes());

        char expected[100];
        std::snprintf(expected, sizeof expected, "Listener Receive RTCM Frame Length 2, Type 9, Time %0.3f",
                      SecondsSinceStart(1000));
        ASSERT_EQ(sink.Lines().size(), level == kLogAll ? 2u : 1u);
        EXPECT_EQ(sink.Lines()[0], expected);
        if (level == kLogAll) {
            EXPECT_EQ(sink.Lines()[1], "\r\nRTCM Data = [66 24 02 00 50 10 12 34 - 56 AB CD EF ]");
        }
    }
}

// The published masks against the parity equations written out bit by bit.
TEST(RtcmInputHandlerTest, WordParityMatchesTheNavigationMessageEquations)
{
    for (const std::uint32_t data : SomeWords(200, 71))
        for (unsigned previous = 0; previous < 4; ++previous)
            ASSERT_EQ(CRTCMInputHandler::WordParity(data, previous), Rtcm2Writer::Parity(data, previous));
}

TEST(RtcmInputHandlerTest, ParseHeaderReadsEveryField)
{
    Script script;
    script.Frame({21, 0x3A5, 4321, 5, 6}, SomeWords(17, 81));
    script.Done();
    sRTCMHeader header;
    ASSERT_TRUE(CRTCMInputHandler::ParseHeader(script.frames[0].words.data(), header));
    EXPECT_EQ(header.preamble, 0x66);
    EXPECT_EQ(header.messageType, 21);
    EXPECT_EQ(header.stationId, 0x3A5);
    EXPECT_EQ(header.zCount, 4321);
    EXPECT_DOUBLE_EQ(header.ZCountSeconds(), 4321 * 0.6);
    EXPECT_EQ(header.sequence, 5);
    EXPECT_EQ(header.dataWords, 17);
    EXPECT_EQ(header.health, 6);
}

// A subscriber may reset the decoder from inside its callback; the rest of
// the chunk is decoded from a clean start.
TEST(RtcmInputHandlerTest, SubscriberMayResetFromItsCallback)
{
    class Resetting : public FrameRecorder {
    public:
        void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                         const TimeStamp& timeStamp) override
        {
            FrameRecorder::OnRTCMFrame(type, data, length, timeStamp);
            decoder->Reset();
        }
        CRTCMInputHandler* decoder = nullptr;
    };
    const Script script = MixedStream();
    FakeBytePipe pipe;
    CRTCMInputHandler decoder;
    Resetting recorder;
    recorder.decoder = &decoder;
    decoder.Subscribe(&pipe);
    recorder.Subscribe(&decoder);
    pipe.Feed(script.Bytes());
    ASSERT_EQ(recorder.frames.size(), script.frames.size());
    // Every byte is a frame's or lost: a frame is its 2 header words and its
    // data words (5, 31, none and 12 here), 30 bits a word in 5 bytes of 6.
    EXPECT_EQ(pipe.LostTotal() + 5 * (2 + 5) + 5 * (2 + 31) + 5 * 2 + 5 * (2 + 12), script.Bytes().size());
}

}  // namespace
}  // namespace TolvarRT::testing
