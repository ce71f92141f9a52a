// Bytes that every decoder of a stream gave up on, counted by runs: the same
// counts as one count per byte, however the reports come.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "ports/lost_byte_tally.h"

namespace TolvarRT {
namespace {

// One count per byte, as the reports say it plainly.
class ByteByByte {
public:
    void BeginChunk(std::uint64_t first, const std::vector<std::uint8_t>& data, unsigned reportersNow)
    {
        for (std::size_t i = 0; i < data.size(); ++i)
            bytes[first + i] = data[i];
        next = first + data.size();
        reporters = reportersNow;
    }
    std::uint32_t MarkLost(std::uint64_t first, std::uint32_t count)
    {
        std::uint32_t rejected = 0;
        for (std::uint64_t index = first; index < first + count; ++index) {
            if (index >= next || index + CLostByteTally::kWindow < next)
                continue;
            const std::uint8_t byte = bytes[index];
            if (++reports[index] == reporters && byte != '\r' && byte != '\n')
                ++rejected;
        }
        return rejected;
    }

private:
    std::map<std::uint64_t, std::uint8_t> bytes;
    std::map<std::uint64_t, unsigned> reports;
    std::uint64_t next = 0;
    unsigned reporters = 0;
};

TEST(LostByteTallyTest, CountsWhatOneCountPerByteCountsOnRandomStreams)
{
    std::uint64_t rejected = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const unsigned reporters = 1 + random() % 4;
        // Indices may start anywhere and wrap.
        const std::uint32_t base = seed % 2 == 0 ? 0u : 0xFFFF0000u + random() % 0x8000u;
        CLostByteTally tally;
        ByteByByte reference;
        std::vector<std::uint64_t> reportedTo(reporters, 0);
        std::uint64_t next = 0;
        // Some streams run past the window several times, with reports as
        // late as the RTCM v2 decoder's, so that runs leave the window while
        // others still arrive far behind the newest byte.
        const bool longStream = seed % 4 == 3;
        const std::uint64_t lateness = longStream ? 70000 : 20000;
        for (int chunk = 0; chunk < (longStream ? 250 : 60); ++chunk) {
            std::vector<std::uint8_t> data(1 + random() % 3000);
            for (auto& byte : data)
                byte = random() % 16 == 0 ? '\n' : std::uint8_t(random());
            tally.BeginChunk(std::uint32_t(base + next), data.data(), std::uint32_t(data.size()), reporters);
            reference.BeginChunk(next, data, reporters);
            next += data.size();
            // Each decoder reports in stream order, some of them late.
            for (unsigned r = 0; r < reporters; ++r) {
                std::uint64_t at = std::max(reportedTo[r], next > lateness ? next - lateness : 0);
                while (at < next && random() % 4 != 0) {
                    at += random() % 200;
                    const std::uint32_t count =
                        std::uint32_t(std::min<std::uint64_t>(1 + random() % 900, next - std::min(at, next)));
                    if (at >= next || count == 0)
                        break;
                    const std::uint32_t counted = tally.MarkLost(std::uint32_t(base + at), count);
                    ASSERT_EQ(counted, reference.MarkLost(at, count))
                        << "chunk " << chunk << " reporter " << r << " at " << at;
                    rejected += counted;
                    at += count;
                }
                reportedTo[r] = at;
            }
        }
    }
    EXPECT_GT(rejected, 100000u) << "the streams reject bytes to compare";
}

// The RTCM v2 decoder may give up on bytes it held for up to 64 KiB.
TEST(LostByteTallyTest, AReportSixtyKibibytesLateStillCounts)
{
    CLostByteTally tally;
    const std::vector<std::uint8_t> data(1024, 0x55);
    for (std::uint32_t chunk = 0; chunk < 70; ++chunk)
        tally.BeginChunk(chunk * 1024, data.data(), 1024, 2);
    const std::uint32_t newest = 70 * 1024;
    EXPECT_EQ(tally.MarkLost(newest - 60 * 1024, 100), 0u) << "one decoder of two";
    EXPECT_EQ(tally.MarkLost(newest - 60 * 1024, 100), 100u) << "and the other";
    EXPECT_EQ(tally.MarkLost(newest + 10, 5), 0u) << "bytes not yet delivered";
}

}  // namespace
}  // namespace TolvarRT
