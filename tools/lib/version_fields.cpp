#include "tools/lib/version_fields.h"

#include <array>

namespace quillon::tools {
namespace {

struct ChipRow {
    uint8_t chipId;
    VersionFieldAddresses at;
};

// Chips whose addresses depend on the ROM version (0x32, 0x75, 0x76) are left
// out: a chip key alone cannot place their fields.
constexpr std::array<ChipRow, 13> kRows{{
    {0x15, {0x3E00, 0x3E0A, 0x3E14, 0x01F3}},
    {0x56, {0x3E00, 0x3E0A, 0x3E14, 0x01F3}},
    {0x16, {0x0FD0, 0x0FDA, 0x0FE4, 0x0153}},
    {0x25, {0x5E00, 0x5E0A, 0x5E14, 0x01F3}},
    {0x70, {0x3E05, 0x3E0F, 0x3E19, 0x3E00}},
    {0x71, {0x3E05, 0x3E0F, 0x3E19, 0x3E00}},
    {0x83, {0x2000, 0x2012, 0x201C, 0x200A}},
    {0x85, {0x2000, 0x2012, 0x201C, 0x200A}},
    {0x86, {0x2000, 0x2012, 0x201C, 0x200A}},
    {0x92, {0x2000, 0x2012, 0x201C, 0x200A}},
    {0x88, {0x2000, 0x2012, 0x201D, 0x200A}},
    {0x89, {0x2000, 0x2012, 0x201D, 0x200A}},
    {0x90, {0x2000, 0x2012, 0x201D, 0x200A}},
}};

bool Append(std::string& out, std::span<const uint8_t> image, uint32_t at, size_t size) {
    if (at > image.size() || image.size() - at < size) return false;
    out.append(reinterpret_cast<const char*>(image.data()) + at, size);
    return true;
}

}  // namespace

std::optional<VersionFieldAddresses> VersionFieldsForChip(uint8_t chipId) {
    for (const auto& row : kRows)
        if (row.chipId == chipId) return row.at;
    return std::nullopt;
}

std::optional<std::string> RawVersionText(std::span<const uint8_t> image,
                                          const VersionFieldAddresses& at) {
    std::string text;
    if (Append(text, image, at.codeVer, kCodeVerSize) &&
        Append(text, image, at.cusVer, kCusVerSize) &&
        Append(text, image, at.customer, kCustomerSize) &&
        Append(text, image, at.dayVer, kDayVerSize))
        return text;
    return std::nullopt;
}

}  // namespace quillon::tools
