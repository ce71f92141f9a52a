#include "capture_manifest.h"

#include <fstream>
#include <regex>
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
    static const std::regex counts(R"(^- (\d+) frames: (.*)$)");
    static const std::regex pair(R"( *([^,=]+?) = (\d+))");
    std::vector<sManifestEntry> entries;
    std::string line;
    while (std::getline(manifest, line)) {
        std::smatch match;
        if (line.rfind("## ", 0) == 0) {
            entries.push_back({line.substr(3), {}});
        } else if (!entries.empty() && std::regex_match(line, match, counts)) {
            const std::string list = match[2];
            std::uint64_t total = 0;
            for (std::sregex_iterator each(list.begin(), list.end(), pair), end; each != end; ++each) {
                const std::uint64_t count = std::stoull((*each)[2]);
                entries.back().frames[(*each)[1].str()] = count;
                total += count;
            }
            if (total != std::stoull(match[1]))
                throw std::runtime_error("the manifest's counts of " + entries.back().file + " do not add up");
        }
    }
    return entries;
}

}  // namespace TolvarRT::testing
