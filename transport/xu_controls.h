// The camera's vendor extension unit: its property set and its controls.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace quillon {

inline constexpr platform::GUID XU_PROPSET{
    0x28F03370, 0x6311, 0x4A2E, {0xBA, 0x2C, 0x68, 0x90, 0xEB, 0x33, 0x40, 0x16}};

enum XuControl : uint32_t {
    XU_CTRL_REGISTER = 1,
    XU_CTRL_MEMORY = 3,
    XU_CTRL_ROM = 4,
    XU_CTRL_MEMORY_TYPE = 5,
    XU_CTRL_BLOCK = 6,
};

// Fixed data length of each control.
inline constexpr uint32_t kRegisterDataLength = 4;
inline constexpr uint32_t kMemoryDataLength = 11;
inline constexpr uint32_t kRomDataLength = 12;
inline constexpr uint32_t kMemoryTypeDataLength = 12;
inline constexpr uint32_t kBlockDataLength = 64;

inline constexpr uint32_t kFlagsGet = 0x10000001;         // GET | TOPOLOGY
inline constexpr uint32_t kFlagsSet = 0x10000002;         // SET | TOPOLOGY
inline constexpr uint32_t kFlagsSetSupport = 0x10000100;  // SETSUPPORT | TOPOLOGY

// Memory command byte: direction in bit 7, bank (64 KiB) in bits 4-5, count in 0-3.
inline uint8_t MemoryBank(int32_t address) {
    if (address < 0x10000) return 0;
    if (address < 0x20000) return 1;
    if (address < 0x30000) return 2;
    return 3;
}
inline uint8_t MemoryCommand(bool read, int32_t address, uint8_t count) {
    const uint8_t n = count > 8 ? 8 : count;
    return static_cast<uint8_t>((read ? 0x80 : 0x00) | (MemoryBank(address) << 4) | n);
}

}  // namespace quillon
