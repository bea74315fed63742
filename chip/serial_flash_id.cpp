// Finding out which serial flash sits behind the chip, and the byte protocol
// through the chip's SPI engine registers with which every flash command is sent.
#include "camlib/camera_device.h"
#include "chip/chip_tables.h"
#include "chip/serial_flash_tables.h"
#include "platform/clock.h"

namespace quillon {

namespace {

constexpr uint8_t kCtrlSend = 1;
constexpr uint8_t kCtrlReceive = 2;
constexpr uint8_t kTransferDoneBit = 0;
constexpr int kTransferPolls = 50;

constexpr uint8_t kHostAccessOn = 1;
constexpr uint8_t kHostAccessOff = 0;
constexpr uint8_t kChipSelected = 0;

// JEDEC continuation code: the manufacturer code follows in the next byte.
constexpr uint8_t kContinuationCode = 0x7F;
// `idLength` asking for memory type and capacity after the manufacturer.
constexpr uint8_t kThreeIdBytes = 2;

}  // namespace

int32_t CameraDevice::WaitTransferDone() {
    for (int poll = 0; poll < kTransferPolls; ++poll) {
        uint8_t done = 0;
        if (TestRegisterBit(profile.registers[REG_SF_STATUS], kTransferDoneBit, &done) != 0) {
            return 1;
        }
        if (done) return 0;
        platform::Sleep(1);
    }
    return 1;
}

int32_t CameraDevice::SpiSend(uint8_t byte) {
    if (WriteRegister(profile.registers[REG_SF_TX], byte) != 0) return 1;
    if (WriteRegister(profile.registers[REG_SF_CTRL], kCtrlSend) != 0) return 1;
    return WaitTransferDone();
}

int32_t CameraDevice::SpiReceive(uint8_t* byte) {
    if (WriteRegister(profile.registers[REG_SF_RX], 0) != 0) return 1;
    if (WriteRegister(profile.registers[REG_SF_CTRL], kCtrlReceive) != 0) return 1;
    if (WaitTransferDone() != 0) return 1;
    uint8_t value = 0;
    if (ReadRegister(profile.registers[REG_SF_RX], &value) != 0) return 1;
    *byte = value;
    return 0;
}

// Counts the other way round: 1 when the ID bytes were read. Chip select stays
// low at the end; switching host access off ends the command.
int32_t CameraDevice::ReadFlashId(uint8_t command, uint8_t dummyCount, uint8_t idLength) {
    if (WriteRegister(profile.registers[REG_SF_MODE], kHostAccessOn) != 0) return 0;
    if (WriteRegister(profile.registers[REG_SF_CS], kChipSelected) != 0) return 0;
    if (SpiSend(command) != 0) return 0;
    for (; dummyCount > 0; --dummyCount) {
        if (SpiSend(0x00) != 0) return 0;
    }
    if (SpiReceive(&flashId[0]) != 0) return 0;
    // Only one bank of continuation codes is skipped.
    if (flashId[0] == kContinuationCode && SpiReceive(&flashId[0]) != 0) return 0;
    if (SpiReceive(&flashId[1]) != 0) return 0;
    if (idLength == kThreeIdBytes) {
        if (SpiReceive(&flashId[2]) != 0) return 0;
    } else {
        // A two-byte answer can only match rows whose capacity is a wildcard.
        flashId[2] = kAnyIdByte;
    }
    if (WriteRegister(profile.registers[REG_SF_MODE], kHostAccessOff) != 0) return 0;
    return 1;
}

uint8_t CameraDevice::LookupFlashType() {
    const SerialFlashRow& row = FindSerialFlashRow(std::span<const uint8_t, 3>(flashId));
    flashCmdSet = row.commandSet;
    return row.sfType;
}

int32_t CameraDevice::IdentifyFlash() {
    // Every byte costs several round trips, so the first known answer ends the search.
    uint8_t sfType = kFlashTypeUnknown;
    for (const FlashIdCommand& id : FlashIdCommands) {
        if (!ReadFlashId(id.command, id.dummyCount, id.idLength)) return kFlashTypeUnknown;
        sfType = LookupFlashType();
        if (sfType != kFlashTypeUnknown) break;
    }
    return sfType;
}

int32_t CameraDevice::GetFlashType(int32_t* type, uint8_t allowFallback) {
    *type = IdentifyFlash();
    if (!allowFallback || *type != kFlashTypeUnknown) return 0;

    // The running firmware keeps its own record of the flash type; where depends on the ROM.
    uint8_t romVersion[8] = {};
    if (ReadRomVersion(romVersion) != 0) {
        lastError = ERR_CHIP_IDENT;
        return 1;
    }
    uint8_t recorded = 0;
    if (ReadRegister(ChipRomTable[profile.chipIndex].flashTypeRegister, &recorded) != 0) return 1;
    if (recorded > kMaxFlashType) return 1;
    *type = recorded;
    return 0;
}

}  // namespace quillon
