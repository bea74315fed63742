// The firmware burn against simulated cameras: what ends in the flash, what
// travels to the camera and in which order, the progress reports and the
// error codes of each refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "tests/testing/scenario_builder.h"
#include "tests/testing/sim_device.h"

// The working copy is the burn's one allocation, made with nothrow new[].
// Counting such allocations (and failing them on demand) shows whether and
// when the burn allocated, and what it does without memory.
namespace {
bool g_countArrays = false;
bool g_failArrays = false;
int g_arrays = 0;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_countArrays) {
        ++g_arrays;
        if (g_failArrays) return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::InstalledScenario;
using quillon_test::ScenarioBuilder;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kImageLength = 128 * 1024;
constexpr int32_t kFlashType = 1;
constexpr int32_t kEarlierCode = ERR_CHIP_IDENT;  // stands for a code left by an earlier failure

// A firmware image without 0xFF bytes (so an erased byte always shows), whose
// bytes differ from their neighbours, with the sector table marker at 0x160.
Bytes MakeImage(size_t length) {
    Bytes image(length);
    for (size_t i = 0; i < length; ++i)
        image[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + 1) % 255);
    const char marker[] = "tSec";
    if (length >= 0x164) std::copy(marker, marker + 4, image.begin() + 0x160);
    return image;
}

// A firmware that was in the flash before the burn: every byte has bits the
// new image clears, and none looks erased.
Bytes OldFirmware(size_t length) {
    Bytes old(length);
    for (size_t i = 0; i < length; ++i) old[i] = static_cast<uint8_t>(0xF0 | (i & 0x03));
    return old;
}

// --- cameras ---

enum class Kind { kMemory, kBlock, kBoot };

// 8-byte transfers: chip 0x85 with a ROM whose row has no block transfer.
void MemoryCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x00)
        .Register(0x80F0, 0x85)
        .Arch(1)
        .CommandRegisters()
        .Rom(0xAFF8, "QMCF0", 1, 0x46)
        .FlashId(0x9F, {0xC2, 0x20, 0x12})
        .FlashSize(0x40000)
        .EraseMs(5);
}
// 64-byte transfers: chip 0x88 with a QMCT0 ROM.
void BlockCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x00)
        .Register(0x80F0, 0x88)
        .Arch(1)
        .CommandRegisters()
        .Rom(0xAFF8, "QMCT0", 1, 0x46)
        .FlashId(0x9F, {0xC2, 0x20, 0x10})
        .EraseMs(5);
}
// Chip 0x16: 8-byte transfers and the boot bytes withheld as well.
void BootCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x16)
        .Arch(0)
        .CommandRegisters()
        .Rom(0xDFF8, "QMBG0", 1)
        .FlashId(0x9F, {0xC2, 0x20, 0x10})
        .EraseMs(5);
}

void Configure(CameraBuilder& c, Kind kind) {
    switch (kind) {
        case Kind::kMemory:
            return MemoryCamera(c);
        case Kind::kBlock:
            return BlockCamera(c);
        case Kind::kBoot:
            return BootCamera(c);
    }
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::kMemory:
            return "Memory";
        case Kind::kBlock:
            return "Block";
        case Kind::kBoot:
            return "Boot";
    }
    return "?";
}

// --- trace ---

struct Exchange {
    bool set = false;
    int selector = 0;
    Bytes data;
    int status = 0;
};

Exchange ParseExchange(const std::string& line) {
    std::istringstream fields(line);
    std::string camera, direction, hex;
    Exchange e;
    fields >> camera >> direction >> e.selector >> hex >> e.status;
    e.set = direction == "SET";
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        e.data.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return e;
}

struct MemoryWrite {
    uint32_t address;
    Bytes bytes;
};

bool IsMemoryWrite(const Exchange& e) {
    return e.set && e.selector == 3 && (e.data.at(2) & 0x80) == 0;
}
bool IsMemoryReadRequest(const Exchange& e) {
    return e.set && e.selector == 3 && (e.data.at(2) & 0x80) != 0;
}
bool IsBlockSet(const Exchange& e) {
    return e.set && e.selector == 6;
}

std::vector<MemoryWrite> MemoryWrites(const std::vector<std::string>& trace) {
    std::vector<MemoryWrite> writes;
    for (const std::string& line : trace) {
        const Exchange e = ParseExchange(line);
        if (!IsMemoryWrite(e)) continue;
        const uint32_t bank = (e.data[2] >> 4) & 0x03;
        const size_t count = e.data[2] & 0x0F;
        writes.push_back({e.data[0] | (e.data[1] << 8) | (bank << 16),
                          Bytes(e.data.begin() + 3, e.data.begin() + 3 + count)});
    }
    return writes;
}

size_t CountIf(const std::vector<std::string>& trace, bool (*pred)(const Exchange&)) {
    return std::count_if(trace.begin(), trace.end(),
                         [pred](const std::string& line) { return pred(ParseExchange(line)); });
}

// --- fixture ---

struct Reports {
    std::vector<float> fractions;
    static void Record(void* context, float fraction) {
        static_cast<Reports*>(context)->fractions.push_back(fraction);
    }
};

class BurnTest : public ::testing::Test {
  protected:
    void SetUp() override { CameraManager::Instance().ResetForTesting(); }
    void TearDown() override {
        g_countArrays = g_failArrays = false;
        CameraManager::Instance().ResetForTesting();
    }

    // Installs the scenario and opens its camera as the enumeration would.
    // The trace then holds what the burn sends, and nothing before it.
    CameraDevice& Open(const ScenarioBuilder& builder) {
        // The device goes before its system, and one system is installed at a time.
        device_.reset();
        scenario_.reset();
        scenario_.emplace(builder.Install());
        device_ = quillon::testing::OpenSimDevice(0);
        if (!device_) throw std::runtime_error("the simulated camera cannot be opened");
        uint8_t chipID = 0;
        int32_t asicArchType = 0;
        if (device_->ReadChipId(&chipID, &asicArchType) != -1)
            device_->InitChipProfile(asicArchType);
        else
            device_->LoadRegisterProfile(0);
        device_->lastError = kEarlierCode;
        scenario_->ClearTrace();
        return *device_;
    }
    CameraDevice& Open(Kind kind, const Bytes& flash = {}) {
        ScenarioBuilder b;
        CameraBuilder& c = b.AddCamera();
        Configure(c, kind);
        if (!flash.empty()) c.FlashData(0, flash);
        return Open(b);
    }

    int32_t Burn(const Bytes& image, uint8_t fullVerify = 1, Reports* reports = nullptr,
                 int32_t flashType = kFlashType) {
        return device_->BurnFirmware(image.data(), static_cast<int32_t>(image.size()),
                                     reports ? &Reports::Record : nullptr, reports, flashType,
                                     fullVerify);
    }

    Bytes Flash(size_t length) const {
        const Bytes all = scenario_->Camera(0).FlashContents();
        return Bytes(all.begin(), all.begin() + std::min(length, all.size()));
    }
    std::vector<std::string> Trace() const { return scenario_->Trace(); }
    InstalledScenario& Scenario() { return *scenario_; }

    std::optional<InstalledScenario> scenario_;
    std::unique_ptr<CameraDevice> device_;
};

// --- a whole burn on each path ---

struct FullBurnCase {
    Kind kind;
    uint8_t fullVerify;
    bool withCallback;
};

class FullBurnTest : public BurnTest, public ::testing::WithParamInterface<FullBurnCase> {};

TEST_P(FullBurnTest, LeavesTheImageInTheFlash) {
    const FullBurnCase& p = GetParam();
    const Bytes image = MakeImage(kImageLength);
    Open(p.kind, OldFirmware(kImageLength));
    const uint64_t before = Scenario().NowMs();
    Reports reports;

    ASSERT_EQ(Burn(image, p.fullVerify, p.withCallback ? &reports : nullptr), 0);

    EXPECT_EQ(Flash(kImageLength), image);
    EXPECT_EQ(device_->lastError, kEarlierCode) << "success never clears a code";
    EXPECT_GE(Scenario().NowMs() - before, 2000u) << "the erase is followed by a 2 s pause";
    if (!p.withCallback) {
        EXPECT_TRUE(reports.fractions.empty());
    }

    // The path shows in the traffic: 64-byte pieces carry the whole image on
    // the block path, and the one 8-byte write there is the sector table's.
    const std::vector<std::string> trace = Trace();
    const size_t blockSets = CountIf(trace, IsBlockSet);
    const size_t memoryWrites = CountIf(trace, IsMemoryWrite);
    if (p.kind == Kind::kBlock) {
        const size_t windows = p.fullVerify ? 2 : 1 + kImageLength / 1024;
        EXPECT_EQ(blockSets, kImageLength / 64 + windows);
        EXPECT_EQ(memoryWrites, 1u);
    } else {
        EXPECT_EQ(blockSets, 0u);
        const size_t late = p.kind == Kind::kBoot ? 6 : 1;
        EXPECT_EQ(memoryWrites, kImageLength / 8 + late);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FullBurnTest,
    ::testing::Values(FullBurnCase{Kind::kMemory, 1, true}, FullBurnCase{Kind::kMemory, 0, false},
                      FullBurnCase{Kind::kBlock, 1, false}, FullBurnCase{Kind::kBlock, 0, true},
                      FullBurnCase{Kind::kBoot, 1, true}, FullBurnCase{Kind::kBoot, 0, false}),
    [](const ::testing::TestParamInfo<FullBurnCase>& info) {
        return std::string(KindName(info.param.kind)) +
               (info.param.fullVerify ? "FullVerify" : "SpotCheck") +
               (info.param.withCallback ? "" : "NoCallback");
    });

// --- refusals before anything is written ---

TEST_F(BurnTest, FlashTypeZeroIsRefusedWithoutAnyExchange) {
    Open(Kind::kBlock);
    EXPECT_EQ(Burn(MakeImage(kImageLength), 1, nullptr, 0), 1);
    EXPECT_EQ(device_->lastError, ERR_NO_FLASH_TYPE);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(BurnTest, ImageEndingBeforeTheSectorTableIsRefusedWithoutAnyExchange) {
    Open(Kind::kMemory);
    const Bytes image = MakeImage(0x168);
    for (int32_t length : {-1, -0x20000, 0, 0x167}) {
        EXPECT_EQ(device_->BurnFirmware(image.data(), length, nullptr, nullptr, kFlashType, 1), 1)
            << length;
    }
    EXPECT_EQ(device_->BurnFirmware(nullptr, kImageLength, nullptr, nullptr, kFlashType, 1), 1);
    EXPECT_EQ(device_->lastError, kEarlierCode);
    EXPECT_TRUE(Trace().empty());
}

TEST_F(BurnTest, ChipWithBootBytesRefusesAnImageEndingBeforeItsCrcArea) {
    const Bytes old = OldFirmware(0x8000);
    Open(Kind::kBoot, old);
    EXPECT_EQ(Burn(MakeImage(0x6716)), 1);
    EXPECT_EQ(device_->lastError, kEarlierCode);
    // Only the chip ID was read: no ROM request, no flash command.
    for (const std::string& line : Trace()) {
        const Exchange e = ParseExchange(line);
        EXPECT_EQ(e.selector, 1) << line;
        if (e.set) {
            EXPECT_EQ(e.data.at(3), 0xFF) << "a register read request: " << line;
        }
    }
    EXPECT_EQ(Flash(old.size()), old);
}

TEST_F(BurnTest, SmallestImageIsBurnt) {
    // 0x168 bytes: the sector table's first 8 bytes are the image's last.
    const Bytes image = MakeImage(0x168);
    Open(Kind::kMemory);
    ASSERT_EQ(Burn(image), 0);
    EXPECT_EQ(Flash(image.size()), image);
}

TEST_F(BurnTest, UnidentifiableChipFailsKeepingTheEarlierCode) {
    ScenarioBuilder b;
    b.AddCamera()
        .Register(0x101F, 0x41)
        .Register(0x80F0, 0x42)
        .Arch(1)
        .Rom(0xAFF8, "QMCT0", 1, 0x46);
    Open(b);
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    EXPECT_EQ(device_->lastError, kEarlierCode);
    EXPECT_EQ(CountIf(Trace(), [](const Exchange& e) { return e.selector != 1; }), 0u);
}

TEST_F(BurnTest, StreamingCameraIsRefusedWithTheFlashUntouched) {
    ScenarioBuilder b;
    BlockCamera(b.AddCamera().Register(0xA302, 0x01).FlashData(0, OldFirmware(0x20000)));
    Open(b);
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    EXPECT_EQ(device_->lastError, ERR_STREAMING);
    EXPECT_EQ(Flash(0x20000), OldFirmware(0x20000));
    // Nothing but identification: no SPI engine, no flash data, no block window.
    for (const std::string& line : Trace()) {
        const Exchange e = ParseExchange(line);
        EXPECT_TRUE(e.selector == 1 || e.selector == 4) << line;
        if (e.selector == 1 && e.set) {
            EXPECT_EQ(e.data.at(3), 0xFF) << "no register write: " << line;
        }
    }
}

// Register settings some chips need before anything else, in this order. A
// camera without a readable ROM code stops the burn right after them (code 8).
struct ChipWritesCase {
    uint8_t chipID;
    std::vector<std::string> writes;
};

class ChipWritesTest : public BurnTest, public ::testing::WithParamInterface<ChipWritesCase> {};

TEST_P(ChipWritesTest, PrecedeTheRomIdentification) {
    ScenarioBuilder b;
    b.AddCamera().Register(0x101F, 0x00).Register(0x80F0, GetParam().chipID).Arch(1);
    Open(b);
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    EXPECT_EQ(device_->lastError, ERR_ROM_ID_READ);

    std::vector<std::string> writes;
    for (const std::string& entry : quillon::testing::RegisterTraffic(Trace())) {
        if (entry.rfind("ROM", 0) == 0) break;
        if (entry[0] == 'W') writes.push_back(entry);
    }
    EXPECT_EQ(writes, GetParam().writes);
    EXPECT_EQ(
        CountIf(Trace(), [](const Exchange& e) { return e.selector == 3 || e.selector == 6; }), 0u);
}

INSTANTIATE_TEST_SUITE_P(ChipIds, ChipWritesTest,
                         ::testing::Values(ChipWritesCase{0x85,
                                                          {"W 05FF 5A", "W 0A00 01", "W 0A0A 01"}},
                                           ChipWritesCase{0x86, {"W 0A00 01", "W 0A0A 01"}},
                                           ChipWritesCase{0x89, {"W 0A00 01", "W 0A0A 01"}},
                                           ChipWritesCase{0x88, {}}, ChipWritesCase{0x90, {}}),
                         [](const ::testing::TestParamInfo<ChipWritesCase>& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Chip%02X", info.param.chipID);
                             return std::string(name);
                         });

// --- the erase check ---

// A flash whose block protection survives the preparation (memory type 2
// leaves the status register alone) ignores the erase: the old bytes stay.
ScenarioBuilder ProtectedFlash(uint32_t dirtyAddress) {
    ScenarioBuilder b;
    BlockCamera(b.AddCamera().MemoryType(2).FlashStatus(0x1C).FlashData(dirtyAddress, {0x00}));
    return b;
}

TEST_F(BurnTest, UnerasedSampleFailsTheBurnBeforeTheWorkingCopy) {
    Open(ProtectedFlash(0x4003));  // inside the 8 bytes sampled at 0x4000
    g_countArrays = true;
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    g_countArrays = false;
    EXPECT_EQ(device_->lastError, ERR_FLASH_ERASE);
    EXPECT_EQ(g_arrays, 0) << "the working copy was allocated";
    EXPECT_EQ(CountIf(Trace(), IsMemoryWrite) + CountIf(Trace(), IsBlockSet), 0u);
    // Samples at 0, 1024, ... 0x4000, and no further.
    EXPECT_EQ(CountIf(Trace(), IsMemoryReadRequest), 0x4000u / 1024 + 1);
}

TEST_F(BurnTest, UnerasedByteBetweenSamplesPassesTheBlankCheck) {
    Open(ProtectedFlash(0x4008));  // just past the sampled bytes
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    // Programming began (and, the flash being protected, changed nothing).
    EXPECT_GT(CountIf(Trace(), IsBlockSet), 0u);
    EXPECT_EQ(device_->lastError, ERR_VERIFY);
}

TEST_F(BurnTest, ImageOf1024BytesOrLessGetsNoBlankCheck) {
    for (const auto& [length, samples] : {std::pair{1024, 0}, {0x168, 0}, {1025, 1}, {2049, 2}}) {
        SCOPED_TRACE(length);
        Open(Kind::kMemory);
        ASSERT_EQ(Burn(MakeImage(length)), 0);
        // Blank-check reads are the reads before the first write.
        const std::vector<std::string> trace = Trace();
        size_t reads = 0;
        for (const std::string& line : trace) {
            const Exchange e = ParseExchange(line);
            if (IsMemoryWrite(e)) break;
            if (IsMemoryReadRequest(e)) ++reads;
        }
        EXPECT_EQ(reads, static_cast<size_t>(samples));
    }
}

TEST_F(BurnTest, NoMemoryForTheWorkingCopyFailsWithCode16BeforeProgramming) {
    Open(Kind::kMemory);
    g_countArrays = g_failArrays = true;
    EXPECT_EQ(Burn(MakeImage(kImageLength)), 1);
    g_countArrays = g_failArrays = false;
    EXPECT_EQ(g_arrays, 1);
    EXPECT_EQ(device_->lastError, ERR_NO_MEMORY);
    EXPECT_EQ(CountIf(Trace(), IsMemoryWrite), 0u);
}

// --- withheld bytes ---

TEST_F(BurnTest, SectorTableStartIsWrittenLast) {
    for (Kind kind : {Kind::kMemory, Kind::kBlock}) {
        SCOPED_TRACE(KindName(kind));
        const Bytes image = MakeImage(kImageLength);
        Open(kind);
        ASSERT_EQ(Burn(image), 0);
        const std::vector<std::string> trace = Trace();
        const std::vector<MemoryWrite> writes = MemoryWrites(trace);
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.back().address, 0x160u);
        EXPECT_EQ(writes.back().bytes, Bytes(image.begin() + 0x160, image.begin() + 0x168));

        // The main pass carried 0xFF for the first four bytes and the image for the rest.
        Bytes mainPiece;
        if (kind == Kind::kMemory) {
            ASSERT_GE(writes.size(), 2u);
            const auto it = std::find_if(writes.begin(), writes.end() - 1,
                                         [](const MemoryWrite& w) { return w.address == 0x160; });
            ASSERT_NE(it, writes.end() - 1);
            mainPiece = it->bytes;
        } else {
            // Block pieces follow the window command in address order: 0x140..0x17F is the 6th.
            std::vector<Bytes> blocks;
            for (const std::string& line : trace) {
                const Exchange e = ParseExchange(line);
                if (IsBlockSet(e)) blocks.push_back(e.data);
            }
            ASSERT_GT(blocks.size(), 6u);
            mainPiece = Bytes(blocks[6].begin() + 0x20, blocks[6].begin() + 0x28);
        }
        Bytes expected(image.begin() + 0x160, image.begin() + 0x168);
        std::fill(expected.begin(), expected.begin() + 4, 0xFF);
        EXPECT_EQ(mainPiece, expected);
    }
}

TEST_F(BurnTest, ChipWithBootBytesWritesThemAfterTheSectorTableInOrder) {
    const Bytes image = MakeImage(kImageLength);
    Open(Kind::kBoot);
    ASSERT_EQ(Burn(image), 0);
    const std::vector<MemoryWrite> writes = MemoryWrites(Trace());
    ASSERT_GE(writes.size(), 6u);

    auto slice = [&](uint32_t at, size_t n) {
        return Bytes(image.begin() + at, image.begin() + at + n);
    };
    const std::vector<MemoryWrite> late(writes.end() - 6, writes.end());
    const std::vector<std::pair<uint32_t, Bytes>> expected{
        {0x160, slice(0x160, 8)},   {0x6702, slice(0x6702, 8)}, {0x670A, slice(0x670A, 8)},
        {0x6712, slice(0x6712, 5)}, {0x0000, slice(0x0000, 2)}, {0x6700, slice(0x6700, 2)}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(late[i].address, expected[i].first) << i;
        EXPECT_EQ(late[i].bytes, expected[i].second) << i;
    }
    // In the main pass those bytes went out erased.
    for (auto it = writes.begin(); it != writes.end() - 6; ++it) {
        for (size_t i = 0; i < it->bytes.size(); ++i) {
            const uint32_t at = it->address + static_cast<uint32_t>(i);
            if (at < 2 || (at >= 0x160 && at < 0x164) || (at >= 0x6700 && at < 0x6717)) {
                EXPECT_EQ(it->bytes[i], 0xFF) << std::hex << at;
            }
        }
    }
}

// Block pieces carry no address: they go where the last window command said.
TEST_F(BurnTest, LostWindowCommandStopsTheBurnBeforeAnyPieceIsSent) {
    // An image whose first 12 bytes happen to read as a window command
    // (write 0x1000..0x2000 in 64-byte pieces): sent without a window open,
    // its first piece would move the rest of the image to 0x1000.
    Bytes image = MakeImage(kImageLength);
    const Bytes command{0x00, 0x10, 0x00, 0x00, 0x00, 0x40, 0x00, 0x20, 0x00, 0x00, 0x0B, 0x01};
    std::copy(command.begin(), command.end(), image.begin());

    // The window command is the last exchange before the first progress report.
    struct FirstReport {
        sim::SimCamera* camera;
        uint32_t exchanges = 0;
        static void On(void* context, float) {
            auto* self = static_cast<FirstReport*>(context);
            if (self->exchanges == 0) self->exchanges = self->camera->ExchangeCount();
        }
    };
    Open(Kind::kBlock);
    FirstReport first{&Scenario().Camera(0)};
    ASSERT_EQ(
        device_->BurnFirmware(image.data(), kImageLength, &FirstReport::On, &first, kFlashType, 0),
        0);
    ASSERT_EQ(Flash(kImageLength), image);

    ScenarioBuilder b;
    BlockCamera(b.AddCamera().FailAt(first.exchanges));
    Open(b);
    EXPECT_EQ(Burn(image, 0), 1);
    EXPECT_EQ(device_->lastError, kEarlierCode);
    const std::vector<std::string> trace = Trace();
    const auto failed = std::find_if(trace.begin(), trace.end(), [](const std::string& line) {
        return ParseExchange(line).status != 0;
    });
    ASSERT_NE(failed, trace.end());
    EXPECT_TRUE(IsBlockSet(ParseExchange(*failed))) << *failed;
    EXPECT_EQ(std::count_if(failed + 1, trace.end(),
                            [](const std::string& line) {
                                const Exchange e = ParseExchange(line);
                                return IsBlockSet(e) || IsMemoryWrite(e);
                            }),
              0);
    const Bytes flash = Flash(kImageLength);
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
}

// --- odd image lengths ---

TEST_F(BurnTest, LastPartialPieceIsPaddedAndNothingPastTheImageIsCompared) {
    // 0x1000 + 13 bytes: neither a multiple of 8 nor of 64. The image lives in
    // a buffer of exactly its length, so a read past it shows under the sanitizers.
    for (Kind kind : {Kind::kMemory, Kind::kBlock}) {
        for (uint8_t fullVerify : {1, 0}) {
            SCOPED_TRACE(std::string(KindName(kind)) + (fullVerify ? " full" : " spot"));
            const Bytes image = MakeImage(0x1000 + 13);
            Open(kind);
            ASSERT_EQ(Burn(image, fullVerify), 0);
            const Bytes flash = Flash(0x2000);
            EXPECT_EQ(Bytes(flash.begin(), flash.begin() + image.size()), image);
            EXPECT_TRUE(std::all_of(flash.begin() + image.size(), flash.end(),
                                    [](uint8_t b) { return b == 0xFF; }));
        }
    }
}

// --- read-back ---

// A bit that drops out of the flash after programming, between the samples of
// the spot check: at 0x2010, 16 bytes past the sample at 0x2000.
struct DropBit {
    InstalledScenario* scenario;
    float trigger;
    uint32_t address = 0x2010;
    uint8_t value;
    static void OnProgress(void* context, float fraction) {
        auto* self = static_cast<DropBit*>(context);
        if (fraction != self->trigger || self->trigger < 0) return;
        self->trigger = -1;  // once
        const uint8_t cleared = self->value & (self->value - 1);
        ASSERT_TRUE(self->scenario->Camera(0).Flash().ProgramFromChip(
            self->address, std::span<const uint8_t>(&cleared, 1), 0x06, 0x02));
    }
};

TEST_F(BurnTest, SpotCheckMissesAByteBetweenSamplesThatFullVerificationFinds) {
    const Bytes image = MakeImage(kImageLength);
    for (Kind kind : {Kind::kMemory, Kind::kBlock}) {
        for (uint8_t fullVerify : {0, 1}) {
            SCOPED_TRACE(std::string(KindName(kind)) + (fullVerify ? " full" : " spot"));
            Open(kind);
            // The report after programming (0.5, or 1.0 without full verification)
            // comes when the whole image is in the flash and before the read-back.
            DropBit drop{&*scenario_, fullVerify ? 0.5f : 1.0f, 0x2010, image[0x2010]};
            ASSERT_NE(drop.value, 0);
            const int32_t result = device_->BurnFirmware(
                image.data(), kImageLength, &DropBit::OnProgress, &drop, kFlashType, fullVerify);
            ASSERT_LT(drop.trigger, 0) << "the flash was never changed";
            ASSERT_NE(Flash(kImageLength), image);
            if (fullVerify) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(device_->lastError, ERR_VERIFY);
            } else {
                EXPECT_EQ(result, 0) << "the spot check reads 8 bytes per KiB only";
                EXPECT_EQ(device_->lastError, kEarlierCode);
            }
        }
    }
}

TEST_F(BurnTest, ReadBackFindsADroppedBitInASampledByte) {
    const Bytes image = MakeImage(kImageLength);
    Open(Kind::kBlock);
    DropBit drop{&*scenario_, 1.0f, 0x2004, image[0x2004]};
    ASSERT_NE(drop.value, 0);
    EXPECT_EQ(device_->BurnFirmware(image.data(), kImageLength, &DropBit::OnProgress, &drop,
                                    kFlashType, 0),
              1);
    EXPECT_EQ(device_->lastError, ERR_VERIFY);
}

// --- progress ---

TEST_F(BurnTest, ProgressWithFullVerificationRunsThroughTwoHalves) {
    const Bytes image = MakeImage(kImageLength);
    Open(Kind::kBlock);
    Reports reports;
    ASSERT_EQ(Burn(image, 1, &reports), 0);
    const std::vector<float>& f = reports.fractions;

    const size_t perHalf = kImageLength / 512;
    ASSERT_EQ(f.size(), 2 * perHalf + 2);
    EXPECT_EQ(f.front(), 0.0f);
    EXPECT_EQ(f.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(f.begin(), f.end()));
    // Programming: address / length halved; then 0.5 once for the end of
    // programming and once for the read-back's first report.
    for (size_t i = 0; i < perHalf; ++i) {
        const float expected =
            static_cast<float>(i * 512) / static_cast<float>(kImageLength) * 0.5f;
        ASSERT_EQ(f[i], expected) << i;
    }
    EXPECT_EQ(f[perHalf], 0.5f);
    EXPECT_EQ(f[perHalf + 1], 0.5f);
    for (size_t i = 0; i < perHalf; ++i) {
        const float expected =
            static_cast<float>(i * 512) / static_cast<float>(kImageLength) * 0.5f + 0.5f;
        ASSERT_EQ(f[perHalf + 1 + i], expected) << i;
    }
    EXPECT_LT(f[2 * perHalf], 1.0f);
    EXPECT_EQ(std::count(f.begin(), f.end(), 0.5f), 2);
}

TEST_F(BurnTest, ProgressWithSpotCheckCoversProgrammingOnly) {
    // An odd length: the fractions are still address / length in single precision.
    const int32_t length = 0x5000 + 40;
    const Bytes image = MakeImage(length);
    Open(Kind::kMemory);
    Reports reports;
    ASSERT_EQ(Burn(image, 0, &reports), 0);
    const std::vector<float>& f = reports.fractions;

    const size_t reportsWhileProgramming = (length + 511) / 512;
    ASSERT_EQ(f.size(), reportsWhileProgramming + 1);
    for (size_t i = 0; i < reportsWhileProgramming; ++i)
        ASSERT_EQ(f[i], static_cast<float>(i * 512) / static_cast<float>(length)) << i;
    EXPECT_EQ(f.front(), 0.0f);
    EXPECT_EQ(f.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(f.begin(), f.end()));
}

}  // namespace
}  // namespace quillon
