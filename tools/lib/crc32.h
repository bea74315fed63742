// CRC-32 (the polynomial of zip and PNG), the checksum the package tools print
// so that two listings can be compared at a glance.
#pragma once

#include <cstdint>
#include <span>

namespace quillon::tools {

[[nodiscard]] uint32_t Crc32(std::span<const uint8_t> data);

}  // namespace quillon::tools
