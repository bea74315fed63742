// Writing and listing firmware packages (layout in app/fw_package.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/fw_package.h"

namespace quillon::tools {

struct EntrySpec {
    uint8_t key = 0;
    std::array<uint8_t, 4> firmwareId{};
    std::string name;  // at most 64 bytes; NUL-padded in the package
    std::vector<uint8_t> image;
};

// The 16 header bytes the tools write. Nothing reads them; they only tell a
// person looking at the file what it is.
inline constexpr char kPackageHeaderTag[kPackageHeaderSize + 1] = "QUILLON FW PKG 1";

// The package holding `entries` in order, padded with zero bytes to `padTo`
// bytes when it is shorter. Throws ToolError for more than 255 entries, a name
// over 64 bytes, an image over 4 GiB - 1 or a package longer than `padTo`
// when `padTo` is not 0.
[[nodiscard]] std::vector<uint8_t> BuildPackage(std::span<const EntrySpec> entries, uint64_t padTo);

// A listing of the package: a summary line, then per entry its index, key,
// identifier, image length, CRC-32 of the image and name. Throws ToolError,
// saying where, when the package is damaged.
[[nodiscard]] std::string FormatListing(std::string_view label, std::span<const uint8_t> package);

// A name as text: trailing NULs dropped, other unprintable bytes as \xNN.
[[nodiscard]] std::string PrintableName(std::span<const uint8_t> name);

}  // namespace quillon::tools
