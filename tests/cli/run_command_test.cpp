// Link tests on real ports: the --source choices, and a whole run over the
// emulated radio link with the log file the engineer asked for.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli/run_command.h"
#include "pty_pair.h"
#include "pty_relay.h"
#include "sim/emulated_radio_link.h"
#include "stats/link_figures.h"

namespace {

TEST(RunTest, SourceChoicesNameAPortOrAGeneratorAndItsPort)
{
    struct Case {
        const char* text;
        bool valid;
        const char* port;
        bool fakeCmr;
        bool fakeAts;
    };
    for (const Case& each : {Case{"/dev/ttyUSB1", true, "/dev/ttyUSB1", false, false},
                             Case{"TCP:127.0.0.1:5017", true, "TCP:127.0.0.1:5017", false, false},
                             Case{"fake-cmr:/dev/ttyUSB1", true, "/dev/ttyUSB1", true, false},
                             Case{"fake-ats:UDP:127.0.0.1:5017", true, "UDP:127.0.0.1:5017", false, true},
                             Case{"fake-cmr", false, "", false, false}, Case{"fake-ats:", false, "", false, false},
                             Case{"", false, "", false, false}}) {
        cli::sPortChoice choice;
        std::string error;
        ASSERT_EQ(cli::ParseSourceChoice(each.text, choice, error), each.valid) << each.text;
        if (!each.valid) {
            EXPECT_NE(error.find("--source"), std::string::npos) << each.text;
            continue;
        }
        EXPECT_EQ(choice.port, each.port);
        EXPECT_EQ(choice.fakeCmr, each.fakeCmr) << each.text;
        EXPECT_EQ(choice.fakeAts, each.fakeAts) << each.text;
    }
}

TEST(RunTest, AGeneratedSourceOverARadioLinkIsMeasuredAndLogged)
{
    TolvarRT::sRadioChannel channel;
    channel.lossPercent = 10;
    channel.seed = 11;
    TolvarRT::CEmulatedRadioLink link(channel);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;

    char folder[] = "/tmp/tolvar-run-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    cli::sRunOptions options;
    options.listener.port = link.RoverPort();
    options.listener.baudRate = 115200;
    ASSERT_TRUE(cli::ParseSourceChoice("fake-cmr:" + link.BasePort(), options.source, error));
    options.source.baudRate = 115200;
    options.schedule = 0;
    options.logFile = std::string(folder) + "/run.txt";
    options.logLevel = 3;
    options.loop.seconds = 3;
    std::ostringstream progress;
    const cli::sRunResult result = cli::RunLinkTest(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    link.Stop();

    EXPECT_NE(result.figures.title.find("<Gen Fake>"), std::string::npos) << result.figures.title;
    EXPECT_EQ(result.figures.seconds, 3u);
    const TolvarRT::sRadioAccount account = link.Account();
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_GT(account.sent, 2u);
    EXPECT_EQ(total.sent, account.sent) << "the drain waited for the last frames";
    EXPECT_EQ(total.matched, account.delivered);
    EXPECT_EQ(total.missed, account.dropped);

    std::ifstream file(options.logFile);
    std::stringstream log;
    log << file.rdbuf();
    EXPECT_NE(log.str().find("Open " + link.BasePort()), std::string::npos);
    EXPECT_NE(log.str().find("Summary of Packets received"), std::string::npos) << "the final summary is logged";
    EXPECT_NE(log.str().find("Rx Vendcomm CMD="), std::string::npos) << "the level asked for, above the default";
    EXPECT_NE(cli::RunText(result).find("CMR Type 0"), std::string::npos);
    EXPECT_EQ(cli::RunJson(result)["seconds"], 3);
}

TEST(RunTest, AFakeATSSourceGeneratesFramesThatTheListenerDecodesAndMatches)
{
    TolvarRT::testing::PtyPair base, rover;
    ASSERT_TRUE(base.IsValid() && rover.IsValid());
    TolvarRT::testing::PtyRelay radio(base, rover);
    cli::sRunOptions options;
    options.listener.port = rover.SlavePath();
    std::string error;
    ASSERT_TRUE(cli::ParseSourceChoice("fake-ats:" + base.SlavePath(), options.source, error));
    options.loop.seconds = 1;
    std::ostringstream progress;
    const cli::sRunResult result = cli::RunLinkTest(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;

    ASSERT_EQ(result.figures.measured.size(), 1u) << cli::RunText(result);
    const TolvarRT::sLinkFigures& ats = result.figures.measured[0];
    EXPECT_EQ(TolvarRT::KeyClass(ats.key), unsigned(TolvarRT::kFrameClassATS));
    EXPECT_GT(ats.sent, 2u) << "about six a second";
    EXPECT_EQ(ats.received, ats.sent);
    EXPECT_EQ(ats.matched, ats.sent) << cli::RunText(result);
    EXPECT_EQ(ats.missed + ats.unmatched + ats.inFlight, 0u) << cli::RunText(result);
}

TEST(RunTest, ALogFileThatCannotBeCreatedStopsTheRunWithTheReason)
{
    cli::sRunOptions options;
    options.listener.port = "/dev/null";
    options.logFile = "/no/such/folder/run.txt";
    std::ostringstream progress;
    const cli::sRunResult result = cli::RunLinkTest(options, progress);
    EXPECT_EQ(result.error, "/no/such/folder/run.txt: No such file or directory");
}

}  // namespace
