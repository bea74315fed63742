// A scenario: the simulated system's cameras as read from <dir>/cameras.json.
// Parsing is separate from reading the file so the parser can be driven (and
// fuzzed) with any text; loading adds the file I/O and resolves relative names.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/spi_flash.h"

namespace sim {

enum class ClockKind { kReal, kVirtual };

struct RomConfig {
    uint16_t address = 0;
    std::string code;  // up to 5 characters, padded with zero bytes
    uint8_t version = 0;
    uint8_t byte6 = 0;
    uint8_t byte7 = 0;
    uint8_t replyCount = 8;  // the count the ROM control reports at `address`
};

struct FaultConfig {
    std::vector<uint32_t> failAt;  // exchange numbers that fail with 31
    uint32_t unplugAt = 0;         // 0: never
    std::vector<uint32_t> hangAt;  // exchange numbers that hang, then fail with 31
    uint32_t hangMs = 5000;
};

struct CameraConfig {
    std::optional<std::string> name;  // absent: reading the name fails
    std::optional<std::string> path;  // absent: reading the path fails
    bool bind = true;
    uint32_t nodes = 1;  // defaults to xuNode + 1
    int32_t xuNode = 0;  // -1: no vendor extension unit
    std::vector<uint32_t> devSpecificNodes;
    std::map<uint16_t, uint8_t> registers;
    std::map<uint16_t, uint8_t> readOnly;  // bits that host writes do not change
    int arch = 0;
    bool commandRegisters = false;
    std::optional<RomConfig> rom;
    uint8_t memoryType = 0;
    SpiFlashConfig flash;
    FaultConfig faults;
    std::optional<uint32_t> latencyUs;  // overrides the scenario's latency for this camera
};

struct Scenario {
    ClockKind clock = ClockKind::kReal;
    uint32_t latencyUs = 0;
    std::optional<std::string> trace;  // trace file; relative names are relative to the directory
    std::vector<CameraConfig> cameras;
};

struct ParseError {
    std::string message;
};

// Parses the text of a cameras.json. File names are returned as written.
[[nodiscard]] std::variant<Scenario, ParseError> ParseScenario(std::string_view text);

// Parses one camera object; `where` names it in error messages (e.g. "cameras[2]").
[[nodiscard]] std::variant<CameraConfig, ParseError> ParseCamera(std::string_view text,
                                                                 const std::string& where);

// Reads and parses <dir>/cameras.json; relative file names (trace, flash files)
// come back resolved against `dir`. Empty optional with the reason in `error`.
[[nodiscard]] std::optional<Scenario> LoadScenario(const std::string& dir, std::string& error);

// `name` resolved against `dir` unless it is absolute (or empty).
[[nodiscard]] std::string ResolvePath(const std::string& dir, const std::string& name);

}  // namespace sim
