#include "chip/serial_flash_tables.h"

namespace quillon {

// clang-format off
const std::array<SerialFlashRow, kSerialFlashRows> SerialFlashTable = {{
    //        manufacturer memoryType capacity sfType commandSet
    /*  0 */ {0x00,        0x00,      0x00,     0,    0},
    /*  1 */ {0xC2,        0x20,      0x10,     1,    1},
    /*  2 */ {0xC2,        0x22,      0x10,     1,    1},
    /*  3 */ {0xC2,        0x20,      0x13,     1,    1},
    /*  4 */ {0x1F,        0x65,      0x01,     4,    2},
    /*  5 */ {0x9D,        0x20,      0xFF,     8,    3},
    /*  6 */ {0x9D,        0x7B,      0xFF,     8,    3},
    /*  7 */ {0x9D,        0x10,      0xFF,     8,    3},
    /*  8 */ {0xBF,        0x48,      0xFF,     3,    4},
    /*  9 */ {0x20,        0x20,      0x11,     2,    1},
    /* 10 */ {0x8C,        0x30,      0x10,    12,    1},
    /* 11 */ {0xC8,        0x40,      0x10,    13,    1},
    /* 12 */ {0xC8,        0x40,      0x13,    13,    1},
    /* 13 */ {0xEF,        0x30,      0x10,     7,    1},
    /* 14 */ {0xEF,        0x30,      0x11,     7,    1},
    /* 15 */ {0x5E,        0x60,      0x13,    14,    1},
    /* 16 */ {0x5E,        0x60,      0x12,    14,    1},
    /* 17 */ {0xC2,        0x20,      0x11,     1,    1},
    /* 18 */ {0xB3,        0x60,      0x11,    15,    1},
    /* 19 */ {0xB3,        0x60,      0x12,    15,    1},
    /* 20 */ {0xB3,        0x60,      0x13,    15,    1},
    /* 21 */ {0x68,        0x40,      0x13,    16,    1},
    /* 22 */ {0xA1,        0x28,      0x13,    17,    1},
}};

const std::array<FlashCommands, kFlashCommandSets> FlashCommandSet = {{
    //       writeEnable program
    /* 0 */ {0x04,       0x03},
    /* 1 */ {0x06,       0x02},
    /* 2 */ {0x06,       0x02},
    /* 3 */ {0x06,       0x02},
    /* 4 */ {0x06,       0xAF},
}};

const std::array<FlashIdCommand, 4> FlashIdCommands = {{
    // command dummyCount idLength
    {0x9F,     0,         2},  // manufacturer, memory type, capacity
    {0x15,     0,         1},
    {0x90,     3,         1},
    {0xAB,     3,         1},
}};
// clang-format on

namespace {

bool IdByteMatches(uint8_t column, uint8_t answer) {
    return column == kAnyIdByte || column == answer;
}

bool RowMatches(const SerialFlashRow& row, std::span<const uint8_t, 3> flashId) {
    // The manufacturer has no wildcard: a flash answering 0xFF there is no flash.
    return row.manufacturer == flashId[0] && IdByteMatches(row.memoryType, flashId[1]) &&
           IdByteMatches(row.capacity, flashId[2]);
}

}  // namespace

const SerialFlashRow& FindSerialFlashRow(std::span<const uint8_t, 3> flashId) {
    for (int row = 1; row < kSerialFlashRows; ++row) {
        if (RowMatches(SerialFlashTable[row], flashId)) return SerialFlashTable[row];
    }
    return SerialFlashTable[0];
}

uint8_t ChipEraseCommand(int32_t sfType) {
    switch (sfType) {
        case 2:
        case 7:
        case 8:
        case 10:
            return kFlashChipEraseAlt;
        default:
            return kFlashChipErase;
    }
}

uint8_t DefaultProgramCommand(int32_t sfType) {
    return sfType == kFlashTypeNeedsStatusEnable ? kFlashProgramAutoIncrement : kFlashProgram;
}

}  // namespace quillon
