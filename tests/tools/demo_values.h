// The demo firmware's values as the build passes them (tests/package.cmake),
// and the entry name they make.
#pragma once

#include <string>

namespace quillon::testing_tools {

inline std::string DashPadded(std::string text, size_t size) {
    text.resize(size, '-');
    return text;
}

// Code version (5), CusVer (10), Customer (10), DayVer (10).
inline std::string DemoName(const std::string& dayVer = QUILLON_DEMO_DAY_VER_NEW) {
    return DashPadded(QUILLON_DEMO_CODE_VER, 5) + DashPadded(QUILLON_DEMO_CUS_VER, 10) +
           DashPadded(QUILLON_DEMO_CUSTOMER, 10) + dayVer;
}

}  // namespace quillon::testing_tools
