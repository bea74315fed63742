// The extension-unit controls as the host sees them: layouts, lengths and
// directions, the register file and its SPI engine, memory, ROM and block windows.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/sim/sim_test_support.h"

namespace quillon_test {
namespace {

using namespace platform;
using sim::kStatusBadLength;
using sim::kStatusDeviceFailure;
using sim::kStatusInvalidFunction;
using sim::kStatusNotFound;
using sim::kStatusOk;
using sim::kStatusSetNotFound;

// A scenario with one camera, its extension unit opened.
class OneCamera : public testing::Test {
  protected:
    void Install() {
        installed_.emplace(builder_.Install());
        cam_ = Open(0, xuNode_);
    }
    CameraBuilder& Camera() { return builder_.Camera(0); }
    sim::SimCamera& Sim() { return installed_->Camera(0); }
    Xu& xu() { return cam_.xu; }

    ScenarioBuilder builder_ = [] {
        ScenarioBuilder b;
        b.AddCamera();
        return b;
    }();
    uint32_t xuNode_ = 0;
    std::optional<InstalledScenario> installed_;
    OpenCamera cam_;
};

// --- lengths and directions ---

struct ControlCase {
    uint32_t selector;
    size_t length;
    bool set;  // takes SET (every control takes GET)
};

class ControlShape : public OneCamera, public testing::WithParamInterface<ControlCase> {};

TEST_P(ControlShape, WrongLengthOrDirectionFails) {
    Install();
    const ControlCase c = GetParam();
    Bytes data;
    for (size_t length : {c.length - 1, c.length + 1, size_t{0}}) {
        EXPECT_EQ(xu().Get(c.selector, length, data), kStatusBadLength) << "GET length " << length;
        if (c.set) {
            EXPECT_EQ(xu().Set(c.selector, Bytes(length, 0)), kStatusBadLength)
                << "SET length " << length;
        }
    }
    if (!c.set) {
        EXPECT_EQ(xu().Set(c.selector, Bytes(c.length, 0)), kStatusInvalidFunction);
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, ControlShape,
                         testing::Values(ControlCase{1, 4, true}, ControlCase{3, 11, true},
                                         ControlCase{4, 12, true}, ControlCase{5, 12, false},
                                         ControlCase{6, 64, true}));

TEST_F(OneCamera, RequestsOutsideTheControlsFail) {
    xuNode_ = 1;
    Camera().Nodes(3).XuNode(1);
    Install();
    const GUID otherSet{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    Bytes four(4, 0);
    struct Case {
        const char* what;
        KSP_NODE request;
        HRESULT status;
    };
    const Case cases[] = {
        {"other property set", Request(sim::kFlagsGet, 5, 1, otherSet), kStatusSetNotFound},
        {"other node", Request(sim::kFlagsGet, 1, 0), kStatusNotFound},
        {"selector 2", Request(sim::kFlagsSet, 2, 1), kStatusNotFound},
        {"selector 7", Request(sim::kFlagsGet, 7, 1), kStatusNotFound},
        {"no topology flag", Request(KSPROPERTY_TYPE_GET, 1, 1), E_INVALIDARG},
        {"GET and SET", Request(sim::kFlagsGet | KSPROPERTY_TYPE_SET, 1, 1), E_INVALIDARG},
        {"support query", Request(sim::kFlagsProbe, 1, 1), E_INVALIDARG},
    };
    for (const Case& c : cases) EXPECT_EQ(xu().Raw(c.request, four), c.status) << c.what;
    // Flags that are neither GET nor SET never reach the camera.
    EXPECT_EQ(Sim().ExchangeCount(), 4u);
}

TEST_F(OneCamera, SuccessfulGetReportsItsLength) {
    Install();
    Bytes data(12, 0xEE);
    uint32_t returned = 99;
    EXPECT_EQ(xu().Raw(Request(sim::kFlagsGet, 5, 0), data, &returned), kStatusOk);
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ(data, Bytes(12, 0)) << "bytes not in the reply read as zero";
    EXPECT_EQ(xu().Raw(Request(sim::kFlagsGet, 1, 0), data = Bytes(4, 0xEE), &returned),
              kStatusDeviceFailure);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(data, Bytes(4, 0xEE)) << "a failed GET leaves the buffer alone";
}

// --- register control and register file ---

TEST_F(OneCamera, RegisterWritesAndReads) {
    Camera().Register(0x101F, 0x40).Register(0xFFFF, 0x11);
    Install();
    EXPECT_EQ(xu().ReadRegister(0x101F), 0x40);
    EXPECT_EQ(xu().ReadRegister(0xFFFF), 0x11);
    EXPECT_EQ(xu().ReadRegister(0x1234), 0x00) << "unset registers are zero";
    ASSERT_EQ(xu().WriteRegister(0x1234, 0xA5), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x1234), 0xA5);
    EXPECT_EQ(Sim().Register(0x1234), 0xA5);

    // The reply layout: {0, 0, value, 0}.
    ASSERT_EQ(xu().Set(1, {0x34, 0x12, 0x00, 0xFF}), kStatusOk);
    EXPECT_EQ(xu().Get(1, 4), (Bytes{0x00, 0x00, 0xA5, 0x00}));
}

TEST_F(OneCamera, RegisterGetNeedsAPendingReadRequest) {
    Install();
    Bytes data;
    EXPECT_EQ(xu().Get(1, 4, data), kStatusDeviceFailure);
    ASSERT_EQ(xu().Set(1, {0x00, 0x20, 0x00, 0xFF}), kStatusOk);
    EXPECT_EQ(xu().Get(1, 4, data), kStatusOk);
    EXPECT_EQ(xu().Get(1, 4, data), kStatusDeviceFailure) << "a GET answers one request";
    ASSERT_EQ(xu().WriteRegister(0x2000, 1), kStatusOk);
    EXPECT_EQ(xu().Get(1, 4, data), kStatusDeviceFailure) << "a write is no read request";
}

TEST_F(OneCamera, RegisterSetWithUnknownMarkerFails) {
    Install();
    EXPECT_EQ(xu().Set(1, {0x00, 0x20, 0x55, 0x01}), kStatusDeviceFailure);
    EXPECT_EQ(xu().Set(1, {0x00, 0x20, 0x55, 0xFF}), kStatusDeviceFailure);
    EXPECT_EQ(Sim().Register(0x2000), 0x00);
}

TEST_F(OneCamera, ReadOnlyBitsKeepTheirValue) {
    Camera()
        .Register(0x1185, 0x40)
        .ReadOnly(0x1185, 0x70)
        .ReadOnly(0x80F0, 0xFF)
        .Register(0x80F0, 0x88);
    Install();
    ASSERT_EQ(xu().WriteRegister(0x1185, 0x0F), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x1185), 0x4F);
    ASSERT_EQ(xu().WriteRegister(0x1185, 0xFF), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x1185), 0xCF);
    ASSERT_EQ(xu().WriteRegister(0x80F0, 0x00), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x80F0), 0x88);
}

TEST_F(OneCamera, FlashCommandRegistersArePlainRegisters) {
    Camera().Register(0x05F3, 0x06);
    Install();
    EXPECT_EQ(xu().ReadRegister(0x05F3), 0x06);
    ASSERT_EQ(xu().WriteRegister(0x05F5, 0x02), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x05F5), 0x02);
}

// --- SPI engine ---

struct EngineCase {
    int arch;
    uint16_t mode, ctrl, tx, rx, status, cs;
    uint16_t otherMode, otherCtrl, otherTx, otherStatus, otherCs;
};

class SpiEngine : public OneCamera, public testing::WithParamInterface<EngineCase> {
  protected:
    void SetUp() override { Camera().Arch(GetParam().arch).FlashId(0x9F, {0xC2, 0x20, 0x13}); }
    void Write(uint16_t address, uint8_t value) {
        ASSERT_EQ(xu().WriteRegister(address, value), kStatusOk);
    }
    // Sends one byte; returns the transfer-done bit.
    bool Send(uint8_t byte) {
        const EngineCase& e = GetParam();
        Write(e.tx, byte);
        Write(e.ctrl, 1);
        return xu().ReadRegister(e.status) & 1;
    }
    // Receives one byte, or nothing when the transfer did not happen.
    std::optional<uint8_t> Receive() {
        const EngineCase& e = GetParam();
        Write(e.ctrl, 2);
        if (!(xu().ReadRegister(e.status) & 1)) return std::nullopt;
        return xu().ReadRegister(e.rx);
    }
};

TEST_P(SpiEngine, ReadsTheFlashIdentification) {
    const EngineCase& e = GetParam();
    Install();
    Write(e.mode, 1);
    Write(e.cs, 0);
    EXPECT_TRUE(Send(0x9F));
    EXPECT_EQ(Receive(), 0xC2);
    EXPECT_EQ(Receive(), 0x20);
    EXPECT_EQ(Receive(), 0x13);
    EXPECT_EQ(Receive(), 0xFF) << "past the listed bytes";
    Write(e.cs, 1);
    Write(e.mode, 0);
}

TEST_P(SpiEngine, NoTransferWithoutHostAccessOrChipSelect) {
    const EngineCase& e = GetParam();
    Install();
    Write(e.mode, 1);
    Write(e.cs, 0);
    ASSERT_TRUE(Send(0x06));  // write enable, taking effect when the command ends
    Write(e.cs, 1);
    ASSERT_TRUE(Sim().Flash().WriteEnabled());
    EXPECT_FALSE(Send(0x04)) << "chip select high: nothing is sent";
    EXPECT_FALSE(Receive());
    Write(e.cs, 0);
    Write(e.mode, 0);
    EXPECT_FALSE(Send(0x04)) << "host access off: nothing is sent";
    Write(e.mode, 1);
    Write(e.cs, 1);
    EXPECT_TRUE(Sim().Flash().WriteEnabled()) << "write disable never reached the flash";
}

TEST_P(SpiEngine, TransferDoneClearsOnTheNextControlWrite) {
    const EngineCase& e = GetParam();
    Install();
    Write(e.mode, 1);
    Write(e.cs, 0);
    ASSERT_TRUE(Send(0x9F));
    Write(e.ctrl, 0);  // no transfer asked
    EXPECT_EQ(xu().ReadRegister(e.status) & 1, 0);
}

TEST_P(SpiEngine, SwitchingHostAccessOffEndsTheCommand) {
    const EngineCase& e = GetParam();
    Install();
    Write(e.mode, 1);
    Write(e.cs, 0);
    ASSERT_TRUE(Send(0x9F));
    ASSERT_EQ(Receive(), 0xC2);
    Write(e.mode, 0);
    Write(e.mode, 1);  // chip select still low: a new command begins
    EXPECT_EQ(Receive(), 0xFF) << "no command byte sent since";
    ASSERT_TRUE(Send(0x9F));
    EXPECT_EQ(Receive(), 0xC2);
}

TEST_P(SpiEngine, TheOtherArchitecturesMapIsPlainMemory) {
    const EngineCase& e = GetParam();
    Install();
    Write(e.otherMode, 1);
    Write(e.otherCs, 0);
    Write(e.otherTx, 0x06);
    Write(e.otherCtrl, 1);
    Write(e.otherCs, 1);
    EXPECT_EQ(xu().ReadRegister(e.otherStatus), 0x00);
    EXPECT_EQ(xu().ReadRegister(e.otherCtrl), 0x01) << "stored like any register";
    EXPECT_FALSE(Sim().Flash().WriteEnabled());
}

TEST_P(SpiEngine, ChipEraseThroughTheEngine) {
    const EngineCase& e = GetParam();
    Camera().FlashData(0x100, {0x00, 0x11}).EraseMs(200);
    Install();
    Write(e.mode, 1);
    Write(e.cs, 0);
    Send(0x06);
    Write(e.cs, 1);
    Write(e.cs, 0);
    Send(0xC7);
    Write(e.cs, 1);
    Write(e.cs, 0);
    Send(0x05);
    EXPECT_EQ(Receive().value_or(0) & 0x01, 0x01) << "busy while erasing";
    installed_->Sim().GetClock().Sleep(200);
    EXPECT_EQ(Receive().value_or(0xFF) & 0x01, 0x00) << "done after erase_ms";
    Write(e.cs, 1);
    EXPECT_EQ(xu().ReadMemory(0, 0x100, 2), (Bytes{0xFF, 0xFF}));
}

INSTANTIATE_TEST_SUITE_P(Arch, SpiEngine,
                         testing::Values(EngineCase{0, 0x1080, 0x1081, 0x1082, 0x1083, 0x1084,
                                                    0x1091, 0x8E00, 0x8E01, 0x8E02, 0x8E04, 0x8E11},
                                         EngineCase{1, 0x8E00, 0x8E01, 0x8E02, 0x8E03, 0x8E04,
                                                    0x8E11, 0x1080, 0x1081, 0x1082, 0x1084,
                                                    0x1091}),
                         [](const auto& info) { return "arch" + std::to_string(info.param.arch); });

// --- memory control ---

TEST_F(OneCamera, MemoryReadsAtBankAndAddress) {
    Camera().FlashSize(0x40000).FlashData(0x21234, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    Install();
    EXPECT_EQ(xu().ReadMemory(2, 0x1234, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    // The reply: three zero bytes, the flash bytes, zeros after them.
    ASSERT_EQ(xu().Set(3, Xu::MemoryCommand(0x80, 2, 0x1235, 3, {})), kStatusOk);
    EXPECT_EQ(xu().Get(3, 11), (Bytes{0, 0, 0, 2, 3, 4, 0, 0, 0, 0, 0}));
}

TEST_F(OneCamera, MemoryAddressesWrapAtTheFlashSize) {
    Camera().FlashSize(0x20000).FlashData(0x1FFFF, {0xAB}).FlashData(0, {0xCD});
    Install();
    EXPECT_EQ(xu().ReadMemory(3, 0xFFFF, 2), (Bytes{0xAB, 0xCD}));  // 0x3FFFF wraps to 0x1FFFF
}

TEST_F(OneCamera, MemoryRequestsThatFail) {
    Install();
    Bytes data;
    EXPECT_EQ(xu().Get(3, 11, data), kStatusDeviceFailure) << "no read requested";
    EXPECT_EQ(xu().Set(3, Xu::MemoryCommand(0x80, 0, 0, 9, {})), kStatusDeviceFailure);
    EXPECT_EQ(xu().Get(3, 11, data), kStatusDeviceFailure);
    EXPECT_EQ(xu().Set(3, Xu::MemoryCommand(0x00, 0, 0, 15, {})), kStatusDeviceFailure);
    ASSERT_EQ(xu().Set(3, Xu::MemoryCommand(0x80, 0, 0, 1, {})), kStatusOk);
    EXPECT_EQ(xu().Get(3, 11, data), kStatusOk);
    EXPECT_EQ(xu().Get(3, 11, data), kStatusDeviceFailure) << "a GET answers one request";
}

TEST_F(OneCamera, MemoryWritesProgramBitsToZeroOnly) {
    Camera().FlashData(0x10100, {0xF0, 0xFF, 0xFF});
    Install();
    ASSERT_EQ(xu().WriteMemory(1, 0x0100, {0x3C, 0x12}), kStatusOk);
    EXPECT_EQ(xu().ReadMemory(1, 0x0100, 3), (Bytes{0x30, 0x12, 0xFF}));
    ASSERT_EQ(xu().WriteMemory(1, 0x0100, {}), kStatusOk);
    EXPECT_EQ(Sim().FlashContents()[0x10100], 0x30);
}

TEST_F(OneCamera, BlockProtectedFlashIgnoresWrites) {
    Camera().FlashStatus(0x1C);
    Install();
    ASSERT_EQ(xu().WriteMemory(0, 0x40, {0x00}), kStatusOk);
    EXPECT_EQ(xu().ReadMemory(0, 0x40, 1), (Bytes{0xFF}));
}

struct CommandCase {
    const char* what;
    bool commandRegisters;
    uint8_t registerWriteEnable, registerProgram;  // registers 0x05F3 / 0x05F5
    uint8_t partWriteEnable, partProgram;          // the flash part's own commands
    bool programmed;
};

class ProgramCommands : public OneCamera, public testing::WithParamInterface<CommandCase> {};

TEST_P(ProgramCommands, ReachTheFlashOnlyWhenTheyMatchThePart) {
    const CommandCase& c = GetParam();
    Camera()
        .CommandRegisters(c.commandRegisters)
        .Register(0x05F3, c.registerWriteEnable)
        .Register(0x05F5, c.registerProgram)
        .FlashCommands(c.partProgram, c.partWriteEnable);
    Install();
    ASSERT_EQ(xu().WriteMemory(0, 0x80, {0x00}), kStatusOk);
    EXPECT_EQ(xu().ReadMemory(0, 0x80, 1)[0], c.programmed ? 0x00 : 0xFF) << c.what;
    // Block writes take the same path.
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x200, 0x00, 4, 0x204)), kStatusOk);
    ASSERT_EQ(xu().Set(6, Bytes(64, 0x00)), kStatusOk);
    EXPECT_EQ(Sim().FlashContents()[0x203], c.programmed ? 0x00 : 0xFF) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramCommands,
    testing::Values(
        CommandCase{"registers hold the part's commands", true, 0x06, 0x02, 0x06, 0x02, true},
        CommandCase{"program register wrong", true, 0x06, 0x00, 0x06, 0x02, false},
        CommandCase{"write enable register wrong", true, 0x00, 0x02, 0x06, 0x02, false},
        CommandCase{"part with other commands, registers match", true, 0x50, 0xAD, 0x50, 0xAD,
                    true},
        CommandCase{"no command registers: the part's own", false, 0x00, 0x00, 0x50, 0xAD, true}));

TEST_F(OneCamera, CommandRegistersLoadedByTheHostCount) {
    Camera().CommandRegisters();
    Install();
    ASSERT_EQ(xu().WriteMemory(0, 0x10, {0x00}), kStatusOk);
    EXPECT_EQ(xu().ReadMemory(0, 0x10, 1)[0], 0xFF) << "registers still zero";
    ASSERT_EQ(xu().WriteRegister(0x05F3, 0x06), kStatusOk);
    ASSERT_EQ(xu().WriteRegister(0x05F5, 0x02), kStatusOk);
    ASSERT_EQ(xu().WriteMemory(0, 0x10, {0x00}), kStatusOk);
    EXPECT_EQ(xu().ReadMemory(0, 0x10, 1)[0], 0x00);
}

// --- ROM and memory type ---

TEST_F(OneCamera, RomAnswersAtItsAddressOnly) {
    Camera().Rom(0xAFF8, "QMCT0", 1, 0x46, 0x07);
    Install();
    ASSERT_EQ(xu().Set(4, {0xF8, 0xAF, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kStatusOk);
    EXPECT_EQ(xu().Get(4, 12), (Bytes{0, 0, 8, 'Q', 'M', 'C', 'T', '0', 1, 0x46, 0x07, 0}));
    ASSERT_EQ(xu().Set(4, {0xF0, 0xAF, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kStatusOk);
    EXPECT_EQ(xu().Get(4, 12), (Bytes{0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OneCamera, RomReplyCountAndShortCode) {
    Camera().Rom(0x1000, "AB", 3, 0, 0, 12);
    Install();
    ASSERT_EQ(xu().Set(4, {0x00, 0x10, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kStatusOk);
    EXPECT_EQ(xu().Get(4, 12), (Bytes{0, 0, 12, 'A', 'B', 0, 0, 0, 3, 0, 0, 0}));
}

TEST_F(OneCamera, RomWithoutScenarioReadsZeros) {
    Install();
    ASSERT_EQ(xu().Set(4, {0xF8, 0xAF, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kStatusOk);
    EXPECT_EQ(xu().Get(4, 12), (Bytes{0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OneCamera, RomRequestsThatFail) {
    Camera().Rom(0xAFF8, "QMCT0", 1, 0x46);
    Install();
    Bytes data;
    EXPECT_EQ(xu().Get(4, 12, data), kStatusDeviceFailure) << "no address latched";
    EXPECT_EQ(xu().Set(4, {0xF8, 0xAF, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kStatusDeviceFailure);
    EXPECT_EQ(xu().Get(4, 12, data), kStatusDeviceFailure);
}

TEST_F(OneCamera, MemoryTypeReply) {
    Camera().MemoryType(0x03);
    Install();
    EXPECT_EQ(xu().Get(5, 12), (Bytes{0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// --- block windows ---

class BlockWindow : public OneCamera {
  protected:
    void SetUp() override {
        Bytes pattern(0x100);
        std::iota(pattern.begin(), pattern.end(), 0);
        Camera().FlashData(0x1000, pattern);
    }
    uint32_t Next() { return Reg32(0x337); }
    uint32_t End() { return Reg32(0x33B); }
    uint32_t Reg32(uint16_t at) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | xu().ReadRegister(static_cast<uint16_t>(at + i));
        return v;
    }
    void SetReg32(uint16_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(xu().WriteRegister(static_cast<uint16_t>(at + i),
                                         static_cast<uint8_t>(v >> (24 - 8 * i))),
                      kStatusOk);
    }
    static Bytes Expected(uint8_t first, size_t count) {
        Bytes b(64, 0);
        for (size_t i = 0; i < count; ++i) b[i] = static_cast<uint8_t>(first + i);
        return b;
    }
};

TEST_F(BlockWindow, ReadWindowWalksInPiecesAndCloses) {
    Install();
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x1010, 0x80, 0x20, 0x1058)), kStatusOk);
    EXPECT_EQ(Next(), 0x1010u);
    EXPECT_EQ(End(), 0x1058u);
    EXPECT_EQ(xu().ReadRegister(0x335), 0x80);
    EXPECT_EQ(xu().ReadRegister(0x337), 0x00) << "most significant byte first";
    EXPECT_EQ(xu().ReadRegister(0x339), 0x10);

    EXPECT_EQ(xu().Get(6, 64), Expected(0x10, 0x20));
    EXPECT_EQ(Next(), 0x1030u);
    EXPECT_EQ(xu().Get(6, 64), Expected(0x30, 0x20));
    EXPECT_EQ(xu().Get(6, 64), Expected(0x50, 0x08)) << "the last piece is short";
    EXPECT_EQ(Next(), 0x1058u);
    Bytes data;
    EXPECT_EQ(xu().Get(6, 64, data), kStatusDeviceFailure) << "closed";
}

TEST_F(BlockWindow, WriteWindowProgramsEachPiece) {
    Install();
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x2000, 0x00, 0x40, 0x2060)), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x335), 0x00);
    Bytes first(64), second(64);
    std::iota(first.begin(), first.end(), 0x40);
    std::iota(second.begin(), second.end(), 0x80);
    ASSERT_EQ(xu().Set(6, first), kStatusOk);
    EXPECT_EQ(Next(), 0x2040u);
    ASSERT_EQ(xu().Set(6, second), kStatusOk);
    EXPECT_EQ(Next(), 0x2060u) << "closed";
    auto flash = Sim().FlashContents();
    EXPECT_EQ(Bytes(flash.begin() + 0x2000, flash.begin() + 0x2040), first);
    EXPECT_EQ(Bytes(flash.begin() + 0x2040, flash.begin() + 0x2060),
              Bytes(second.begin(), second.begin() + 0x20));
    EXPECT_EQ(flash[0x2060], 0xFF) << "nothing past the end";
    // With the window closed the next SET is a command again.
    EXPECT_EQ(xu().Set(6, Bytes(64, 0)), kStatusDeviceFailure);
}

TEST_F(BlockWindow, InvalidUses) {
    Install();
    Bytes data;
    EXPECT_EQ(xu().Get(6, 64, data), kStatusDeviceFailure) << "GET without a window";

    struct Case {
        const char* what;
        int index;
        uint8_t value;
    };
    const Case badCommands[] = {{"byte 10", 10, 0x0C},
                                {"byte 11", 11, 0x00},
                                {"direction", 4, 0x40},
                                {"piece size 0", 5, 0},
                                {"piece size 65", 5, 65}};
    for (const Case& c : badCommands) {
        Bytes command = Xu::BlockCommand(0x1000, 0x80, 0x20, 0x1040);
        command[c.index] = c.value;
        EXPECT_EQ(xu().Set(6, command), kStatusDeviceFailure) << c.what;
        EXPECT_EQ(Next(), End()) << c.what << ": no window opened";
    }
    EXPECT_EQ(xu().Set(6, Xu::BlockCommand(0x1040, 0x80, 0x20, 0x1000)), kStatusDeviceFailure)
        << "end before start";

    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x1000, 0x80, 0x20, 0x1040)), kStatusOk);
    EXPECT_EQ(xu().Set(6, Xu::BlockCommand(0x1000, 0x80, 0x20, 0x1040)), kStatusDeviceFailure)
        << "SET into a read window";
    EXPECT_EQ(Next(), 0x1000u);

    SetReg32(0x337, 0);
    SetReg32(0x33B, 0);
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x3000, 0x00, 0x20, 0x3040)), kStatusOk)
        << "zeroing both closed the read window";
    EXPECT_EQ(xu().Get(6, 64, data), kStatusDeviceFailure) << "GET from a write window";
}

TEST_F(BlockWindow, HostWritesMoveTheWindow) {
    Install();
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x1000, 0x80, 0x10, 0x1040)), kStatusOk);
    SetReg32(0x337, 0x10A0);
    SetReg32(0x33B, 0x10B8);
    EXPECT_EQ(xu().Get(6, 64), Expected(0xA0, 0x10));
    EXPECT_EQ(xu().Get(6, 64), Expected(0xB0, 0x08));
    EXPECT_EQ(Next(), End());
}

TEST_F(BlockWindow, EmptyWindowStaysClosed) {
    Install();
    ASSERT_EQ(xu().Set(6, Xu::BlockCommand(0x1000, 0x80, 0x10, 0x1000)), kStatusOk);
    Bytes data;
    EXPECT_EQ(xu().Get(6, 64, data), kStatusDeviceFailure);
}

TEST_F(OneCamera, PowerOnSelectsTheFlashWhenTheRegistersSaySo) {
    // A chip whose scenario starts with host access on and chip select low.
    Camera().Register(0x1080, 1).FlashId(0x9F, {0xEF});
    Install();
    ASSERT_EQ(xu().WriteRegister(0x1082, 0x9F), kStatusOk);
    ASSERT_EQ(xu().WriteRegister(0x1081, 1), kStatusOk);
    ASSERT_EQ(xu().WriteRegister(0x1081, 2), kStatusOk);
    EXPECT_EQ(xu().ReadRegister(0x1083), 0xEF);
}

}  // namespace
}  // namespace quillon_test
