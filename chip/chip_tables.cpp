#include "chip/chip_tables.h"

#include <cstring>

namespace quillon {

// clang-format off
const std::array<ChipIdClass, 21> ChipIdTable = {{
    // chip ID  class  asicArchType
    {0x15, 1, 0}, {0x16, 1, 0}, {0x22, 1, 0}, {0x23, 1, 0}, {0x25, 1, 0}, {0x32, 1, 0},
    {0x33, 1, 0}, {0x56, 1, 0}, {0x70, 1, 0}, {0x71, 1, 0}, {0x75, 1, 0}, {0x87, 1, 0},
    {0x67, 0, 0},
    {0x76, 2, 0}, {0x83, 2, 0}, {0x92, 2, 0},
    {0x85, 3, 1},
    {0x86, 2, 1}, {0x88, 2, 1}, {0x89, 2, 1}, {0x90, 2, 1},
}};
// clang-format on

const ChipIdClass* ClassifyChipId(uint8_t chipId) {
    for (const ChipIdClass& row : ChipIdTable) {
        if (row.chipId == chipId) return &row;
    }
    return nullptr;
}

namespace {

struct ProfileSlot {
    int slot;
    uint16_t arch[kArchTypes];
};

// clang-format off
constexpr ProfileSlot kProfileSlots[kRegisterSlots] = {
    // slot            asicArchType 0  asicArchType 1
    {REG_CHIP_ID,     {0x101F,         0x80F0}},
    {REG_FINISH,      {0x1073,         0x8C00}},
    {REG_PIN_IN,      {0x1005,         0x8200}},
    {REG_PIN_OUT,     {0x1006,         0x8201}},
    {REG_PIN_OE,      {0x1007,         0x8202}},
    {REG_SF_STATUS,   {0x1084,         0x8E04}},
    {REG_SF_MODE,     {0x1080,         0x8E00}},
    {REG_SF_CS,       {0x1091,         0x8E11}},
    {REG_SF_TX,       {0x1082,         0x8E02}},
    {REG_SF_RX,       {0x1083,         0x8E03}},
    {REG_SF_CTRL,     {0x1081,         0x8E01}},
    {11,              {0x1088,         0x8E08}},
    {12,              {0x1089,         0x8E09}},
    {13,              {0x10D0,         0x8600}},
    {14,              {0x10D9,         0x8609}},
    {15,              {0x10D7,         0x8607}},
    {16,              {0x10D8,         0x8608}},
    {17,              {0x10D1,         0x8601}},
    {18,              {0x10D2,         0x8602}},
    {19,              {0x1002,         0x8045}},
};
// clang-format on

constexpr bool SlotsInOrder() {
    for (int i = 0; i < kRegisterSlots; ++i) {
        if (kProfileSlots[i].slot != i) return false;
    }
    return true;
}
static_assert(SlotsInOrder(), "one row per slot, in slot order");

constexpr RegisterProfile ProfileOf(int archType) {
    RegisterProfile profile{};
    for (int i = 0; i < kRegisterSlots; ++i) profile.reg[i] = kProfileSlots[i].arch[archType];
    return profile;
}

// Builds a row from the columns that mean something; the unused bytes stay 0.
constexpr ChipRomEntry Row(uint16_t romAddress, const char (&romCode)[6], uint8_t codeVersion,
                           uint8_t orLater, uint16_t flashTypeRegister, uint8_t hasFlashCmdRegs,
                           uint8_t hasMemoryType) {
    ChipRomEntry row{};
    row.romAddress = romAddress;
    for (int i = 0; i < 5; ++i) row.romCode[i] = romCode[i];
    row.codeVersion = codeVersion;
    row.orLater = orLater;
    row.flashTypeRegister = flashTypeRegister;
    row.hasFlashCmdRegs = hasFlashCmdRegs;
    row.hasMemoryType = hasMemoryType;
    return row;
}

}  // namespace

const std::array<RegisterProfile, kArchTypes> RegisterProfiles = {ProfileOf(0), ProfileOf(1)};

const std::array<uint16_t, 6> RomCodeAddresses = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8, 0xAFF8};

// Row 19 repeats row 18 and so is never chosen (the first matching row wins);
// it stays because rows are referred to by number.
// clang-format off
const std::array<ChipRomEntry, kChipRomRows> ChipRomTable = {{
    //   romAddress romCode codeVersion orLater flashTypeRegister hasFlashCmdRegs hasMemoryType
    /*  0 */ Row(0x9FF8, "QMBH0", 1, 1, 0x03C5, 0, 0),
    /*  1 */ Row(0x9FF8, "QMBJ0", 3, 1, 0x031D, 0, 0),
    /*  2 */ Row(0x9FF8, "QMBS0", 1, 0, 0x0530, 0, 0),
    /*  3 */ Row(0x9FF8, "QMBS0", 2, 1, 0x05F0, 0, 0),
    /*  4 */ Row(0xD2B2, "QMBK0", 1, 0, 0x0530, 0, 0),
    /*  5 */ Row(0xDFF8, "QMBK0", 2, 0, 0x05E0, 0, 0),
    /*  6 */ Row(0xDFF8, "QMBK0", 3, 1, 0x05F0, 0, 0),
    /*  7 */ Row(0xDFF8, "QMBM0", 1, 0, 0x05F0, 0, 0),
    /*  8 */ Row(0xDFF8, "QMBG0", 1, 1, 0x05F0, 1, 0),
    /*  9 */ Row(0xBFF8, "QMBF0", 1, 1, 0x05F0, 0, 0),
    /* 10 */ Row(0xBFF8, "QMBP0", 1, 0, 0x0690, 0, 0),
    /* 11 */ Row(0xBFF8, "QMBP0", 2, 1, 0x05F0, 0, 0),
    /* 12 */ Row(0xBFF8, "QMBT0", 1, 1, 0x05F0, 1, 0),
    /* 13 */ Row(0xBFF8, "QMBM0", 2, 1, 0x05F0, 1, 0),
    /* 14 */ Row(0xBFF8, "QMBW0", 1, 1, 0x05F0, 1, 0),
    /* 15 */ Row(0xBFF8, "QMCG0", 1, 1, 0x05F0, 1, 0),
    /* 16 */ Row(0xBFF8, "QMCF0", 1, 1, 0x05F0, 1, 0),
    /* 17 */ Row(0xBFF8, "QMCN0", 1, 1, 0x05F0, 1, 1),
    /* 18 */ Row(0xBFF8, "QMCS0", 1, 1, 0x05F0, 1, 1),
    /* 19 */ Row(0xBFF8, "QMCS0", 1, 1, 0x05F0, 1, 1),
    /* 20 */ Row(0xBFF8, "QMBZ0", 1, 1, 0x05F0, 1, 1),
    /* 21 */ Row(0xBFF8, "QMCB0", 1, 1, 0x05F0, 1, 1),
    /* 22 */ Row(0xBFF8, "QMCH0", 1, 1, 0x05F0, 1, 1),
    /* 23 */ Row(0xBFF8, "QMCJ0", 1, 1, 0x05F0, 1, 1),
    /* 24 */ Row(0xC7F8, "QMBN0", 1, 0, 0x05F0, 1, 0),
    /* 25 */ Row(0xC7F8, "QMBN0", 2, 1, 0x05F0, 1, 1),
    /* 26 */ Row(0xAFF8, "QMCC0", 1, 1, 0x05F0, 1, 1),
    /* 27 */ Row(0xAFF8, "QMCD0", 1, 1, 0x05F0, 1, 1),
    /* 28 */ Row(0xAFF8, "QMCF0", 1, 1, 0x05F0, 1, 1),
    /* 29 */ Row(0xAFF8, "QMCK0", 1, 0, 0x05F0, 1, 1),
    /* 30 */ Row(0x9FF8, "QMCW0", 1, 0, 0x05F0, 1, 1),
    /* 31 */ Row(0xAFF8, "QMCP0", 1, 0, 0x05F0, 1, 1),
    /* 32 */ Row(0xAFF8, "QMBX0", 1, 1, 0x05F0, 1, 1),
    /* 33 */ Row(0xAFF8, "QMCG0", 1, 1, 0x05F0, 1, 0),
    /* 34 */ Row(0xAFF8, "QMCM0", 1, 1, 0x05F0, 1, 1),
    /* 35 */ Row(0xAFF8, "QMCN0", 1, 1, 0x05F0, 1, 1),
    /* 36 */ Row(0xAFF8, "QMCT0", 1, 1, 0x05F0, 1, 1),
    /* 37 */ Row(0xAFF8, "QMCV0", 1, 1, 0x05F0, 1, 1),
}};
// clang-format on

bool RomCodeIs(const uint8_t* romCode, const char* code) {
    return std::memcmp(romCode, code, 4) == 0;
}

uint32_t ClassSize(int32_t chipClass) {
    if (chipClass < 0 || chipClass > 3) return 0;
    return 0x8000u << chipClass;
}

}  // namespace quillon
