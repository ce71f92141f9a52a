// Which CAN-USB interfaces are plugged in, as the vendor's CAN-USB library
// reports them. The library is optional and only counted with, never used as a
// transport; without it there are no CAN interfaces.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace TolvarRT {

// The contract with the vendor library, as this program relies on it.
//
//   extern "C" uint16_t GetInfo(uint8_t number, uint8_t subNumber,
//                               uint8_t version[2], uint32_t* capabilities,
//                               uint8_t* controllerTypes, uint8_t* controllerCount,
//                               char* description, uint32_t descriptionSize);
//
// Returns more than 0 when interface `number` (sub-number 0) exists, and then
// writes version[0] = major and version[1] = minor, the capability word (bits
// 0..2 are kept), the controller type codes of the interface into
// controllerTypes (on entry *controllerCount is the room there, on return the
// number of codes written) and the description text into at most
// descriptionSize bytes of description. Nothing the library returns is
// trusted: the count is clamped to the room given and the text ends at the
// buffer's end when it has no terminator.
//
// A library must also export "SetCANBaud", the reset entry ("Reset" in the
// plain library, "ResetInterface" in the FX library), "RecCANMess",
// "GetCANMess", "GetNumCANMess", "ClearCANMess", "SendCANMess" and
// "SetFilters" to count as usable; none of those is ever called.
using CanGetInfoFunction = std::uint16_t (*)(std::uint8_t number, std::uint8_t subNumber, std::uint8_t version[2],
                                             std::uint32_t* capabilities, std::uint8_t* controllerTypes,
                                             std::uint8_t* controllerCount, char* description,
                                             std::uint32_t descriptionSize);

inline constexpr std::uint8_t kCanControllerRoom = 16;
inline constexpr std::uint32_t kCanDescriptionSize = 256;

#ifdef _WIN32
inline constexpr const char* kCanPlainLibrary = "ZCAN4USB.dll";
inline constexpr const char* kCanFxLibrary = "ZCAN4USBFX.dll";
#else
inline constexpr const char* kCanPlainLibrary = "libZCAN4USB.so";
inline constexpr const char* kCanFxLibrary = "libZCAN4USBFX.so";
#endif

// One library file and its entry points.
struct sCanLibrary {
    std::string path;
    bool fx = false;
    bool usable = false;
    void* handle = nullptr;
    CanGetInfoFunction getInfo = nullptr;
    // Looked up only to tell a complete library from a broken one.
    void* setCanBaud = nullptr;
    void* reset = nullptr;
    void* recCanMess = nullptr;
    void* getCanMess = nullptr;
    void* getNumCanMess = nullptr;
    void* clearCanMess = nullptr;
    void* sendCanMess = nullptr;
    void* setFilters = nullptr;
};

// One interface found by the enumeration.
struct sCanInterface {
    std::uint8_t number = 0;
    std::uint8_t subNumber = 0;
    std::string version;                   // "major.minor"
    const sCanLibrary* library = nullptr;  // owned by the CCanLibraries that found it
    std::array<bool, 3> capabilityBits{};  // bits 0, 1 and 2 of the capability word
    const char* controllerName = "Dunno";  // of the last controller type reported
    std::string description;
};

// Name of a CAN controller chip by its type code; "Dunno" for unknown codes.
const char* CanControllerName(std::uint8_t code) noexcept;

// The two vendor libraries and the interfaces they reported. The process uses
// one instance (LoadCanLibraries, CountCanInterfaces); tests make their own
// with other library files. The libraries are freed when the instance goes.
//
// Thread rules: every operation may be called from any thread. All of them,
// and every call into a library of any instance, are serialised by one
// process-wide mutex, so the libraries are never entered concurrently.
class CCanLibraries {
public:
    static constexpr unsigned kMaxInterfaces = 4;
    static constexpr std::uint8_t kNumbersPerLibrary = 5;

    explicit CCanLibraries(std::string plainPath = kCanPlainLibrary, std::string fxPath = kCanFxLibrary);
    ~CCanLibraries();
    CCanLibraries(const CCanLibraries&) = delete;
    CCanLibraries& operator=(const CCanLibraries&) = delete;

    // Loads what is not loaded yet; true when at least one library is usable.
    bool Load();
    // Enumerates the interfaces the first time it finds any and keeps that
    // count for good; 0 when no library is usable or none reports an interface.
    std::uint16_t CountInterfaces();

    // An entry of the last enumeration; none past its count.
    std::optional<sCanInterface> Interface(unsigned index) const;
    // The FX library when fx, else the plain one.
    bool IsUsable(bool fx) const;

private:
    bool LoadLocked();
    void Enumerate();

    std::array<sCanLibrary, 2> libraries;  // plain, FX
    bool loaded = false;
    std::array<sCanInterface, kMaxInterfaces> table;
    std::uint16_t count = 0;
};

// The process-wide enumeration behind the port settings dialog ("CAN%d" for
// 0 to count - 1).
bool LoadCanLibraries();
std::uint16_t CountCanInterfaces();
std::optional<sCanInterface> GetCanInterface(unsigned index);

}  // namespace TolvarRT
