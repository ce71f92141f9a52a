// Where an outside program the tests run as a peer (RTKLIB's str2str and
// convbin, gpsd's tools) is on the PATH.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace TolvarRT::testing {

// The program's path; empty when it is not installed.
inline std::string ProgramPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
    return {};
}

}  // namespace TolvarRT::testing
