// The constant tables that tell the controller chips apart: chip-ID
// classification, register profiles per architecture, ROM-code addresses and
// the ROM-code table whose row index is a device's `chipIndex`.
#pragma once

#include <array>
#include <cstdint>

#include "chip/register_profile.h"

namespace quillon {

struct ChipIdClass {
    uint8_t chipId;
    int8_t chipClass;
    int8_t asicArchType;
};

// Known chip IDs; a chip ID not listed is not served.
extern const std::array<ChipIdClass, 21> ChipIdTable;
// Finds a chip ID's row; null when unknown.
[[nodiscard]] const ChipIdClass* ClassifyChipId(uint8_t chipId);

// One register profile per architecture (index = asicArchType).
inline constexpr int kArchTypes = 2;
extern const std::array<RegisterProfile, kArchTypes> RegisterProfiles;

// ROM addresses searched for a ROM code, in search order.
extern const std::array<uint16_t, 6> RomCodeAddresses;

// One row of the ROM-code table. The row has a fixed layout; the bytes named
// `unused*` are part of it but nothing reads them.
struct ChipRomEntry {
    uint16_t romAddress;  // where this code is stored in the chip's ROM
    char romCode[5];      // five characters, no terminator
    uint8_t codeVersion;
    uint8_t unused1[2];
    uint16_t flashTypeRegister;  // where the running firmware keeps the flash type
    uint8_t unused2[8];
    uint8_t orLater;  // 1: any version from codeVersion up matches; 0: codeVersion only
    uint8_t unused3;
    uint8_t hasFlashCmdRegs;  // the flash command registers 0x5F3-0x5FB are set up
    uint8_t unused4;
    uint8_t hasMemoryType;  // the chip answers the memory-type control
    uint8_t unused5[3];
};

inline constexpr int kChipRomRows = 38;
// Row index = `chipIndex`; other code refers to rows by number, so the order is fixed.
extern const std::array<ChipRomEntry, kChipRomRows> ChipRomTable;

// Whether the first four characters of an 8-byte ROM-code buffer are those of `code`.
[[nodiscard]] bool RomCodeIs(const uint8_t* romCode, const char* code);

// DeviceInfo size by chip class (0x8000 << class), 0 for anything else.
[[nodiscard]] uint32_t ClassSize(int32_t chipClass);

}  // namespace quillon
