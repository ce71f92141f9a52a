// tolvar ports: the serial devices present.
#include "cli/subcommands/ports.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/ports_command.h"

namespace cli {

CLI::App* AddPortsCommand(CLI::App& app)
{
    return app.add_subcommand("ports", "List the serial devices present");
}

int Ports()
{
    for (const sSerialDevice& device : DescribeSerialDevices()) {
        std::cout << device.path;
        if (!device.driver.empty())
            std::cout << "  [" << device.driver << "]";
        if (!device.description.empty())
            std::cout << "  " << device.description;
        std::cout << "\n";
    }
    return 0;
}

}  // namespace cli
