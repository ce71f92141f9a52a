// The fake RTCM v3 generator's frames read by an independent decoder: RTKLIB's
// convbin turns a few epochs into a RINEX observation file, whose epochs,
// satellites, station position, antenna and receiver must be those generated.
// Skipped where convbin is not installed (./dev deps installs Debian's rtklib).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "program_path.h"
#include "sim/rtcm3_message_builder.h"
#include "temp_folder.h"

namespace TolvarRT {
namespace {

// 2024-01-07 12:00:00 UTC; GPS time runs 18 s ahead.
constexpr double kStart = 1704628800.0;
constexpr int kLeap = 18;
constexpr int kEpochs = 5;

struct sRinex {
    std::string header;
    std::vector<std::string> epochLines;          // "> 2024 01 07 ..."
    std::vector<std::map<char, int>> satellites;  // per epoch, per system letter
};

sRinex ReadRinex(const std::string& file)
{
    sRinex rinex;
    std::ifstream in(file);
    bool inHeader = true;
    for (std::string line; std::getline(in, line);) {
        if (inHeader) {
            rinex.header += line + "\n";
            inHeader = line.find("END OF HEADER") == std::string::npos;
        } else if (!line.empty() && line[0] == '>') {
            rinex.epochLines.push_back(line);
            rinex.satellites.emplace_back();
        } else if (!line.empty() && !rinex.satellites.empty()) {
            ++rinex.satellites.back()[line[0]];
        }
    }
    return rinex;
}

class RTCM3ConvbinTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(RTCM3ConvbinTest, RtklibReadsTheEpochsSatellitesAndStation)
{
    const std::string convbin = testing::ProgramPath("convbin");
    if (convbin.empty())
        GTEST_SKIP() << "convbin is missing: ./dev deps installs Debian's rtklib";
    testing::TempFolder folder;
    sRTCM3SimSettings settings;
    settings.msm = GetParam();
    CRTCM3MessageBuilder builder(settings);
    {
        std::ofstream out(folder.File("sim.rtcm3"), std::ios::binary);
        sRTCM3SimEpoch epoch;
        for (int i = 0; i < kEpochs; ++i) {
            builder.BuildEpoch(kStart + i, kLeap, epoch);
            for (unsigned k = 0; k < epoch.count; ++k)
                out.write(reinterpret_cast<const char*>(epoch.frames[k].data.data()), epoch.frames[k].length);
        }
    }
    const std::string command = convbin + " -r rtcm3 -tr 2024/01/07 12:00:00 -d " + folder.Path().string() + " -o " +
                                folder.File("sim.obs") + " " + folder.File("sim.rtcm3") + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

    const sRinex rinex = ReadRinex(folder.File("sim.obs"));
    EXPECT_NE(rinex.header.find("  3912357.7600   350572.7518  5008286.8430"), std::string::npos) << rinex.header;
    EXPECT_NE(rinex.header.find("TR-ANT-1        NONE"), std::string::npos);
    EXPECT_NE(rinex.header.find("5120A00417          TR-500              4.20"), std::string::npos);
    ASSERT_EQ(rinex.epochLines.size(), std::size_t(kEpochs));
    for (int i = 0; i < kEpochs; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "> 2024 01 07 12 00 %02d.0000000  0 33", 18 + i);
        EXPECT_EQ(rinex.epochLines[std::size_t(i)].substr(0, 35), expected) << "GPS time: UTC + 18 s";
        EXPECT_EQ(rinex.satellites[std::size_t(i)], (std::map<char, int>{{'G', 10}, {'R', 7}, {'E', 8}, {'C', 8}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Msm, RTCM3ConvbinTest, ::testing::Values(4u, 7u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return "MSM" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace TolvarRT
