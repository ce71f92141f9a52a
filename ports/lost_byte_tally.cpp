#include "ports/lost_byte_tally.h"

#include <algorithm>
#include <cstring>

namespace TolvarRT {

void CLostByteTally::BeginChunk(std::uint32_t firstIndex, const std::uint8_t* data, std::uint32_t length,
                                unsigned reportersNow)
{
    reporters = reportersNow;
    if (recentBytes.empty())
        recentBytes.assign(kWindow, 0);
    // The running index may start anywhere and wraps; only its steps count.
    if (nextIndex == 0 && nextIndex32 == 0)
        nextIndex32 = firstIndex;
    nextIndex += std::uint32_t(firstIndex - nextIndex32) + std::uint64_t(length);
    nextIndex32 = firstIndex + length;
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t slot = std::uint32_t((nextIndex - length + done) % kWindow);
        const std::uint32_t piece = std::min(length - done, kWindow - slot);
        std::memcpy(recentBytes.data() + slot, data + done, piece);
        done += piece;
    }
    // Runs that left the window can be reported no more. They are let go
    // from the front in batches: erasing them chunk by chunk moved the whole
    // window's runs for every chunk.
    const std::uint64_t oldest = nextIndex > kWindow ? nextIndex - kWindow : 0;
    while (head < runs.size() && runs[head].end <= oldest)
        ++head;
    if (head >= 64 && head * 2 >= runs.size()) {
        runs.erase(runs.begin(), runs.begin() + std::ptrdiff_t(head));
        head = 0;
    }
}

std::vector<CLostByteTally::sRun>::iterator CLostByteTally::FirstRunEndingAfter(std::uint64_t at)
{
    // Reports come mostly at the newest end of the window, some far back (the
    // RTCM v2 decoder's, up to 64 KiB late): search from the newest run in
    // doubling steps, then halve, so a report costs the log of its distance
    // from the end.
    const auto endsBy = [](const sRun& run, std::uint64_t value) { return run.end <= value; };
    const auto front = runs.begin() + std::ptrdiff_t(head);
    auto upper = runs.end();
    std::ptrdiff_t step = 1;
    while (upper - front >= step && (upper - step)->end > at) {
        upper -= step;
        step *= 2;
    }
    const auto lower = upper - front >= step ? upper - step + 1 : front;
    return std::lower_bound(lower, upper, at, endsBy);
}

std::uint32_t CLostByteTally::LineEnds(std::uint64_t start, std::uint64_t end) const
{
    std::uint32_t found = 0;
    while (start < end) {
        const std::size_t slot = std::size_t(start % kWindow);
        const std::size_t piece = std::size_t(std::min<std::uint64_t>(end - start, kWindow - slot));
        const std::uint8_t* bytes = recentBytes.data() + slot;
        for (std::size_t i = 0; i < piece; ++i)
            found += unsigned(bytes[i] == '\r') + unsigned(bytes[i] == '\n');
        start += piece;
    }
    return found;
}

std::uint32_t CLostByteTally::MarkLost(std::uint32_t firstIndex, std::uint32_t count)
{
    if (reporters == 0 || count == 0 || recentBytes.empty())
        return 0;
    // How far back from the newest byte the report starts; a report of
    // bytes not yet delivered, or before the stream began, is clipped.
    const std::uint32_t back = nextIndex32 - firstIndex;
    if (back > 0x80000000u)
        return 0;
    const std::uint64_t oldest = nextIndex > kWindow ? nextIndex - kWindow : 0;
    const std::uint64_t reported = back > nextIndex ? 0 : nextIndex - back;
    const std::uint64_t start = std::max(reported, oldest);
    const std::uint64_t end = std::min(reported + count, nextIndex);
    if (start >= end)
        return 0;

    // The runs this report touches, and what they become.
    const auto first = FirstRunEndingAfter(start);
    auto last = first;
    while (last != runs.end() && last->start < end)
        ++last;
    pieces.clear();
    std::uint32_t rejected = 0;
    const auto add = [&](std::uint64_t from, std::uint64_t to, unsigned reports, bool reportedNow) {
        if (from >= to)
            return;
        if (reportedNow && reports == reporters)
            rejected += std::uint32_t(to - from) - LineEnds(from, to);
        pieces.push_back({from, to, reports});
    };
    std::uint64_t at = start;
    for (auto run = first; run != last; ++run) {
        add(run->start, std::min(start, run->end), run->reports, false);
        add(at, std::min(run->start, end), 1, true);
        add(std::max(run->start, start), std::min(run->end, end), std::min(run->reports + 1, 255u), true);
        add(std::max(end, run->start), run->end, run->reports, false);
        at = std::min(run->end, end);
    }
    add(at, end, 1, true);

    // Put them in place; neighbours counted alike become one run, so that a
    // long stream of reports keeps few.
    const std::size_t place = std::size_t(first - runs.begin());
    runs.insert(runs.erase(first, last), pieces.begin(), pieces.end());
    const std::size_t from = place > head ? place - 1 : head;
    const std::size_t to = std::min(runs.size(), place + pieces.size() + 1);
    std::size_t write = from;
    for (std::size_t read = from; read < to; ++read) {
        if (read > from && runs[write - 1].end == runs[read].start && runs[write - 1].reports == runs[read].reports)
            runs[write - 1].end = runs[read].end;
        else
            runs[write++] = runs[read];
    }
    runs.erase(runs.begin() + std::ptrdiff_t(write), runs.begin() + std::ptrdiff_t(to));
    return rejected;
}

}  // namespace TolvarRT
