// A simulated SPI NOR flash part, seen from its pins: chip select, bytes sent
// and received, plus the controller chip's own data path for programming and
// reading. Written from the flash datasheet's side; shares nothing with the library.
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
    std::string file;          // backing file, written through; empty: memory only
    uint32_t size = 0x20000;   // bytes; addresses wrap at the size
    std::map<uint8_t, std::vector<uint8_t>> ids;  // answer bytes per identification command
    uint8_t status = 0;        // initial status register
    uint8_t programCommand = 0x02;
    uint8_t writeEnableCommand = 0x06;
    uint32_t eraseMs = 200;    // busy time of a chip erase
};

class SpiFlash {
public:
    // Null with the reason in `error` when the backing file cannot be opened or created.
    static std::unique_ptr<SpiFlash> Create(const SpiFlashConfig& config, platform::Clock& clock,
                                            std::string& error);
    ~SpiFlash();

    // Chip select low: the next byte sent is a command byte.
    void Select();
    // Chip select high: the current command ends (erase and status write take effect).
    void Deselect();
    // A byte the host shifts in (command, address, dummy or data byte).
    void Send(uint8_t byte);
    // A byte the host shifts out: answer bytes of the current command, 0xFF past them.
    uint8_t Receive();

    // The controller chip's own data path. Programming clears bits only and
    // happens only when the chip uses this part's commands, the part is not busy
    // and no block-protect bit is set. Returns whether the bytes were programmed.
    bool ProgramFromChip(uint32_t address, std::span<const uint8_t> data,
                         uint8_t writeEnableCommand, uint8_t programCommand);
    void ReadFromChip(uint32_t address, std::span<uint8_t> out) const;

    uint8_t Status();  // with the busy bit as of now
    bool Busy();
    bool WriteEnabled() const;
    uint32_t Size() const;
    std::span<const uint8_t> Contents() const;

private:
    SpiFlash(const SpiFlashConfig& config, platform::Clock& clock);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
