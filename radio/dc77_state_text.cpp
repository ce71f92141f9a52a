// The radio's state list as text: each item's size follows from its id, and
// events and parameters are named from the radio's own tables; an id the
// tables do not know is shown by number, so that newer radios still read.
#include <cstdio>

#include "core/string_format.h"
#include "radio/dc77_codes.h"

namespace TolvarRT {

using namespace dc77;

namespace {

// The size of a state item, fixed by its id.
unsigned StateItemSize(std::uint16_t id)
{
    if (id < 0x2000 || id >= 0x8000)
        return 2;
    return id < 0x4000 ? 4 : 6;
}

// Calls item(id, bytes) for each whole item in order; true when the items
// end exactly at length.
template <class Item>
bool WalkStateItems(const std::uint8_t* items, unsigned length, Item&& item)
{
    if (length > sRadioStateRecord::kMaxItems)
        return false;
    unsigned offset = 0;
    while (offset < length) {
        if (length - offset < 2)
            return false;
        const std::uint16_t id = Read16(items + offset);
        const unsigned size = StateItemSize(id);
        if (length - offset < size)
            return false;
        item(id, items + offset);
        offset += size;
    }
    return true;
}

struct sItemName {
    std::uint16_t id;
    const char* name;
};

constexpr sItemName kEventNames[] = {
    {1, "Low Voltage"},
    {2, "Very Low Voltage"},
    {3, "Very Low Voltage Shutdown"},
    {4, "Battery Charging"},
    {16, "High Temperature"},
    {18, "Low Temperature Shutdown"},
    {19, "Low Temperature Shutdown"},
    {20, "No CMRs at Base"},
    {21, "Not Synchronized"},
    {22, "No Easy IP Address"},
};

constexpr sItemName kParameterNames[] = {
    {0x2001, "Signal Strength"},
    {0x2002, "Noise Strength"},
    {0x2003, "Network Number"},
    {0x2004, "Wireless Mode"},
    {0x2006, "Current Cell"},
    {0x2010, "Throughput % last minute"},
    {0x2011, "Throughput % last 5 minutes"},
    {0x2012, "Throughput % last 30 minutes"},
    {0x2013, "Current Power State"},
    {0x2014, "Current Charger State"},
    {0x2015, "Estimate Charge Level"},
    {0x2016, "Current Temperature State"},
    {0x2017, "Current Temperature"},
    {0x3001, "Base Rover Repeater Mode"},
    {0x4001, "Channel"},
    {0x4002, "Channel Spacing"},
    {0x4003, "Subscription State"},
    {0x5001, "Primary IP Address"},
    {0x5002, "Alternative IP Address "},
    {0x5003, "Alternative IP Address "},
    {0x5004, "Alternative IP Address "},
};

// The item's name, or null when the table does not know its id.
template <std::size_t N>
const char* NameOf(const sItemName (&table)[N], std::uint16_t id)
{
    for (const sItemName& entry : table) {
        if (entry.id == id)
            return entry.name;
    }
    return nullptr;
}

}  // namespace

bool CDC77Handler::IsValidStateList(const std::uint8_t* items, unsigned length)
{
    return WalkStateItems(items, length, [](std::uint16_t, const std::uint8_t*) {});
}

std::string CDC77Handler::FormatRadioState(const sRadioStateRecord& record)
{
    if (record.valid == 0 || record.length > sRadioStateRecord::kMaxItems)
        return "ERROR";
    std::string events;
    std::string parameters;
    WalkStateItems(record.items, record.length, [&](std::uint16_t id, const std::uint8_t* item) {
        if (id >= 0x8000)
            return;
        char unknown[16];
        std::snprintf(unknown, sizeof unknown, "Unknown %x", id);
        if (id < 0x2000) {
            const char* name = NameOf(kEventNames, id);
            events += StringPrintf("EVENT: %s\n", name != nullptr ? name : unknown);
            return;
        }
        const char* name = NameOf(kParameterNames, id);
        if (name == nullptr)
            name = unknown;
        if (id < 0x3000) {
            const int value = std::int16_t(Read16(item + 2));
            // A negative value shows all 32 bits in hexadecimal.
            parameters += StringPrintf("%s = %d (0x%04x)\n", name, value, unsigned(value));
        } else if (id < 0x4000) {
            const unsigned value = Read16(item + 2);
            parameters += StringPrintf("%s = %u (0x%04x)\n", name, value, value);
        } else {
            const unsigned value = Read32(item + 2);
            parameters += StringPrintf("%s = %u (0x%08x)\n", name, value, value);
        }
    });
    return events + parameters;
}

}  // namespace TolvarRT
