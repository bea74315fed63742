// The exact bytes each primitive puts on the wire, and the status and output rules.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

#include "camlib/camera_device.h"
#include "tests/testing/fake_ks.h"
#include "transport/xu_controls.h"

namespace quillon {
namespace {

using testing::FakeFilter;
using testing::Hex;

struct Fixture {
    FakeFilter* filter = FakeFilter::Create();
    std::unique_ptr<CameraDevice> dev;
    Fixture() {
        dev = std::make_unique<CameraDevice>(nullptr, filter, 2);
        filter->Release();  // the device holds its own reference
    }
};

struct WireCase {
    const char* name;
    std::function<void(CameraDevice&)> call;
    const char* firstRequestHex;  // data of the first request
    uint32_t selector;
};

class WireBytes : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireBytes, FirstRequestCarriesTheLayout) {
    Fixture f;
    GetParam().call(*f.dev);
    ASSERT_FALSE(f.filter->requests.empty());
    const auto& r = f.filter->requests.front();
    EXPECT_EQ(r.selector, GetParam().selector);
    EXPECT_EQ(r.flags, 0x10000002u);
    EXPECT_EQ(r.nodeId, 2u);
    EXPECT_TRUE(r.set == XU_PROPSET);
    EXPECT_EQ(Hex(r.data), GetParam().firstRequestHex);
}

uint8_t out8[8];
const uint8_t data8[8] = {1, 2, 3, 4, 5, 6, 7, 8};
// 0xC0, 0xC1, ... 0xFF: a whole block, sent without the intermediate copy.
const auto data64 = [] {
    std::array<uint8_t, 64> b{};
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0xC0 + i);
    return b;
}();

INSTANTIATE_TEST_SUITE_P(
    Table, WireBytes,
    ::testing::Values(
        WireCase{"read8at0x160", [](CameraDevice& d) { d.XuReadMemory(0x160, out8, 8); },
                 "600188" "0000000000000000", 3},
        WireCase{"read1at0x5834", [](CameraDevice& d) { d.XuReadMemory(0x5834, out8, 1); },
                 "345881" "0000000000000000", 3},
        WireCase{"write2at0x6700", [](CameraDevice& d) { d.XuWriteMemory(0x6700, data8, 2); },
                 "006702" "0102000000000000", 3},
        WireCase{"write8inBank1", [](CameraDevice& d) { d.XuWriteMemory(0x1ABCD, data8, 8); },
                 "cdab18" "0102030405060708", 3},
        WireCase{"bank2At0x2FFFF", [](CameraDevice& d) { d.XuReadMemory(0x2FFFF, out8, 8); },
                 "ffffa8" "0000000000000000", 3},
        WireCase{"bank3At0x30000", [](CameraDevice& d) { d.XuReadMemory(0x30000, out8, 8); },
                 "0000b8" "0000000000000000", 3},
        WireCase{"bank3Above", [](CameraDevice& d) { d.XuReadMemory(0x7FF00, out8, 8); },
                 "00ffb8" "0000000000000000", 3},
        WireCase{"count0", [](CameraDevice& d) { d.XuReadMemory(0x10, out8, 0); },
                 "100080" "0000000000000000", 3},
        WireCase{"count9SentAs8", [](CameraDevice& d) { d.XuWriteMemory(0x10, data8, 9); },
                 "100008" "0102030405060708", 3},
        WireCase{"registerRead", [](CameraDevice& d) { d.XuReadRegister(0x101F, out8); },
                 "1f1000ff", 1},
        WireCase{"registerWrite", [](CameraDevice& d) { d.XuWriteRegister(0x8E11, 0x5A); },
                 "118e5a00", 1},
        WireCase{"romRequest", [](CameraDevice& d) { d.XuReadRom(0xAFF8, out8); },
                 "f8af08000000000000000000", 4},
        WireCase{"blockWrite", [](CameraDevice& d) { d.XuWriteBlock(data8, 3); },
                 "010203" "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000",
                 6},
        WireCase{"wholeBlockWrite", [](CameraDevice& d) { d.XuWriteBlock(data64.data(), 64); },
                 "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff",
                 6}),
    [](const auto& info) { return std::string(info.param.name); });

// A handler that answers every GET with `reply` and fails chosen requests.
FakeFilter::Handler Answer(std::vector<uint8_t> reply, int failRequest = -1,
                           platform::HRESULT failWith = 0) {
    auto n = std::make_shared<int>(0);
    return [=](const testing::RecordedRequest& r, uint8_t* data, uint32_t length) {
        const int index = (*n)++;
        if (index == failRequest) return failWith;
        if ((r.flags & 1) && data) std::memcpy(data, reply.data(), std::min<size_t>(length, reply.size()));
        return platform::HRESULT{0};
    };
}

TEST(XuRead, MemoryCopiesEightReplyBytesWhateverTheCount) {
    Fixture f;
    f.filter->handler = Answer({0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    uint8_t out[8];
    std::memset(out, 0xEE, 8);
    EXPECT_EQ(f.dev->XuReadMemory(0x100, out, 3), 0);
    const uint8_t expect[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0, std::memcmp(out, expect, 8));
    ASSERT_EQ(f.filter->requests.size(), 2u);
    EXPECT_EQ(f.filter->requests[1].flags, 0x10000001u);
    EXPECT_EQ(Hex(f.filter->requests[1].data), "0000000000000000000000");  // GET with zeros
}

struct RomCase {
    uint8_t count;
    int bytesCopied;
};

class RomReply : public ::testing::TestWithParam<RomCase> {};

TEST_P(RomReply, CopiesAtMostEightReportedBytes) {
    Fixture f;
    f.filter->handler = Answer({0, 0, GetParam().count, 'Q', 'M', 'C', 'T', '0', 1, 0x46, 0, 9});
    uint8_t out[8];
    std::memset(out, 0xEE, 8);
    EXPECT_EQ(f.dev->XuReadRom(0xAFF8, out), 0);
    const uint8_t full[8] = {'Q', 'M', 'C', 'T', '0', 1, 0x46, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], i < GetParam().bytesCopied ? full[i] : 0xEE) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Counts, RomReply,
                         ::testing::Values(RomCase{0, 0}, RomCase{5, 5}, RomCase{8, 8},
                                           RomCase{12, 8}));

// Status rules: which status comes back, whether a second request follows, and
// whether the caller's output was written.
struct StatusCase {
    const char* name;
    int failRequest;  // index of the request that fails, -1 none
    platform::HRESULT failWith;
    std::function<int32_t(CameraDevice&, uint8_t* out)> call;
    int32_t expectStatus;
    size_t expectRequests;
    bool outputWritten;
};

class StatusRules : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusRules, StatusAndOutput) {
    const StatusCase& c = GetParam();
    Fixture f;
    f.filter->handler = Answer(std::vector<uint8_t>(64, 0x42), c.failRequest, c.failWith);
    uint8_t out[64];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(c.call(*f.dev, out), c.expectStatus);
    EXPECT_EQ(f.filter->requests.size(), c.expectRequests);
    EXPECT_EQ(out[0], c.outputWritten ? 0x42 : 0xEE);
}

constexpr platform::HRESULT kFail = static_cast<platform::HRESULT>(0x8007001F);

INSTANTIATE_TEST_SUITE_P(
    Table, StatusRules,
    ::testing::Values(
        StatusCase{"regReadOk", -1, 0, [](CameraDevice& d, uint8_t* o) { return d.XuReadRegister(1, o); }, 0, 2, true},
        StatusCase{"regReadSetFails", 0, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadRegister(1, o); }, kFail, 1, false},
        StatusCase{"regReadGetFails", 1, 7, [](CameraDevice& d, uint8_t* o) { return d.XuReadRegister(1, o); }, 7, 2, false},
        StatusCase{"memReadSetFails", 0, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadMemory(0, o, 8); }, kFail, 1, false},
        StatusCase{"memReadGetFailsStillZero", 1, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadMemory(0, o, 8); }, 0, 2, false},
        StatusCase{"romSetFailsStillZero", 0, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadRom(0, o); }, 0, 1, false},
        StatusCase{"romGetFailsStillZero", 1, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadRom(0, o); }, 0, 2, false},
        StatusCase{"memTypeGetFails", 0, 31, [](CameraDevice& d, uint8_t* o) { return d.XuGetMemoryType(o); }, 31, 1, false},
        StatusCase{"blockReadGetFailsStillZero", 0, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuReadBlock(o, 64); }, 0, 1, false},
        StatusCase{"blockWriteFails", 0, kFail, [](CameraDevice& d, uint8_t* o) { return d.XuWriteBlock(o, 64); }, kFail, 1, false},
        StatusCase{"blockCount0", -1, 0, [](CameraDevice& d, uint8_t* o) { return d.XuReadBlock(o, 0); }, 1, 0, false},
        StatusCase{"blockCount65", -1, 0, [](CameraDevice& d, uint8_t* o) { return d.XuReadBlock(o, 65); }, 1, 0, false},
        StatusCase{"blockWriteCount0", -1, 0, [](CameraDevice& d, uint8_t* o) { return d.XuWriteBlock(o, 0); }, 1, 0, false},
        StatusCase{"blockWriteCount65", -1, 0, [](CameraDevice& d, uint8_t* o) { return d.XuWriteBlock(o, 65); }, 1, 0, false},
        StatusCase{"blockNullOut", -1, 0, [](CameraDevice& d, uint8_t*) { return d.XuReadBlock(nullptr, 8); }, 1, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XuStatus, NoFilterOrNoControlGivesOneWithoutRequests) {
    CameraDevice none(nullptr, nullptr, 0);
    uint8_t out = 0xEE;
    EXPECT_EQ(none.XuReadRegister(1, &out), 1);
    EXPECT_EQ(none.XuWriteRegister(1, 2), 1);
    EXPECT_EQ(none.XuReadRom(1, &out), 1);

    Fixture f;
    f.filter->hasKsControl = false;
    uint8_t buf[8] = {};
    EXPECT_EQ(f.dev->XuReadMemory(0, buf, 8), 1);
    EXPECT_EQ(f.dev->XuReadBlock(buf, 8), 1);
    EXPECT_EQ(f.dev->XuGetMemoryType(&out), 1);
    EXPECT_TRUE(f.filter->requests.empty());
    EXPECT_EQ(out, 0xEE);
}

TEST(XuStatus, EveryCallReleasesTheControlItObtained) {
    Fixture f;
    uint8_t out[8];
    f.dev->XuReadRegister(1, out);
    f.dev->XuReadMemory(0, out, 8);
    f.dev->XuWriteBlock(out, 8);
    EXPECT_EQ(f.filter->refs(), 1u);  // only the device's own reference is left
}

// --- discovery ---

const platform::GUID kOther{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

struct DiscoveryCase {
    const char* name;
    std::vector<platform::GUID> nodes;
    std::vector<platform::HRESULT> probe;
    bool topology;
    platform::HRESULT numNodesResult;
    int32_t expect;
    std::vector<uint32_t> expectProbed;
};

class Discovery : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, FindsTheFirstDevSpecificNodeThatAcceptsTheSet) {
    const DiscoveryCase& c = GetParam();
    FakeFilter* filter = FakeFilter::Create();
    filter->nodeTypes = c.nodes;
    filter->probeResults = c.probe;
    filter->hasTopology = c.topology;
    filter->numNodesResult = c.numNodesResult;
    EXPECT_EQ(FindExtensionUnitNode(filter), c.expect);
    EXPECT_EQ(filter->probedNodes, c.expectProbed);
    EXPECT_EQ(filter->refs(), 1u);  // topology and node controls released
    filter->Release();
}

const platform::GUID kDev = platform::KSNODETYPE_DEV_SPECIFIC;

INSTANTIATE_TEST_SUITE_P(
    Table, Discovery,
    ::testing::Values(
        DiscoveryCase{"secondDevSpecificAccepts", {kOther, kDev, kOther, kDev, kDev},
                      {0, kFail, 0, 0, 0}, true, 0, 3, {1, 3}},
        DiscoveryCase{"noTopology", {kDev}, {}, false, 0, -1, {}},
        DiscoveryCase{"noNodes", {}, {}, true, 0, -1, {}},
        DiscoveryCase{"nodeCountFails", {kDev}, {}, true, kFail, -1, {}},
        DiscoveryCase{"allReject", {kDev, kDev}, {kFail, kFail}, true, 0, -1, {0, 1}},
        DiscoveryCase{"positiveProbeResultAccepts", {kDev}, {1}, true, 0, 0, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Discovery, NoFilter) { EXPECT_EQ(FindExtensionUnitNode(nullptr), -1); }

}  // namespace
}  // namespace quillon
