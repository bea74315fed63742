// Where a firmware image keeps its version fields, by the chip it is built
// for, and the raw version text made from them: code version (5), CusVer (10),
// Customer (10), DayVer (10), 35 characters in all. A package entry's name is
// that text, which is also what a camera reports once the image is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quillon::tools {

inline constexpr size_t kCodeVerSize = 5;
inline constexpr size_t kCusVerSize = 10;
inline constexpr size_t kCustomerSize = 10;
inline constexpr size_t kDayVerSize = 10;
inline constexpr size_t kRawVersionSize = kCodeVerSize + kCusVerSize + kCustomerSize + kDayVerSize;

// Image offsets (= flash addresses) of the four fields.
struct VersionFieldAddresses {
    uint32_t customer;
    uint32_t cusVer;
    uint32_t dayVer;
    uint32_t codeVer;
};

// The addresses for images of chip `chipId`; none when the chip is unknown
// or its addresses depend on the chip's ROM version rather than its ID alone.
[[nodiscard]] std::optional<VersionFieldAddresses> VersionFieldsForChip(uint8_t chipId);

// The raw version text of `image`; none when the image is too short to hold
// the fields.
[[nodiscard]] std::optional<std::string> RawVersionText(std::span<const uint8_t> image,
                                                        const VersionFieldAddresses& at);

}  // namespace quillon::tools
