// Run-time loading of the vendor CAN-USB libraries and the count of the
// interfaces they report.
#include "ports/serial/can_interfaces.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "ports/platform/shared_library.h"

namespace TolvarRT {
namespace {

// Made on first use and never destroyed, so it exists before and after every
// instance, including the process-wide one destroyed at exit. (A constinit
// mutex would do on glibc, but a winpthreads mutex has no constant
// initialiser.)
std::mutex& LibraryCalls()
{
    static std::mutex* const calls = new std::mutex;
    return *calls;
}

struct sEntryPoint {
    const char* name;
    void* sCanLibrary::*slot;
};

constexpr sEntryPoint kPlainEntryPoints[] = {
    {"SetCANBaud", &sCanLibrary::setCanBaud},     {"RecCANMess", &sCanLibrary::recCanMess},
    {"GetCANMess", &sCanLibrary::getCanMess},     {"GetNumCANMess", &sCanLibrary::getNumCanMess},
    {"ClearCANMess", &sCanLibrary::clearCanMess}, {"SendCANMess", &sCanLibrary::sendCanMess},
    {"SetFilters", &sCanLibrary::setFilters},
};

void Unload(sCanLibrary& library)
{
    if (library.handle)
        CloseSharedLibrary(library.handle);
    sCanLibrary closed;
    closed.path = std::move(library.path);
    closed.fx = library.fx;
    library = std::move(closed);
}

// A library that loads but lacks an entry point is closed again at once, so a
// later attempt does not pile up references to it.
void LoadLibrary(sCanLibrary& library)
{
    library.handle = OpenSharedLibrary(library.path.c_str());
    if (!library.handle)
        return;
    bool complete = true;
    void* getInfo = FindLibrarySymbol(library.handle, "GetInfo");
    library.getInfo = reinterpret_cast<CanGetInfoFunction>(getInfo);
    complete = complete && getInfo;
    library.reset = FindLibrarySymbol(library.handle, library.fx ? "ResetInterface" : "Reset");
    complete = complete && library.reset;
    for (const sEntryPoint& entry : kPlainEntryPoints) {
        library.*entry.slot = FindLibrarySymbol(library.handle, entry.name);
        complete = complete && library.*entry.slot;
    }
    if (complete)
        library.usable = true;
    else
        Unload(library);
}

// Asks one library about one interface number; fills entry when it exists.
bool QueryInterface(const sCanLibrary& library, std::uint8_t number, sCanInterface& entry)
{
    std::uint8_t version[2] = {0, 0};
    std::uint32_t capabilities = 0;
    std::uint8_t controllerTypes[kCanControllerRoom] = {};
    std::uint8_t controllerCount = kCanControllerRoom;
    char description[kCanDescriptionSize] = {};
    if (library.getInfo(number, 0, version, &capabilities, controllerTypes, &controllerCount, description,
                        kCanDescriptionSize) == 0)
        return false;

    char versionText[8];
    std::snprintf(versionText, sizeof versionText, "%d.%d", version[0], version[1]);
    entry.number = number;
    entry.subNumber = 0;
    entry.version = versionText;
    entry.library = &library;
    for (unsigned bit = 0; bit < entry.capabilityBits.size(); ++bit)
        entry.capabilityBits[bit] = (capabilities >> bit) & 1u;
    if (controllerCount > kCanControllerRoom)
        controllerCount = kCanControllerRoom;
    // An interface that names no controller has no known one.
    entry.controllerName = controllerCount > 0 ? CanControllerName(controllerTypes[controllerCount - 1]) : "Dunno";
    entry.description.assign(description, strnlen(description, kCanDescriptionSize));
    return true;
}

}  // namespace

const char* CanControllerName(std::uint8_t code) noexcept
{
    switch (code) {
    case 0: return "82C200";
    case 1: return "SJA1000";
    case 2: return "80C591";
    case 3: return "80C592";
    case 16: return "MCP2510";
    case 20: return "C505C";
    case 21: return "MCP2515";
    case 22: return "C161";
    case 23: return "C164";
    case 24: return "C167";
    case 25: return "81C90";
    case 26: return "81C91";
    case 40: return "AN82527";
    case 41: return "AN87C196CA";
    case 42: return "AN87C196CB";
    case 60: return "68HC05";
    case 61: return "68HC08";
    case 62: return "68HC912";
    case 63: return "68376";
    case 64: return "MPC555";
    default: return "Dunno";
    }
}

CCanLibraries::CCanLibraries(std::string plainPath, std::string fxPath)
{
    libraries[0].path = std::move(plainPath);
    libraries[1].path = std::move(fxPath);
    libraries[1].fx = true;
}

CCanLibraries::~CCanLibraries()
{
    std::lock_guard<std::mutex> guard(LibraryCalls());
    for (sCanLibrary& library : libraries)
        Unload(library);
    loaded = false;
}

bool CCanLibraries::Load()
{
    std::lock_guard<std::mutex> guard(LibraryCalls());
    return LoadLocked();
}

bool CCanLibraries::LoadLocked()
{
    if (loaded)
        return true;
    for (sCanLibrary& library : libraries) {
        LoadLibrary(library);
        loaded = loaded || library.usable;
    }
    return loaded;
}

std::uint16_t CCanLibraries::CountInterfaces()
{
    std::lock_guard<std::mutex> guard(LibraryCalls());
    if (!LoadLocked())
        return 0;
    if (count == 0)
        Enumerate();
    return count;
}

// The FX library is asked first, numbers 0 to 4, then the plain one.
void CCanLibraries::Enumerate()
{
    for (const sCanLibrary* library : {&libraries[1], &libraries[0]}) {
        if (!library->usable)
            continue;
        for (std::uint8_t number = 0; number < kNumbersPerLibrary && count < kMaxInterfaces; ++number) {
            if (QueryInterface(*library, number, table[count]))
                ++count;
        }
    }
}

std::optional<sCanInterface> CCanLibraries::Interface(unsigned index) const
{
    std::lock_guard<std::mutex> guard(LibraryCalls());
    if (index >= count)
        return std::nullopt;
    return table[index];
}

bool CCanLibraries::IsUsable(bool fx) const
{
    std::lock_guard<std::mutex> guard(LibraryCalls());
    return libraries[fx ? 1 : 0].usable;
}

namespace {

CCanLibraries& ProcessLibraries()
{
    static CCanLibraries instance;
    return instance;
}

}  // namespace

bool LoadCanLibraries()
{
    return ProcessLibraries().Load();
}

std::uint16_t CountCanInterfaces()
{
    return ProcessLibraries().CountInterfaces();
}

std::optional<sCanInterface> GetCanInterface(unsigned index)
{
    return ProcessLibraries().Interface(index);
}

}  // namespace TolvarRT
