// A camera's capture filter over a fake device node: discovery of the unit,
// the exact queries the driver receives, statuses, and the node's lifetime.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/usb/video.h>
#include <linux/videodev2.h>

#include <cerrno>

#include "camlib/camera_device.h"
#include "platform/devenum.h"
#include "platform/ks.h"
#include "platform/linux/uvc_backend.h"
#include "tests/linux/fake_uvc_system.h"
#include "tests/linux/uvc_blobs.h"
#include "transport/xu_controls.h"

namespace {

using namespace platform;
using namespace platform::uvc;
using namespace uvc_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint8_t kUnit = 4;
// Selectors 1, 2, 3, 4 and 6: everything the library needs but the memory type.
constexpr uint8_t kDeclared = 0x2F;

// The moniker of the first camera, as the library's enumeration gets it.
ComPtr<IMoniker> FirstMoniker(Backend& backend) {
    ComPtr<ICreateDevEnum> devEnum;
    EXPECT_EQ(backend.CreateSystemDeviceEnum(devEnum.Put()), S_OK);
    ComPtr<IEnumMoniker> monikers;
    EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0),
              S_OK);
    ComPtr<IMoniker> moniker;
    uint32_t fetched = 0;
    if (monikers) {
        EXPECT_EQ(monikers->Next(1, moniker.Put(), &fetched), S_OK);
    }
    return moniker;
}

ComPtr<IBaseFilter> BindFirst(Backend& backend) {
    ComPtr<IMoniker> moniker = FirstMoniker(backend);
    ComPtr<IBaseFilter> filter;
    if (moniker) {
        EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
    }
    return filter;
}

// One camera on "1-1" with node video0 whose unit carries `guid` and declares `declared`.
struct OneCamera {
    explicit OneCamera(uint8_t declared, const UsbGuid& guid = CameraGuid()) {
        sys->AddUsbDevice("1-1", 0x1d6b, 0x0102, "Cam",
                          Camera(UnitDescriptor(kUnit, guid, {declared})));
        sys->AddVideoNode("video0", "1-1:1.0", 0, kCapture);
        if (guid == CameraGuid()) sys->GiveUnit("video0", kUnit, {declared}, chip);
    }
    FakeNode& Node() { return sys->Node("video0"); }

    std::shared_ptr<FakeSystem> sys = std::make_shared<FakeSystem>();
    std::shared_ptr<RegisterChip> chip = std::make_shared<RegisterChip>();
    std::shared_ptr<Backend> backend = MakeUvcBackend(sys, sys->Paths(), CameraUnitProfile());
};

class UvcFilterTest : public ::testing::Test {
  protected:
    ComPtr<IMoniker> FirstMoniker() { return ::FirstMoniker(*camera_.backend); }
    ComPtr<IBaseFilter> Bind() { return BindFirst(*camera_.backend); }

    // A bound filter whose unit was found, with the discovery's queries forgotten.
    quillon::XuTarget Discovered() {
        filter_ = Bind();
        EXPECT_EQ(quillon::FindExtensionUnitNode(filter_.Get()), 0);
        Node().queries.clear();
        return {filter_.Get(), 0};
    }

    FakeNode& Node() { return camera_.Node(); }

    OneCamera camera_{kDeclared};
    RegisterChip* chip_ = camera_.chip.get();
    std::shared_ptr<FakeSystem>& sys_ = camera_.sys;
    std::shared_ptr<Backend>& backend_ = camera_.backend;
    ComPtr<IBaseFilter> filter_;
};

TEST_F(UvcFilterTest, DiscoveryFindsNodeZeroByAskingTheDriverForTheRegisterControlsInfo) {
    ComPtr<IBaseFilter> filter = Bind();
    ASSERT_TRUE(filter);
    EXPECT_EQ(quillon::FindExtensionUnitNode(filter.Get()), 0);
    EXPECT_THAT(Node().queries, ElementsAre(RecordedQuery{kUnit, 1, UVC_GET_INFO, 1, {0}}));
    EXPECT_EQ(backend_->Diagnostics(), "");
}

TEST_F(UvcFilterTest, DiscoveryRejectsAUnitTheDriverDoesNotAnswerFor) {
    ComPtr<IBaseFilter> filter = Bind();
    Node().queryErrors = {EPIPE};
    EXPECT_EQ(quillon::FindExtensionUnitNode(filter.Get()), -1);
    EXPECT_THAT(backend_->Diagnostics(), HasSubstr("does not answer"));
}

TEST(UvcFilter, DiscoveryRejectsAUnitWithoutTheBlockControlBeforeAskingTheDriver) {
    OneCamera camera(0x0F);  // selectors 1 to 4 only
    ComPtr<IBaseFilter> filter = BindFirst(*camera.backend);
    ASSERT_TRUE(filter);
    EXPECT_EQ(quillon::FindExtensionUnitNode(filter.Get()), -1);
    EXPECT_TRUE(camera.Node().queries.empty());
    EXPECT_THAT(camera.backend->Diagnostics(), HasSubstr("lacks controls 6"));
}

TEST(UvcFilter, ACameraWithoutTheUnitHasNoNodeToFind) {
    OneCamera camera(kDeclared, OtherGuid(1));
    ComPtr<IBaseFilter> filter = BindFirst(*camera.backend);
    ASSERT_TRUE(filter);
    ComPtr<IKsTopologyInfo> topology;
    ASSERT_EQ(filter.As(IID_IKsTopologyInfo, topology), S_OK);
    uint32_t nodes = 99;
    EXPECT_EQ(topology->get_NumNodes(&nodes), S_OK);
    EXPECT_EQ(nodes, 0u);
    EXPECT_EQ(quillon::FindExtensionUnitNode(filter.Get()), -1);
    EXPECT_THAT(camera.backend->Diagnostics(), HasSubstr("no vendor extension unit"));
}

TEST_F(UvcFilterTest, ARegisterReadIsARequestAndAReplyOnTheRegisterControl) {
    const quillon::XuTarget target = Discovered();
    chip_->registers[0x80F0] = 0x88;
    uint8_t value = 0;
    EXPECT_EQ(quillon::xu::ReadRegister(target, 0x80F0, &value), 0);
    EXPECT_EQ(value, 0x88);
    EXPECT_THAT(Node().queries,
                ElementsAre(RecordedQuery{kUnit, 1, UVC_SET_CUR, 4, {0xF0, 0x80, 0x00, 0xFF}},
                            RecordedQuery{kUnit, 1, UVC_GET_CUR, 4, {0, 0, 0, 0}}));
}

TEST_F(UvcFilterTest, ABlockWriteIsOneQueryOfSixtyFourBytes) {
    const quillon::XuTarget target = Discovered();
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(quillon::xu::WriteBlock(target, data, sizeof data), 0);
    std::vector<uint8_t> expected(64, 0);
    std::copy(std::begin(data), std::end(data), expected.begin());
    EXPECT_THAT(Node().queries, ElementsAre(RecordedQuery{kUnit, 6, UVC_SET_CUR, 64, expected}));
    EXPECT_EQ(chip_->block, expected);
}

TEST_F(UvcFilterTest, AnErrnoBecomesANegativeStatusThatCarriesIt) {
    const quillon::XuTarget target = Discovered();
    struct Case {
        int error;
        uint32_t status;
    } cases[] = {
        {ENOENT, 0x80070002}, {ENOBUFS, 0x80070069}, {EPIPE, 0x80070020},
        {ENODEV, 0x80070013}, {EACCES, 0x8007000D},
    };
    for (const Case& c : cases) {
        Node().queryErrors = {c.error};
        const int32_t status = quillon::xu::WriteRegister(target, 0x1234, 0x56);
        EXPECT_EQ(static_cast<uint32_t>(status), c.status) << c.error;
        EXPECT_LT(status, 0);
    }
    EXPECT_EQ(chip_->registers.count(0x1234), 0u);
}

TEST_F(UvcFilterTest, AnInterruptedQueryIsAskedAgain) {
    const quillon::XuTarget target = Discovered();
    Node().queryErrors = {EINTR, EINTR};
    EXPECT_EQ(quillon::xu::WriteRegister(target, 0x1234, 0x56), 0);
    EXPECT_EQ(Node().queries.size(), 3u);
    EXPECT_EQ(chip_->registers[0x1234], 0x56);
}

TEST_F(UvcFilterTest, AControlTheUnitDoesNotDeclareFailsWithoutAQuery) {
    const quillon::XuTarget target = Discovered();
    uint8_t type = 0x77;
    EXPECT_EQ(quillon::xu::GetMemoryType(target, &type), kNoSuchControl);
    EXPECT_EQ(type, 0x77);
    EXPECT_TRUE(Node().queries.empty());
}

TEST_F(UvcFilterTest, RequestsTheUnitCannotServeNeverReachTheDriver) {
    Discovered();
    ComPtr<IKsControl> ks;
    ASSERT_EQ(filter_.As(IID_IKsControl, ks), S_OK);
    struct Case {
        const char* name;
        uint32_t selector;
        uint32_t flags;
        uint32_t node;
        bool otherSet;
        uint32_t length;
        HRESULT expected;
    } cases[] = {
        {"another property set", 1, quillon::kFlagsGet, 0, true, 4, kNoSuchControl},
        {"another node", 1, quillon::kFlagsGet, 1, false, 4, kNoSuchControl},
        {"a selector the library does not use", 2, quillon::kFlagsGet, 0, false, 4, kNoSuchControl},
        {"a length other than the control's", 1, quillon::kFlagsGet, 0, false, 64, E_INVALIDARG},
        {"a set of the read-only control", 5, quillon::kFlagsSet, 0, false, 12, E_INVALIDARG},
        {"a support query on the filter", 1, quillon::kFlagsSetSupport, 0, false, 4, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        KSP_NODE request{};
        request.Property.Set = quillon::XU_PROPSET;
        if (c.otherSet) request.Property.Set.Data1 ^= 1;
        request.Property.Id = c.selector;
        request.Property.Flags = c.flags;
        request.NodeId = c.node;
        uint8_t data[64] = {};
        uint32_t returned = 7;
        EXPECT_EQ(ks->KsProperty(&request.Property, sizeof request, data, c.length, &returned),
                  c.expected)
            << c.name;
        EXPECT_EQ(returned, 0u) << c.name;
    }
    EXPECT_TRUE(Node().queries.empty());
}

TEST_F(UvcFilterTest, TheNodeStaysOpenUntilTheLastReferenceToTheFilterGoes) {
    ComPtr<IBaseFilter> filter = Bind();
    ASSERT_TRUE(filter);
    // Once for the listing's capability question, once for the filter.
    EXPECT_THAT(Node().openFlags, ElementsAre(O_RDWR | O_CLOEXEC, O_RDWR | O_CLOEXEC));
    EXPECT_EQ(Node().openCount, 1);

    ComPtr<IKsControl> ks;
    ASSERT_EQ(filter.As(IID_IKsControl, ks), S_OK);
    ComPtr<IKsTopologyInfo> topology;
    ASSERT_EQ(filter.As(IID_IKsTopologyInfo, topology), S_OK);
    ComPtr<IKsControl> nodeInstance;
    ASSERT_EQ(topology->CreateNodeInstance(0, IID_IKsControl, nodeInstance.PutVoid()), S_OK);

    filter.Reset();
    topology.Reset();
    ks.Reset();
    EXPECT_EQ(Node().openCount, 1);
    nodeInstance.Reset();
    EXPECT_EQ(Node().openCount, 0);
    EXPECT_EQ(sys_->BadCloses(), 0);
}

TEST_F(UvcFilterTest, BindingWithoutPermissionFailsWithTheErrnoAndTellsTheUser) {
    ComPtr<IMoniker> moniker = FirstMoniker();
    ASSERT_TRUE(moniker);
    Node().openError = EACCES;
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()),
              StatusFromErrno(EACCES));
    EXPECT_FALSE(filter);
    EXPECT_THAT(backend_->Diagnostics(), HasSubstr("/video0: permission denied"));
}

TEST_F(UvcFilterTest, ThePropertyBagCarriesTheNameAndPath) {
    ComPtr<IMoniker> moniker = FirstMoniker();
    ASSERT_TRUE(moniker);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()), S_OK);
    VARIANT v;
    ASSERT_EQ(bag->Read(u"FriendlyName", &v, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, u"Cam");
    ASSERT_EQ(bag->Read(u"DevicePath", &v, nullptr), S_OK);
    EXPECT_EQ(v.bstrVal, u"usb\\vid_1d6b&pid_0102&mi_00\\1-1\\video0");
    EXPECT_NE(bag->Read(u"Description", &v, nullptr), S_OK);
}

}  // namespace
