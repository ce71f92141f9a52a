// Reading the identity text a device sends about itself.
#include <gtest/gtest.h>

#include <string>

#include "decoders/dc_identity.h"

namespace TolvarRT {
namespace {

sDeviceIdentity Parse(const std::string& text)
{
    return ParseIdentityText(text.data(), text.size());
}

TEST(DeviceIdentityTest, LongKeysGiveEveryField)
{
    const auto id = Parse("PRODUCT,Rover450,B2;PORT,BTSW1,2,3,8,1,E,0;VERSION,3.14,A,B,C;X");
    EXPECT_EQ(id.productName, "Rover450");
    EXPECT_EQ(id.productField, "Rover450,B2");
    EXPECT_TRUE(id.hasBT);
    EXPECT_TRUE(id.hasSW);
    EXPECT_EQ(id.portIndex, 1u);
    EXPECT_EQ(id.secondNumber, "2");
    EXPECT_EQ(id.thirdNumber, "3");
    EXPECT_EQ(id.dataStopCode, 6);
    EXPECT_EQ(id.parity, 2);
    EXPECT_EQ(id.version, "3.14");
    EXPECT_EQ(id.versionField2, "A");
    EXPECT_EQ(id.versionField3, "B");
    EXPECT_EQ(id.versionTail, "C");
    EXPECT_FALSE(id.flowFlag);
}

TEST(DeviceIdentityTest, ShortKeysAndOtherLineSettings)
{
    const auto id = Parse("PFBase;PT3,0,9,7,2,o,1;VR1.0,2,3,tail");
    EXPECT_EQ(id.productName, "Base");
    EXPECT_EQ(id.productField, "Base");
    EXPECT_FALSE(id.hasBT);
    EXPECT_EQ(id.portIndex, 3u);
    EXPECT_EQ(id.dataStopCode, 5);  // 7 data bits, 2 stop bits
    EXPECT_EQ(id.parity, 1);
    EXPECT_TRUE(id.flowFlag);
    EXPECT_EQ(id.versionTail, "tail");
}

TEST(DeviceIdentityTest, MissingKeysLeaveFieldsEmptyOrZero)
{
    const auto id = Parse("garbage without keys");
    EXPECT_EQ(id.text, "garbage without keys");
    EXPECT_TRUE(id.productName.empty());
    EXPECT_EQ(id.portIndex, 0u);
    EXPECT_EQ(id.dataStopCode, 6);
    EXPECT_EQ(id.parity, 0);
    EXPECT_FALSE(id.flowFlag);
    EXPECT_TRUE(id.version.empty());

    // A product without ";" has an empty field; a comma at position 0 keeps
    // the whole field as the name.
    EXPECT_TRUE(Parse("PRODUCT,NoEnd").productField.empty());
    EXPECT_EQ(Parse("PRODUCT,,x;").productName, ",x");
    // Unusable data/stop bits keep the default code.
    EXPECT_EQ(Parse("PF a;PT1,2,3,9,1,N,0").dataStopCode, 6);
    EXPECT_EQ(Parse("PF a;PT1,2,3,5,1,N,0").dataStopCode, 0);
}

TEST(DeviceIdentityTest, TextWithEmbeddedZeroesIsReadWhole)
{
    const std::string text("PFA\0B;PT1", 9);
    const auto id = Parse(text);
    EXPECT_EQ(id.text.size(), 9u);
    EXPECT_EQ(id.productField, std::string("A\0B", 3));
}

}  // namespace
}  // namespace TolvarRT
