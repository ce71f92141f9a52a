#include "app/window_placement.h"

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kKey = "WindowPlacement";

void Put(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t Get(const std::vector<std::uint8_t>& bytes, std::size_t field)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[field * 4 + std::size_t(i)];
    return value;
}

}  // namespace

std::vector<std::uint8_t> EncodeWindowPlacement(const sWindowPlacement& p)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(sWindowPlacement::kBytes);
    for (std::uint32_t value :
         {std::uint32_t(sWindowPlacement::kBytes), p.flags, p.showState, std::uint32_t(p.minX), std::uint32_t(p.minY),
          std::uint32_t(p.maxX), std::uint32_t(p.maxY), std::uint32_t(p.left), std::uint32_t(p.top),
          std::uint32_t(p.right), std::uint32_t(p.bottom)})
        Put(bytes, value);
    return bytes;
}

std::optional<sWindowPlacement> DecodeWindowPlacement(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() != sWindowPlacement::kBytes)
        return std::nullopt;
    sWindowPlacement p;
    p.flags = Get(bytes, 1);
    p.showState = Get(bytes, 2);
    p.minX = std::int32_t(Get(bytes, 3));
    p.minY = std::int32_t(Get(bytes, 4));
    p.maxX = std::int32_t(Get(bytes, 5));
    p.maxY = std::int32_t(Get(bytes, 6));
    p.left = std::int32_t(Get(bytes, 7));
    p.top = std::int32_t(Get(bytes, 8));
    p.right = std::int32_t(Get(bytes, 9));
    p.bottom = std::int32_t(Get(bytes, 10));
    return p;
}

std::optional<sWindowPlacement> ReadWindowPlacement(const ISettingsStore& settings)
{
    const auto bytes = settings.ReadBytes(kSection, kKey);
    if (!bytes)
        return std::nullopt;
    auto placement = DecodeWindowPlacement(*bytes);
    if (placement) {
        placement->flags = 0;
        placement->showState = sWindowPlacement::kShowNormal;
    }
    return placement;
}

bool WriteWindowPlacement(ISettingsStore& settings, const sWindowPlacement& placement)
{
    return settings.WriteBytes(kSection, kKey, EncodeWindowPlacement(placement));
}
