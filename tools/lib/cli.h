// Small helpers shared by the package tools: the error they report, number
// and identifier parsing, whole-file reads and writes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::tools {

// A problem with the input: the tools print the message and exit non-zero.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A bad command line: also prints the usage.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

// An unsigned number in decimal or 0x-hex, at most `max`. `what` names the
// value in the error message.
[[nodiscard]] uint64_t ParseNumber(std::string_view text, uint64_t max, std::string_view what);

// A byte count: a number with an optional K or M suffix (KiB, MiB).
[[nodiscard]] uint64_t ParseSize(std::string_view text, std::string_view what);

// A firmware identifier: 8 hex digits giving its 4 bytes in package order.
[[nodiscard]] std::array<uint8_t, 4> ParseFirmwareId(std::string_view text);

// The identifier as ParseFirmwareId takes it (lower-case hex).
[[nodiscard]] std::string FormatFirmwareId(std::span<const uint8_t, 4> id);

// A byte as 0x-hex, e.g. 0x88.
[[nodiscard]] std::string FormatByte(uint8_t value);

[[nodiscard]] std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::span<const uint8_t> data);

}  // namespace quillon::tools
