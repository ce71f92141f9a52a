// tolvar ports: the serial devices present.
#pragma once

namespace CLI {
class App;
}

namespace cli {

CLI::App* AddPortsCommand(CLI::App& app);
int Ports();

}  // namespace cli
