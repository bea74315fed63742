// The register addresses through which one chip architecture's serial-flash
// engine and pins are driven.
#pragma once

#include <cstdint>

namespace quillon {

enum RegisterSlot : int {
    REG_CHIP_ID = 0,
    REG_FINISH = 1,
    REG_PIN_IN = 2,
    REG_PIN_OUT = 3,
    REG_PIN_OE = 4,
    REG_SF_STATUS = 5,
    REG_SF_MODE = 6,
    REG_SF_CS = 7,
    REG_SF_TX = 8,
    REG_SF_RX = 9,
    REG_SF_CTRL = 10,
};

inline constexpr int kRegisterSlots = 20;

struct RegisterProfile {
    uint16_t reg[kRegisterSlots];
    uint16_t operator[](int slot) const { return reg[slot]; }
};

}  // namespace quillon
