// Any label and any bytes must dump within the fixed buffers, as one text that
// opens with a line break and the label and closes its bracket.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log_pipe.h"

namespace {

class CheckedSink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    void Write(const char* text, unsigned level) override
    {
        ++texts;
        const std::size_t length = std::strlen(text);
        // The text and its terminating NUL fit the dump buffer; the header
        // (line break, label, " [") is cut at its own limit.
        if (level != kLogAll || length + 1 > CLogPipe::kDumpSize || std::strncmp(text, "\r\n", 2) != 0 ||
            std::strncmp(text + 2, label.c_str(),
                         std::min(label.size(), std::size_t(CLogPipe::kDumpHeaderLimit - 2))) != 0)
            std::abort();
        // Whole or cut short with "... ]", the bracket is closed.
        if (text[length - 1] != ']')
            std::abort();
    }
    unsigned GetLogLevel() override { return kLogAll; }
    std::string label;
    unsigned texts = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CLogPipe pipe;
    static CheckedSink sink;
    static const bool subscribed = sink.Subscribe(&pipe);
    (void)subscribed;
    pipe.RaiseSinkLevel();
    const std::size_t labelLength = size > 0 ? data[0] * 4u : 0;
    sink.label.assign(reinterpret_cast<const char*>(data), std::min(size, labelLength));
    // The label ends at its first NUL, as the dump reads it.
    sink.label.resize(std::strlen(sink.label.c_str()));
    const unsigned length = unsigned(size);
    sink.texts = 0;
    pipe.HexDump(sink.label.c_str(), data, length);
    pipe.MixedDump(sink.label.c_str(), data, length);
    if (sink.texts != 2)
        std::abort();
    return 0;
}
