// The captures' manifest as data: per file, the frames its decoding must give.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace TolvarRT::testing {

struct sManifestEntry {
    std::string file;
    std::map<std::string, std::uint64_t> frames;  // statistics name -> count
};

inline void PrintTo(const sManifestEntry& entry, std::ostream* out)
{
    *out << entry.file;
}

// Every capture of tests/data/captures/MANIFEST.md, in its order.
std::vector<sManifestEntry> CaptureManifest();
std::string CapturePath(const std::string& fileName);

}  // namespace TolvarRT::testing
