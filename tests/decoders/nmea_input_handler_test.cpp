// The NMEA decoder: sentence cutting and checksums in any chunking, the
// position parsers on whole, short and odd fields, lost-byte accounting, and
// the regression on a real receiver capture.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chunked_feed.h"
#include "decoders/nmea_input_handler.h"
#include "fake_byte_pipe.h"
#include "log_recorder.h"
#include "manifest_frames.h"
#include "nmea_sentence.h"

namespace TolvarRT {
namespace {

using testing::FakeBytePipe;
using testing::LostRuns;

struct Received {
    unsigned type;
    bool hasPosition;
    sNMEAPosition position;
    std::string text;
    TimeStamp timeStamp;
};

class Recorder : public TSubscriber<IIncommingNMEAPipe> {
public:
    ~Recorder() override { Unsubscribe(); }
    void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                        const TimeStamp& timeStamp) override
    {
        Received entry{type, position != nullptr, {}, text, timeStamp};
        if (position != nullptr)
            std::memcpy(&entry.position, position, sizeof entry.position);
        sentences.push_back(entry);
    }
    std::vector<Received> sentences;
};

std::string Sentence(const std::string& body, const char* lineEnd = "\r\n")
{
    return testing::NmeaSentence(body, lineEnd);
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

const char kExampleGGA[] = "$GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*5F";

// A decoder on a fake pipe with a recorder on its sentences.
struct Wired {
    Wired()
    {
        decoder.Subscribe(&pipe);
        recorder.Subscribe(&decoder);
    }
    FakeBytePipe pipe;
    CNMEAInputHandler decoder;
    Recorder recorder;
};

class NMEATest : public ::testing::Test, public Wired {};

TEST_F(NMEATest, ExampleGGAIsPublishedWithItsText)
{
    pipe.Feed(std::string(kExampleGGA) + "\r\n");
    ASSERT_EQ(recorder.sentences.size(), 1u);
    const Received& got = recorder.sentences[0];
    EXPECT_EQ(got.type, 11u);
    EXPECT_EQ(got.text, kExampleGGA + 1);
    EXPECT_EQ(got.timeStamp, 1000);
    EXPECT_TRUE(got.hasPosition);
    // The CR ends the sentence and is used; the LF is searching garbage.
    EXPECT_EQ(testing::MergedLost(pipe), (LostRuns{{std::uint32_t(std::strlen(kExampleGGA)) + 1, 1}}));
}

TEST_F(NMEATest, BadOrMissingChecksumIsDropped)
{
    std::string wrong = kExampleGGA;
    wrong.back() = 'E';
    const std::string body = "GPZDA,193913.00,07,09,2018,00,00";
    const std::string good = Sentence(body, "");
    for (const std::string& text : {wrong,
                                    "$" + body,                               // no "*"
                                    "$" + body + "*",                         // "*" at the very end
                                    good.substr(0, good.size() - 1),          // one digit of two
                                    "$" + body + "*G3",                       // not hexadecimal
                                    "$" + body + std::string("\0*63", 4)}) {  // the text ends before "*"
        pipe.Feed(text + "\r\n");
        EXPECT_TRUE(recorder.sentences.empty()) << text;
    }
    // Bytes of a rejected sentence count as used: only the LFs are lost.
    EXPECT_EQ(pipe.lost.size(), 6u);
    EXPECT_EQ(pipe.LostTotal(), 6u);
    pipe.Feed(good + "\r\n");
    EXPECT_EQ(recorder.sentences.size(), 1u);
}

TEST_F(NMEATest, SentenceKindsAndTalkers)
{
    struct Row {
        const char* body;
        int type;  // -1: not published
        bool hasPosition;
    };
    const Row rows[] = {
        {"GPGGA,,,,,,1,,,,M,,M,,", 11, true},
        {"GNGGA,,,,,,2,,,,M,,M,,", 14, true},  // combined constellations
        {"GPZDA,193913.00,07,09,2018,00,00", 33, false},
        {"GNZDA,193913.00,07,09,2018,00,00", 33, false},
        {"GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", 32, false},
        {"GNGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031", 32, false},
        {"GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00", 31, false},
        {"gngsv,3,1,11,03,03,111,00", 31, false},
        {"PVND,GGK,172814.00,071296,3723.46587704,N,12202.26957864,W,4,06,1.7,EHT-6.777,M", 4, true},
        {"GPVTG,,T,,M,,N,,K,N", -1, false},
        {"GPHDT,,T", -1, false},
        {"GLGGA,,,,,,1,,,,M,,M,,", -1, false},  // another talker alone
        {"PVND,GGA,,,,,,1", -1, false},
        {"GP", -1, false},
        {"", -1, false},
    };
    for (const Row& row : rows) {
        recorder.sentences.clear();
        pipe.Feed(Sentence(row.body));
        if (row.type < 0) {
            EXPECT_TRUE(recorder.sentences.empty()) << row.body;
            continue;
        }
        ASSERT_EQ(recorder.sentences.size(), 1u) << row.body;
        EXPECT_EQ(recorder.sentences[0].type, unsigned(row.type)) << row.body;
        EXPECT_EQ(recorder.sentences[0].hasPosition, row.hasPosition) << row.body;
        EXPECT_NE(NMEASentenceName(recorder.sentences[0].type), nullptr) << row.body;
    }
}

TEST_F(NMEATest, QualityGivesTheType)
{
    const int ggaTypes[] = {10, 11, 14, 15, 13, 12, 15, 15, 15, 15};
    const int ggkTypes[] = {0, 1, 2, 3, 4, 0, 0, 0, 0, 0};
    for (int quality = 0; quality <= 9; ++quality) {
        recorder.sentences.clear();
        pipe.Feed(Sentence("GPGGA,,,,,," + std::to_string(quality) + ",,,,M,,M,,"));
        pipe.Feed(Sentence("PVND,GGK,,,,,,," + std::to_string(quality) + ",,,,M"));
        ASSERT_EQ(recorder.sentences.size(), 2u);
        EXPECT_EQ(recorder.sentences[0].type, unsigned(ggaTypes[quality])) << quality;
        EXPECT_EQ(recorder.sentences[0].position.valid, 1) << quality;
        EXPECT_EQ(recorder.sentences[1].type, unsigned(ggkTypes[quality])) << quality;
        EXPECT_EQ(recorder.sentences[1].position.valid, 1) << quality;
    }
}

// Whole, lower-case, short, empty and odd fields: every value comes from its
// own field and nothing is read beyond a field or the text. Each row goes
// through the byte stream and, as an exact-size heap copy, straight to the
// parser, so that a read past the text shows under the address sanitizer.
TEST_F(NMEATest, PositionFields)
{
    struct Row {
        const char* text;
        int type;
        int hour, minute;
        float seconds;
        double latitude, longitude, height;
        int valid;
        int month, day, year;
    };
    const Row rows[] = {
        {"GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,", 11, 18, 34, 9, 40, -105,
         1600, 1, 0, 0, 0},
        // Regression: seconds were cut to whole numbers; 5 and 10 Hz receivers need the fraction.
        {"GPGGA,183409.50,4030.0,S,10515.0,E,4,8,1.2,-12.5,M,,M,,", 13, 18, 34, 9.5f, -40.5, 105.25, -12.5, 1, 0, 0, 0},
        {"gpgga,183409.00,4000.0,n,10500.0,w,2,8,1.2,1600.0,m,,m,,", 14, 18, 34, 9, 40, -105, 1600, 1, 0, 0, 0},
        {"PVND,GGK,183409.25,010207,4000.00000000,N,10500.00000000,W,3,12,1.0,EHT1600.000,M", 3, 18, 34, 9.25f, 40,
         -105, 1600, 1, 1, 2, 2007},
        {"Pvnd,gGk,183409.00,010207,4000.0,s,10500.0,e,3,8,1.2,eht1600.0,m", 3, 18, 34, 9, -40, 105, 1600, 1, 1, 2,
         2007},
        {"GPGGA", 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"GPGGA,", 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"GPGGA,1", 10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"GPGGA,183", 10, 18, 3, 0, 0, 0, 0, 0, 0, 0, 0},
        {"GPGGA,18,4,S,1,W,2,,,5", 14, 18, 0, 0, -4, -1, 5, 1, 0, 0, 0},
        {"GPGGA,1834,40,N,105,E,1", 11, 18, 34, 0, 40, 105, 0, 1, 0, 0, 0},
        {"GPGGA,183409.5,4000.5,n,10500.5,w,5,8,1.2,-30.5", 12, 18, 34, 9.5f, 40 + 0.5 / 60, -(105 + 0.5 / 60), -30.5,
         1, 0, 0, 0},
        {"GPGGA,,,,,,0,,,,M,,M,,", 10, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {"GPGGA,,,,,,,,,,M,,M,,", 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // empty quality: not read
        {"GPGGA,,,,,,x,,,inf", 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"GPGGA,,,,,,1,,,12", 11, 0, 0, 0, 0, 0, 12, 1, 0, 0, 0},
        {"GPGGA,,,,,,1,,,7.5,M,,M,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,", 11, 0, 0, 0, 0, 0, 7.5, 1, 0, 0, 0},
        {"GPGGA,99999999999,99999,N,99999,W,99999999999999999999", 15, 99, 99, 0, 99 + 999.0 / 60, -(999 + 99.0 / 60),
         0, 1, 0, 0, 0},
        {"PVND,GGK", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"PVND,GGK,1,0102,40,N", 0, 1, 0, 0, 40, 0, 0, 0, 1, 2, 0},
        {"PVND,GGK,,01,,,,,1,,,EHT", 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0},
        {"PVND,GGK,,,,,,,2,,,EH", 2, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {"PVND,GGK,,,,,,,2,,,EHT-6.5", 2, 0, 0, 0, 0, 0, -6.5, 1, 0, 0, 0},
        {"PVND,GGK,,991231,,,,,4,,,EHT5", 4, 0, 0, 0, 0, 0, 5, 1, 99, 12, 2031},
    };
    for (const Row& row : rows) {
        const std::size_t length = std::strlen(row.text);
        const std::unique_ptr<char[]> copy(new char[length + 1]);
        std::memcpy(copy.get(), row.text, length + 1);
        recorder.sentences.clear();
        pipe.Feed(Sentence(row.text));
        decoder.OnSentence(copy.get(), 7);
        ASSERT_EQ(recorder.sentences.size(), 2u) << row.text;
        for (const Received& got : recorder.sentences) {
            const sNMEAPosition& position = got.position;
            EXPECT_EQ(int(got.type), row.type) << row.text;
            EXPECT_EQ(position.type, row.type) << row.text;
            EXPECT_EQ(position.hour, row.hour) << row.text;
            EXPECT_EQ(position.minute, row.minute) << row.text;
            EXPECT_FLOAT_EQ(position.seconds, row.seconds) << row.text;
            EXPECT_DOUBLE_EQ(position.latitude, row.latitude) << row.text;
            EXPECT_DOUBLE_EQ(position.longitude, row.longitude) << row.text;
            EXPECT_DOUBLE_EQ(position.height, row.height) << row.text;
            EXPECT_EQ(position.valid, row.valid) << row.text;
            EXPECT_EQ(position.month, row.month) << row.text;
            EXPECT_EQ(position.day, row.day) << row.text;
            EXPECT_EQ(position.year, row.year) << row.text;
        }
    }
}

TEST_F(NMEATest, LostBytesAroundSentences)
{
    const std::string first = Sentence("GPZDA,193913.00,07,09,2018,00,00");
    const std::string second = Sentence("GPGGA,,,,,,0,,,,M,,M,,");
    const std::uint32_t firstLength = std::uint32_t(first.size());
    pipe.Feed("xy" + first + "junk" + second);
    EXPECT_EQ(recorder.sentences.size(), 2u);
    // "xy"; the LF after the first CR with "junk"; the last LF.
    EXPECT_EQ(
        testing::MergedLost(pipe),
        (LostRuns{{0, 2}, {2 + firstLength - 1, 5}, {2 + firstLength + 4 + std::uint32_t(second.size()) - 1, 1}}));
}

// Regression test for a "$" stored as text: a radio link that loses the end
// of one sentence must not cost the next, intact one.
TEST_F(NMEATest, DollarInsideASentenceStartsANewOne)
{
    const std::string stump = "$GPGGA,1834";
    const std::string intact = Sentence("GPZDA,193913.00,07,09,2018,00,00");
    const std::string stream = stump + intact + stump + stump + intact;
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        Wired wired;
        testing::FeedPieces(wired.pipe, Bytes(stream), {split, stream.size() - split});
        ASSERT_EQ(wired.recorder.sentences.size(), 2u) << split;
        EXPECT_EQ(wired.recorder.sentences[1].type, 33u);
        const auto stumpLength = std::uint32_t(stump.size());
        const auto intactLength = std::uint32_t(intact.size());
        EXPECT_EQ(testing::MergedLost(wired.pipe), (LostRuns{{0, stumpLength},
                                                             {stumpLength + intactLength - 1, 1 + 2 * stumpLength},
                                                             {std::uint32_t(stream.size()) - 1, 1}}))
            << split;
    }
}

TEST_F(NMEATest, SentencesAreCutAt255Characters)
{
    // 255 characters with "*hh" fit exactly; one more pushes the checksum's
    // last digit out and the sentence fails.
    const std::string fits = Sentence("GPGSV," + std::string(255 - 9, '1'));
    const std::string tooLong = Sentence("GPGSV," + std::string(256 - 9, '1'));
    ASSERT_EQ(fits.size(), 1 + 255 + 2u);
    pipe.Feed(fits + tooLong + fits);
    ASSERT_EQ(recorder.sentences.size(), 2u);
    EXPECT_EQ(recorder.sentences[0].text.size(), 255u);
    // The 256th character of the long one (its last checksum digit) ends it
    // and counts as used; its CR and LF are lost, as are the LFs after the
    // good ones.
    const auto fitsLength = std::uint32_t(fits.size());
    EXPECT_EQ(testing::MergedLost(pipe),
              (LostRuns{{fitsLength - 1, 1}, {fitsLength + 257, 2}, {2 * fitsLength + 1 + fitsLength - 1, 1}}));
}

TEST_F(NMEATest, OverlongLineWithoutEndDoesNotCostTheNext)
{
    pipe.Feed("$" + std::string(300, 'A') + "\r\n" + Sentence("GPZDA,193913.00,07,09,2018,00,00"));
    EXPECT_EQ(recorder.sentences.size(), 1u);
    EXPECT_EQ(testing::MergedLost(pipe).front(), std::make_pair(257u, 46u));
}

// Every split point of a stream, and random pieces: the same sentences with
// the time stamp of the chunk that held their line end, the same lost runs.
TEST_F(NMEATest, AnyChunkingGivesTheSameResult)
{
    const std::string stream = "garbage" + std::string(kExampleGGA) + "\r\n" +
                               Sentence("PVND,GGK,183409.25,010207,4000.0,N,10500.0,W,3,12,1.0,EHT1600.000,M") +
                               "$GPGGA,broken" + Sentence("GPZDA,1,2,3", "\n") + "$GPZDA,bad*00\r\n" +
                               Sentence("GPGST,1", "\r");
    const std::vector<std::uint8_t> bytes = Bytes(stream);

    pipe.Feed(bytes);
    const std::vector<Received>& whole = recorder.sentences;
    ASSERT_EQ(whole.size(), 4u);
    const LostRuns wholeLost = testing::MergedLost(pipe);

    std::vector<std::vector<std::size_t>> chunkings;
    for (std::size_t split = 1; split < bytes.size(); ++split)
        chunkings.push_back({split, bytes.size() - split});
    chunkings.push_back(std::vector<std::size_t>(bytes.size(), 1));
    for (unsigned seed = 1; seed <= 20; ++seed)
        chunkings.push_back(testing::RandomPieces(bytes.size(), seed));

    for (const auto& pieces : chunkings) {
        Wired wired;
        testing::FeedPieces(wired.pipe, bytes, pieces);
        const std::vector<Received>& chunked = wired.recorder.sentences;
        ASSERT_EQ(chunked.size(), whole.size()) << pieces.size() << " pieces";
        // The chunk that ends a sentence: the one holding its line end.
        std::size_t end = 0;
        for (std::size_t k = 0; k < whole.size(); ++k) {
            EXPECT_EQ(chunked[k].text, whole[k].text);
            EXPECT_EQ(0, std::memcmp(&chunked[k].position, &whole[k].position, sizeof(sNMEAPosition)));
            end = stream.find(whole[k].text, end) + whole[k].text.size();
            std::size_t chunk = 0;
            for (std::size_t fed = pieces[0]; fed <= end; fed += pieces[++chunk]) {
            }
            EXPECT_EQ(chunked[k].timeStamp, TimeStamp(1000 + chunk));
        }
        EXPECT_EQ(testing::MergedLost(wired.pipe), wholeLost) << pieces.size() << " pieces";
    }
}

TEST_F(NMEATest, LogLineNamesTheDecoder)
{
    CLogPipe logPipe;
    testing::LogRecorder sink(&logPipe, kLogBasic);
    decoder.log.Attach(&logPipe);
    decoder.SetName("Listener");
    pipe.Feed(std::string(kExampleGGA) + "\r\n");
    ASSERT_EQ(sink.Lines().size(), 1u);
    const std::string expected = std::string("Listener Receive NMEA Frame ") + (kExampleGGA + 1) + ", Type 11, Time ";
    EXPECT_THAT(sink.Lines()[0], ::testing::StartsWith(expected));
    decoder.log.Detach();
}

// The capture's counts come from an independent counter; the chunking of a
// port read must not change them.
TEST(NMEACapture, HemisphereCountsInEveryChunking)
{
    const std::vector<std::uint8_t> capture = testing::ReadCapture("hemi.log");
    const auto expected = testing::ManifestFrames("hemi.log");
    const auto header = std::uint32_t(std::find(capture.begin(), capture.end(), '$') - capture.begin());
    for (const std::size_t chunkSize :
         {std::size_t(0), std::size_t(1), std::size_t(7), std::size_t(64), std::size_t(1024)}) {
        FakeBytePipe pipe;
        CNMEAInputHandler decoder;
        struct Counter : TSubscriber<IIncommingNMEAPipe> {
            ~Counter() override { Unsubscribe(); }
            void OnNMEASentence(unsigned type, const sNMEAPosition*, const char*, const TimeStamp&) override
            {
                ++counts[NMEASentenceName(type)];
            }
            std::map<std::string, std::uint64_t> counts;
        } counter;
        decoder.Subscribe(&pipe);
        counter.Subscribe(&decoder);
        pipe.Feed(capture, chunkSize);
        EXPECT_EQ(counter.counts, expected) << "chunk size " << chunkSize;
        // Only the '#' header is lost: every line ends with LF, which closes
        // its sentence.
        EXPECT_EQ(testing::MergedLost(pipe), (LostRuns{{0, header}})) << "chunk size " << chunkSize;
    }
}

}  // namespace
}  // namespace TolvarRT
