// The status page text, its escaping, its path and the copy handed to a page server.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "app/status_page.h"
#include "core/log_pipe.h"
#include "stats/stats_collection.h"

namespace {

using TolvarRT::sStatsRow;
using TolvarRT::TimeStamp;

constexpr TimeStamp kSecond = 1'000'000'000;

// 06:00:01 AM on a Tuesday, 1.25 s after the epoch.
sStatusPageInput At45678(sStatusPageInput input)
{
    input.epoch = {0, 45678.25 - 0.25 / 86400.0};
    input.now = kSecond + kSecond / 4;
    return input;
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

sStatsRow Row(std::initializer_list<const char*> cells)
{
    sStatsRow row;
    std::size_t column = 0;
    for (const char* cell : cells)
        row.cells.at(column++) = cell;
    return row;
}

// The markup is pinned byte for byte, its slips included ("<A href=/>Home<A>",
// "</H2></I>", the two spaces in "<P  ALIGN"): pages saved from earlier
// versions and the scripts that scrape them expect exactly this text.
TEST(StatusPageTest, ComposesTheWholePage)
{
    const std::array<const char*, 2> headers = {"Packet Type Received", "Rating"};
    const std::vector<sStatsRow> rows = {Row({"CMR Type 0", "Perfect"})};
    const sStatusPageInput input{
        .title = "Listener : Not Connected | Source : Not Connected",
        .headers = headers,
        .rows = rows,
        .summary = "\r\n\r\nSummary of Packets received\r\nCMR Type 0\t12\n\nSummary as of x[1.000s]\n"};

    const std::string expected =
        "<HTML><TITLE>Listener : Not Connected | Source : Not Connected</TITLE><BODY BGCOLOR=\"#99ccff\">"
        "<P ALIGN=\"CENTER\"><TABLE BORDER CELLSPACING=0 BORDERCOLOR=\"#000000\" WIDTH=90% ><TR><TD VALIGN=\"MIDDLE\" "
        "BGCOLOR=\"#f8f800\"><FONT FACE=\"Verdana\"><BR><H2 ALIGN=\"CENTER\">Tolvar Test Suite <I>Web</H2></I></FONT>"
        "</TD></TR></TABLE></P>"
        "<FONT FACE=\"Verdana\" ><P ALIGN=RIGHT><B><A href=/>Home<A></B></P><HR>"
        "<H3>Status of Window :Listener : Not Connected | Source : Not Connected</H3>"
        "<TABLE BORDER CELLSPACING=0 BORDERCOLOR=\"#000000\" CELLPADDING=5>\n<TR>\n"
        "\t<TD BGCOLOR=\"#80A0E0\"><B><FONT SIZE=-1><P  ALIGN=\"CENTER\">Packet Type Received</P></FONT></B></TD>\n"
        "\t<TD BGCOLOR=\"#80A0E0\"><B><FONT SIZE=-1><P  ALIGN=\"CENTER\">Rating</P></FONT></B></TD>\n"
        "</TR>\n"
        "<TR>\n"
        "\t<TD BGCOLOR=\"#80A0E0\"><B><FONT SIZE=-1><P  ALIGN=\"CENTER\">CMR Type 0</P></FONT></B></TD>\n"
        "\t<TD BGCOLOR=White ><FONT SIZE=-1><P ALIGN=\"CENTER\">\t\t\tPerfect</P></FONT></TD>\n"
        "</TR>\n"
        "</TABLE><PRE>\r\n\r\nSummary of Packets received\r\nCMR Type 0\t12\n\nSummary as of x[1.000s]\n</PRE><HR>"
        "<P ALIGN=RIGHT><B><A href=/>Home<A></B></P>"
        "<P ALIGN=RIGHT><I>06:00:01 AM Tuesday, January 21, 2025 [1.250s]</I></P><BR>"
        "</FONT></BODY></HTML>";
    EXPECT_EQ(StatusPageText(At45678(input)), expected);
}

TEST(StatusPageTest, AnEmptyListShowsTheHeaderRowOnly)
{
    sStatusPageInput input;
    input.headers = TolvarRT::CStatsTableModel::ColumnHeaders();
    const std::string page = StatusPageText(input);
    EXPECT_EQ(Occurrences(page, "<TR>\n"), 1u);
    EXPECT_NE(page.find("\">Avg Latency</P></FONT></B></TD>\n</TR>\n</TABLE><PRE>"), std::string::npos);
    EXPECT_NE(page.find("\">% Received</P>"), std::string::npos);
}

TEST(StatusPageTest, AListWithoutColumnsOrSummaryShowsAnEmptyHeaderRowAndAnEmptyBlock)
{
    const std::vector<sStatsRow> rows = {Row({"CMR Type 0"})};
    sStatusPageInput input;
    input.rows = rows;
    const std::string page = StatusPageText(input);
    EXPECT_NE(page.find("CELLPADDING=5>\n<TR>\n</TR>\n</TABLE><PRE></PRE><HR>"), std::string::npos);
    EXPECT_EQ(page.find("CMR Type 0"), std::string::npos);
}

TEST(StatusPageTest, EscapeHtmlReplacesMarkupCharacters)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"plain 1.2.3.4:5017", "plain 1.2.3.4:5017"},
        {"TCP:<host>&\"x\"", "TCP:&lt;host&gt;&amp;&quot;x&quot;"},
        {"it's", "it&#39;s"},
        {"&amp;", "&amp;amp;"},  // already escaped text is shown as typed
        {"75.00%", "75.00%"},
    };
    for (const auto& [text, escaped] : cases)
        EXPECT_EQ(EscapeHtml(text), escaped) << text;
}

// Regression test for typed addresses and texts breaking the page's markup.
TEST(StatusPageTest, EveryInsertedTextIsEscaped)
{
    const std::array<const char*, 2> headers = {"<Name>", "A&B"};
    const std::vector<sStatsRow> rows = {Row({"<script>", "\"q\""})};
    const sStatusPageInput input{.title = "Listener : TCP:<host>&\"x\" | Source : Not Connected",
                                 .headers = headers,
                                 .rows = rows,
                                 .summary = "</PRE><SCRIPT>"};
    const std::string page = StatusPageText(input);

    EXPECT_EQ(Occurrences(page, "TCP:&lt;host&gt;&amp;&quot;x&quot;"), 2u);
    EXPECT_NE(page.find("\">&lt;Name&gt;</P>"), std::string::npos);
    EXPECT_NE(page.find("\">A&amp;B</P>"), std::string::npos);
    EXPECT_NE(page.find("\">&lt;script&gt;</P>"), std::string::npos);
    EXPECT_NE(page.find("\t\t\t&quot;q&quot;</P>"), std::string::npos);
    EXPECT_NE(page.find("<PRE>&lt;/PRE&gt;&lt;SCRIPT&gt;</PRE><HR>"), std::string::npos);
    for (const char* raw : {"<host>", "<Name>", "A&B", "<script>", "\"q\"", "<SCRIPT>"})
        EXPECT_EQ(page.find(raw), std::string::npos) << raw;
}

TEST(StatusPageTest, TableRowsShowTheModelsCellsInOrder)
{
    CLogPipe logPipe;
    TolvarRT::CStatsCollection source{&logPipe, true};
    TolvarRT::CStatsCollection receiver{&logPipe, false};
    receiver.SetSource(&source);
    const TimeStamp start = TolvarRT::TimeStampNow();
    for (int i = 0; i < 3; ++i) {
        source.RecordFrame(TolvarRT::kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond);
        receiver.RecordFrame(TolvarRT::kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond + kSecond / 20);
    }
    receiver.RecordFrame(TolvarRT::kFrameClassRTCM3, 1005, 19, 7, start);
    TolvarRT::CStatsTableModel model;
    model.Refresh(receiver);
    const std::vector<sStatsRow> rows = model.Rows();
    ASSERT_EQ(rows.size(), 2u);

    sStatusPageInput input;
    input.headers = TolvarRT::CStatsTableModel::ColumnHeaders();
    input.rows = rows;
    const std::string page = StatusPageText(input);

    std::size_t searchFrom = page.find("</TR>\n");  // end of the header row
    for (const sStatsRow& row : rows) {
        std::string expected = "<TR>\n\t<TD BGCOLOR=\"#80A0E0\"><B><FONT SIZE=-1><P  ALIGN=\"CENTER\">" + row.cells[0] +
                               "</P></FONT></B></TD>\n";
        for (std::size_t column = 1; column < TolvarRT::kStatsColumns; ++column)
            expected += "\t<TD BGCOLOR=White ><FONT SIZE=-1><P ALIGN=\"CENTER\">\t\t\t" + row.cells[column] +
                        "</P></FONT></TD>\n";
        expected += "</TR>\n";
        const std::size_t at = page.find(expected, searchFrom);
        ASSERT_NE(at, std::string::npos) << row.cells[0];
        searchFrom = at + expected.size();
    }
    EXPECT_EQ(page.compare(searchFrom, 13, "</TABLE><PRE>"), 0);
    EXPECT_NE(page.find("\t\t\t050 ms</P>"), std::string::npos);  // CMR latency as the view prints it
    EXPECT_NE(page.find("\">RTCM v3 Type 1005</P>"), std::string::npos);
}

TEST(StatusPageTest, PathHasAtLeastTwoDigits)
{
    EXPECT_EQ(StatusPagePath(0), "/TolvarTestSuiteDoc_00");
    EXPECT_EQ(StatusPagePath(7), "/TolvarTestSuiteDoc_07");
    EXPECT_EQ(StatusPagePath(42), "/TolvarTestSuiteDoc_42");
    EXPECT_EQ(StatusPagePath(100), "/TolvarTestSuiteDoc_100");
}

TEST(StatusPageTest, HandsOutAnOwnedTerminatedCopyWithTheRefreshHeader)
{
    sStatusPageInput input = At45678({});
    input.title = "T";
    char* page = nullptr;
    std::size_t length = 99;
    std::string header;
    ASSERT_TRUE(HandOutStatusPage(input, &page, &length, &header));
    ASSERT_NE(page, nullptr);
    const std::string text = StatusPageText(input);
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(std::strlen(page), length) << "terminated, no NUL inside";
    EXPECT_EQ(std::string(page, length), text);
    EXPECT_EQ(header, "Refresh:     60\n");

    // Every call hands out a copy of its own; each is freed separately.
    char* second = nullptr;
    std::size_t secondLength = 0;
    ASSERT_TRUE(HandOutStatusPage(input, &second, &secondLength, nullptr));
    EXPECT_NE(second, page);
    EXPECT_STREQ(second, page);
    FreeStatusPage(page);
    EXPECT_EQ(second[secondLength], '\0');
    FreeStatusPage(second);
    FreeStatusPage(nullptr);
}

TEST(StatusPageTest, MissingOutArgumentsHandOutNothing)
{
    char* page = reinterpret_cast<char*>(0x1);
    std::size_t length = 5;
    EXPECT_FALSE(HandOutStatusPage({}, &page, nullptr, nullptr));
    EXPECT_EQ(page, nullptr);
    EXPECT_FALSE(HandOutStatusPage({}, nullptr, &length, nullptr));
    EXPECT_EQ(length, 0u);
}

}  // namespace
