// The camera's controller chip as the host reaches it through the extension
// unit: a 64 KiB register file, the SPI engine that lets the host drive the
// flash byte by byte, the block windows for bulk flash transfers, and the five
// extension-unit controls. Not thread-safe: the camera serialises requests.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/com.h"
#include "sim/scenario.h"
#include "sim/spi_flash.h"

namespace sim {

// Extension-unit selectors and their data lengths.
inline constexpr uint32_t kSelectorRegister = 1;
inline constexpr uint32_t kSelectorMemory = 3;
inline constexpr uint32_t kSelectorRom = 4;
inline constexpr uint32_t kSelectorMemoryType = 5;
inline constexpr uint32_t kSelectorBlock = 6;
inline constexpr uint32_t kLengthRegister = 4;
inline constexpr uint32_t kLengthMemory = 11;
inline constexpr uint32_t kLengthRom = 12;
inline constexpr uint32_t kLengthMemoryType = 12;
inline constexpr uint32_t kLengthBlock = 64;
inline constexpr uint32_t kMaxControlLength = 64;

// Register addresses of the SPI engine; which map is live depends on the chip's architecture.
struct SpiEngineMap {
    uint16_t mode;  // bit 0: the host drives the flash
    uint16_t ctrl;  // 1: send TX, 2: receive into RX
    uint16_t tx;
    uint16_t rx;
    uint16_t status;  // bit 0: the last transfer is done
    uint16_t cs;      // bit 0 clear: flash selected
};
inline constexpr SpiEngineMap kSpiEngineArch0{0x1080, 0x1081, 0x1082, 0x1083, 0x1084, 0x1091};
inline constexpr SpiEngineMap kSpiEngineArch1{0x8E00, 0x8E01, 0x8E02, 0x8E03, 0x8E04, 0x8E11};

// Block window registers: next and end address, most significant byte first.
inline constexpr uint16_t kWindowControl = 0x335;  // bit 7: read window, clear: write window
inline constexpr uint16_t kWindowNext = 0x337;
inline constexpr uint16_t kWindowEnd = 0x33B;

// Flash command registers the chip programs with (on chips that use them).
inline constexpr uint16_t kWriteEnableCommandRegister = 0x05F3;
inline constexpr uint16_t kProgramCommandRegister = 0x05F5;

class RegisterFile {
  public:
    RegisterFile(const std::map<uint16_t, uint8_t>& initial,
                 const std::map<uint16_t, uint8_t>& readOnly);
    // Back to the initial values and masks.
    void Load(const std::map<uint16_t, uint8_t>& initial,
              const std::map<uint16_t, uint8_t>& readOnly);
    uint8_t Get(uint16_t address) const { return bytes_[address]; }
    void Store(uint16_t address, uint8_t value) { bytes_[address] = value; }
    // Stores `value` except the read-only bits; returns what the register now holds.
    uint8_t Write(uint16_t address, uint8_t value);
    uint32_t GetBigEndian32(uint16_t address) const;
    void WriteBigEndian32(uint16_t address, uint32_t value);

  private:
    std::array<uint8_t, 0x10000> bytes_{};
    std::array<uint8_t, 0x10000> readOnly_{};
};

class Chip {
  public:
    Chip(const CameraConfig& config, SpiFlash& flash);
    ~Chip();
    Chip(const Chip&) = delete;
    Chip& operator=(const Chip&) = delete;

    // One extension-unit request; `data` has already the control's length.
    // Returns 0 or kStatusDeviceFailure (the chip stalls the request).
    [[nodiscard]] platform::HRESULT Set(uint32_t selector, std::span<const uint8_t> data);
    [[nodiscard]] platform::HRESULT Get(uint32_t selector, std::span<uint8_t> data);

    // A register write as the host makes it, with the register's function.
    void WriteRegister(uint16_t address, uint8_t value);
    uint8_t Register(uint16_t address) const { return regs_.Get(address); }
    // The chip's firmware storing a byte: no read-only mask, no function.
    void StoreRegister(uint16_t address, uint8_t value) { regs_.Store(address, value); }

    // Power cycle: registers back to their initial values, pending requests
    // dropped, the flash released.
    void Reset();

  private:
    // SPI engine.
    void SpiRegisterWritten(uint16_t address);
    void UpdateChipSelect();
    void Transfer(uint8_t ctrl);

    // Flash through the chip's own data path.
    void ProgramFlash(uint32_t address, std::span<const uint8_t> bytes);

    // Controls.
    platform::HRESULT SetRegisterControl(std::span<const uint8_t> data);
    platform::HRESULT GetRegisterControl(std::span<uint8_t> data);
    platform::HRESULT SetMemory(std::span<const uint8_t> data);
    platform::HRESULT GetMemory(std::span<uint8_t> data);
    platform::HRESULT SetRom(std::span<const uint8_t> data);
    platform::HRESULT GetRom(std::span<uint8_t> data);
    platform::HRESULT GetMemoryType(std::span<uint8_t> data);
    platform::HRESULT SetBlock(std::span<const uint8_t> data);
    platform::HRESULT GetBlock(std::span<uint8_t> data);
    platform::HRESULT OpenWindow(std::span<const uint8_t> command);

    // Block window state, kept in the registers.
    uint32_t WindowNext() const { return regs_.GetBigEndian32(kWindowNext); }
    uint32_t WindowEnd() const { return regs_.GetBigEndian32(kWindowEnd); }
    bool WindowOpen() const { return WindowNext() != WindowEnd(); }
    bool ReadWindow() const { return (regs_.Get(kWindowControl) & 0x80) != 0; }
    // The bytes of the next piece (at most the piece size), and the window moved past them.
    uint32_t TakePiece();

    const CameraConfig& config_;
    SpiFlash& flash_;
    const SpiEngineMap& spi_;
    RegisterFile regs_;
    bool flashSelected_ = false;

    // Requests latched by a SET for the next GET.
    bool registerReadPending_ = false;
    uint16_t registerReadAddress_ = 0;
    bool memoryReadPending_ = false;
    uint32_t memoryReadAddress_ = 0;
    uint8_t memoryReadCount_ = 0;
    bool romReadPending_ = false;
    uint16_t romReadAddress_ = 0;
    uint8_t pieceSize_ = kLengthBlock;
};

}  // namespace sim
