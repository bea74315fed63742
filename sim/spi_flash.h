// A simulated SPI NOR flash part, seen from its pins: chip select, bytes sent
// and received, plus the controller chip's own data path for programming and
// reading. Written from the flash datasheet's side; shares nothing with the library.
//
// Commands decoded on the pins (the first byte after Select is the command;
// Deselect ends it):
//   0x06 write enable, 0x04 write disable
//   0x05 read status: every Receive answers the status register as of now
//   0x01 write status: the first data byte becomes bits 2-7 at Deselect; needs
//        write enable, or 0x50 as the command directly before it; clears write enable
//   0x50 enable write status: lets the very next command be a status write
//   0xC7, 0x60 chip erase: at Deselect, needs write enable and no block-protect bit;
//        erases to 0xFF, busy for eraseMs, clears write enable. Refused while
//        protected, and then, as on real parts, nothing changes: write enable stays.
//   commands listed in `ids`: each Receive answers the next listed byte, 0xFF past them
// The fixed commands above win over an `ids` entry for the same byte. Any other
// command is ignored and reads 0xFF. While busy only 0x05 is decoded.
//
// Backing file: created filled with 0xFF at `size` when missing. An existing
// file shorter than `size` is extended with 0xFF (the file always holds the
// whole part); bytes of a longer file past `size` are left alone and ignored.
// Every change is written through (pwrite of the changed range) at once.
//
// The initial status register's write-enable bit (bit 1) sets the write-enable
// latch; its busy bit (bit 0) is ignored, the part starts idle.
//
// All calls are guarded by one mutex and may come from several threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace sim {

struct SpiFlashConfig {
    std::string file{};       // backing file, written through; empty: memory only
    uint32_t size = 0x20000;  // bytes; addresses wrap at the size
    std::map<uint8_t, std::vector<uint8_t>> ids{};  // answer bytes per identification command
    uint8_t status = 0;                             // initial status register
    uint8_t programCommand = 0x02;
    uint8_t writeEnableCommand = 0x06;
    uint32_t eraseMs = 200;  // busy time of a chip erase
};

class SpiFlash {
  public:
    // Status register bits.
    static constexpr uint8_t kStatusBusy = 0x01;
    static constexpr uint8_t kStatusWriteEnable = 0x02;
    static constexpr uint8_t kStatusBlockProtect = 0x1C;

    // Null with the reason in `error` when the backing file cannot be opened or
    // created, or the size is zero.
    static std::unique_ptr<SpiFlash> Create(const SpiFlashConfig& config, platform::Clock& clock,
                                            std::string& error);
    ~SpiFlash();

    // Chip select low: the next byte sent is a command byte. Selecting again
    // while selected starts a new command without ending the old one.
    void Select();
    // Chip select high: the current command ends (erase and status write take effect).
    void Deselect();
    // A byte the host shifts in (command, address, dummy or data byte). Ignored
    // while the part is not selected.
    void Send(uint8_t byte);
    // A byte the host shifts out: answer bytes of the current command, 0xFF past
    // them, and 0xFF while not selected or before a command byte.
    uint8_t Receive();

    // The controller chip's own data path. Programming clears bits only and
    // happens only when the chip uses this part's commands, the part is not busy
    // and no block-protect bit is set. Returns whether the bytes were programmed.
    // Write enable is clear afterwards either way.
    bool ProgramFromChip(uint32_t address, std::span<const uint8_t> data,
                         uint8_t writeEnableCommand, uint8_t programCommand);
    void ReadFromChip(uint32_t address, std::span<uint8_t> out) const;

    uint8_t Status();  // with the busy bit as of now
    bool Busy();
    bool WriteEnabled() const;
    uint32_t Size() const;
    // The contents in memory. Not guarded: only for callers that know no other
    // thread changes the part meanwhile (tests, a final dump).
    std::span<const uint8_t> Contents() const;
    // The first failure to write a change through to the backing file, empty
    // when none. Memory keeps the change; the file then lags behind it.
    std::string FileError() const;

  private:
    SpiFlash(const SpiFlashConfig& config, platform::Clock& clock);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
