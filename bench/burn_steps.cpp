#include "bench/burn_steps.h"

namespace quillon_bench {

namespace {

// Exchanges of the primitives the steps are made of.
constexpr uint64_t kRegisterRead = 2;   // read request (SET), reply (GET)
constexpr uint64_t kRegisterWrite = 1;  // SET
constexpr uint64_t kRomRead = 2;        // request, reply
constexpr uint64_t kMemoryRead = 2;     // request, reply
constexpr uint64_t kMemoryWrite = 1;
constexpr uint64_t kMemoryType = 1;  // GET only

// One byte out through the SPI engine: TX, CTRL, then the transfer-done bit
// (set at once by the simulated chip, so one read).
constexpr uint64_t kSpiSend = 2 * kRegisterWrite + kRegisterRead;
// One byte in: clear RX, CTRL, transfer-done bit, RX.
constexpr uint64_t kSpiReceive = 2 * kRegisterWrite + 2 * kRegisterRead;
// A whole flash command of n bytes: chip select, the bytes, chip release.
constexpr uint64_t FlashCommand(uint64_t bytes) {
    return 2 * kRegisterWrite + bytes * kSpiSend;
}
// One status poll: select, 0x05 out, status in; the last poll also releases.
constexpr uint64_t kStatusPoll = kRegisterWrite + kSpiSend + kSpiReceive;
constexpr uint64_t kIdlePoll = kStatusPoll + kRegisterWrite;

// The ROM identification reads all six ROM-code addresses; the benchmark's
// chips keep their code at the last one.
constexpr uint64_t kRomIdentification = 6 * kRomRead;
// Chip ID: the architecture-0 register (no known chip there), then architecture 1.
constexpr uint64_t kChipId = 2 * kRegisterRead;

// Preparation: ROM identification, chip ID, the two pin registers (read,
// write, read back), memory type, flash command registers (read, write,
// four handling registers, read, write), then the unprotect sequence: host
// access on, write enable, idle poll, status write of 0, idle poll, host access off.
constexpr uint64_t kPins = 2 * (kRegisterRead + kRegisterWrite + kRegisterRead);
constexpr uint64_t kFlashCommandRegisters =
    2 * (kRegisterRead + kRegisterWrite) + 4 * kRegisterWrite;
constexpr uint64_t kUnprotect =
    kRegisterWrite + FlashCommand(1) + kIdlePoll + FlashCommand(2) + kIdlePoll + kRegisterWrite;
constexpr uint64_t kPreparation =
    kRomIdentification + kChipId + kPins + kMemoryType + kFlashCommandRegisters + kUnprotect;

// Block transfers switched on: ROM identification and two register writes (QMCT0).
constexpr uint64_t kEnableBlock = kRomIdentification + 2 * kRegisterWrite;
// A window opener: the two 32-bit window registers read (a closed window is
// left alone), then the window command.
constexpr uint64_t kWindowOpener = 8 * kRegisterRead + 1;

}  // namespace

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::kBeforeProgramming:
            return "before programming";
        case Phase::kProgramming:
            return "programming";
        case Phase::kReadBack:
            return "read-back";
    }
    return "?";
}

std::vector<BurnStep> BurnSteps(Path path, uint32_t imageLength, uint32_t eraseMs) {
    const bool block = path == Path::kBlock;
    const uint64_t piece = block ? 64 : 8;
    const uint64_t pieces = (imageLength + piece - 1) / piece;
    const uint64_t kib = (imageLength + 1023) / 1024;
    using P = Phase;
    std::vector<BurnStep> steps = {
        {"chip ID", P::kBeforeProgramming, kChipId},
        // Chip 0x85 gets three settings first; chip 0x88 none.
        {"chip settings", P::kBeforeProgramming, block ? 0 : 3 * kRegisterWrite},
        {"ROM identification", P::kBeforeProgramming, kRomIdentification},
        // QMCF0 keeps one streaming flag, QMCT0 two.
        {"streaming check", P::kBeforeProgramming, (block ? 2 : 1) * kRegisterRead},
        {"preparation", P::kBeforeProgramming, kPreparation},
        // Host access on, write enable, erase command, polls while busy (one a
        // millisecond), the idle poll, host access off.
        {"erase", P::kBeforeProgramming,
         2 * kRegisterWrite + 2 * FlashCommand(1) + eraseMs * kStatusPoll + kIdlePoll},
        {"blank check (8 bytes a KiB)", P::kBeforeProgramming, kib * kMemoryRead},
    };
    if (block) {
        steps.push_back({"block transfers on", P::kBeforeProgramming, kEnableBlock});
        steps.push_back({"write window", P::kBeforeProgramming, kWindowOpener});
    }
    steps.push_back({"programming, 1 a piece", P::kProgramming, pieces});
    steps.push_back({"late write (sector table)", P::kProgramming, kMemoryWrite});
    if (block) {
        steps.push_back({"block transfers on", P::kReadBack, kEnableBlock});
        steps.push_back({"read window", P::kReadBack, kWindowOpener});
        steps.push_back({"read-back, 1 a 64-byte block", P::kReadBack, pieces});
    } else {
        steps.push_back({"read-back, 2 an 8-byte piece", P::kReadBack, pieces * kMemoryRead});
    }
    return steps;
}

}  // namespace quillon_bench
