// Loading a library at run time: dlopen on POSIX, LoadLibrary on Windows.
#pragma once

namespace TolvarRT {

// Null when the library is absent or cannot be loaded.
void* OpenSharedLibrary(const char* path);
// Null when the library has no such entry point.
void* FindLibrarySymbol(void* library, const char* name);
void CloseSharedLibrary(void* library);

}  // namespace TolvarRT
