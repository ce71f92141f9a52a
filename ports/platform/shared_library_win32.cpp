#include <windows.h>

#include "ports/platform/shared_library.h"

namespace TolvarRT {

void* OpenSharedLibrary(const char* path)
{
    // A missing library is an ordinary answer here: no "cannot find" box.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path);
    SetErrorMode(previous);
    return reinterpret_cast<void*>(library);
}

void* FindLibrarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(void* library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace TolvarRT
