// Tables of names a port must refuse, each with the reason it must give.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "ports/serial_port_interface.h"

namespace TolvarRT {
namespace testing {

struct sOpenFailure {
    std::string name;
    const char* reason;
};

inline void ExpectOpenFailures(CSerialPortInterface& port, std::initializer_list<sOpenFailure> rows)
{
    for (const sOpenFailure& row : rows) {
        EXPECT_FALSE(port.Open(row.name.c_str())) << row.name;
        EXPECT_FALSE(port.IsOpen()) << row.name;
        EXPECT_EQ(port.FailureReason(), row.reason) << row.name;
    }
}

}  // namespace testing
}  // namespace TolvarRT
