// Loading of the CAN-USB libraries and enumeration of their interfaces,
// against fake libraries built beside this test.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ports/serial/can_interfaces.h"

namespace TolvarRT {
namespace {

const char* const kPlain = FAKE_CAN_PLAIN_PATH;
const char* const kFx = FAKE_CAN_FX_PATH;
const char* const kIncomplete = FAKE_CAN_INCOMPLETE_PATH;
const char* const kMissing = "/nonexistent/libZCAN4USB.so";

// The test's own reference to a fake library: it keeps the fake loaded (and
// its counters alive) while instances load and free it, and reaches the
// FakeCan* controls.
class FakeLibrary {
public:
    explicit FakeLibrary(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (!handle)
            return;
        reset = Find<void (*)()>("FakeCanReset");
        setPresent = Find<void (*)(std::uint32_t)>("FakeCanSetPresent");
        setUnruly = Find<void (*)(int)>("FakeCanSetUnruly");
        setDelay = Find<void (*)(std::uint32_t)>("FakeCanSetDelay");
        calls = Find<std::uint32_t (*)()>("FakeCanCalls");
        overlaps = Find<std::uint32_t (*)()>("FakeCanOverlaps");
        badArguments = Find<std::uint32_t (*)()>("FakeCanBadArguments");
    }
    ~FakeLibrary()
    {
        if (handle)
            dlclose(handle);
    }
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    bool Ready() const
    {
        return handle && reset && setPresent && setUnruly && setDelay && calls && overlaps && badArguments;
    }

    void (*reset)() = nullptr;
    void (*setPresent)(std::uint32_t) = nullptr;
    void (*setUnruly)(int) = nullptr;
    void (*setDelay)(std::uint32_t) = nullptr;
    std::uint32_t (*calls)() = nullptr;
    std::uint32_t (*overlaps)() = nullptr;
    std::uint32_t (*badArguments)() = nullptr;

private:
    template <typename Function>
    Function Find(const char* name)
    {
        return reinterpret_cast<Function>(dlsym(handle, name));
    }

    void* handle;
};

class CanInterfacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (FakeLibrary* fake : {&plain, &fx, &incomplete}) {
            ASSERT_TRUE(fake->Ready()) << dlerror();
            fake->reset();
        }
    }
    void TearDown() override
    {
        for (FakeLibrary* fake : {&plain, &fx, &incomplete})
            EXPECT_EQ(fake->badArguments(), 0u);
    }

    FakeLibrary plain{kPlain};
    FakeLibrary fx{kFx};
    FakeLibrary incomplete{kIncomplete};
};

struct ExpectedInterface {
    std::uint8_t number;
    bool fx;
    const char* version;
    std::array<bool, 3> capabilityBits;
    const char* controllerName;
    const char* description;
};

void ExpectTable(const CCanLibraries& libraries, const std::vector<ExpectedInterface>& expected)
{
    for (unsigned index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE("interface " + std::to_string(index));
        const std::optional<sCanInterface> entry = libraries.Interface(index);
        ASSERT_TRUE(entry);
        const ExpectedInterface& want = expected[index];
        EXPECT_EQ(entry->number, want.number);
        EXPECT_EQ(entry->subNumber, 0);
        ASSERT_NE(entry->library, nullptr);
        EXPECT_EQ(entry->library->fx, want.fx);
        EXPECT_EQ(entry->version, want.version);
        EXPECT_EQ(entry->capabilityBits, want.capabilityBits);
        EXPECT_STREQ(entry->controllerName, want.controllerName);
        EXPECT_EQ(entry->description, want.description);
    }
    EXPECT_FALSE(libraries.Interface(unsigned(expected.size())));
}

TEST_F(CanInterfacesTest, TheFxLibraryIsAskedFirst)
{
    CCanLibraries libraries(kPlain, kFx);
    ASSERT_TRUE(libraries.Load());
    EXPECT_TRUE(libraries.IsUsable(false));
    EXPECT_TRUE(libraries.IsUsable(true));
    EXPECT_EQ(libraries.CountInterfaces(), 4);
    ExpectTable(libraries, {
                               {1, true, "2.17", {true, false, true}, "MPC555", "FX dual channel"},
                               {3, true, "3.0", {false, true, false}, "Dunno", "FX single channel"},
                               {0, false, "1.5", {true, true, true}, "82C200", "Plain interface A"},
                               {2, false, "10.255", {false, false, false}, "Dunno", ""},
                           });
    // The plain library is not asked past the fourth interface.
    EXPECT_EQ(fx.calls(), 5u);
    EXPECT_EQ(plain.calls(), 3u);
}

TEST_F(CanInterfacesTest, FourInterfacesAreTheMost)
{
    fx.setPresent(0x1F);
    plain.setPresent(0x1F);
    CCanLibraries libraries(kPlain, kFx);
    EXPECT_EQ(libraries.CountInterfaces(), 4);
    for (unsigned index = 0; index < 4; ++index) {
        ASSERT_TRUE(libraries.Interface(index));
        EXPECT_EQ(libraries.Interface(index)->number, index);
        EXPECT_TRUE(libraries.Interface(index)->library->fx);
    }
    EXPECT_EQ(fx.calls(), 4u);
    EXPECT_EQ(plain.calls(), 0u);
}

TEST_F(CanInterfacesTest, EitherLibraryAloneIsEnough)
{
    CCanLibraries plainOnly(kPlain, kMissing);
    EXPECT_TRUE(plainOnly.Load());
    EXPECT_FALSE(plainOnly.IsUsable(true));
    EXPECT_EQ(plainOnly.CountInterfaces(), 2);
    ExpectTable(plainOnly, {
                               {0, false, "1.5", {true, true, true}, "82C200", "Plain interface A"},
                               {2, false, "10.255", {false, false, false}, "Dunno", ""},
                           });

    CCanLibraries fxOnly(kMissing, kFx);
    EXPECT_EQ(fxOnly.CountInterfaces(), 2);
    EXPECT_TRUE(fxOnly.Interface(1)->library->fx);
}

TEST_F(CanInterfacesTest, UnusableLibrariesGiveNoInterfacesAndAreNeverCalled)
{
    // Lacking an entry point, swapped (each is recognised by its own reset
    // entry point), and not installed.
    const std::pair<const char*, const char*> cases[] = {
        {kIncomplete, kMissing}, {kFx, kPlain}, {kMissing, "libZCAN4USBFX-not-installed.so"}};
    for (const auto& [plainPath, fxPath] : cases) {
        SCOPED_TRACE(std::string(plainPath) + " / " + fxPath);
        CCanLibraries libraries(plainPath, fxPath);
        EXPECT_FALSE(libraries.Load());
        EXPECT_FALSE(libraries.IsUsable(false));
        EXPECT_EQ(libraries.CountInterfaces(), 0);
        EXPECT_EQ(libraries.CountInterfaces(), 0);
        EXPECT_FALSE(libraries.Interface(0));
    }
    EXPECT_EQ(plain.calls() + fx.calls() + incomplete.calls(), 0u);

    CCanLibraries withFx(kIncomplete, kFx);
    EXPECT_EQ(withFx.CountInterfaces(), 2);
    EXPECT_EQ(incomplete.calls(), 0u);
}

TEST_F(CanInterfacesTest, InterfacesAreEnumeratedOnce)
{
    CCanLibraries libraries(kPlain, kFx);
    EXPECT_EQ(libraries.CountInterfaces(), 4);
    const std::uint32_t callsAfterFirst = fx.calls() + plain.calls();
    fx.setPresent(0);
    plain.setPresent(0);
    EXPECT_EQ(libraries.CountInterfaces(), 4);
    EXPECT_TRUE(libraries.Load());
    EXPECT_EQ(fx.calls() + plain.calls(), callsAfterFirst);
}

// An interface plugged in after an empty count is found by the next one.
TEST_F(CanInterfacesTest, AnEmptyCountIsTakenAgain)
{
    fx.setPresent(0);
    plain.setPresent(0);
    CCanLibraries libraries(kPlain, kFx);
    EXPECT_EQ(libraries.CountInterfaces(), 0);
    EXPECT_EQ(fx.calls() + plain.calls(), 10u);
    plain.setPresent(0x10);
    EXPECT_EQ(libraries.CountInterfaces(), 1);
    EXPECT_EQ(libraries.Interface(0)->number, 4);
    EXPECT_EQ(fx.calls() + plain.calls(), 20u);
}

TEST_F(CanInterfacesTest, WhatTheLibraryReturnsIsBounded)
{
    fx.setUnruly(1);
    fx.setPresent(0x01);
    CCanLibraries libraries(kMissing, kFx);
    ASSERT_EQ(libraries.CountInterfaces(), 1);
    const std::optional<sCanInterface> entry = libraries.Interface(0);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->version, "255.255");
    // The last code that fits, not one past the room given.
    EXPECT_STREQ(entry->controllerName, "68376");
    EXPECT_EQ(entry->description, std::string(kCanDescriptionSize, 'x'));
}

TEST_F(CanInterfacesTest, CallsIntoALibraryNeverOverlap)
{
    // Nothing present, so every count asks all ten numbers again.
    fx.setPresent(0);
    plain.setPresent(0);
    fx.setDelay(200);
    plain.setDelay(200);
    constexpr unsigned kThreads = 4;
    constexpr unsigned kRounds = 5;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([] {
            CCanLibraries libraries(kPlain, kFx);
            for (unsigned round = 0; round < kRounds; ++round)
                libraries.CountInterfaces();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(fx.calls(), kThreads * kRounds * 5);
    EXPECT_EQ(plain.calls(), kThreads * kRounds * 5);
    EXPECT_EQ(fx.overlaps(), 0u);
    EXPECT_EQ(plain.overlaps(), 0u);
}

TEST(CanControllerNameTest, KnownCodesAndTheGapsBetween)
{
    const struct {
        std::uint8_t code;
        const char* name;
    } rows[] = {
        {0, "82C200"},   {1, "SJA1000"},  {3, "80C592"},      {4, "Dunno"},  {15, "Dunno"},
        {16, "MCP2510"}, {17, "Dunno"},   {20, "C505C"},      {24, "C167"},  {26, "81C91"},
        {27, "Dunno"},   {40, "AN82527"}, {42, "AN87C196CB"}, {43, "Dunno"}, {59, "Dunno"},
        {60, "68HC05"},  {62, "68HC912"}, {64, "MPC555"},     {65, "Dunno"}, {255, "Dunno"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(CanControllerName(row.code), row.name) << int(row.code);
}

// The vendor library is not installed where the tests run.
TEST(CanProcessWideTest, WithoutTheVendorLibraryThereAreNoInterfaces)
{
    if (LoadCanLibraries())
        GTEST_SKIP() << "a CAN-USB library is installed";
    EXPECT_EQ(CountCanInterfaces(), 0);
    EXPECT_FALSE(GetCanInterface(0));
}

}  // namespace
}  // namespace TolvarRT
