// The frames the captures' manifest lists for one capture, by statistics name.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "capture_manifest.h"

namespace TolvarRT::testing {

inline std::map<std::string, std::uint64_t> ManifestFrames(const std::string& file)
{
    for (const sManifestEntry& entry : CaptureManifest())
        if (entry.file == file)
            return entry.frames;
    ADD_FAILURE() << file << " is not in the manifest";
    return {};
}

}  // namespace TolvarRT::testing
