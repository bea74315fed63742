// Registers, 32-bit values, memory ranges and block windows, checked on the wire.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <set>

#include "camlib/camera_device.h"
#include "tests/testing/fake_ks.h"

namespace quillon {
namespace {

using testing::FakeFilter;
using testing::Hex;
using testing::RecordedRequest;

// A chip seen through the fake: a register file, a memory whose bytes are their
// address's low byte, and chosen request numbers that fail.
struct Chip {
    std::array<uint8_t, 0x10000> regs{};
    uint16_t latched = 0;
    int memAddress = 0;
    std::set<int> failing;  // request numbers (from 0) that fail with 31
    int n = 0;

    FakeFilter::Handler Handler() {
        return [this](const RecordedRequest& r, uint8_t* d, uint32_t) -> platform::HRESULT {
            if (failing.count(n++)) return 31;
            const bool get = r.flags & 1;
            if (r.selector == 1 && !get) {
                const uint16_t a = r.data[0] | (r.data[1] << 8);
                if (r.data[3] == 0xFF)
                    latched = a;
                else
                    regs[a] = r.data[2];
            } else if (r.selector == 1) {
                d[2] = regs[latched];
            } else if (r.selector == 3 && !get) {
                memAddress = r.data[0] | (r.data[1] << 8);
            } else if (r.selector == 3) {
                for (int i = 0; i < 8; ++i) d[3 + i] = static_cast<uint8_t>(memAddress + i);
            }
            return 0;
        };
    }
};

struct Fixture {
    Chip chip;
    FakeFilter* filter = FakeFilter::Create();
    std::unique_ptr<CameraDevice> dev;
    Fixture() {
        filter->handler = chip.Handler();
        dev = std::make_unique<CameraDevice>(nullptr, filter, 0);
        filter->Release();
    }
    // "SET 1 37030000" style lines of what went on the wire.
    std::vector<std::string> Wire() const {
        std::vector<std::string> out;
        for (const auto& r : filter->requests)
            out.push_back(std::string((r.flags & 1) ? "GET " : "SET ") +
                          std::to_string(r.selector) + " " + Hex(r.data));
        return out;
    }
};

TEST(Register32, AssemblesMostSignificantByteFirst) {
    Fixture f;
    f.chip.regs[0x337] = 0x00;
    f.chip.regs[0x338] = 0x02;
    uint32_t v = 0;
    ASSERT_TRUE(f.dev->ReadRegister32(0x337, &v));
    EXPECT_EQ(v, 0x20000u);
}

TEST(Register32, WritesFourBytesInOrder) {
    Fixture f;
    ASSERT_TRUE(f.dev->WriteRegister32(0x33B, 0x20000));
    EXPECT_EQ(f.Wire(), (std::vector<std::string>{"SET 1 3b030000", "SET 1 3c030200",
                                                  "SET 1 3d030000", "SET 1 3e030000"}));
}

TEST(Register32, StopsAtTheFirstFailure) {
    Fixture f;
    f.chip.failing = {1};  // the second write
    EXPECT_FALSE(f.dev->WriteRegister32(0x33B, 0x01020304));
    EXPECT_EQ(f.Wire().size(), 2u);
    EXPECT_EQ(f.chip.regs[0x33B], 0x01);
    EXPECT_EQ(f.chip.regs[0x33C], 0x00);

    Fixture g;
    g.chip.failing = {3};  // the reply of the second read
    uint32_t v = 0xDEAD;
    EXPECT_FALSE(g.dev->ReadRegister32(0x337, &v));
    EXPECT_EQ(v, 0xDEADu);
    EXPECT_EQ(g.Wire().size(), 4u);
}

TEST(RegisterRetry, SucceedsOnTheThirdRead) {
    Fixture f;
    f.chip.regs[0x101F] = 0x88;
    f.chip.failing = {0, 1};  // the first two read requests fail
    uint8_t v = 0;
    EXPECT_TRUE(f.dev->ReadRegisterWithRetry(0x101F, &v));
    EXPECT_EQ(v, 0x88);
    EXPECT_EQ(f.Wire().size(), 4u);  // SET (fail), SET (fail), SET, GET
}

TEST(RegisterRetry, ThreeFailuresLeaveTheOutput) {
    Fixture f;
    f.chip.failing = {0, 1, 2};
    uint8_t v = 0x5A;
    EXPECT_FALSE(f.dev->ReadRegisterWithRetry(0x101F, &v));
    EXPECT_EQ(v, 0x5A);
    EXPECT_EQ(f.Wire().size(), 3u);
}

struct BitCase {
    uint8_t value;
    uint8_t bit;
    uint8_t expect;
};

TEST(RegisterBit, MasksToTheBit) {
    for (BitCase c : {BitCase{0xFE, 0, 0}, BitCase{0xFF, 3, 0x08}, BitCase{0x01, 0, 1},
                      BitCase{0x80, 7, 0x80}}) {
        Fixture f;
        f.chip.regs[0x1084] = c.value;
        uint8_t out = 0x77;
        EXPECT_EQ(f.dev->TestRegisterBit(0x1084, c.bit, &out), 0);
        EXPECT_EQ(out, c.expect) << int(c.value) << " bit " << int(c.bit);
    }
    Fixture f;
    f.chip.failing = {0};
    uint8_t out = 0x77;
    EXPECT_EQ(f.dev->TestRegisterBit(0x1084, 0, &out), 1);
    EXPECT_EQ(out, 0x77);
}

struct RangeCase {
    size_t length;
    std::vector<std::string> requests;  // the read requests (SET lines)
};

TEST(MemoryRange, SplitsIntoEightBytePiecesAndARest) {
    const RangeCase cases[] = {
        {20, {"SET 3 600188" "0000000000000000", "SET 3 680188" "0000000000000000",
              "SET 3 700184" "0000000000000000"}},
        {0, {}},
        {5, {"SET 3 600185" "0000000000000000"}},
        {8, {"SET 3 600188" "0000000000000000"}},
    };
    for (const auto& c : cases) {
        Fixture f;
        std::vector<uint8_t> out(c.length, 0);
        EXPECT_EQ(f.dev->ReadMemoryRange(0x160, out), 0);
        std::vector<std::string> sets;
        for (const auto& w : f.Wire())
            if (w.rfind("SET", 0) == 0) sets.push_back(w);
        EXPECT_EQ(sets, c.requests) << c.length;
        for (size_t i = 0; i < c.length; ++i) ASSERT_EQ(out[i], uint8_t(0x60 + i)) << i;
    }
}

TEST(MemoryRange, StopsAtAFailingPieceLeavingTheRestUntouched) {
    Fixture f;
    f.chip.failing = {2};  // the request of the second piece
    std::vector<uint8_t> out(20, 0xAA);
    EXPECT_EQ(f.dev->ReadMemoryRange(0x160, out), 31);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(out[i], uint8_t(0x60 + i));
    for (size_t i = 8; i < 20; ++i) EXPECT_EQ(out[i], 0xAA) << i;
    EXPECT_EQ(f.Wire().size(), 3u);
}

TEST(MemoryRange, AFailedReplyReadsAsErased) {
    Fixture f;
    f.chip.failing = {1};  // the reply of the first piece
    std::vector<uint8_t> out(8, 0xAA);
    EXPECT_EQ(f.dev->ReadMemoryRange(0, out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(8, 0xFF));
}

TEST(BlockWindow, WriteCommandBytes) {
    Fixture f;
    ASSERT_EQ(f.dev->BeginBlockWrite(0, 0x20000, 64), 0);
    const auto wire = f.Wire();
    // Start and end read (equal: zero), so no register writes before the command.
    ASSERT_EQ(wire.size(), 17u);
    EXPECT_EQ(wire.back(), "SET 6 000000000040000002000b01" + std::string(104, '0'));
}

TEST(BlockWindow, ReadCommandWrapsTheEnd) {
    Fixture f;
    ASSERT_EQ(f.dev->BeginBlockRead(0xFFFFFFF0u, 0x20, 8), 0);
    EXPECT_EQ(f.Wire().back(), "SET 6 f0ffffff8008100000000b01" + std::string(104, '0'));
}

TEST(BlockWindow, ResetsAWindowLeftOpen) {
    Fixture f;
    f.chip.regs[0x338] = 0x01;  // start 0x10000, end 0: a window is open
    f.chip.regs[0x335] = 0x09;
    ASSERT_EQ(f.dev->BeginBlockRead(0x100, 8, 8), 0);
    std::vector<std::string> writes;
    for (const auto& w : f.Wire())
        if (w.rfind("SET 1", 0) == 0 && w.substr(12, 2) == "00") writes.push_back(w.substr(6, 6));
    EXPECT_EQ(writes, (std::vector<std::string>{"370300", "380300", "390300", "3a0300", "3b0300",
                                                "3c0300", "3d0300", "3e0300", "350300"}));
    EXPECT_EQ(f.chip.regs[0x338], 0);
    EXPECT_EQ(f.chip.regs[0x335], 0);
}

TEST(BlockWindow, EqualStartAndEndAreLeftAlone) {
    Fixture f;
    f.chip.regs[0x339] = 0x01;  // start 0x100
    f.chip.regs[0x33D] = 0x01;  // end 0x100
    ASSERT_EQ(f.dev->BeginBlockRead(0x200, 8, 8), 0);
    for (const auto& w : f.Wire())
        EXPECT_FALSE(w.rfind("SET 1", 0) == 0 && w.substr(12, 2) == "00") << w;
}

TEST(BlockWindow, ResultIsTheCommandTransfers) {
    Fixture f;
    f.chip.failing = {16};  // the command itself
    EXPECT_EQ(f.dev->BeginBlockWrite(0, 64, 64), 31);
    Fixture g;
    g.chip.failing = {0, 1};  // reads of the window registers: ignored
    EXPECT_EQ(g.dev->BeginBlockWrite(0, 64, 64), 0);
}

}  // namespace
}  // namespace quillon
