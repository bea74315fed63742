// What the firmware in the flash says about itself: the flash layout taken
// from the ROM code or the sector table, and the version text.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "tests/testing/scenario_builder.h"
#include "tests/testing/sim_device.h"

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::InstalledScenario;
using quillon_test::ScenarioBuilder;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Memory read requests in a trace: (address, count).
std::vector<std::pair<uint32_t, unsigned>> MemoryReads(const std::vector<std::string>& trace) {
    std::vector<std::pair<uint32_t, unsigned>> reads;
    for (const std::string& line : trace) {
        std::istringstream fields(line);
        std::string camera, direction, hex;
        int selector = 0;
        fields >> camera >> direction >> selector >> hex;
        if (direction != "SET" || selector != 3) continue;
        const unsigned command = std::stoul(hex.substr(4, 2), nullptr, 16);
        if ((command & 0x80) == 0) continue;
        const uint32_t address = std::stoul(hex.substr(0, 2), nullptr, 16) |
                                 std::stoul(hex.substr(2, 2), nullptr, 16) << 8 |
                                 ((command >> 4) & 0x03) << 16;
        reads.emplace_back(address, command & 0x0F);
    }
    return reads;
}

class FirmwareInfoTest : public ::testing::Test {
  protected:
    void SetUp() override { CameraManager::Instance().ResetForTesting(); }
    void TearDown() override { CameraManager::Instance().ResetForTesting(); }

    CameraDevice& Open(const ScenarioBuilder& builder) {
        device_.reset();
        scenario_.reset();
        scenario_.emplace(builder.Install());
        device_ = quillon::testing::OpenSimDevice(0);
        if (!device_) throw std::runtime_error("the simulated camera cannot be opened");
        scenario_->ClearTrace();  // the discovery probes
        return *device_;
    }
    std::vector<std::string> Trace() const { return scenario_->Trace(); }

    std::optional<InstalledScenario> scenario_;
    std::unique_ptr<CameraDevice> device_;
};

// ------------------------------------------------------------ flash layout ---

struct Rom {
    uint16_t address;
    const char* code;
    uint8_t version;
    uint8_t byte6;
};

struct LayoutCase {
    const char* name;
    Rom rom;
    int32_t result;
    uint32_t start, end, crc;
    bool readsSectorTable;
};

// A short sector table (256-byte units) and a long one (big-endian words), as
// the two firmware generations lay them out at 0x160.
Bytes ShortSectorTable() {
    Bytes t(32, 0x00);
    std::memcpy(t.data(), "tSec", 4);
    t[8] = 0x50;
    t[9] = 0x06;
    t[14] = 0x5B;
    return t;
}
Bytes LongSectorTable() {
    Bytes t(43, 0x00);
    std::memcpy(t.data(), "tSec", 4);
    const uint8_t start[4] = {0x00, 0x01, 0x30, 0x00}, length[4] = {0x00, 0x00, 0x06, 0x00},
                  crc[4] = {0x00, 0x01, 0x3B, 0x00};
    std::memcpy(&t[15], start, 4);
    std::memcpy(&t[19], length, 4);
    std::memcpy(&t[39], crc, 4);
    return t;
}

class FlashLayoutTest : public FirmwareInfoTest,
                        public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(FlashLayoutTest, FollowsTheFirstMatchingRule) {
    const LayoutCase& p = GetParam();
    ScenarioBuilder b;
    const bool longForm = p.start == 0x13000;
    b.AddCamera()
        .Rom(p.rom.address, p.rom.code, p.rom.version, p.rom.byte6)
        .FlashData(0x160, longForm ? LongSectorTable() : ShortSectorTable());
    Open(b);

    uint32_t start = 0xDEADBEEF, end = 0xDEADBEEF, crc = 0xDEADBEEF;
    ASSERT_EQ(device_->GetFlashLayout(&start, &end, &crc), p.result);
    if (p.result == 0) {
        EXPECT_EQ(start, p.start);
        EXPECT_EQ(end, p.end);
        EXPECT_EQ(crc, p.crc);
    } else {
        EXPECT_EQ(start, 0xDEADBEEF);
        EXPECT_EQ(end, 0xDEADBEEF);
        EXPECT_EQ(crc, 0xDEADBEEF);
    }
    const auto reads = MemoryReads(Trace());
    if (!p.readsSectorTable) {
        EXPECT_TRUE(reads.empty());
    } else {
        const unsigned length = longForm ? 43 : 32;
        ASSERT_EQ(reads.size(), (length + 7) / 8);
        EXPECT_EQ(reads.front().first, 0x160u);
        EXPECT_EQ(reads.back().second, length % 8 ? length % 8 : 8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FlashLayoutTest,
    ::testing::Values(
        LayoutCase{"Qmbg", {0xDFF8, "QMBG0", 1, 0}, 0, 0x5800, 0x6700, 0x6700, false},
        LayoutCase{"QmbgLaterVersion", {0xDFF8, "QMBG0", 5, 0}, 0, 0x5800, 0x6700, 0x6700, false},
        LayoutCase{"NoRule", {0x9FF8, "QMBH0", 1, 0}, 0, 0x8000, 0x8800, 0, false},
        LayoutCase{"QmcfCompat", {0xAFF8, "QMCF0", 1, 0x30}, 0, 0xC000, 0xCF00, 0xCF00, false},
        LayoutCase{"QmcfLong", {0xAFF8, "QMCF0", 1, 0x46}, 0, 0x13000, 0x13600, 0x13B00, true},
        LayoutCase{"QmcfOther", {0xAFF8, "QMCF0", 1, 0x47}, 0, 0x8000, 0x8800, 0, false},
        LayoutCase{"QmbnOne", {0xC7F8, "QMBN0", 1, 0}, 0, 0xC000, 0xCF00, 0xCF00, false},
        LayoutCase{"QmbnTwoShort", {0xC7F8, "QMBN0", 2, 0}, 0, 0x5000, 0x5600, 0x5B00, true},
        LayoutCase{"QmcsShort", {0xBFF8, "QMCS0", 1, 0}, 0, 0x5000, 0x5600, 0x5B00, true},
        LayoutCase{
            "QmcwLongWithoutByte6", {0x9FF8, "QMCW0", 1, 0}, 0, 0x13000, 0x13600, 0x13B00, true},
        LayoutCase{"QmctLong", {0xAFF8, "QMCT0", 1, 0x46}, 0, 0x13000, 0x13600, 0x13B00, true},
        LayoutCase{"QmbmOneFallsThrough", {0xDFF8, "QMBM0", 1, 0}, 0, 0x8000, 0x8800, 0, false},
        LayoutCase{"QmbmTwoFails", {0xBFF8, "QMBM0", 2, 0}, 1, 0, 0, 0, false},
        LayoutCase{"NoRomCode", {0x1234, "XXXX0", 1, 0}, 1, 0, 0, 0, false}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST_F(FirmwareInfoTest, LongFormLocatesTheFirmwareIdentifier) {
    // The package image's layout: parameter table at 0x13000, identifier at +6.
    ScenarioBuilder b;
    b.AddCamera()
        .Rom(0xAFF8, "QMCT0", 1, 0x46)
        .FlashData(0x160, LongSectorTable())
        .FlashData(0x13000, {'P', 'a', 'r', 'a', 'm', 's', 0x51, 0x4C, 0x30, 0x01});
    Open(b);
    uint32_t start = 0, end = 0, crc = 0;
    ASSERT_EQ(device_->GetFlashLayout(&start, &end, &crc), 0);
    uint8_t id[4] = {};
    ASSERT_EQ(device_->ReadMemoryRange(static_cast<int32_t>(start) + 6, id), 0);
    EXPECT_EQ(Bytes(id, id + 4), (Bytes{0x51, 0x4C, 0x30, 0x01}));
}

TEST_F(FirmwareInfoTest, FailedSectorTableReadFailsTheLayout) {
    // The ROM search reaches 0xAFF8 last: 6 ROM reads of two exchanges, then the table.
    ScenarioBuilder b;
    b.AddCamera().Rom(0xAFF8, "QMCT0", 1, 0x46).FlashData(0x160, LongSectorTable()).FailAt(13);
    Open(b);
    uint32_t start = 7, end = 7, crc = 7;
    EXPECT_EQ(device_->GetFlashLayout(&start, &end, &crc), 1);
    EXPECT_EQ(start, 7u);
    EXPECT_EQ(end, 7u);
    EXPECT_EQ(crc, 7u);
}

// ---------------------------------------------------------- version text ---

constexpr size_t kTextSize = 56;

struct VersionFields {
    std::string code = "1234A";
    std::string cusVer = "ABC-------";
    std::string customer = "XY--------";
    std::string dayVer = "2301021530";
};

struct FieldAddresses {
    uint32_t customer, cusVer, dayVer, code;
};

// A camera whose flash holds the four fields at the given addresses; every
// other byte around them holds '#', so a read from a wrong address shows.
ScenarioBuilder VersionCamera(uint8_t chipID, const Rom& rom, const FieldAddresses& at,
                              const VersionFields& f = {}) {
    ScenarioBuilder b;
    CameraBuilder& c = b.AddCamera();
    c.Register(0x101F, chipID).Rom(rom.address, rom.code, rom.version, rom.byte6);
    c.FlashData(0, Bytes(0x8000, '#'));
    c.FlashData(at.customer, Text(f.customer)).FlashData(at.cusVer, Text(f.cusVer));
    c.FlashData(at.dayVer, Text(f.dayVer)).FlashData(at.code, Text(f.code));
    return b;
}

std::string Raw(const VersionFields& f) {
    return f.code + f.cusVer + f.customer + f.dayVer;
}

// The text and what follows it up to 56 bytes, which must all be zero.
std::string TextOf(const char* buffer) {
    const size_t n = strnlen(buffer, kTextSize);
    for (size_t i = n; i < kTextSize; ++i) {
        if (buffer[i] != 0) return "<byte " + std::to_string(i) + " after the text is not zero>";
    }
    return std::string(buffer, n);
}

struct VersionCase {
    const char* name;
    uint8_t chipID;
    Rom rom;
    FieldAddresses at;
};

class VersionTableTest : public FirmwareInfoTest,
                         public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTableTest, ReadsTheFieldsWhereTheChipKeepsThem) {
    const VersionCase& p = GetParam();
    Open(VersionCamera(p.chipID, p.rom, p.at));
    char buffer[64];
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_EQ(device_->ReadFirmwareVersion(buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(TextOf(buffer), Raw({}));
    EXPECT_EQ(buffer[56], 0x55) << "only 56 bytes are handed out";
}

constexpr Rom kQmct{0xAFF8, "QMCT0", 1, 0x46};
constexpr Rom kQmbsV1{0x9FF8, "QMBS0", 1, 0};
constexpr Rom kQmbsV2{0x9FF8, "QMBS0", 2, 0};

INSTANTIATE_TEST_SUITE_P(
    ChipIds, VersionTableTest,
    ::testing::Values(VersionCase{"Chip15", 0x15, kQmct, {0x3E00, 0x3E0A, 0x3E14, 0x01F3}},
                      VersionCase{"Chip56", 0x56, kQmct, {0x3E00, 0x3E0A, 0x3E14, 0x01F3}},
                      VersionCase{"Chip16", 0x16, kQmct, {0x0FD0, 0x0FDA, 0x0FE4, 0x0153}},
                      VersionCase{"Chip25", 0x25, kQmct, {0x5E00, 0x5E0A, 0x5E14, 0x01F3}},
                      VersionCase{"Chip32Rom1", 0x32, kQmbsV1, {0x0FD0, 0x0FDA, 0x0FE4, 0x0153}},
                      VersionCase{"Chip32Rom2", 0x32, kQmbsV2, {0x0FD0, 0x0FE2, 0x0FEC, 0x0FDA}},
                      VersionCase{"Chip70", 0x70, kQmct, {0x3E05, 0x3E0F, 0x3E19, 0x3E00}},
                      VersionCase{"Chip75Rom1", 0x75, kQmbsV1, {0x2000, 0x2012, 0x201C, 0x200A}},
                      VersionCase{"Chip76Rom1", 0x76, kQmbsV1, {0x3FD0, 0x3FDA, 0x3FE4, 0x0153}},
                      VersionCase{"Chip83", 0x83, kQmct, {0x2000, 0x2012, 0x201C, 0x200A}},
                      VersionCase{"Chip85", 0x85, kQmct, {0x2000, 0x2012, 0x201C, 0x200A}},
                      VersionCase{"Chip88", 0x88, kQmct, {0x2000, 0x2012, 0x201D, 0x200A}},
                      VersionCase{"Chip90", 0x90, kQmct, {0x2000, 0x2012, 0x201D, 0x200A}}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST_F(FirmwareInfoTest, DayVerSitsOneByteLaterOnChip88ThanOnChip85) {
    // The same flash read by both chips: each finds its date only at its own address.
    const FieldAddresses at88{0x2000, 0x2012, 0x201D, 0x200A};
    for (uint8_t chipID : {0x85, 0x88}) {
        SCOPED_TRACE(chipID);
        Open(VersionCamera(chipID, kQmct, at88));
        char buffer[kTextSize] = {};
        ASSERT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 0);
        const std::string day = TextOf(buffer).substr(25);
        EXPECT_EQ(day, chipID == 0x88 ? "2301021530" : "#230102153");
    }
}

TEST_F(FirmwareInfoTest, ChipsWithoutVersionFieldsFail) {
    struct Case {
        uint8_t chipID;
        Rom rom;
    };
    const FieldAddresses at{0x2000, 0x2012, 0x201C, 0x200A};
    for (const Case& c :
         {Case{0x22, kQmct}, Case{0x23, kQmct}, Case{0x33, kQmct}, Case{0x67, kQmct},
          Case{0x87, kQmct}, Case{0x41, kQmct}, Case{0x32, {0x9FF8, "QMBS0", 3, 0}},
          Case{0x32, {0x1234, "NONE0", 1, 0}}, Case{0x75, kQmbsV2}, Case{0x76, kQmbsV2}}) {
        SCOPED_TRACE(c.chipID);
        Open(VersionCamera(c.chipID, c.rom, at));
        char buffer[kTextSize];
        std::memset(buffer, 0x55, sizeof buffer);
        EXPECT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 1);
        EXPECT_EQ(buffer[0], 0x55);
        EXPECT_TRUE(MemoryReads(Trace()).empty());
    }
}

TEST_F(FirmwareInfoTest, FormattedTextOfTheWorkedExample) {
    const FieldAddresses at{0x2000, 0x2012, 0x201D, 0x200A};
    Open(VersionCamera(0x88, kQmct, at));
    char raw[kTextSize] = {}, formatted[kTextSize] = {};
    ASSERT_EQ(device_->ReadFirmwareVersion(raw, kTextSize, 1), 0);
    ASSERT_EQ(device_->ReadFirmwareVersion(formatted, kTextSize, 0), 0);
    EXPECT_EQ(TextOf(raw), "1234AABC-------XY--------2301021530");
    EXPECT_EQ(TextOf(formatted), "1234-ABC-A-V230102_15_30-XY");
}

TEST_F(FirmwareInfoTest, FormattedTextOnAQmbhChipLeavesOutTheFifthCodeCharacter) {
    const FieldAddresses at{0x3E00, 0x3E0A, 0x3E14, 0x01F3};
    Open(VersionCamera(0x15, {0x9FF8, "QMBH0", 1, 0}, at));
    char formatted[kTextSize] = {};
    ASSERT_EQ(device_->ReadFirmwareVersion(formatted, kTextSize, 0), 0);
    EXPECT_EQ(TextOf(formatted), "1234-ABC-V230102_15_30-XY");
}

TEST_F(FirmwareInfoTest, UnreadableRomCountsAsAnotherRomOfVersionZero) {
    // Chip 0x15 has one set of fields for every ROM; without a ROM code the
    // text keeps the fifth code character, as on any chip that is not QMBH.
    const FieldAddresses at{0x3E00, 0x3E0A, 0x3E14, 0x01F3};
    Open(VersionCamera(0x15, {0x1234, "QMBH0", 1, 0}, at));
    char formatted[kTextSize] = {};
    ASSERT_EQ(device_->ReadFirmwareVersion(formatted, kTextSize, 0), 0);
    EXPECT_EQ(TextOf(formatted), "1234-ABC-A-V230102_15_30-XY");
}

TEST_F(FirmwareInfoTest, FormattedTextDropsOnlyDashesAndIsAtMost42Bytes) {
    // Fields without padding give the longest text; a NUL inside CusVer is
    // copied like any other byte that is not '-'.
    VersionFields f{"98765", std::string("AB\0CDEFGHI", 10), "QRSTUVWXYZ", "9912312359"};
    const FieldAddresses at{0x2000, 0x2012, 0x201D, 0x200A};
    Open(VersionCamera(0x88, kQmct, at, f));
    char formatted[64];
    std::memset(formatted, 0x55, sizeof formatted);
    ASSERT_EQ(device_->ReadFirmwareVersion(formatted, sizeof formatted, 0), 0);
    const std::string expected =
        std::string("9876-AB\0CDEFGHI", 15) + "-5-V991231_23_59-QRSTUVWXYZ";
    ASSERT_EQ(expected.size(), 42u);
    EXPECT_EQ(std::string(formatted, 42), expected);
    for (size_t i = 42; i < kTextSize; ++i) EXPECT_EQ(formatted[i], 0) << i;
}

TEST_F(FirmwareInfoTest, RawTextIs35BytesOfFieldsAnd21ZerosWhateverTheFieldsHold) {
    // An erased flash (all 0xFF) and fields full of NULs both come out as
    // 35 bytes as read, then zeros.
    ScenarioBuilder erased;
    erased.AddCamera().Register(0x101F, 0x88).Rom(0xAFF8, "QMCT0", 1, 0x46);
    Open(erased);
    char buffer[kTextSize];
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 0);
    for (size_t i = 0; i < kTextSize; ++i)
        EXPECT_EQ(static_cast<uint8_t>(buffer[i]), i < 35 ? 0xFF : 0x00) << i;

    const std::string zeros(10, '\0');
    const std::string code{'1', '2', '\0', '4', '5'};
    const std::string customer = std::string{'X', '\0', 'Y'} + std::string(7, '-');
    const FieldAddresses at{0x2000, 0x2012, 0x201D, 0x200A};
    Open(VersionCamera(0x88, kQmct, at, {code, zeros, customer, zeros}));
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 0);
    EXPECT_EQ(std::string(buffer, 35), code + zeros + customer + zeros);
    EXPECT_EQ(std::string(buffer + 35, 21), std::string(21, '\0'));
}

TEST_F(FirmwareInfoTest, FieldWhoseReadFailsStaysZero) {
    const FieldAddresses at{0x2000, 0x2012, 0x201D, 0x200A};
    // Where the DayVer request falls among the exchanges of a clean read.
    Open(VersionCamera(0x88, kQmct, at));
    char buffer[kTextSize] = {};
    ASSERT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 0);
    const std::vector<std::string> trace = Trace();
    size_t dayRequest = 0;
    for (size_t i = 0; i < trace.size() && dayRequest == 0; ++i) {
        ASSERT_EQ(trace[i].find("PROBE"), std::string::npos) << "exchange numbers skip probes";
        const auto reads = MemoryReads({trace[i]});
        if (!reads.empty() && reads[0].first == 0x201D) dayRequest = i + 1;
    }
    ASSERT_NE(dayRequest, 0u);

    ScenarioBuilder b = VersionCamera(0x88, kQmct, at);
    b.Camera(0).FailAt(static_cast<uint32_t>(dayRequest));
    Open(b);
    std::memset(buffer, 0x55, sizeof buffer);
    ASSERT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 0);
    EXPECT_EQ(std::string(buffer, 35),
              std::string("1234AABC-------XY--------") + std::string(10, '\0'));
}

TEST_F(FirmwareInfoTest, BufferShorterThanTheTextIsRefusedUntouched) {
    const FieldAddresses at{0x2000, 0x2012, 0x201D, 0x200A};
    Open(VersionCamera(0x88, kQmct, at));
    char buffer[kTextSize];
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize - 1, 1), 1);
    EXPECT_EQ(device_->ReadFirmwareVersion(nullptr, kTextSize, 1), 1);
    EXPECT_EQ(buffer[0], 0x55);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(FirmwareInfoTest, UnknownChipFails) {
    ScenarioBuilder b;
    b.AddCamera().Register(0x101F, 0x41).Register(0x80F0, 0x42).Rom(0xAFF8, "QMCT0", 1, 0x46);
    Open(b);
    char buffer[kTextSize];
    EXPECT_EQ(device_->ReadFirmwareVersion(buffer, kTextSize, 1), 1);
    EXPECT_TRUE(MemoryReads(Trace()).empty());
}

}  // namespace
}  // namespace quillon
