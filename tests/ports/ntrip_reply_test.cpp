// A caster's answer read whole, byte by byte and in odd pieces must give the
// same outcome and the same correction bytes; and the texts a caster is sent:
// names, masking, basic authentication and the GGA sentence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/network/ntrip_reply.h"
#include "ports/network/ntrip_request.h"

namespace TolvarRT {
namespace {

using Outcome = CNtripReply::Outcome;

struct sReplyCase {
    const char* description;
    std::string answer;
    Outcome outcome;
    std::string body;
};

// Feeds the answer in pieces of the given size (0: whole).
std::pair<Outcome, std::string> Read(const std::string& answer, std::size_t piece, CNtripReply& reply)
{
    std::vector<std::uint8_t> body;
    Outcome outcome = Outcome::Waiting;
    const std::size_t step = piece == 0 ? answer.size() : piece;
    for (std::size_t at = 0; at < answer.size(); at += step) {
        const std::size_t n = std::min(step, answer.size() - at);
        outcome = reply.Feed(reinterpret_cast<const std::uint8_t*>(answer.data() + at), n, body);
    }
    if (outcome == Outcome::Waiting)
        outcome = reply.Finish();
    return {outcome, std::string(body.begin(), body.end())};
}

const std::string kTable = "STR;A;x;RTCM 3;;2;GPS;N;D;0;0;0;0\r\nCAS;c;2101\r\nSTR;B;x;RTCM 3;;2;GPS;N;D;0;0;1;0\r\n";

TEST(NtripReply, AnswersGiveTheSameOutcomeAndBytesWhateverTheCut)
{
    const std::vector<sReplyCase> cases = {
        {"version 1", "ICY 200 OK\r\n\xD3\x01\x02", Outcome::Streaming, "\xD3\x01\x02"},
        {"version 1 with an empty line", "ICY 200 OK\r\n\r\nabc", Outcome::Streaming, "abc"},
        {"version 1, data starting with CR", "ICY 200 OK\r\n\rX", Outcome::Streaming, "\rX"},
        {"version 2 raw", "HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\n\r\n\r\n0\r\n", Outcome::Streaming,
         "\r\n0\r\n"},
        {"version 2 chunked",
         "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n3\r\nab\n\r\n1A;x=1\r\n" + std::string(26, 'z') + "\r\n",
         Outcome::Streaming, "ab\n" + std::string(26, 'z')},
        {"version 2 chunked stream ended", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         Outcome::Ended, "ok"},
        {"sourcetable", "SOURCETABLE 200 OK\r\nContent-Length: 9\r\n\r\n" + kTable + "ENDSOURCETABLE\r\n",
         Outcome::Sourcetable, ""},
        {"sourcetable without its end line", "SOURCETABLE 200 OK\r\n\r\n" + kTable, Outcome::Sourcetable, ""},
        {"version 2 chunked sourcetable",
         "HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\nTransfer-Encoding: chunked\r\n\r\n" + ([] {
             char size[8];
             std::snprintf(size, sizeof size, "%zx", kTable.size());
             return std::string(size);
         })() +
             "\r\n" + kTable + "\r\n0\r\n\r\n",
         Outcome::Sourcetable, ""},
        {"refused", "HTTP/1.1 401 Unauthorized\r\n\r\n", Outcome::Refused, ""},
        {"version 1 refused", "ICY 401 Unauthorized\r\n", Outcome::Refused, ""},
        {"other status", "HTTP/1.1 404 Not Found\r\n\r\n", Outcome::Failed, ""},
        {"not a caster", "SSH-2.0-OpenSSH\r\n", Outcome::Failed, ""},
        {"silence", "", Outcome::Failed, ""},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", Outcome::Failed, ""},
        {"chunk longer than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n",
         Outcome::Failed, "ab"},
    };
    for (const sReplyCase& c : cases) {
        for (const std::size_t piece : {0, 1, 2, 7}) {
            CNtripReply reply;
            const auto [outcome, body] = Read(c.answer, piece, reply);
            EXPECT_EQ(outcome, c.outcome) << c.description << ", pieces of " << piece;
            EXPECT_EQ(body, c.body) << c.description << ", pieces of " << piece;
            if (c.outcome == Outcome::Sourcetable) {
                ASSERT_EQ(reply.Mountpoints().size(), 2u) << c.description;
                EXPECT_EQ(reply.Mountpoints()[0].name, "A");
                EXPECT_FALSE(reply.Mountpoints()[0].wantsPosition);
                EXPECT_EQ(reply.Mountpoints()[1].name, "B");
                EXPECT_TRUE(reply.Mountpoints()[1].wantsPosition);
            }
        }
    }
}

TEST(NtripReply, AnEndlessHeaderLineFails)
{
    CNtripReply reply;
    EXPECT_EQ(Read("HTTP/1.1 200 OK\r\nX: " + std::string(10000, 'a'), 0, reply).first, Outcome::Failed);
}

// Each limit stops the reading at its own point, in whatever pieces the
// table comes; names past the names limit are counted, not kept.
TEST(NtripReply, ASourcetableIsReadOnlyUpToItsLimits)
{
    std::string table = "SOURCETABLE 200 OK\r\n\r\n";
    for (int i = 0; i < 50; ++i)
        table += "STR;N" + std::to_string(i) + ";x;RTCM 3;;2;GPS;N;D;0;0;0;0\r\nCAS;c;2101\r\n";
    struct sLimitCase {
        const char* description;
        sNtripTableLimits limits;
        std::size_t kept;
        std::size_t leftOut;
        bool cut;
    };
    const std::size_t lineBytes = std::string("STR;N10;x;RTCM 3;;2;GPS;N;D;0;0;0;0\r\nCAS;c;2101\r\n").size();
    const std::vector<sLimitCase> cases = {
        {"whole table", {}, 50, 0, false},
        {"names", {3, 1000, 100000}, 3, 47, false},
        {"lines", {100, 21, 100000}, 11, 0, true},
        // The pairs of lines of N0..N9 (a digit shorter) and N10..N19, and N20 begun.
        {"bytes", {100, 1000, 10 * (lineBytes - 1) + 10 * lineBytes + 20}, 20, 0, true},
        {"names and lines", {4, 40, 100000}, 4, 16, true},
    };
    for (const sLimitCase& c : cases) {
        for (const std::size_t piece : {0, 1, 13}) {
            CNtripReply reply(c.limits);
            EXPECT_EQ(Read(table, piece, reply).first, Outcome::Sourcetable) << c.description;
            EXPECT_EQ(reply.Mountpoints().size(), c.kept) << c.description << ", pieces of " << piece;
            EXPECT_EQ(reply.MountpointsLeftOut(), c.leftOut) << c.description << ", pieces of " << piece;
            EXPECT_EQ(reply.TableCut(), c.cut) << c.description << ", pieces of " << piece;
            ASSERT_FALSE(reply.Mountpoints().empty());
            EXPECT_EQ(reply.Mountpoints().front().name, "N0");
        }
    }
}

TEST(NtripPortName, ReadsCredentialsCasterAndMountpoint)
{
    sNtripAddress address;
    ASSERT_TRUE(ParseNtripPortName("ntrip:me:p:a@ss@caster.example:2102/MOUNT1", address));
    EXPECT_EQ(address.user, "me");
    EXPECT_EQ(address.password, "p:a@ss");
    EXPECT_EQ(address.caster.host, "caster.example");
    EXPECT_EQ(address.caster.port, 2102);
    EXPECT_EQ(address.mountpoint, "MOUNT1");

    ASSERT_TRUE(ParseNtripPortName("NTRIP:caster/M", address));
    EXPECT_EQ(address.caster.port, kDefaultCasterPort);
    EXPECT_EQ(address.user, "");
    ASSERT_TRUE(ParseNtripPortName("NTRIP:[::1]/M", address));
    EXPECT_EQ(address.caster.port, kDefaultCasterPort);

    std::string failure;
    EXPECT_FALSE(ParseNtripPortName("NTRIP:u:p@/M", address, &failure));
    EXPECT_FALSE(ParseNtripPortName("NTRIP:host:0/M", address, &failure));
    EXPECT_FALSE(ParseNtripPortName("TCP:host/M", address, &failure));
}

// A line break or space in a name would add lines to the request or end its
// path early: such names are refused, and the reason never shows the password.
TEST(NtripPortName, PartsTheRequestCannotCarryAreRefused)
{
    struct sBadName {
        std::string name;
        const char* reason;
    };
    const std::vector<sBadName> cases = {
        {"NTRIP:h/M HTTP/1.0", "the mountpoint holds a space"},
        {"NTRIP:h/M\r\nX-Injected: 1", "the mountpoint holds a space or a control character"},
        {"NTRIP:h/M\n", "the mountpoint holds"},
        {"NTRIP:h/M\tN", "the mountpoint holds"},
        {std::string("NTRIP:h/M\0N", 10), "the mountpoint holds"},
        {"NTRIP:h\r\nX/M", "the caster address holds"},
        {"NTRIP:a\nb:pw@h/M", "the user name holds a control character"},
        {"NTRIP:ab:pw\x7F@h/M", "the password holds a control character"},
        {"NTRIP:h/" + std::string(1000, 'M'), "the name is longer than 1000 characters"},
    };
    for (const sBadName& c : cases) {
        sNtripAddress address;
        std::string failure;
        EXPECT_FALSE(ParseNtripPortName(c.name, address, &failure)) << c.name;
        EXPECT_EQ(failure.rfind(c.reason, 0), 0u) << failure;
        EXPECT_EQ(failure.find("pw"), std::string::npos) << failure;
    }
    sNtripAddress address;
    ASSERT_TRUE(ParseNtripPortName("NTRIP:my user:pass word@h/M-1_x", address));
    EXPECT_EQ(address.password, "pass word");
    EXPECT_EQ(NtripRequest(address).rfind("GET /M-1_x HTTP/1.1\r\nHost: h:2101\r\n", 0), 0u);
}

TEST(NtripPortName, PasswordIsMaskedEvenInAMalformedName)
{
    EXPECT_EQ(MaskNtripPassword("NTRIP:me:p:a@ss@host/M"), "NTRIP:me:****@host/M");
    EXPECT_EQ(MaskNtripPassword("ntrip:me:secret@host:99999/M"), "ntrip:me:****@host:99999/M");
    EXPECT_EQ(MaskNtripPassword("NTRIP:me@host:2101/M"), "NTRIP:me@host:2101/M");
    EXPECT_EQ(MaskNtripPassword("NTRIP:host:2101/M"), "NTRIP:host:2101/M");
    EXPECT_EQ(MaskNtripPassword("TCP:a:b@c"), "TCP:a:b@c");
}

TEST(NtripRequestText, CarriesVersionHostAndBasicAuthentication)
{
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("a"), "YQ==");
    EXPECT_EQ(Base64("ab"), "YWI=");
    EXPECT_EQ(Base64("rover:s3cret:@x"), "cm92ZXI6czNjcmV0OkB4");
    sNtripAddress address;
    ASSERT_TRUE(ParseNtripPortName("NTRIP:a:b@h:2101/M", address));
    EXPECT_EQ(NtripRequest(address),
              "GET /M HTTP/1.1\r\nHost: h:2101\r\nNtrip-Version: Ntrip/2.0\r\nUser-Agent: NTRIP TolvarTestSuite/1.0\r\n"
              "Authorization: Basic YTpi\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(ParseNtripPortName("NTRIP:h/M", address));
    EXPECT_EQ(NtripRequest(address).find("Authorization"), std::string::npos);
}

// 52.5 degrees N is 52 degrees 30 minutes, 13.25 degrees W is 13 degrees 15
// minutes; the sentence always claims a fix of quality 1 from 8 satellites.
// The checksums were worked apart from the code: the exclusive or of every
// character between "$" and "*".
TEST(GgaSentenceText, HemispheresRoundingAndChecksum)
{
    EXPECT_EQ(GgaSentence({52.5, -13.25, 40.0}, 12 * 3600 + 34 * 60 + 56),
              "$GPGGA,123456.00,5230.00000,N,01315.00000,W,1,08,1.0,40.000,M,0.0,M,,*76\r\n");
    // Minutes that round up to 60 carry into the degrees.
    EXPECT_EQ(GgaSentence({-0.9999999999, 0.0, -5.5}, 86400),
              "$GPGGA,000000.00,0100.00000,S,00000.00000,E,1,08,1.0,-5.500,M,0.0,M,,*64\r\n");
}

TEST(GgaSentenceText, PositionTextIsCheckedBeforeUse)
{
    sGgaPosition position;
    ASSERT_TRUE(ParseGgaPosition("52.5,-13.25,40", position));
    EXPECT_DOUBLE_EQ(position.latitude, 52.5);
    EXPECT_DOUBLE_EQ(position.longitude, -13.25);
    EXPECT_DOUBLE_EQ(position.height, 40);
    for (const char* bad : {"", "52.5,13", "91,0,0", "0,181,0", "a,b,c", "1,2,3,4", "nan,0,0", "1,,3"})
        EXPECT_FALSE(ParseGgaPosition(bad, position)) << bad;
}

}  // namespace
}  // namespace TolvarRT
