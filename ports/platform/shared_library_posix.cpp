#include <dlfcn.h>

#include "ports/platform/shared_library.h"

namespace TolvarRT {

void* OpenSharedLibrary(const char* path)
{
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(void* library, const char* name)
{
    return dlsym(library, name);
}

void CloseSharedLibrary(void* library)
{
    dlclose(library);
}

}  // namespace TolvarRT
