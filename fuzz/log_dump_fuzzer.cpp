// Any label and any bytes must dump within the fixed buffers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/log_pipe.h"

namespace {

class NullSink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    void Write(const char*, unsigned) override {}
    unsigned GetLogLevel() override { return kLogAll; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CLogPipe pipe;
    static NullSink sink;
    static const bool subscribed = sink.Subscribe(&pipe);
    (void)subscribed;
    pipe.RaiseSinkLevel();
    const std::size_t labelLength = size > 0 ? data[0] * 4u : 0;
    const std::string label(reinterpret_cast<const char*>(data), std::min(size, labelLength));
    const unsigned length = unsigned(size);
    pipe.HexDump(label.c_str(), data, length);
    pipe.MixedDump(label.c_str(), data, length);
    return 0;
}
