// The flash operations that a burn strings together: waiting for the flash,
// preparing chip and flash for writing, erasing, switching chips to 64-byte
// transfers, programming, and the register change after a successful upgrade.
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <span>

#include "camlib/camera_device.h"
#include "chip/chip_tables.h"
#include "chip/serial_flash_tables.h"
#include "platform/clock.h"

namespace quillon {

namespace {

constexpr int kIdlePolls = 10000;
constexpr uint8_t kStatusBusy = 0x01;

constexpr uint8_t kHostAccessOn = 1;
constexpr uint8_t kHostAccessOff = 0;
constexpr uint8_t kChipSelected = 0;
constexpr uint8_t kChipReleased = 1;

// Registers from which the chip's own firmware takes its flash commands.
constexpr uint16_t kWriteEnableCommandReg = 0x05F3;
constexpr uint16_t kProgramCommandReg = 0x05F5;
constexpr uint16_t kFlashHandlingRegs[] = {0x05F8, 0x05F9, 0x05FA, 0x05FB};
constexpr uint8_t kFlashHandlingValues[] = {0x12, 0x12, 0xED, 0xED};

// Chips whose installed firmware can ask for the alternative flash commands,
// and where it keeps the request.
constexpr uint8_t kChipIdWpAt5834 = 0x16;
constexpr int32_t kWpAddress5834 = 0x5834;
constexpr uint8_t kChipIdWpAt000F = 0x33;
constexpr int32_t kWpAddress000F = 0x000F;
constexpr uint8_t kWpCommandMask = 0x0C;
constexpr uint8_t kWpAlternativeCommands = 0x08;

constexpr uint8_t kMemoryTypeNoHostFlash = 2;
constexpr int32_t kPinClassOr = 1;
constexpr uint8_t kPinBitsClassOr = 0x1F;

constexpr int kPieceSize = 8;

// Register writes that switch a chip to 64-byte block transfers, by ROM-code row.
struct RegisterWrite {
    uint16_t reg;
    uint8_t value;
};
constexpr int kRowBlockControl = 15;  // clears bit 2 of 0x100D first
constexpr uint16_t kBlockControlReg = 0x100D;
constexpr uint8_t kBlockControlClear = 0xFB;
constexpr RegisterWrite kBlockWritesRow15[] = {{0x1090, 0x01}};
constexpr RegisterWrite kBlockWritesRows18And35[] = {{0x8045, 0x04}, {0x8E10, 0x04}};
constexpr RegisterWrite kBlockWritesRows36And37[] = {{0x8045, 0x0A}, {0x8E10, 0x01}};

// Device calls return 0 for success and anything else for failure.
bool Ok(int32_t result) {
    return result == 0;
}

// One complete flash command: chip select low, the bytes, chip select high.
int32_t SendFlashCommand(CameraDevice& dev, std::initializer_list<uint8_t> bytes) {
    const uint16_t cs = dev.profile.registers[REG_SF_CS];
    if (!Ok(dev.WriteRegister(cs, kChipSelected))) return 1;
    for (uint8_t byte : bytes) {
        if (!Ok(dev.SpiSend(byte))) return 1;
    }
    return dev.WriteRegister(cs, kChipReleased) == 0 ? 0 : 1;
}

// Clears the status register (and with it the block protection). Type 3 flashes
// take the write only right after 0x50.
int32_t ClearFlashStatus(CameraDevice& dev, int32_t sfType) {
    if (sfType == kFlashTypeNeedsStatusEnable &&
        !Ok(SendFlashCommand(dev, {kFlashEnableWriteStatus}))) {
        return 1;
    }
    return SendFlashCommand(dev, {kFlashWriteStatus, 0x00});
}

// Erase steps between host access on and off.
int32_t RunChipErase(CameraDevice& dev, int32_t sfType) {
    if (sfType == kFlashTypeNeedsStatusEnable && !Ok(ClearFlashStatus(dev, sfType))) return 1;
    if (!Ok(SendFlashCommand(dev, {kFlashWriteEnable}))) return 1;
    if (!Ok(SendFlashCommand(dev, {ChipEraseCommand(sfType)}))) return 1;
    return dev.WaitFlashIdle() == 0 ? 0 : 1;
}

// Register bytes are read into a zeroed byte; the result is not needed here.
uint8_t PeekRegister(CameraDevice& dev, uint16_t reg) {
    uint8_t value = 0;
    (void)dev.ReadRegister(reg, &value);
    return value;
}

// The pin registers serve the chip's own flash handling; their results are not examined.
void SetUpFlashPins(CameraDevice& dev, int32_t chipClass) {
    const uint16_t oe = dev.profile.registers[REG_PIN_OE];
    const uint16_t out = dev.profile.registers[REG_PIN_OUT];
    for (uint16_t reg : {oe, out}) {
        if (chipClass == kPinClassOr) {
            (void)dev.WriteRegister(reg, PeekRegister(dev, reg) | kPinBitsClassOr);
        } else {
            (void)PeekRegister(dev, reg);
            (void)dev.WriteRegister(reg, 0xFF);
        }
        (void)PeekRegister(dev, reg);
    }
}

// The byte of the installed firmware that may ask for the alternative flash
// commands; 0xFF on chips that keep none, 0 when it cannot be read.
uint8_t ReadWpData(CameraDevice& dev, uint8_t chipID) {
    int32_t address;
    if (chipID == kChipIdWpAt5834) {
        address = kWpAddress5834;
    } else if (chipID == kChipIdWpAt000F) {
        address = kWpAddress000F;
    } else {
        return 0xFF;
    }
    uint8_t wpData = 0;
    (void)dev.ReadMemoryRange(address, std::span<uint8_t>(&wpData, 1));
    return wpData;
}

bool IgnoresWpData(int32_t chipIndex) {
    return chipIndex >= 28 && chipIndex <= 31;
}

const FlashCommands& CommandSetRow(uint8_t row) {
    // Only a lookup sets the row, always to one of the table's; anything else is row 0.
    return FlashCommandSet[row < FlashCommandSet.size() ? row : 0];
}

// Loads the chip with the flash commands that its own firmware programs with.
int32_t LoadFlashCommands(CameraDevice& dev, bool alternative, int32_t sfType) {
    const FlashCommands& set = CommandSetRow(dev.flashCmdSet);
    uint8_t previous = 0;
    if (!Ok(dev.ReadRegister(kWriteEnableCommandReg, &previous))) return 1;
    const uint8_t writeEnable = alternative ? set.writeEnable : kFlashWriteEnable;
    if (!Ok(dev.WriteRegister(kWriteEnableCommandReg, writeEnable))) return 1;
    for (size_t i = 0; i < std::size(kFlashHandlingRegs); ++i) {
        if (!Ok(dev.WriteRegister(kFlashHandlingRegs[i], kFlashHandlingValues[i]))) return 1;
    }
    previous = 0;
    if (!Ok(dev.ReadRegister(kProgramCommandReg, &previous))) return 1;
    const uint8_t program = alternative ? set.program : DefaultProgramCommand(sfType);
    return dev.WriteRegister(kProgramCommandReg, program) == 0 ? 0 : 1;
}

// 0 when every write succeeded; stops at the first failure.
int32_t WriteRegisters(CameraDevice& dev, std::span<const RegisterWrite> writes) {
    for (const RegisterWrite& w : writes) {
        if (!Ok(dev.WriteRegister(w.reg, w.value))) return 1;
    }
    return 0;
}

// Write enable, then a status write of 0: block protection off.
int32_t UnprotectFlash(CameraDevice& dev, int32_t sfType) {
    const uint16_t mode = dev.profile.registers[REG_SF_MODE];
    if (!Ok(dev.WriteRegister(mode, kHostAccessOn))) return 1;
    if (!Ok(SendFlashCommand(dev, {kFlashWriteEnable}))) return 1;
    if (!Ok(dev.WaitFlashIdle())) return 1;
    if (!Ok(ClearFlashStatus(dev, sfType))) return 1;
    if (!Ok(dev.WaitFlashIdle())) return 1;
    return dev.WriteRegister(mode, kHostAccessOff) == 0 ? 0 : 1;
}

}  // namespace

int32_t CameraDevice::WaitFlashIdle() {
    const uint16_t cs = profile.registers[REG_SF_CS];
    for (int poll = 0; poll < kIdlePolls; ++poll) {
        if (!Ok(WriteRegister(cs, kChipSelected))) return 1;
        if (!Ok(SpiSend(kFlashReadStatus))) return 1;
        uint8_t status = 0;
        if (!Ok(SpiReceive(&status))) return 1;
        if ((status & kStatusBusy) == 0) return WriteRegister(cs, kChipReleased) == 0 ? 0 : 1;
        platform::Sleep(1);
    }
    return 1;
}

// Reports a failed register access or an erase that did not finish in time.
// Host access is switched off whatever happened before, so the chip's own
// firmware gets its flash back.
int32_t CameraDevice::EraseFlash(int32_t sfType) {
    const uint16_t mode = profile.registers[REG_SF_MODE];
    bool ok = Ok(WriteRegister(mode, kHostAccessOn));
    ok = ok && Ok(RunChipErase(*this, sfType));
    ok = Ok(WriteRegister(mode, kHostAccessOff)) && ok;
    return ok ? 0 : 1;
}

int32_t CameraDevice::PrepareFlashWrite(int32_t sfType) {
    if (sfType == kFlashTypeUnknown) {
        lastError = ERR_NO_FLASH_TYPE;
        return 1;
    }
    uint8_t romVersion[8] = {};
    if (ReadRomVersion(romVersion) != 0) {
        lastError = ERR_ROM_ID_READ;
        return 1;
    }
    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    const int32_t chipClass = ReadChipId(&chipID, &asicArchType);
    if (chipClass == -1) {
        lastError = ERR_CHIP_IDENT;
        return 1;
    }

    SetUpFlashPins(*this, chipClass);
    const uint8_t wpData = ReadWpData(*this, chipID);
    const ChipRomEntry& rom = ChipRomTable[profile.chipIndex];
    uint8_t byMemType = 0;
    if (rom.hasMemoryType) (void)GetMemoryType(&byMemType);

    const bool alternative =
        !IgnoresWpData(profile.chipIndex) && (wpData & kWpCommandMask) == kWpAlternativeCommands;
    if (rom.hasFlashCmdRegs && !Ok(LoadFlashCommands(*this, alternative, sfType))) return 1;

    // Memory type 2: the flash is not the host's to touch; its status stays as it is.
    if (rom.hasMemoryType && byMemType == kMemoryTypeNoHostFlash) return 0;
    return UnprotectFlash(*this, sfType);
}

int32_t CameraDevice::EnableBlockTransfer() {
    uint8_t romVersion[8] = {};
    if (ReadRomVersion(romVersion) != 0) {
        lastError = ERR_ROM_ID_READ;
        return 0;
    }
    std::span<const RegisterWrite> writes;
    switch (profile.chipIndex) {
        case kRowBlockControl: {
            uint8_t value = 0;
            if (!Ok(ReadRegister(kBlockControlReg, &value))) return 0;
            if (!Ok(WriteRegister(kBlockControlReg, value & kBlockControlClear))) return 0;
            writes = kBlockWritesRow15;
            break;
        }
        case 18:
        case 35:
            writes = kBlockWritesRows18And35;
            break;
        case 36:
        case 37:
            writes = kBlockWritesRows36And37;
            break;
        default:
            break;  // the other chips need nothing
    }
    return Ok(WriteRegisters(*this, writes)) ? 1 : 0;
}

int32_t CameraDevice::ProgramFlash(int32_t address, const uint8_t* bytes, int32_t count) {
    if (count <= 0) return 0;
    const int32_t whole = count / kPieceSize;
    for (int32_t i = 0; i < whole; ++i) {
        const int32_t offset = i * kPieceSize;
        if (!Ok(WriteMemory(address + offset, bytes + offset, kPieceSize))) return 1;
    }
    const int32_t rest = count % kPieceSize;
    if (rest == 0) return 0;
    // The short last piece travels in an erased-looking 8-byte piece.
    uint8_t piece[kPieceSize];
    std::memset(piece, 0xFF, sizeof piece);
    const int32_t offset = whole * kPieceSize;
    std::memcpy(piece, bytes + offset, static_cast<size_t>(rest));
    return Ok(WriteMemory(address + offset, piece, static_cast<uint8_t>(rest))) ? 0 : 1;
}

int32_t CameraDevice::FinishUpgrade() {
    uint8_t romVersion[10] = {};
    if (ReadRomVersion(romVersion) != 0) {
        lastError = ERR_ROM_ID_READ;
        return 1;
    }
    // Chips of rows 0 and 1 are left as they are.
    if (profile.chipIndex == 0 || profile.chipIndex == 1) return 1;
    const uint16_t finish = profile.registers[REG_FINISH];
    uint8_t value = 0;
    if (Ok(ReadRegister(finish, &value))) (void)WriteRegister(finish, value & 0xFE);
    return 0;
}

}  // namespace quillon
