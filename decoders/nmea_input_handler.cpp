// NMEA 0183 decoder: sentence cutting, checksum, classification and the
// GGA/GGK position parsers. Every read is bounded by the field it belongs to.
#include "decoders/nmea_input_handler.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <mutex>
#include <string_view>

#include "core/ascii_case.h"
#include "core/hex_digit.h"

namespace TolvarRT {
namespace {

// The bytes that end, restart or mark a sentence; all others are stored as
// they come.
constexpr auto kDecisive = [] {
    std::array<bool, 256> decisive{};
    decisive['$'] = decisive['\r'] = decisive['\n'] = decisive['*'] = true;
    return decisive;
}();

// The comma-separated fields of a sentence's data, which ends at the "*" of
// its checksum or at the end of the text. Field 0 is the one after the
// sentence name's `skip` pieces; a field the sentence lacks is empty.
class CSentenceFields {
public:
    CSentenceFields(std::string_view text, unsigned namePieces) : skip(namePieces)
    {
        text = text.substr(0, text.find('*'));
        std::size_t start = 0;
        while (found < kMaxPieces) {
            const std::size_t comma = text.find(',', start);
            if (comma == std::string_view::npos) {
                pieces[found++] = text.substr(start);
                break;
            }
            pieces[found++] = text.substr(start, comma - start);
            start = comma + 1;
        }
    }

    std::string_view operator[](unsigned index) const
    {
        index += skip;
        return index < found ? pieces[index] : std::string_view();
    }

private:
    // The name pieces and fields 0..11 of GGA (0..10 of GGK); the parsers
    // read none beyond.
    static constexpr unsigned kMaxPieces = 13;
    std::string_view pieces[kMaxPieces];
    unsigned found = 0;
    unsigned skip;
};

// Takes up to maxDigits decimal digits off the front of field: the fixed
// width numbers of NMEA times and dates ("hhmm", "mmddyy"). False when field
// does not start with a digit.
bool TakeDigits(std::string_view& field, unsigned maxDigits, unsigned& value)
{
    unsigned taken = 0;
    value = 0;
    while (taken < maxDigits && taken < field.size() && field[taken] >= '0' && field[taken] <= '9')
        value = value * 10 + unsigned(field[taken++] - '0');
    field.remove_prefix(taken);
    return taken > 0;
}

// A decimal number ("-30.455", "09.50", ".5") at the start of field; what
// follows it is ignored. False when field does not start with one.
bool ReadNumber(std::string_view field, double& value)
{
    std::size_t start = 0;
    if (!field.empty() && field[0] == '+')
        start = 1;
    const std::size_t first = start + (start < field.size() && field[start] == '-' ? 1 : 0);
    // Digits or a point only: no "inf" or "nan" from a noisy line.
    if (first >= field.size() || !((field[first] >= '0' && field[first] <= '9') || field[first] == '.'))
        return false;
    double parsed = 0;
    const auto result =
        std::from_chars(field.data() + start, field.data() + field.size(), parsed, std::chars_format::fixed);
    if (result.ec != std::errc())
        return false;
    value = parsed;
    return true;
}

// "hhmmss.ss": hour, minute, and the seconds with their fraction.
void ReadTime(std::string_view field, sNMEAPosition& position)
{
    unsigned hour;
    unsigned minute;
    if (!TakeDigits(field, 2, hour))
        return;
    position.hour = std::uint8_t(hour);
    if (!TakeDigits(field, 2, minute))
        return;
    position.minute = std::uint8_t(minute);
    double seconds;
    if (ReadNumber(field, seconds) && seconds >= 0 && seconds < 100)
        position.seconds = float(seconds);
}

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3): degrees and minutes.
// The minutes start after the degree digits however many of them were read.
bool ReadAngle(std::string_view field, unsigned degreeDigits, double& angle)
{
    std::string_view rest = field;
    unsigned degrees;
    if (!TakeDigits(rest, degreeDigits, degrees))
        return false;
    double minutes = 0;
    if (field.size() > degreeDigits)
        ReadNumber(field.substr(degreeDigits), minutes);
    angle = degrees + minutes / 60.0;
    return true;
}

bool FirstLetterIs(std::string_view field, char upperCaseLetter)
{
    return !field.empty() && AsciiUpper(field[0]) == upperCaseLetter;
}

// Latitude, its N/S, longitude and its E/W from four consecutive fields.
void ReadLatLon(const CSentenceFields& fields, unsigned first, sNMEAPosition& position)
{
    if (ReadAngle(fields[first], 2, position.latitude) && FirstLetterIs(fields[first + 1], 'S'))
        position.latitude = -position.latitude;
    if (ReadAngle(fields[first + 2], 3, position.longitude) && FirstLetterIs(fields[first + 3], 'W'))
        position.longitude = -position.longitude;
}

// The fix quality: at most this many digits, so that it never overflows.
bool ReadQuality(std::string_view field, unsigned& quality)
{
    return TakeDigits(field, 9, quality);
}

int GGATypeOfQuality(unsigned quality)
{
    switch (quality) {
    case 0: return kNMEAGGANoPos;
    case 1: return kNMEAGGAAuto;
    case 2: return kNMEAGGADGPS;
    case 4: return kNMEAGGAFix;
    case 5: return kNMEAGGAFloat;
    default: return kNMEAGGAOther;  // 3, and 6 and above
    }
}

int GGKTypeOfQuality(unsigned quality)
{
    return (quality >= 1 && quality <= 4) ? int(quality) : kNMEAGGKNoPos;
}

// Talker "GP" (GPS) or "GN" (combined constellations) and the sentence kind.
bool IsGPSSentence(std::string_view text, std::string_view kind)
{
    return (StartsWithIgnoringCase(text, "GP") || StartsWithIgnoringCase(text, "GN")) &&
           StartsWithIgnoringCase(text.substr(2), kind);
}

// Parsers never look past the buffer a sentence can fill.
std::string_view BoundedText(const char* text)
{
    return std::string_view(text, strnlen(text, CNMEAInputHandler::kMaxSentenceLength));
}

}  // namespace

CNMEAInputHandler::CNMEAInputHandler(CLogPipe* logPipe) : log(logPipe) {}

CNMEAInputHandler::~CNMEAInputHandler()
{
    Unsubscribe();
}

void CNMEAInputHandler::SetName(const std::string& newName)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    name = newName;
}

int CNMEAInputHandler::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                               const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    std::uint32_t unclaimed = 0;  // start of this chunk's run of bytes seen while searching
    std::uint32_t i = 0;
    while (i < length) {
        if (searching) {
            // The "$" usually follows the line end at once; look for it in
            // bulk only across a run of noise.
            std::uint32_t at = i;
            if (data[at] != '$' && ++at < length && data[at] != '$') {
                const void* dollar = std::memchr(data + at, '$', length - at);
                at = dollar != nullptr ? std::uint32_t(static_cast<const std::uint8_t*>(dollar) - data) : length;
            }
            if (at == length)
                break;
            i = at;
            if (i != unclaimed)
                MarkLostBytes(firstIndex + unclaimed, i - unclaimed);
            OpenSentence(firstIndex + i++);
            continue;
        }
        // Plain characters up to the next byte that needs a decision, or up
        // to the room left in the buffer.
        const std::uint32_t stop = i + std::min(length - i, kMaxSentenceLength - count);
        std::uint8_t sum = runningXor;
        std::uint32_t stored = count;
        while (i < stop && !kDecisive[data[i]]) {
            sum ^= data[i];
            sentence[stored++] = char(data[i++]);
        }
        runningXor = sum;
        count = stored;
        if (i == length)
            break;
        const std::uint8_t byte = data[i];
        if (byte == '$') {
            // The line end of the open sentence was lost on the way: drop the
            // stump rather than the intact sentence that starts here.
            MarkLostBytes(sentenceStart, count + 1);
            OpenSentence(firstIndex + i++);
            continue;
        }
        if (count >= kMaxSentenceLength || byte == '\r' || byte == '\n') {
            // The ending byte is not stored; it counts as used.
            searching = true;
            publishedSpan = {sentenceStart, firstIndex + i + 1 - sentenceStart};
            EndSentence(timeStamp);
            unclaimed = ++i;
            continue;
        }
        if (starAt == kNoStar) {  // the first "*"
            starAt = count;
            xorAtStar = runningXor;
        }
        runningXor ^= byte;
        sentence[count++] = char(byte);
        ++i;
    }
    if (searching && length != unclaimed)
        MarkLostBytes(firstIndex + unclaimed, length - unclaimed);
    return 0;
}

void CNMEAInputHandler::OpenSentence(std::uint32_t dollarIndex)
{
    searching = false;
    count = 0;
    sentenceStart = dollarIndex;
    runningXor = 0;
    xorAtStar = 0;
    starAt = kNoStar;
}

void CNMEAInputHandler::EndSentence(const TimeStamp& timeStamp)
{
    sentence[count] = '\0';
    // The text ends at the first NUL; "*hh" must lie within it.
    const std::size_t textLength = strnlen(sentence, count);
    if (starAt == kNoStar || std::size_t(starAt) + 2 >= textLength)
        return;
    const int high = HexDigitValue(sentence[starAt + 1]);
    const int low = HexDigitValue(sentence[starAt + 2]);
    if (high < 0 || low < 0 || ((high << 4) | low) != xorAtStar)
        return;
    OnSentence(sentence, timeStamp);
}

void CNMEAInputHandler::OnSentence(const char* text, const TimeStamp& timeStamp)
{
    const std::string_view sentenceText = BoundedText(text);
    if (StartsWithIgnoringCase(sentenceText, "PVND,GGK"))
        OnGGK(text, timeStamp);
    else if (IsGPSSentence(sentenceText, "GGA"))
        OnGGA(text, timeStamp);
    else if (IsGPSSentence(sentenceText, "ZDA"))
        PublishSentence(kNMEAZDA, nullptr, text, timeStamp);
    else if (IsGPSSentence(sentenceText, "GST"))
        PublishSentence(kNMEAGST, nullptr, text, timeStamp);
    else if (IsGPSSentence(sentenceText, "GSV"))
        PublishSentence(kNMEAGSV, nullptr, text, timeStamp);
}

void CNMEAInputHandler::OnGGA(const char* text, const TimeStamp& timeStamp)
{
    const CSentenceFields fields(BoundedText(text), 1);
    sNMEAPosition position{};
    position.type = kNMEAGGANoPos;
    ReadTime(fields[0], position);
    ReadLatLon(fields, 1, position);
    unsigned quality;
    if (ReadQuality(fields[5], quality)) {
        position.type = GGATypeOfQuality(quality);
        position.valid = 1;
    }
    ReadNumber(fields[8], position.height);
    PublishSentence(unsigned(position.type), &position, text, timeStamp);
}

void CNMEAInputHandler::OnGGK(const char* text, const TimeStamp& timeStamp)
{
    const CSentenceFields fields(BoundedText(text), 2);
    sNMEAPosition position{};
    position.type = kNMEAGGKNoPos;
    ReadTime(fields[0], position);
    std::string_view date = fields[1];
    unsigned month;
    unsigned day;
    unsigned year;
    if (TakeDigits(date, 2, month)) {
        position.month = std::uint8_t(month);
        if (TakeDigits(date, 2, day)) {
            position.day = std::uint8_t(day);
            if (TakeDigits(date, 2, year))
                position.year = std::uint16_t(year + 2000);
        }
    }
    ReadLatLon(fields, 2, position);
    unsigned quality;
    if (ReadQuality(fields[6], quality)) {
        position.type = GGKTypeOfQuality(quality);
        position.valid = 1;
    }
    // "EHT1600.000": the value follows three letters.
    const std::string_view height = fields[9];
    if (height.size() > 3)
        ReadNumber(height.substr(3), position.height);
    PublishSentence(unsigned(position.type), &position, text, timeStamp);
}

void CNMEAInputHandler::PublishSentence(unsigned type, const sNMEAPosition* position, const char* text,
                                        const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (log.Wants(kLogBasic))
        log.LogBasic("%s Receive NMEA Frame %8s, Type %d, Time %0.3f", name.c_str(), text, int(type),
                     SecondsSinceStart(timeStamp));
    Publish([&](IIncommingNMEAPipe& subscriber) { subscriber.OnNMEASentence(type, position, text, timeStamp); });
}

}  // namespace TolvarRT
