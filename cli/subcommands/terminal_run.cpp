// A link test run from the terminal: its arguments judged before anything
// is opened, the table redrawn there, Ctrl+C ending it.
#include "cli/subcommands/terminal_run.h"

#include <unistd.h>

#include "ports/port_factory.h"
#include "web/status_server.h"

namespace cli {

void OnTerminal(sTestLoop& loop, CInterruptWait& interrupts, bool json)
{
    loop.progress = !json && isatty(STDOUT_FILENO);
    loop.onServing = [](const std::string& url) { std::cerr << "tolvar: status page at " << url << "\n"; };
    loop.onWarning = [](const std::string& warning) { std::cerr << "tolvar: " << warning << "\n"; };
    loop.onNote = loop.onWarning;
    loop.onInterrupt = [&interrupts](std::function<void()> cancel) { interrupts.SetCancel(std::move(cancel)); };
    loop.wait = [&interrupts](std::chrono::steady_clock::time_point until) { return interrupts.WaitUntil(until); };
}

bool CheckTestArguments(const sTestLoop& loop, const std::vector<std::pair<const char*, std::string>>& ports)
{
    std::string error;
    std::string host;
    int port = 0;
    if (!loop.serve.empty() && !web::ParseServeAddress(loop.serve, host, port, error)) {
        std::cerr << "tolvar: " << error << "\n";
        return false;
    }
    for (const auto& [option, name] : ports) {
        if (!TolvarRT::CheckPortName(name, error)) {
            std::cerr << "tolvar: " << option << " " << error << "\n";
            return false;
        }
    }
    return true;
}

}  // namespace cli
