// The median of the last few transit times of a link: the delay a receiver
// expects when several sent frames of equal content could be the one that
// arrived.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

namespace TolvarRT {

class CTransitMedian {
public:
    void Add(double transitS)
    {
        recent[next] = transitS;
        next = (next + 1) % kKept;
        count = std::min(count + 1, kKept);
    }
    std::optional<double> Median() const
    {
        if (count == 0)
            return std::nullopt;
        std::array<double, kKept> sorted = recent;
        const auto middle = sorted.begin() + std::ptrdiff_t(count / 2);
        std::nth_element(sorted.begin(), middle, sorted.begin() + std::ptrdiff_t(count));
        return *middle;
    }
    void Clear() { count = next = 0; }

private:
    // Few enough to follow a link whose delay changes within seconds, enough
    // that one frame held up in a queue does not move the median.
    static constexpr std::size_t kKept = 5;
    std::array<double, kKept> recent{};
    std::size_t next = 0;
    std::size_t count = 0;
};

}  // namespace TolvarRT
