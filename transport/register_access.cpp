// Register bytes, 32-bit register values, memory ranges of any length and the
// block windows that stream a flash range in 64-byte pieces.
#include <algorithm>
#include <cstring>

#include "camlib/camera_device.h"

namespace quillon {

namespace {
constexpr uint16_t kWindowControl = 0x335;
constexpr uint16_t kWindowStart = 0x337;
constexpr uint16_t kWindowEnd = 0x33B;
}  // namespace

bool CameraDevice::ReadRegisterWithRetry(uint16_t reg, uint8_t* out) {
    uint8_t value = 0;
    int32_t result = 1;
    for (int attempt = 0; attempt < 3 && result != 0; ++attempt) result = ReadRegister(reg, &value);
    if (result != 0) return false;
    *out = value;
    return true;
}

int32_t CameraDevice::TestRegisterBit(uint16_t reg, uint8_t bit, uint8_t* out) {
    uint8_t value = 0;
    if (ReadRegister(reg, &value) != 0) return 1;
    *out = static_cast<uint8_t>(value & (1u << bit));
    return 0;
}

bool CameraDevice::ReadRegister32(uint16_t reg, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = 0;
        if (ReadRegister(static_cast<uint16_t>(reg + i), &byte) != 0) return false;
        value |= static_cast<uint32_t>(byte) << (24 - 8 * i);
    }
    *out = value;
    return true;
}

bool CameraDevice::WriteRegister32(uint16_t reg, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t byte = static_cast<uint8_t>(value >> (24 - 8 * i));
        if (WriteRegister(static_cast<uint16_t>(reg + i), byte) != 0) return false;
    }
    return true;
}

int32_t CameraDevice::ReadMemoryRange(int32_t address, std::span<uint8_t> out) {
    uint8_t tempData[8];
    size_t position = 0;
    while (out.size() - position >= 8) {
        std::memset(tempData, 0xFF, sizeof tempData);
        if (int32_t r = ReadMemory(address, tempData, 8)) return r;
        std::memcpy(out.data() + position, tempData, 8);
        address += 8;
        position += 8;
    }
    const size_t rest = out.size() - position;
    if (rest > 0) {
        std::memset(tempData, 0xFF, sizeof tempData);
        if (int32_t r = ReadMemory(address, tempData, static_cast<uint8_t>(rest))) return r;
        std::memcpy(out.data() + position, tempData, rest);
    }
    return 0;
}

void CameraDevice::ResetBlockWindow() {
    uint32_t startAddrValue = 0;
    uint32_t endAddrValue = 0;
    (void)ReadRegister32(kWindowStart, &startAddrValue);
    (void)ReadRegister32(kWindowEnd, &endAddrValue);
    if (startAddrValue != endAddrValue) {
        (void)WriteRegister32(kWindowStart, 0);
        (void)WriteRegister32(kWindowEnd, 0);
        (void)WriteRegister(kWindowControl, 0);
    }
}

namespace {
int32_t BeginBlock(CameraDevice& dev, bool read, uint32_t start, uint32_t length,
                   uint8_t pieceSize) {
    dev.ResetBlockWindow();
    const uint32_t end = start + length;  // wraps at 32 bits
    uint8_t theXUData[12] = {
        static_cast<uint8_t>(start), static_cast<uint8_t>(start >> 8),
        static_cast<uint8_t>(start >> 16), static_cast<uint8_t>(start >> 24),
        static_cast<uint8_t>(read ? 0x80 : 0x00), pieceSize,
        static_cast<uint8_t>(end), static_cast<uint8_t>(end >> 8),
        static_cast<uint8_t>(end >> 16), static_cast<uint8_t>(end >> 24),
        0x0B, 0x01};
    return dev.WriteBlock(0, theXUData, sizeof theXUData);
}
}  // namespace

int32_t CameraDevice::BeginBlockRead(uint32_t start, uint32_t length, uint8_t pieceSize) {
    return BeginBlock(*this, true, start, length, pieceSize);
}

int32_t CameraDevice::BeginBlockWrite(uint32_t start, uint32_t length, uint8_t pieceSize) {
    return BeginBlock(*this, false, start, length, pieceSize);
}

}  // namespace quillon
