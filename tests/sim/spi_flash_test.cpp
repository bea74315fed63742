#include "sim/spi_flash.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSize = 4096;
constexpr uint32_t kEraseMs = 200;

// One chip-select cycle: the command byte and whatever follows it.
void Command(sim::SpiFlash& flash, const Bytes& sent) {
    flash.Select();
    for (uint8_t b : sent) flash.Send(b);
    flash.Deselect();
}

// Sends a command and its extra bytes, then receives `count` answer bytes.
Bytes Query(sim::SpiFlash& flash, const Bytes& sent, size_t count) {
    flash.Select();
    for (uint8_t b : sent) flash.Send(b);
    Bytes answer;
    for (size_t i = 0; i < count; ++i) answer.push_back(flash.Receive());
    flash.Deselect();
    return answer;
}

uint8_t PinStatus(sim::SpiFlash& flash) {
    return Query(flash, {0x05}, 1)[0];
}

bool AllEqual(std::span<const uint8_t> bytes, uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](uint8_t b) { return b == value; });
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A private directory per test for backing files.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = fs::path(::testing::TempDir()) /
                ("spi_flash_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

std::unique_ptr<sim::SpiFlash> MakeFlash(const sim::SpiFlashConfig& config,
                                         platform::Clock& clock) {
    std::string error;
    auto flash = sim::SpiFlash::Create(config, clock, error);
    EXPECT_NE(flash, nullptr) << error;
    return flash;
}

// --- command sequences on the pins ---

struct SequenceCase {
    const char* name;
    uint8_t initialStatus;
    std::vector<Bytes> commands;
    uint8_t expectedStatus;  // once any erase has finished
    bool expectErased;
};

void PrintTo(const SequenceCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandSequence : public ::testing::TestWithParam<SequenceCase> {};

// The part starts with programmed (0x00) contents, so an erase shows.
TEST_P(CommandSequence, LeavesStatusAndContents) {
    const SequenceCase& c = GetParam();
    TempDir dir;
    WriteFile(dir.Path() / "flash.bin", Bytes(kSize, 0x00));
    platform::VirtualClock clock;
    auto flash = MakeFlash({.file = (dir.Path() / "flash.bin").string(),
                            .size = kSize,
                            .ids = {{0x9F, {0xC2, 0x20, 0x13}}, {0x90, {0xC2, 0x12}}},
                            .status = c.initialStatus,
                            .eraseMs = kEraseMs},
                           clock);
    ASSERT_NE(flash, nullptr);

    for (const Bytes& command : c.commands) Command(*flash, command);
    clock.Advance(kEraseMs);

    EXPECT_EQ(flash->Status(), c.expectedStatus);
    EXPECT_EQ(PinStatus(*flash), c.expectedStatus);
    EXPECT_TRUE(AllEqual(flash->Contents(), c.expectErased ? 0xFF : 0x00));
}

const SequenceCase kSequences[] = {
    {"WriteEnableSetsLatch", 0x00, {{0x06}}, 0x02, false},
    {"WriteDisableClearsLatch", 0x00, {{0x06}, {0x04}}, 0x00, false},
    {"LatchSurvivesStatusAndIdReads", 0x00, {{0x06}, {0x05}, {0x9F}, {0x90, 0, 0, 0}}, 0x02, false},
    {"LatchSurvivesUnknownCommand", 0x00, {{0x06}, {0xAA, 0x00}}, 0x02, false},
    {"LatchFromInitialStatus", 0x02, {{0xC7}}, 0x00, true},
    {"EraseWithoutLatchIgnored", 0x00, {{0xC7}}, 0x00, false},
    {"EraseC7", 0x00, {{0x06}, {0xC7}}, 0x00, true},
    {"Erase60", 0x00, {{0x06}, {0x60}}, 0x00, true},
    {"EraseRefusedWhileProtectedKeepsLatch", 0x1C, {{0x06}, {0xC7}}, 0x1E, false},
    {"EraseRefusedWithOneProtectBit", 0x10, {{0x06}, {0x60}}, 0x12, false},
    {"EraseRefusedWithLowestProtectBit", 0x04, {{0x06}, {0xC7}}, 0x06, false},
    {"WriteStatusAfterEnableWriteStatus", 0x1C, {{0x50}, {0x01, 0x00}}, 0x00, false},
    {"WriteStatusWithLatchClearsIt", 0x1C, {{0x06}, {0x01, 0x00}}, 0x00, false},
    {"WriteStatusWithoutUnlockIgnored", 0x1C, {{0x01, 0x00}}, 0x1C, false},
    {"EnableWriteStatusCoversOnlyNextCommand", 0x1C, {{0x50}, {0x05}, {0x01, 0x00}}, 0x1C, false},
    {"WriteStatusWithoutDataByteIgnored", 0x1C, {{0x06}, {0x01}}, 0x1E, false},
    {"WriteStatusTakesFirstDataByteOnly", 0x00, {{0x50}, {0x01, 0x1C, 0x00}}, 0x1C, false},
    {"WriteStatusCannotSetBusyOrLatch", 0x00, {{0x50}, {0x01, 0xFF}}, 0xFC, false},
    {"UnprotectThenErase", 0x1C, {{0x50}, {0x01, 0x00}, {0x06}, {0xC7}}, 0x00, true},
    {"StatusWriteUsesUpLatchBeforeErase", 0x1C, {{0x06}, {0x01, 0x00}, {0xC7}}, 0x00, false},
};

INSTANTIATE_TEST_SUITE_P(SpiFlash, CommandSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// --- fixture for a memory-only part on a virtual clock ---

class SpiFlashTest : public ::testing::Test {
  protected:
    std::unique_ptr<sim::SpiFlash> Make(sim::SpiFlashConfig config = {}) {
        config.size = kSize;
        config.eraseMs = kEraseMs;
        return MakeFlash(config, clock_);
    }

    platform::VirtualClock clock_;
};

TEST_F(SpiFlashTest, ReselectAbandonsEraseThatNeverSawDeselect) {
    auto flash = Make();
    ASSERT_TRUE(flash->ProgramFromChip(0, Bytes{0x00}, 0x06, 0x02));
    Command(*flash, {0x06});
    flash->Select();
    flash->Send(0xC7);
    flash->Select();  // chip select never went high
    flash->Send(0x05);
    flash->Deselect();
    EXPECT_EQ(flash->Contents()[0], 0x00);
    EXPECT_FALSE(flash->Busy());
    EXPECT_TRUE(flash->WriteEnabled());
}

TEST_F(SpiFlashTest, EraseKeepsPartBusyForEraseTime) {
    auto flash = Make({.ids = {{0x9F, {0xC2, 0x20, 0x13}}}});
    Command(*flash, {0x06});
    Command(*flash, {0xC7});

    EXPECT_TRUE(flash->Busy());
    EXPECT_EQ(flash->Status(), 0x03);  // the latch reads set until the erase is done
    EXPECT_EQ(Query(*flash, {0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    Command(*flash, {0x06});  // ignored while busy
    Command(*flash, {0x50});  // ignored while busy: grants nothing
    EXPECT_FALSE(flash->ProgramFromChip(0, Bytes{0x00}, 0x06, 0x02));

    // Polling within one chip-select cycle sees the busy bit drop.
    flash->Select();
    flash->Send(0x05);
    EXPECT_EQ(flash->Receive(), 0x03);
    clock_.Advance(kEraseMs - 1);
    EXPECT_EQ(flash->Receive(), 0x03);
    clock_.Advance(1);
    EXPECT_EQ(flash->Receive(), 0x00);
    flash->Deselect();

    EXPECT_FALSE(flash->Busy());
    EXPECT_FALSE(flash->WriteEnabled());
    EXPECT_EQ(Query(*flash, {0x9F}, 3), (Bytes{0xC2, 0x20, 0x13}));
    EXPECT_TRUE(AllEqual(flash->Contents(), 0xFF));
}

TEST_F(SpiFlashTest, EnableWriteStatusWhileBusyGrantsNothing) {
    auto flash = Make();
    Command(*flash, {0x06});
    Command(*flash, {0xC7});
    Command(*flash, {0x50});
    clock_.Advance(kEraseMs);
    Command(*flash, {0x01, 0x1C});
    EXPECT_EQ(flash->Status(), 0x00);
}

TEST_F(SpiFlashTest, ProgrammingOnlyClearsBitsAndWraps) {
    auto flash = Make();
    Command(*flash, {0x06});
    ASSERT_TRUE(flash->ProgramFromChip(0x10, Bytes{0xF0, 0x0F}, 0x06, 0x02));
    EXPECT_FALSE(flash->WriteEnabled());
    ASSERT_TRUE(flash->ProgramFromChip(0x10, Bytes{0x3C, 0xFF}, 0x06, 0x02));
    // Past the end the address wraps to the start.
    ASSERT_TRUE(flash->ProgramFromChip(kSize - 1 + 2 * kSize, Bytes{0x12, 0x34}, 0x06, 0x02));

    Bytes read(2);
    flash->ReadFromChip(0x10, read);
    EXPECT_EQ(read, (Bytes{0x30, 0x0F}));
    flash->ReadFromChip(kSize - 1, read);
    EXPECT_EQ(read, (Bytes{0x12, 0x34}));
    flash->ReadFromChip(kSize + 0x11, read);
    EXPECT_EQ(read, (Bytes{0x0F, 0xFF}));
}

struct ProgramCase {
    const char* name;
    uint8_t partWriteEnable, partProgram, status;
    uint8_t chipWriteEnable, chipProgram;
    bool programs;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramFromChip : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramFromChip, ObeysOnlyThePartsCommandsWhenUnprotected) {
    const ProgramCase& c = GetParam();
    platform::VirtualClock clock;
    auto flash = MakeFlash({.size = kSize,
                            .status = c.status,
                            .programCommand = c.partProgram,
                            .writeEnableCommand = c.partWriteEnable},
                           clock);
    ASSERT_NE(flash, nullptr);
    Command(*flash, {0x06});

    EXPECT_EQ(flash->ProgramFromChip(0x20, Bytes{0x5A}, c.chipWriteEnable, c.chipProgram),
              c.programs);
    EXPECT_EQ(flash->Contents()[0x20], c.programs ? 0x5A : 0xFF);
    EXPECT_FALSE(flash->WriteEnabled());
    EXPECT_TRUE(AllEqual(flash->Contents().subspan(0x21), 0xFF));
}

const ProgramCase kProgramCases[] = {
    {"DefaultCommands", 0x06, 0x02, 0x00, 0x06, 0x02, true},
    {"PartsOwnCommands", 0x06, 0xAD, 0x00, 0x06, 0xAD, true},
    {"WrongProgramCommand", 0x06, 0xAD, 0x00, 0x06, 0x02, false},
    {"WrongWriteEnableCommand", 0x06, 0x02, 0x00, 0x16, 0x02, false},
    {"ProtectedAllBits", 0x06, 0x02, 0x1C, 0x06, 0x02, false},
    {"ProtectedOneBit", 0x06, 0x02, 0x08, 0x06, 0x02, false},
    {"UpperStatusBitsDoNotProtect", 0x06, 0x02, 0xE0, 0x06, 0x02, true},
};

INSTANTIATE_TEST_SUITE_P(SpiFlash, ProgramFromChip, ::testing::ValuesIn(kProgramCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpiFlashTest, IdentificationAnswersListedBytesThenFloats) {
    auto flash =
        Make({.ids = {{0x9F, {0x7F, 0x7F, 0xC2, 0x20, 0x13}}, {0x90, {0xC2, 0x12}}, {0x15, {}}}});

    EXPECT_EQ(Query(*flash, {0x9F}, 7), (Bytes{0x7F, 0x7F, 0xC2, 0x20, 0x13, 0xFF, 0xFF}));
    // Address and dummy bytes sent after the command use up no answer byte.
    EXPECT_EQ(Query(*flash, {0x90, 0x00, 0x00, 0x00}, 3), (Bytes{0xC2, 0x12, 0xFF}));
    // A new chip-select cycle starts the answer over.
    EXPECT_EQ(Query(*flash, {0x90}, 1), (Bytes{0xC2}));
    EXPECT_EQ(Query(*flash, {0x15}, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(Query(*flash, {0xAB, 0, 0, 0}, 2), (Bytes{0xFF, 0xFF}));  // no entry
    // Before a command byte, or with chip select high, nothing drives the line.
    flash->Select();
    EXPECT_EQ(flash->Receive(), 0xFF);
    flash->Deselect();
    EXPECT_EQ(flash->Receive(), 0xFF);
}

// --- backing file ---

TEST(SpiFlashFile, CreatedErasedAndWrittenThrough) {
    TempDir dir;
    fs::path file = dir.Path() / "cam0.bin";
    platform::VirtualClock clock;
    auto flash = MakeFlash({.file = file.string(), .size = kSize}, clock);
    ASSERT_NE(flash, nullptr);

    Bytes expected(kSize, 0xFF);
    EXPECT_EQ(ReadFile(file), expected);

    ASSERT_TRUE(flash->ProgramFromChip(kSize - 1, Bytes{0x11, 0x22, 0x33}, 0x06, 0x02));
    expected[kSize - 1] = 0x11;
    expected[0] = 0x22;
    expected[1] = 0x33;
    EXPECT_EQ(ReadFile(file), expected);

    Command(*flash, {0x06});
    Command(*flash, {0xC7});
    EXPECT_EQ(ReadFile(file), Bytes(kSize, 0xFF));
    EXPECT_EQ(flash->FileError(), "");
}

TEST(SpiFlashFile, ExistingContentsSurviveReopen) {
    TempDir dir;
    fs::path file = dir.Path() / "cam0.bin";
    platform::VirtualClock clock;
    {
        auto flash = MakeFlash({.file = file.string(), .size = kSize}, clock);
        ASSERT_NE(flash, nullptr);
        ASSERT_TRUE(flash->ProgramFromChip(0x100, Bytes{0xAB, 0xCD}, 0x06, 0x02));
    }
    auto flash = MakeFlash({.file = file.string(), .size = kSize}, clock);
    ASSERT_NE(flash, nullptr);
    Bytes read(2);
    flash->ReadFromChip(0x100, read);
    EXPECT_EQ(read, (Bytes{0xAB, 0xCD}));
}

TEST(SpiFlashFile, ShortFileIsPaddedErased) {
    TempDir dir;
    fs::path file = dir.Path() / "short.bin";
    WriteFile(file, Bytes{0x01, 0x02, 0x03});
    platform::VirtualClock clock;
    auto flash = MakeFlash({.file = file.string(), .size = kSize}, clock);
    ASSERT_NE(flash, nullptr);

    Bytes expected(kSize, 0xFF);
    expected[0] = 0x01;
    expected[1] = 0x02;
    expected[2] = 0x03;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash->Contents().begin(),
                           flash->Contents().end()));
    EXPECT_EQ(ReadFile(file), expected);
}

TEST(SpiFlashFile, LongFileExcessIsIgnoredAndKept) {
    TempDir dir;
    fs::path file = dir.Path() / "long.bin";
    Bytes original(kSize + 16, 0x00);
    original[kSize] = 0x77;
    WriteFile(file, original);
    platform::VirtualClock clock;
    auto flash = MakeFlash({.file = file.string(), .size = kSize}, clock);
    ASSERT_NE(flash, nullptr);

    Command(*flash, {0x06});
    Command(*flash, {0xC7});
    Bytes expected(kSize, 0xFF);
    expected.insert(expected.end(), original.begin() + kSize, original.end());
    EXPECT_EQ(ReadFile(file), expected);
    Bytes wrapped(1);
    flash->ReadFromChip(kSize, wrapped);
    EXPECT_EQ(wrapped[0], 0xFF);
}

TEST(SpiFlashFile, UnopenableFileIsReported) {
    TempDir dir;
    platform::VirtualClock clock;
    std::string error;
    auto flash = sim::SpiFlash::Create(
        {.file = (dir.Path() / "missing" / "cam0.bin").string(), .size = kSize}, clock, error);
    EXPECT_EQ(flash, nullptr);
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST(SpiFlashCreate, ZeroSizeIsRefused) {
    platform::VirtualClock clock;
    std::string error;
    EXPECT_EQ(sim::SpiFlash::Create({.size = 0}, clock, error), nullptr);
    EXPECT_FALSE(error.empty());
}

}  // namespace
