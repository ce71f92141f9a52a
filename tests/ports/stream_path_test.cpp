// Stream paths of other GNSS tools and the port names they stand for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/port_factory.h"
#include "ports/stream_path.h"

namespace TolvarRT {
namespace {

struct sPathCase {
    const char* path;
    const char* portName;
};

TEST(StreamPath, AliasesBecomePortNames)
{
    const std::vector<sPathCase> cases = {
        {"tcpcli://10.0.0.5:5017", "TCP:10.0.0.5:5017"},
        {"TCPCLI://host", "TCP:host"},
        {"udpcli://10.0.0.5:5018", "UDPCLI:10.0.0.5:5018"},
        {"tcpsvr://:5019", "TCPSVR::5019"},
        {"tcpsvr://0.0.0.0:5019", "TCPSVR:0.0.0.0:5019"},
        {"ntrip://u:p@caster:2101/MOUNT", "NTRIP:u:p@caster:2101/MOUNT"},
        {"ntrip://caster/MOUNT", "NTRIP:caster/MOUNT"},
        {"file:///tmp/capture.bin", "FILE:/tmp/capture.bin"},
        {"serial://ttyUSB0", "ttyUSB0"},
        {"serial:///dev/ttyS1:9600", "/dev/ttyS1"},
    };
    for (const sPathCase& c : cases) {
        sStreamPath path;
        std::string failure;
        ASSERT_TRUE(IsStreamPath(c.path)) << c.path;
        ASSERT_TRUE(ParseStreamPath(c.path, path, failure)) << c.path << ": " << failure;
        EXPECT_EQ(path.portName, c.portName);
    }
}

TEST(StreamPath, SerialPathCarriesItsLineSettings)
{
    sStreamPath path;
    std::string failure;
    ASSERT_TRUE(ParseStreamPath("serial://ttyUSB0:115200:7:e:2", path, failure)) << failure;
    EXPECT_TRUE(path.hasBaudRate);
    EXPECT_EQ(path.baudRate, 115200u);
    EXPECT_TRUE(path.hasFraming);
    EXPECT_EQ(path.byteSize, 7);
    EXPECT_EQ(path.parity, 2);
    EXPECT_EQ(path.stopBits, 2);

    ASSERT_TRUE(ParseStreamPath("serial://ttyUSB0:4800", path, failure));
    EXPECT_TRUE(path.hasBaudRate);
    EXPECT_FALSE(path.hasFraming);
    ASSERT_TRUE(ParseStreamPath("serial://ttyUSB0", path, failure));
    EXPECT_FALSE(path.hasBaudRate);
}

TEST(StreamPath, MalformedPathsAreClearErrors)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"serial://", "expected serial://device"},
        {"serial://tty:fast", "baud rate \"fast\""},
        {"serial://tty:9600:9", "data bits must be 5 to 8"},
        {"serial://tty:9600:8:X", "parity must be N, O or E"},
        {"serial://tty:9600:8:N:3", "stop bits must be 1 or 2"},
        {"serial://tty:9600:8:N:1:x", "expected serial://device"},
        {"tcpcli://", "nothing after"},
        {"tcpcli://host:99999", "the port is not a number"},
        {"udpcli://:5000", "not a host:port address"},
        {"udp://10.0.0.5:5018", "write udpsvr://[addr]:port to receive a plain UDP stream"},
        {"tcpsvr://host:50x", "expected tcpsvr://[addr]:port"},
        {"ntrip://u:secret@:2101/M", "caster address"},
        {"http://host", "unknown stream type \"http\""},
    };
    for (const auto& [text, reason] : cases) {
        sStreamPath path;
        std::string failure;
        EXPECT_FALSE(ParseStreamPath(text, path, failure)) << text;
        EXPECT_NE(failure.find(reason), std::string::npos) << text << " -> " << failure;
        EXPECT_EQ(failure.find("secret"), std::string::npos) << failure;
    }
}

TEST(StreamPath, PlainPortNamesAreNotPaths)
{
    for (const char* name : {"/dev/ttyUSB0", "COM3", "TCP:host:5000", "NTRIP:u:p@h/M", "://x", "1a://x"})
        EXPECT_FALSE(IsStreamPath(name)) << name;
}

TEST(StreamPath, ShownNamesHideThePassword)
{
    EXPECT_EQ(ShownPortName("ntrip://u:secret@h:2101/M"), "ntrip://u:****@h:2101/M");
    EXPECT_EQ(ShownPortName("NTRIP:u:secret@h/M"), "NTRIP:u:****@h/M");
    EXPECT_EQ(ShownPortName("tcpcli://h:1"), "tcpcli://h:1");
}

// What the command line judges before it opens anything: every malformed
// name is refused with the reason, every well-formed one left to Open.
TEST(PortNameCheck, MalformedNamesAreRefusedBeforeAnythingOpens)
{
    for (const char* good :
         {"/dev/ttyUSB0", "COM3", "TCP:127.0.0.1:5017", "udp:h:1", "TCPSVR:127.0.0.1:6200", "TCPSVR::6200",
          "NTRIP:u:p@caster/M", "FILE:x.raw", "tcpsvr://0.0.0.0:6200", "serial://ttyS0:115200:8:N:1"}) {
        std::string failure;
        EXPECT_TRUE(CheckPortName(good, failure)) << good << ": " << failure;
    }
    const std::vector<std::pair<const char*, const char*>> bad = {
        {"TCP:127.0.0.1:99999", "TCP:127.0.0.1:99999: the port is not a number"},
        {"UDP:", "UDP:: not a host:port address"},
        {"TCPSVR:127.0.0.1:x", "TCPSVR:127.0.0.1:x: the port is not a number"},
        {"NTRIP:u:secret@:2101/M", "NTRIP:u:****@:2101/M: "},
        {"foo://bar", "foo://bar: unknown stream type \"foo\""},
        {"serial://ttyS0:115200:9:N:1", "serial://ttyS0:115200:9:N:1: data bits must be 5 to 8"},
    };
    for (const auto& [name, reason] : bad) {
        std::string failure;
        EXPECT_FALSE(CheckPortName(name, failure)) << name;
        EXPECT_EQ(failure.rfind(reason, 0), 0u) << name << " -> " << failure;
    }
}

}  // namespace
}  // namespace TolvarRT
