// A manual-reset event, so that waking a waiter does not clear it: the
// reader thread learns which event woke it from Consume, as with an eventfd.
#include <windows.h>

#include <cstdint>

#include "ports/platform/event_fd.h"

namespace TolvarRT {
namespace {

HANDLE Handle(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

}  // namespace

CEventFd::CEventFd()
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    fd = event == nullptr ? -1 : static_cast<int>(reinterpret_cast<std::intptr_t>(event));
}

CEventFd::~CEventFd()
{
    if (fd >= 0)
        CloseHandle(Handle(fd));
}

void CEventFd::Signal()
{
    SetEvent(Handle(fd));
}

bool CEventFd::Consume()
{
    // A Signal between the test and the reset is not lost: the consumer
    // looks at what it was signalled for after this returns.
    if (WaitForSingleObject(Handle(fd), 0) != WAIT_OBJECT_0)
        return false;
    ResetEvent(Handle(fd));
    return true;
}

}  // namespace TolvarRT
