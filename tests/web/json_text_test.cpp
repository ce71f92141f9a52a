// Texts that are not UTF-8 on their way into JSON and HTML: one rule for
// both, and nothing that throws.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "core/utf8_text.h"
#include "web/json_text.h"

namespace {

using TolvarRT::ValidUtf8;

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8TextTest, IllFormedSequencesBecomeOneReplacementEachAndWellFormedTextStays)
{
    EXPECT_EQ(ValidUtf8("caf\xE9.raw"), "caf" + kReplacement + ".raw") << "a Latin-1 file name";
    EXPECT_EQ(ValidUtf8("a\xE2\x82z"), "a" + kReplacement + "z") << "a sequence cut short is one";
    EXPECT_EQ(ValidUtf8("\xC0\xAF"), kReplacement + kReplacement) << "an overlong form is no sequence at all";
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement) << "a surrogate";
    EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"), kReplacement + kReplacement + kReplacement + kReplacement)
        << "beyond U+10FFFF";
    const std::string wellFormed =
        "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB \xE6\x97\xA5\xE5\xBF\x97 \xF0\x9F\x93\xA1";
    EXPECT_EQ(ValidUtf8(wellFormed), wellFormed);
}

// The JSON written out and the status page's HTML replace the same bytes the
// same way, whatever bytes a device sends.
TEST(Utf8TextTest, JsonAndTheStatusPageFollowOneRule)
{
    std::mt19937 random(17);
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 12, '\0');
        for (char& byte : text)
            byte = char(random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
        const std::string json = web::JsonText(nlohmann::json(text));
        const nlohmann::json parsed = nlohmann::json::parse(json);
        ASSERT_EQ(parsed.get<std::string>(), ValidUtf8(text)) << json;
    }
}

}  // namespace
