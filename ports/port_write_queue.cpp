#include "ports/port_write_queue.h"

#include <algorithm>

namespace TolvarRT {

std::size_t CPortWriteQueue::LimitForLine(const PortSettings& line)
{
    const unsigned stopBits = line.stopBits == 0 ? 1 : 2;
    const unsigned bitsPerByte = 1 + std::max<unsigned>(line.byteSize, 5) + (line.parity != 0 ? 1 : 0) + stopBits;
    const std::size_t bytesPerSecond = line.baudRate / bitsPerByte;
    return std::max(kMinimumLimit, bytesPerSecond * kLineSeconds);
}

bool CPortWriteQueue::Push(OwnedPortBuffer buffer, bool first, bool headBusy)
{
    if (!buffer)
        return false;
    const std::size_t size = buffer->size();
    // The head being written is the device's already: only what waits
    // behind it counts, so one large write does not shut out the rest.
    const std::size_t waiting = queuedBytes - (headBusy && !buffers.empty() ? buffers.front()->size() : 0);
    if (waiting != 0 && waiting + size > limit) {
        if (episodeBuffers == 0) {
            log.LogBasic("%s: %zu bytes wait to be written, more are dropped until they are out", name.c_str(),
                         waiting);
        }
        ++droppedBuffers;
        ++episodeBuffers;
        episodeBytes += size;
        return false;
    }
    auto position = buffers.end();
    if (first) {
        position = buffers.begin();
        if (headBusy && position != buffers.end())
            ++position;
    }
    buffers.insert(position, std::move(buffer));
    queuedBytes += size;
    return true;
}

void CPortWriteQueue::PopHead()
{
    if (buffers.empty())
        return;
    queuedBytes -= buffers.front()->size();
    buffers.pop_front();
    if (buffers.empty())
        EndEpisode();
}

void CPortWriteQueue::Clear()
{
    buffers.clear();
    queuedBytes = 0;
    EndEpisode();
}

void CPortWriteQueue::EndEpisode()
{
    if (episodeBuffers == 0)
        return;
    log.LogBasic("%s: %llu writes (%llu bytes) were dropped while the write queue was full", name.c_str(),
                 static_cast<unsigned long long>(episodeBuffers), static_cast<unsigned long long>(episodeBytes));
    episodeBuffers = 0;
    episodeBytes = 0;
}

}  // namespace TolvarRT
