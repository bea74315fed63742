// Finding a named section in an ELF file, so the package tools can read the
// firmware package a built program carries.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillon::tools {

// True when `file` starts like an ELF file.
[[nodiscard]] bool LooksLikeElf(std::span<const uint8_t> file);

// The bytes of section `name` of a little-endian ELF file (32 or 64 bit).
// Throws ToolError when the file is not such a file, is damaged or has no
// section of that name.
[[nodiscard]] std::span<const uint8_t> ElfSection(std::span<const uint8_t> file,
                                                  std::string_view name);

}  // namespace quillon::tools
