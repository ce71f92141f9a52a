// A stand-in for the vendor CAN-USB library, built as the plain library, as the
// FX library (FAKE_CAN_FX) and as a plain library lacking "SetFilters"
// (FAKE_CAN_WITHOUT_SET_FILTERS). The FakeCan* exports let a test choose
// what it reports and see how it was called.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <type_traits>

#include "ports/serial/can_interfaces.h"

namespace {

struct sFakeInterface {
    std::uint8_t major;
    std::uint8_t minor;
    std::uint32_t capabilities;
    std::uint8_t controllerCount;
    std::uint8_t controllers[2];
    const char* description;
};

#ifdef FAKE_CAN_FX
constexpr sFakeInterface kInterfaces[5] = {
    {4, 0, 0x1, 1, {1, 0}, "FX interface 0"}, {2, 17, 0xFFFFFFFD, 2, {1, 64}, "FX dual channel"},
    {4, 2, 0x0, 1, {2, 0}, "FX interface 2"}, {3, 0, 0x2, 1, {99, 0}, "FX single channel"},
    {4, 4, 0x0, 1, {3, 0}, "FX interface 4"},
};
constexpr std::uint32_t kDefaultPresent = 0x0A;  // numbers 1 and 3
#else
constexpr sFakeInterface kInterfaces[5] = {
    {1, 5, 0x7, 2, {40, 0}, "Plain interface A"},
    {1, 1, 0x0, 1, {1, 0}, "Plain interface 1"},
    {10, 255, 0x0, 0, {0, 0}, ""},
    {1, 3, 0x0, 1, {1, 0}, "Plain interface 3"},
    {1, 4, 0x0, 1, {1, 0}, "Plain interface 4"},
};
constexpr std::uint32_t kDefaultPresent = 0x05;  // numbers 0 and 2
#endif

std::atomic<std::uint32_t> present{kDefaultPresent};
std::atomic<bool> unruly{false};
std::atomic<std::uint32_t> delayMicroseconds{0};
std::atomic<std::uint32_t> calls{0};
std::atomic<std::uint32_t> overlaps{0};
std::atomic<std::uint32_t> badArguments{0};
std::atomic<bool> inside{false};

// Claims more controllers than there is room for and leaves the description
// without a terminator.
void FillUnruly(std::uint8_t version[2], std::uint8_t* controllerTypes, std::uint8_t* controllerCount,
                char* description, std::uint32_t descriptionSize)
{
    version[0] = 255;
    version[1] = 255;
    const std::uint8_t room = *controllerCount;
    std::memset(controllerTypes, 21, room);
    if (room > 0)
        controllerTypes[room - 1] = 63;
    *controllerCount = 255;
    std::memset(description, 'x', descriptionSize);
}

std::uint16_t Answer(std::uint8_t number, std::uint8_t subNumber, std::uint8_t version[2], std::uint32_t* capabilities,
                     std::uint8_t* controllerTypes, std::uint8_t* controllerCount, char* description,
                     std::uint32_t descriptionSize)
{
    if (!version || !capabilities || !controllerTypes || !controllerCount || !description || descriptionSize == 0 ||
        subNumber != 0) {
        badArguments.fetch_add(1);
        return 0;
    }
    if (number >= 5 || !((present.load() >> number) & 1u))
        return 0;
    const sFakeInterface& fake = kInterfaces[number];
    *capabilities = fake.capabilities;
    if (unruly.load()) {
        FillUnruly(version, controllerTypes, controllerCount, description, descriptionSize);
        return 1;
    }
    version[0] = fake.major;
    version[1] = fake.minor;
    const std::uint8_t written = fake.controllerCount < *controllerCount ? fake.controllerCount : *controllerCount;
    std::memcpy(controllerTypes, fake.controllers, written);
    *controllerCount = written;
    std::strncpy(description, fake.description, descriptionSize - 1);
    description[descriptionSize - 1] = '\0';
    return 1;
}

}  // namespace

extern "C" {

std::uint16_t GetInfo(std::uint8_t number, std::uint8_t subNumber, std::uint8_t version[2], std::uint32_t* capabilities,
                      std::uint8_t* controllerTypes, std::uint8_t* controllerCount, char* description,
                      std::uint32_t descriptionSize)
{
    calls.fetch_add(1);
    if (inside.exchange(true))
        overlaps.fetch_add(1);
    if (const std::uint32_t delay = delayMicroseconds.load())
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
    const std::uint16_t result = Answer(number, subNumber, version, capabilities, controllerTypes, controllerCount,
                                        description, descriptionSize);
    inside.store(false);
    return result;
}

// Present only so that the library counts as complete.
std::uint16_t SetCANBaud()
{
    return 0;
}
#ifdef FAKE_CAN_FX
std::uint16_t ResetInterface()
{
    return 0;
}
#else
std::uint16_t Reset()
{
    return 0;
}
#endif
std::uint16_t RecCANMess()
{
    return 0;
}
std::uint16_t GetCANMess()
{
    return 0;
}
std::uint16_t GetNumCANMess()
{
    return 0;
}
std::uint16_t ClearCANMess()
{
    return 0;
}
std::uint16_t SendCANMess()
{
    return 0;
}
#ifndef FAKE_CAN_WITHOUT_SET_FILTERS
std::uint16_t SetFilters()
{
    return 0;
}
#endif

void FakeCanReset()
{
    present.store(kDefaultPresent);
    unruly.store(false);
    delayMicroseconds.store(0);
    calls.store(0);
    overlaps.store(0);
    badArguments.store(0);
}

// Bit n set: interface number n exists.
void FakeCanSetPresent(std::uint32_t mask)
{
    present.store(mask);
}
void FakeCanSetUnruly(int on)
{
    unruly.store(on != 0);
}
void FakeCanSetDelay(std::uint32_t microseconds)
{
    delayMicroseconds.store(microseconds);
}
std::uint32_t FakeCanCalls()
{
    return calls.load();
}
std::uint32_t FakeCanOverlaps()
{
    return overlaps.load();
}
std::uint32_t FakeCanBadArguments()
{
    return badArguments.load();
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&GetInfo), TolvarRT::CanGetInfoFunction>,
              "the fake must match the contract the program relies on");
