#include "core/log_pipe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/text_format.h"
#include "core/time_base.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The time prefix of the last line this thread formatted. Lines come in
// bursts (every frame of a chunk is logged within microseconds), and within
// one millisecond of the day and one printed hundredth of the seconds since
// start the prefix is the same text.
struct sPrefixCache {
    double millisecondOfDay = -1.0;
    unsigned long long hundredths = 0;
    unsigned length = 0;
    char text[48];
};

thread_local sPrefixCache prefixCache;

}  // namespace

CLogPipe::~CLogPipe()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    for (CLogNode* node = nodes; node != nullptr;) {
        CLogNode* next = node->nextNode;
        node->pipe.store(nullptr, std::memory_order_release);
        node->nextNode = nullptr;
        node = next;
    }
    nodes = nullptr;
}

int CLogPipe::FormatLine(unsigned level, const char* format, va_list arguments)
{
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    const TolvarRT::sEpoch epoch = TolvarRT::ProgramEpoch::Current();
    const double date = TolvarRT::DateAt(epoch, now);
    // Rounded to the printed millisecond first, so 59.9996 s shows as the next
    // minute rather than as "60.000".
    const double millisecondOfDay = std::round((date - std::floor(date)) * 86400.0 * 1000.0);
    const double sinceStart = TolvarRT::SecondsSince(epoch, now);

    char line[kLineSize];
    int prefix = -1;
    unsigned long long hundredths = 0;
    // Only where the printed hundredths are certain (and positive) is the
    // cached text known to be what formatting would give.
    const bool cacheable = !std::signbit(sinceStart) && TolvarRT::FixedPointUnits(sinceStart, 2, hundredths);
    sPrefixCache& cache = prefixCache;
    if (cacheable && cache.millisecondOfDay == millisecondOfDay && cache.hundredths == hundredths) {
        std::memcpy(line, cache.text, cache.length);
        prefix = int(cache.length);
    } else {
        const double secondsOfDay = millisecondOfDay / 1000.0;
        const int hours = int(secondsOfDay / 3600.0) % 24;
        const int minutes = int(secondsOfDay / 60.0) % 60;
        const double seconds = std::fmod(secondsOfDay, 60.0);
        prefix = TolvarRT::FormatText(line, sizeof line, "\r\n%2i:%02i:%06.3f [%0.2f] ", hours, minutes, seconds,
                                      sinceStart);
        if (prefix < 0 || unsigned(prefix) >= sizeof line)
            return -1;
        if (cacheable && unsigned(prefix) < sizeof cache.text) {
            std::memcpy(cache.text, line, unsigned(prefix));
            cache.length = unsigned(prefix);
            cache.millisecondOfDay = millisecondOfDay;
            cache.hundredths = hundredths;
        }
    }
    const unsigned room = sizeof line - unsigned(prefix);
    const int message = TolvarRT::FormatTextV(line + prefix, room, format, arguments);
    if (message < 0 || unsigned(message) >= room)
        return -1;
    PublishLine(level, line);
    return prefix + message;
}

void CLogPipe::PublishLine(unsigned level, const char* text)
{
    // The highest level is gathered locally and stored once, so a delivery
    // on another thread never sees a half-refreshed value of zero.
    unsigned before = maxSinkLevel.load(std::memory_order_relaxed);
    unsigned highest = kLogNone;
    Publish([&](ILogPipe& sink) {
        const unsigned sinkLevel = sink.GetLogLevel();
        if (sinkLevel >= level)
            sink.Write(text, level);
        highest = std::max(highest, sinkLevel);
    });
    maxSinkLevel.compare_exchange_strong(before, ((before & ~kLevelMask) + kStoreStep) | highest,
                                         std::memory_order_relaxed);
}

void CLogPipe::HexDump(const char* label, const void* data, unsigned length)
{
    Dump(label, static_cast<const std::uint8_t*>(data), length, false);
}

void CLogPipe::MixedDump(const char* label, const void* data, unsigned length)
{
    Dump(label, static_cast<const std::uint8_t*>(data), length, true);
}

void CLogPipe::Dump(const char* label, const std::uint8_t* data, unsigned length, bool printableAsText)
{
    if (MaxSinkLevel() < kLogAll)
        return;
    char text[kDumpSize];
    const int header = std::snprintf(text, kDumpHeaderLimit + 1, "\r\n%s [", label != nullptr ? label : "");
    unsigned used = header < 0 ? 0 : std::min(unsigned(header), kDumpHeaderLimit);
    const auto append = [&](const char* piece) {
        const std::size_t pieceLength = std::strlen(piece);
        std::memcpy(text + used, piece, pieceLength);
        used += unsigned(pieceLength);
    };

    // n counts the bytes shown in hexadecimal: only they form the groups.
    unsigned n = 0;
    for (unsigned i = 0; i < length; ++i) {
        const std::uint8_t byte = data[i];
        if (printableAsText && byte >= 0x20 && byte <= 0x7E) {
            text[used++] = char(byte);
        } else {
            text[used++] = kHexDigits[byte >> 4];
            text[used++] = kHexDigits[byte & 0x0F];
            text[used++] = ' ';
            if (n % 32 == 31)
                append("\r\n     ");
            else if (n % 8 == 7)
                append("- ");
            ++n;
        }
        if (used > kDumpTextLimit) {
            if (i + 1 < length) {
                append("... ]");
                text[used] = '\0';
                PublishLine(kLogAll, text);
                return;
            }
            break;
        }
    }
    append("]");
    text[used] = '\0';
    PublishLine(kLogAll, text);
}

void CLogPipe::RaiseSinkLevel()
{
    // Raised for nobody, LogAll would format its next text for nobody.
    StoreSinkLevel(HasSubscribers() ? kLogAll : kLogNone);
}

void CLogPipe::RefreshSinkLevel()
{
    unsigned highest = kLogNone;
    Publish([&](ILogPipe& sink) { highest = std::max(highest, sink.GetLogLevel()); });
    StoreSinkLevel(highest);
}

void CLogPipe::StoreSinkLevel(unsigned level)
{
    unsigned current = maxSinkLevel.load(std::memory_order_relaxed);
    while (!maxSinkLevel.compare_exchange_weak(current, ((current & ~kLevelMask) + kStoreStep) | level,
                                               std::memory_order_relaxed)) {
    }
}

void CLogPipe::AddNode(CLogNode* node)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    node->nextNode = nodes;
    nodes = node;
}

void CLogPipe::RemoveNode(CLogNode* node)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    for (CLogNode** link = &nodes; *link != nullptr; link = &(*link)->nextNode) {
        if (*link == node) {
            *link = node->nextNode;
            node->nextNode = nullptr;
            return;
        }
    }
}

CLogNode::CLogNode(CLogPipe* newPipe)
{
    Attach(newPipe);
}

CLogNode::~CLogNode()
{
    Detach();
}

void CLogNode::Attach(CLogPipe* newPipe)
{
    Detach();
    if (newPipe == nullptr)
        return;
    newPipe->AddNode(this);
    pipe.store(newPipe, std::memory_order_release);
}

void CLogNode::Detach()
{
    CLogPipe* current = pipe.exchange(nullptr, std::memory_order_acq_rel);
    if (current != nullptr)
        current->RemoveNode(this);
}

void CLogNode::Forward(unsigned level, const char* format, va_list arguments)
{
    if (CLogPipe* current = Pipe())
        current->FormatLine(level, format, arguments);
}

void CLogNode::LogAlways(const char* format, ...)
{
    if (!Wants(kLogNone))
        return;
    va_list arguments;
    va_start(arguments, format);
    Forward(kLogNone, format, arguments);
    va_end(arguments);
}

void CLogNode::LogBasic(const char* format, ...)
{
    if (!Wants(kLogBasic))
        return;
    va_list arguments;
    va_start(arguments, format);
    Forward(kLogBasic, format, arguments);
    va_end(arguments);
}

void CLogNode::LogMost(const char* format, ...)
{
    if (!Wants(kLogMost))
        return;
    va_list arguments;
    va_start(arguments, format);
    Forward(kLogMost, format, arguments);
    va_end(arguments);
}

void CLogNode::LogAll(const char* format, ...)
{
    if (!Wants(kLogAll))
        return;
    va_list arguments;
    va_start(arguments, format);
    Forward(kLogAll, format, arguments);
    va_end(arguments);
}

void CLogNode::HexDump(const char* label, const void* data, unsigned length)
{
    if (CLogPipe* current = Pipe())
        current->HexDump(label, data, length);
}

void CLogNode::MixedDump(const char* label, const void* data, unsigned length)
{
    if (CLogPipe* current = Pipe())
        current->MixedDump(label, data, length);
}
