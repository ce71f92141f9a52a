// Any byte stream, cut anywhere: every published sentence has a good
// checksum, no line end, and a position record that fits its type.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "decoders/nmea_input_handler.h"
#include "fuzz_byte_pipe.h"

namespace {

using TolvarRT::sNMEAPosition;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool StartsNoCase(std::string_view text, std::string_view upper)
{
    if (text.size() < upper.size())
        return false;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? char(text[i] - 32) : text[i];
        if (c != upper[i])
            return false;
    }
    return true;
}

bool IsSentence(std::string_view text, std::string_view kind)
{
    return (StartsNoCase(text, "GP") || StartsNoCase(text, "GN")) && StartsNoCase(text.substr(2), kind);
}

void CheckChecksum(std::string_view text)
{
    const std::size_t star = text.find('*');
    Require(star != std::string_view::npos && star + 2 < text.size());
    unsigned sum = 0;
    for (std::size_t i = 0; i < star; ++i)
        sum ^= std::uint8_t(text[i]);
    const int high = Hex(text[star + 1]);
    const int low = Hex(text[star + 2]);
    Require(high >= 0 && low >= 0 && unsigned(high * 16 + low) == sum);
}

void CheckPosition(unsigned type, const sNMEAPosition& position, bool ggk)
{
    Require(position.type == int(type));
    Require(position.valid <= 1);
    Require(position.valid == 1 || type == 0 || type == 10);
    Require(position.reserved[0] == 0 && position.reserved[1] == 0);
    Require(position.hour <= 99 && position.minute <= 99);
    Require(position.seconds >= 0 && position.seconds < 100);
    Require(std::isfinite(position.latitude) && std::isfinite(position.longitude) && std::isfinite(position.height));
    if (ggk)
        Require(position.month <= 99 && position.day <= 99 &&
                (position.year == 0 || (position.year >= 2000 && position.year <= 2099)));
    else
        Require(position.month == 0 && position.day == 0 && position.year == 0);
}

class Checker : public TolvarRT::TSubscriber<TolvarRT::IIncommingNMEAPipe> {
public:
    ~Checker() override { Unsubscribe(); }
    void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                        const TolvarRT::TimeStamp&) override
    {
        Require(text != nullptr);
        const std::string_view sentence(text, strnlen(text, TolvarRT::CNMEAInputHandler::kMaxSentenceLength + 1));
        Require(sentence.size() <= TolvarRT::CNMEAInputHandler::kMaxSentenceLength);
        Require(sentence.find_first_of("\r\n") == std::string_view::npos);
        CheckChecksum(sentence);
        Require(TolvarRT::NMEASentenceName(type) != nullptr);
        if (type <= 4) {
            Require(StartsNoCase(sentence, "PVND,GGK") && position != nullptr);
            CheckPosition(type, *position, true);
        } else if (type <= 15) {
            Require(IsSentence(sentence, "GGA") && position != nullptr);
            CheckPosition(type, *position, false);
        } else {
            Require(position == nullptr);
            Require(IsSentence(sentence, type == 31 ? "GSV" : type == 32 ? "GST" : "ZDA"));
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::FuzzRig<TolvarRT::CNMEAInputHandler, Checker> rig;
    rig.pipe.FeedInput(data, size, [] {});
    return 0;
}
