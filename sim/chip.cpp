#include "sim/chip.h"

#include <algorithm>

#include "sim/status.h"

namespace sim {

using platform::HRESULT;

namespace {

constexpr uint8_t kRegisterWriteMarker = 0x00;
constexpr uint8_t kRegisterReadMarker = 0xFF;

constexpr uint8_t kMemoryRead = 0x80;
constexpr uint8_t kMemoryMaxCount = 8;
constexpr size_t kMemoryDataOffset = 3;

constexpr uint8_t kRomReadCount = 8;
constexpr size_t kRomDataOffset = 3;

constexpr uint8_t kBlockRead = 0x80;
constexpr uint8_t kBlockWrite = 0x00;
constexpr uint8_t kBlockCommandTag0 = 0x0B;
constexpr uint8_t kBlockCommandTag1 = 0x01;

uint32_t Le16(std::span<const uint8_t> d, size_t at) {
    return d[at] | d[at + 1] << 8;
}

uint32_t Le32(std::span<const uint8_t> d, size_t at) {
    return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
           static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

const SpiEngineMap& EngineMap(int arch) {
    return arch == 1 ? kSpiEngineArch1 : kSpiEngineArch0;
}

}  // namespace

RegisterFile::RegisterFile(const std::map<uint16_t, uint8_t>& initial,
                           const std::map<uint16_t, uint8_t>& readOnly) {
    Load(initial, readOnly);
}

void RegisterFile::Load(const std::map<uint16_t, uint8_t>& initial,
                        const std::map<uint16_t, uint8_t>& readOnly) {
    bytes_.fill(0);
    readOnly_.fill(0);
    for (const auto& [address, value] : initial) bytes_[address] = value;
    for (const auto& [address, mask] : readOnly) readOnly_[address] = mask;
}

uint8_t RegisterFile::Write(uint16_t address, uint8_t value) {
    const uint8_t keep = readOnly_[address];
    bytes_[address] = static_cast<uint8_t>((bytes_[address] & keep) | (value & ~keep));
    return bytes_[address];
}

uint32_t RegisterFile::GetBigEndian32(uint16_t address) const {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | bytes_[static_cast<uint16_t>(address + i)];
    return v;
}

void RegisterFile::WriteBigEndian32(uint16_t address, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        Write(static_cast<uint16_t>(address + i), static_cast<uint8_t>(value >> (24 - 8 * i)));
}

Chip::Chip(const CameraConfig& config, SpiFlash& flash)
    : config_(config),
      flash_(flash),
      spi_(EngineMap(config.arch)),
      regs_(config.registers, config.readOnly) {
    UpdateChipSelect();
}

Chip::~Chip() {
    if (flashSelected_) flash_.Deselect();
}

void Chip::Reset() {
    if (flashSelected_) flash_.Deselect();
    flashSelected_ = false;
    regs_.Load(config_.registers, config_.readOnly);
    registerReadPending_ = memoryReadPending_ = romReadPending_ = false;
    pieceSize_ = kLengthBlock;
    UpdateChipSelect();
}

// --- SPI engine ---

void Chip::WriteRegister(uint16_t address, uint8_t value) {
    regs_.Write(address, value);
    SpiRegisterWritten(address);
}

void Chip::SpiRegisterWritten(uint16_t address) {
    if (address == spi_.mode || address == spi_.cs) {
        UpdateChipSelect();
    } else if (address == spi_.ctrl) {
        Transfer(regs_.Get(spi_.ctrl));
    }
}

// The flash is selected while the host has access and holds chip select low;
// taking access away ends the command just as raising chip select does.
void Chip::UpdateChipSelect() {
    const bool hostAccess = (regs_.Get(spi_.mode) & 0x01) != 0;
    const bool csLow = (regs_.Get(spi_.cs) & 0x01) == 0;
    const bool select = hostAccess && csLow;
    if (select == flashSelected_) return;
    flashSelected_ = select;
    if (select) {
        flash_.Select();
    } else {
        flash_.Deselect();
    }
}

void Chip::Transfer(uint8_t ctrl) {
    regs_.Write(spi_.status, regs_.Get(spi_.status) & ~0x01);
    if (!flashSelected_) return;
    if (ctrl == 1) {
        flash_.Send(regs_.Get(spi_.tx));
    } else if (ctrl == 2) {
        regs_.Write(spi_.rx, flash_.Receive());
    } else {
        return;
    }
    regs_.Write(spi_.status, regs_.Get(spi_.status) | 0x01);
}

void Chip::ProgramFlash(uint32_t address, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    uint8_t writeEnable = config_.flash.writeEnableCommand;
    uint8_t program = config_.flash.programCommand;
    if (config_.commandRegisters) {
        writeEnable = regs_.Get(kWriteEnableCommandRegister);
        program = regs_.Get(kProgramCommandRegister);
    }
    // A refused program leaves the flash as it was; the chip reports nothing.
    (void)flash_.ProgramFromChip(address % flash_.Size(), bytes, writeEnable, program);
}

// --- controls ---

HRESULT Chip::Set(uint32_t selector, std::span<const uint8_t> data) {
    switch (selector) {
        case kSelectorRegister:
            return SetRegisterControl(data);
        case kSelectorMemory:
            return SetMemory(data);
        case kSelectorRom:
            return SetRom(data);
        case kSelectorBlock:
            return SetBlock(data);
        default:
            return kStatusDeviceFailure;
    }
}

HRESULT Chip::Get(uint32_t selector, std::span<uint8_t> data) {
    std::fill(data.begin(), data.end(), 0);
    switch (selector) {
        case kSelectorRegister:
            return GetRegisterControl(data);
        case kSelectorMemory:
            return GetMemory(data);
        case kSelectorRom:
            return GetRom(data);
        case kSelectorMemoryType:
            return GetMemoryType(data);
        case kSelectorBlock:
            return GetBlock(data);
        default:
            return kStatusDeviceFailure;
    }
}

HRESULT Chip::SetRegisterControl(std::span<const uint8_t> d) {
    const uint16_t address = static_cast<uint16_t>(Le16(d, 0));
    if (d[3] == kRegisterWriteMarker) {
        WriteRegister(address, d[2]);
        return kStatusOk;
    }
    if (d[3] == kRegisterReadMarker && d[2] == 0) {
        registerReadPending_ = true;
        registerReadAddress_ = address;
        return kStatusOk;
    }
    return kStatusDeviceFailure;
}

HRESULT Chip::GetRegisterControl(std::span<uint8_t> d) {
    if (!registerReadPending_) return kStatusDeviceFailure;
    registerReadPending_ = false;
    d[2] = regs_.Get(registerReadAddress_);
    return kStatusOk;
}

HRESULT Chip::SetMemory(std::span<const uint8_t> d) {
    const uint8_t command = d[2];
    const uint8_t count = command & 0x0F;
    if (count > kMemoryMaxCount) return kStatusDeviceFailure;
    const uint32_t bank = (command >> 4) & 0x03;
    const uint32_t address = (bank * 0x10000 + Le16(d, 0)) % flash_.Size();
    memoryReadPending_ = false;
    if (command & kMemoryRead) {
        memoryReadPending_ = true;
        memoryReadAddress_ = address;
        memoryReadCount_ = count;
        return kStatusOk;
    }
    ProgramFlash(address, d.subspan(kMemoryDataOffset, count));
    return kStatusOk;
}

HRESULT Chip::GetMemory(std::span<uint8_t> d) {
    if (!memoryReadPending_) return kStatusDeviceFailure;
    memoryReadPending_ = false;
    flash_.ReadFromChip(memoryReadAddress_, d.subspan(kMemoryDataOffset, memoryReadCount_));
    return kStatusOk;
}

HRESULT Chip::SetRom(std::span<const uint8_t> d) {
    if (d[2] != kRomReadCount) return kStatusDeviceFailure;
    romReadPending_ = true;
    romReadAddress_ = static_cast<uint16_t>(Le16(d, 0));
    return kStatusOk;
}

HRESULT Chip::GetRom(std::span<uint8_t> d) {
    if (!romReadPending_) return kStatusDeviceFailure;
    romReadPending_ = false;
    d[2] = kRomReadCount;
    if (!config_.rom || config_.rom->address != romReadAddress_) return kStatusOk;
    const RomConfig& rom = *config_.rom;
    d[2] = rom.replyCount;
    std::copy(rom.code.begin(), rom.code.end(), d.begin() + kRomDataOffset);
    d[kRomDataOffset + 5] = rom.version;
    d[kRomDataOffset + 6] = rom.byte6;
    d[kRomDataOffset + 7] = rom.byte7;
    return kStatusOk;
}

HRESULT Chip::GetMemoryType(std::span<uint8_t> d) {
    d[2] = config_.memoryType;
    return kStatusOk;
}

// --- block windows ---

HRESULT Chip::OpenWindow(std::span<const uint8_t> c) {
    const uint32_t start = Le32(c, 0);
    const uint8_t direction = c[4];
    const uint8_t piece = c[5];
    const uint32_t end = Le32(c, 6);
    if (c[10] != kBlockCommandTag0 || c[11] != kBlockCommandTag1) return kStatusDeviceFailure;
    if (direction != kBlockRead && direction != kBlockWrite) return kStatusDeviceFailure;
    if (piece == 0 || piece > kLengthBlock || end < start) return kStatusDeviceFailure;
    pieceSize_ = piece;
    regs_.Write(kWindowControl, direction);
    regs_.WriteBigEndian32(kWindowNext, start);
    regs_.WriteBigEndian32(kWindowEnd, end);
    return kStatusOk;
}

uint32_t Chip::TakePiece() {
    const uint32_t next = WindowNext();
    const uint32_t length = std::min<uint32_t>(pieceSize_, WindowEnd() - next);
    regs_.WriteBigEndian32(kWindowNext, next + length);
    return length;
}

HRESULT Chip::SetBlock(std::span<const uint8_t> d) {
    if (!WindowOpen()) return OpenWindow(d);
    if (ReadWindow()) return kStatusDeviceFailure;
    const uint32_t address = WindowNext();
    ProgramFlash(address, d.first(TakePiece()));
    return kStatusOk;
}

HRESULT Chip::GetBlock(std::span<uint8_t> d) {
    if (!WindowOpen() || !ReadWindow()) return kStatusDeviceFailure;
    const uint32_t address = WindowNext();
    flash_.ReadFromChip(address % flash_.Size(), d.first(TakePiece()));
    return kStatusOk;
}

}  // namespace sim
