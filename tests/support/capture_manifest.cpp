#include "capture_manifest.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace TolvarRT::testing {

std::string CapturePath(const std::string& fileName)
{
    return std::string(TOLVAR_CAPTURES_DIR) + "/" + fileName;
}

std::vector<sManifestEntry> CaptureManifest()
{
    std::ifstream manifest(CapturePath("MANIFEST.md"));
    if (!manifest)
        throw std::runtime_error("cannot read the captures' manifest");
    // "## file", then "- 429 frames: Name = 186, Other name = 19".
    std::vector<sManifestEntry> entries;
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.rfind("## ", 0) == 0) {
            entries.push_back({line.substr(3), {}});
            continue;
        }
        const std::size_t colon = line.find(" frames: ");
        if (entries.empty() || line.rfind("- ", 0) != 0 || colon == std::string::npos)
            continue;
        std::uint64_t total = 0;
        std::istringstream list(line.substr(colon + 9));
        for (std::string pair; std::getline(list, pair, ',');) {
            const std::size_t equals = pair.find(" = ");
            const std::size_t first = pair.find_first_not_of(' ');
            if (equals == std::string::npos || first >= equals)
                throw std::runtime_error("the manifest's line is not understood: " + line);
            const std::uint64_t count = std::stoull(pair.substr(equals + 3));
            entries.back().frames[pair.substr(first, equals - first)] = count;
            total += count;
        }
        if (total != std::stoull(line.substr(2, colon - 2)))
            throw std::runtime_error("the manifest's counts of " + entries.back().file + " do not add up");
    }
    return entries;
}

}  // namespace TolvarRT::testing
