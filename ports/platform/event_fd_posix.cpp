#include "ports/platform/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace TolvarRT {

CEventFd::CEventFd() : fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CEventFd::~CEventFd()
{
    if (fd >= 0)
        close(fd);
}

void CEventFd::Signal()
{
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is saturated: it is signalled anyway.
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool CEventFd::Consume()
{
    std::uint64_t count = 0;
    ssize_t result;
    while ((result = read(fd, &count, sizeof count)) < 0 && errno == EINTR) {
    }
    return result == ssize_t(sizeof count) && count > 0;
}

}  // namespace TolvarRT
