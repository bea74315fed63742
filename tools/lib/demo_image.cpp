#include "tools/lib/demo_image.h"

#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "tools/lib/cli.h"
#include "tools/lib/crc32.h"
#include "tools/lib/version_fields.h"

namespace quillon::tools {
namespace {

constexpr uint8_t kPad = '-';

void CheckField(std::string_view name, const std::string& text, size_t max, bool exact) {
    if (text.size() > max || (exact && text.size() != max))
        throw ToolError(std::string(name) + " '" + text + "' must be " +
                        (exact ? "exactly " : "at most ") + std::to_string(max) + " characters");
    for (char c : text)
        if (c < 0x20 || c > 0x7E)
            throw ToolError(std::string(name) + " must be printable ASCII text");
}

uint32_t Fnv1a(std::string_view text, uint32_t h) {
    for (char c : text) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

// Seeded from every option, so images that differ in any field differ in
// their filler too, and a burn of the wrong one cannot pass for the right one.
uint32_t FillerSeed(const DemoImageOptions& o) {
    uint32_t h = 2166136261u;
    const std::string id(o.firmwareId.begin(), o.firmwareId.end());
    for (std::string_view part :
         {std::string_view(id), std::string_view(o.codeVer), std::string_view(o.cusVer),
          std::string_view(o.customer), std::string_view(o.dayVer)})
        h = Fnv1a(part, h) ^ 0x5Cu;
    h ^= o.chipId;
    return h == 0 ? 1 : h;
}

void Fill(std::vector<uint8_t>& image, uint32_t seed) {
    uint32_t x = seed;
    for (auto& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x % 255);  // 0..254: never the erased value
    }
}

void PutBe32(std::vector<uint8_t>& image, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void PutPadded(std::vector<uint8_t>& image, size_t at, const std::string& text, size_t size) {
    std::memset(image.data() + at, kPad, size);
    std::memcpy(image.data() + at, text.data(), text.size());
}

void PutSectorTable(std::vector<uint8_t>& image) {
    std::memset(image.data() + kSectorTableAt, 0, kSectorTableSize);
    std::memcpy(image.data() + kSectorTableAt, "tSec", 4);
    PutBe32(image, kSectorTableAt + 15, kParamTableAt);
    PutBe32(image, kSectorTableAt + 19, kParamTableSize);
    PutBe32(image, kSectorTableAt + 39, kCrcAreaAt);
}

void PutCrcArea(std::vector<uint8_t>& image) {
    char text[16];
    std::snprintf(text, sizeof text, "CRC32:%08x",
                  Crc32(std::span<const uint8_t>(image.data(), kCrcAreaAt)));
    std::memcpy(image.data() + kCrcAreaAt, text, 14);
}

}  // namespace

std::vector<uint8_t> MakeDemoImage(const DemoImageOptions& o) {
    const auto at = VersionFieldsForChip(o.chipId);
    if (!at)
        throw ToolError("no fixed version field addresses are known for chip " +
                        FormatByte(o.chipId));
    CheckField("code version", o.codeVer, kCodeVerSize, false);
    CheckField("CusVer", o.cusVer, kCusVerSize, false);
    CheckField("Customer", o.customer, kCustomerSize, false);
    CheckField("DayVer", o.dayVer, kDayVerSize, true);

    std::vector<uint8_t> image(kDemoImageSize);
    Fill(image, FillerSeed(o));
    PutSectorTable(image);
    std::memcpy(image.data() + kFirmwareIdAt, o.firmwareId.data(), o.firmwareId.size());
    PutPadded(image, at->codeVer, o.codeVer, kCodeVerSize);
    PutPadded(image, at->cusVer, o.cusVer, kCusVerSize);
    PutPadded(image, at->customer, o.customer, kCustomerSize);
    PutPadded(image, at->dayVer, o.dayVer, kDayVerSize);
    PutCrcArea(image);
    return image;
}

}  // namespace quillon::tools
