// Ctrl+C, Ctrl+Break and the console window closing reach the process through
// the console's control handler, which Windows calls on a thread of its own.
#include <windows.h>

#include <atomic>

#include "cli/interrupt_wait.h"

namespace cli {
namespace {

// The one waiter the handler serves: a program has one console.
std::atomic<CInterruptWait*> active{nullptr};

BOOL WINAPI OnControl(DWORD kind)
{
    CInterruptWait* wait = active.load();
    if (wait == nullptr || (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT))
        return FALSE;
    wait->Interrupt();
    return TRUE;
}

}  // namespace

CInterruptWait::CInterruptWait()
{
    active.store(this);
    SetConsoleCtrlHandler(&OnControl, TRUE);
}

CInterruptWait::~CInterruptWait()
{
    SetConsoleCtrlHandler(&OnControl, FALSE);
    active.store(nullptr);
    std::lock_guard<std::mutex> guard(lock);
    closing = true;
}

void CInterruptWait::Watch() {}

}  // namespace cli
