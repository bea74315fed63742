// The demo firmware image: a stand-in for a real firmware, laid out the way
// the upgrader and the simulated cameras read one.
//
//   0x00160  sector table, long form: "tSec", then as 32-bit big-endian
//            numbers the parameter table start (bytes 15..18), its length
//            (19..22) and the CRC area start (39..42); other bytes zero
//   0x13000  parameter table (0x600 bytes); firmware identifier at +6
//   0x13B00  CRC area: "CRC32:" and the CRC-32 of bytes 0..0x13AFF as 8 hex digits
//   version fields at the addresses for the chip (see version_fields.h),
//   text padded with '-'
// Every other byte is deterministic filler that never equals 0xFF, so a
// read-back can tell a programmed byte from an erased one anywhere in the image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::tools {

inline constexpr size_t kDemoImageSize = 131072;
inline constexpr uint32_t kSectorTableAt = 0x160;
inline constexpr uint32_t kSectorTableSize = 43;
inline constexpr uint32_t kParamTableAt = 0x13000;
inline constexpr uint32_t kParamTableSize = 0x600;
inline constexpr uint32_t kFirmwareIdAt = kParamTableAt + 6;
inline constexpr uint32_t kCrcAreaAt = 0x13B00;

struct DemoImageOptions {
    uint8_t chipId = 0x88;
    std::array<uint8_t, 4> firmwareId{};
    std::string codeVer;   // at most 5 characters
    std::string cusVer;    // at most 10
    std::string customer;  // at most 10
    std::string dayVer;    // exactly 10, e.g. 2411281030
};

// The image. Throws ToolError for a chip without fixed version addresses or
// a field that is too long, of the wrong length or not printable ASCII.
[[nodiscard]] std::vector<uint8_t> MakeDemoImage(const DemoImageOptions& options);

}  // namespace quillon::tools
