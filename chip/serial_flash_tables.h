// The constant tables of the serial flash: which answers to the identification
// commands name which flash type and command set, the commands that the chip
// can be loaded with, the identification commands themselves, and what a flash
// type selects when the flash is erased and prepared for writing.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quillon {

// The flash type (`sfType`): 0 is unknown. Identification yields 0 to 17; a chip's
// own record of the type may hold any value up to kMaxFlashType.
inline constexpr uint8_t kFlashTypeUnknown = 0;
inline constexpr uint8_t kMaxFlashType = 19;

// Wildcard in the memory-type and capacity columns of SerialFlashTable.
inline constexpr uint8_t kAnyIdByte = 0xFF;

struct SerialFlashRow {
    uint8_t manufacturer;  // JEDEC manufacturer code as the flash reports it
    uint8_t memoryType;    // or kAnyIdByte
    uint8_t capacity;      // or kAnyIdByte
    uint8_t sfType;
    uint8_t commandSet;  // row of FlashCommandSet
};

inline constexpr int kSerialFlashRows = 23;
// Searched in row order from row 1; row 0 is what an unknown flash gets.
extern const std::array<SerialFlashRow, kSerialFlashRows> SerialFlashTable;

// The row that an identification answer (manufacturer, memory type, capacity;
// capacity 0xFF for a two-byte answer) selects: the first of rows 1 and later
// that matches, else row 0.
[[nodiscard]] const SerialFlashRow& FindSerialFlashRow(std::span<const uint8_t, 3> flashId);

struct FlashCommands {
    uint8_t writeEnable;
    uint8_t program;
};

inline constexpr int kFlashCommandSets = 5;
// Indexed by SerialFlashRow::commandSet.
extern const std::array<FlashCommands, kFlashCommandSets> FlashCommandSet;

// One identification command: the command byte, the zero bytes sent after it,
// and how many ID bytes come back (idLength 2: three bytes, otherwise two).
struct FlashIdCommand {
    uint8_t command;
    uint8_t dummyCount;
    uint8_t idLength;
};

// Tried in this order until one answer is known.
extern const std::array<FlashIdCommand, 4> FlashIdCommands;

// Standard serial-flash command bytes.
inline constexpr uint8_t kFlashWriteEnable = 0x06;
inline constexpr uint8_t kFlashReadStatus = 0x05;
inline constexpr uint8_t kFlashWriteStatus = 0x01;
inline constexpr uint8_t kFlashEnableWriteStatus = 0x50;
inline constexpr uint8_t kFlashChipErase = 0x60;
inline constexpr uint8_t kFlashChipEraseAlt = 0xC7;
inline constexpr uint8_t kFlashProgram = 0x02;
inline constexpr uint8_t kFlashProgramAutoIncrement = 0xAF;

// Flash type 3 wants 0x50 before every status-register write.
inline constexpr int32_t kFlashTypeNeedsStatusEnable = 3;

// The chip-erase command of a flash type.
[[nodiscard]] uint8_t ChipEraseCommand(int32_t sfType);
// The program command loaded into the chip when the firmware asks for no other.
[[nodiscard]] uint8_t DefaultProgramCommand(int32_t sfType);

}  // namespace quillon
