// What a firmware in the flash says about itself: where its parameter table
// and CRC area lie (which depends on the chip's ROM code), and its version
// fields, put together as a version text.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>

#include "camlib/camera_device.h"
#include "chip/chip_tables.h"

namespace quillon {

namespace {

// ---------------------------------------------------------------- layout ---

constexpr int32_t kSectorTableAddress = 0x160;
constexpr size_t kShortSectorTable = 32;
constexpr size_t kLongSectorTable = 43;

constexpr uint8_t kByte6Compat = 0x30;
constexpr uint8_t kByte6Long = 0x46;

struct Layout {
    uint32_t start;
    uint32_t end;
    uint32_t crc;
};

enum class LayoutRule { kUnsupported, kFixedC000, kShortTable, kLongTable, kFixed5800, kDefault };

bool IsAnyOf(const uint8_t* rom, std::initializer_list<const char*> codes) {
    return std::any_of(codes.begin(), codes.end(),
                       [rom](const char* c) { return RomCodeIs(rom, c); });
}

// The first rule that the ROM identification matches; the order matters.
LayoutRule ChooseLayoutRule(const uint8_t* rom) {
    const uint8_t v = rom[5];
    const uint8_t x = rom[6];
    if (RomCodeIs(rom, "QMBM") && v >= 2) return LayoutRule::kUnsupported;
    if ((RomCodeIs(rom, "QMBN") && v == 1) ||
        (RomCodeIs(rom, "QMCF") && v == 1 && x == kByte6Compat) ||
        (RomCodeIs(rom, "QMCG") && v == 1))
        return LayoutRule::kFixedC000;
    if ((RomCodeIs(rom, "QMBN") && v == 2) ||
        (IsAnyOf(rom, {"QMCS", "QMBZ", "QMCB", "QMCH", "QMCJ"}) && v == 1))
        return LayoutRule::kShortTable;
    if ((IsAnyOf(rom, {"QMCC", "QMCD", "QMCW"}) && v == 1) ||
        (IsAnyOf(rom, {"QMCF", "QMCK", "QMCM", "QMCN", "QMCT", "QMCV", "QMCP", "QMBX"}) && v == 1 &&
         x == kByte6Long))
        return LayoutRule::kLongTable;
    if (RomCodeIs(rom, "QMBG")) return LayoutRule::kFixed5800;
    return LayoutRule::kDefault;
}

uint32_t BigEndian32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | static_cast<uint32_t>(b[at + 3]);
}

// The short sector table counts in 256-byte units.
Layout ShortTableLayout(std::span<const uint8_t> t) {
    const uint32_t start = t[8] * 256u;
    return Layout{start, start + t[9] * 256u, t[14] * 256u};
}

Layout LongTableLayout(std::span<const uint8_t> t) {
    const uint32_t start = BigEndian32(t, 15);
    return Layout{start, start + BigEndian32(t, 19), BigEndian32(t, 39)};
}

std::optional<Layout> ReadSectorTable(CameraDevice& dev, bool longForm) {
    std::array<uint8_t, kLongSectorTable> table;
    table.fill(0xFF);
    const std::span<uint8_t> bytes(table.data(), longForm ? kLongSectorTable : kShortSectorTable);
    if (dev.ReadMemoryRange(kSectorTableAddress, bytes) != 0) return std::nullopt;
    return longForm ? LongTableLayout(bytes) : ShortTableLayout(bytes);
}

// --------------------------------------------------------------- version ---

constexpr size_t kVersionTextSize = 56;
constexpr size_t kFieldLength = 10;
constexpr size_t kCodeVersionLength = 5;

struct VersionAddresses {
    int32_t customer;
    int32_t cusVer;
    int32_t dayVer;
    int32_t codeVer;
};

constexpr VersionAddresses kAt3E00{0x3E00, 0x3E0A, 0x3E14, 0x01F3};
constexpr VersionAddresses kAt0FD0{0x0FD0, 0x0FDA, 0x0FE4, 0x0153};
constexpr VersionAddresses kAt0FD0Rom2{0x0FD0, 0x0FE2, 0x0FEC, 0x0FDA};
constexpr VersionAddresses kAt5E00{0x5E00, 0x5E0A, 0x5E14, 0x01F3};
constexpr VersionAddresses kAt3E05{0x3E05, 0x3E0F, 0x3E19, 0x3E00};
constexpr VersionAddresses kAt2000{0x2000, 0x2012, 0x201C, 0x200A};
constexpr VersionAddresses kAt3FD0{0x3FD0, 0x3FDA, 0x3FE4, 0x0153};
constexpr VersionAddresses kAt2000Day1D{0x2000, 0x2012, 0x201D, 0x200A};

// Where a chip's firmware keeps its version fields; some chips moved them
// between ROM versions. Nothing for chips whose firmware has none we know of.
std::optional<VersionAddresses> VersionFieldsOf(uint8_t chipID, uint8_t romVersion) {
    switch (chipID) {
        case 0x15:
        case 0x56:
            return kAt3E00;
        case 0x16:
            return kAt0FD0;
        case 0x25:
            return kAt5E00;
        case 0x32:
            if (romVersion == 1) return kAt0FD0;
            if (romVersion == 2) return kAt0FD0Rom2;
            return std::nullopt;
        case 0x70:
        case 0x71:
            return kAt3E05;
        case 0x75:
            if (romVersion == 1) return kAt2000;
            return std::nullopt;
        case 0x76:
            if (romVersion == 1) return kAt3FD0;
            return std::nullopt;
        case 0x83:
        case 0x85:
        case 0x86:
        case 0x92:
            return kAt2000;
        case 0x88:
        case 0x89:
        case 0x90:
            return kAt2000Day1D;
        default:
            return std::nullopt;
    }
}

using Field = std::array<uint8_t, kFieldLength>;

struct VersionFields {
    Field customer{};
    Field cusVer{};
    Field dayVer{};
};

// A field whose read fails stays zero: each starts cleared, and the read
// results do not decide anything.
void ReadVersionFields(CameraDevice& dev, const VersionAddresses& at, VersionFields& fields,
                       std::span<uint8_t> codeVer) {
    (void)dev.ReadMemoryRange(at.customer, fields.customer);
    (void)dev.ReadMemoryRange(at.cusVer, fields.cusVer);
    (void)dev.ReadMemoryRange(at.dayVer, fields.dayVer);
    (void)dev.ReadMemoryRange(at.codeVer, codeVer.first(kCodeVersionLength));
}

// Code version, CusVer, Customer, DayVer, each as read: the same layout as a
// firmware package entry's name.
void BuildRawText(const VersionFields& f, std::span<uint8_t, kVersionTextSize> text) {
    size_t pos = kCodeVersionLength;
    for (const Field* field : {&f.cusVer, &f.customer, &f.dayVer}) {
        std::memcpy(text.data() + pos, field->data(), kFieldLength);
        pos += kFieldLength;
    }
}

class TextWriter {
  public:
    TextWriter(std::span<uint8_t> text, size_t pos) : text_(text), pos_(pos) {}
    void Put(uint8_t byte) { text_[pos_++] = byte; }
    void Put(std::span<const uint8_t> bytes) {
        for (uint8_t b : bytes) Put(b);
    }
    // The firmware pads its text fields with '-'; the formatted text drops the padding.
    void PutWithoutPadding(const Field& field) {
        for (uint8_t b : field)
            if (b != '-') Put(b);
    }

  private:
    std::span<uint8_t> text_;
    size_t pos_;
};

// E.g. 1234-ABC-A-V230102_15_30-XY from code version 1234A, CusVer ABC-------,
// Customer XY-------- and DayVer 2301021530. Chips with a QMBH ROM leave out
// the code version's fifth character. At most 42 bytes.
void BuildFormattedText(const VersionFields& f, bool qmbh,
                        std::span<uint8_t, kVersionTextSize> text) {
    const uint8_t kept = text[4];
    text[4] = '-';
    TextWriter out(text, kCodeVersionLength);
    out.PutWithoutPadding(f.cusVer);
    if (!qmbh) {
        out.Put('-');
        out.Put(kept);
    }
    const std::span<const uint8_t> day(f.dayVer);
    out.Put('-');
    out.Put('V');
    out.Put(day.subspan(0, 6));
    out.Put('_');
    out.Put(day.subspan(6, 2));
    out.Put('_');
    out.Put(day.subspan(8, 2));
    out.Put('-');
    out.PutWithoutPadding(f.customer);
}

}  // namespace

int32_t CameraDevice::GetFlashLayout(uint32_t* start, uint32_t* end, uint32_t* crc) {
    if (start == nullptr || end == nullptr || crc == nullptr) return 1;
    uint8_t rom[10] = {};
    if (ReadRomVersion(rom) != 0) return 1;
    std::optional<Layout> layout;
    switch (ChooseLayoutRule(rom)) {
        case LayoutRule::kUnsupported:
            return 1;
        case LayoutRule::kFixedC000:
            layout = Layout{0xC000, 0xCF00, 0xCF00};
            break;
        case LayoutRule::kShortTable:
            layout = ReadSectorTable(*this, false);
            break;
        case LayoutRule::kLongTable:
            layout = ReadSectorTable(*this, true);
            break;
        case LayoutRule::kFixed5800:
            layout = Layout{0x5800, 0x6700, 0x6700};
            break;
        case LayoutRule::kDefault:
            layout = Layout{0x8000, 0x8800, 0};
            break;
    }
    if (!layout) return 1;
    *start = layout->start;
    *end = layout->end;
    *crc = layout->crc;
    return 0;
}

int32_t CameraDevice::ReadFirmwareVersion(char* buffer, int32_t size, uint8_t rawForm) {
    // The whole 56-byte text goes to the caller or nothing does: a shorter
    // buffer would get a text cut off without its terminator.
    if (buffer == nullptr || size < static_cast<int32_t>(kVersionTextSize)) return 1;

    // Without a ROM identification the text is still built: as for version 0
    // of a ROM that is not QMBH.
    uint8_t RomValue[10] = {};
    if (ReadRomVersion(RomValue) != 0) std::memset(RomValue, 0, sizeof RomValue);

    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    if (ReadChipId(&chipID, &asicArchType) == -1) return 1;

    std::array<uint8_t, kVersionTextSize> FlashCodeVer{};
    const std::optional<VersionAddresses> at = VersionFieldsOf(chipID, RomValue[5]);
    if (!at) return 1;
    VersionFields fields;
    ReadVersionFields(*this, *at, fields, FlashCodeVer);

    if (rawForm != 0)
        BuildRawText(fields, FlashCodeVer);
    else
        BuildFormattedText(fields, RomCodeIs(RomValue, "QMBH"), FlashCodeVer);

    std::array<uint8_t, kVersionTextSize> Temp = FlashCodeVer;
    std::memcpy(buffer, Temp.data(), Temp.size());
    return 0;
}

}  // namespace quillon
