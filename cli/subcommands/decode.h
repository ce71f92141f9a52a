// tolvar decode: capture files decoded as the Listener's decoders would.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

struct sDecodeArguments {
    std::vector<std::string> files;
    std::size_t chunkSize = 1024;
    bool ats = false;
    bool json = false;
    bool frames = false;
};

CLI::App* AddDecodeCommand(CLI::App& app, sDecodeArguments& arguments);
int Decode(const sDecodeArguments& arguments);

}  // namespace cli
