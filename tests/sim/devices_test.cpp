// The object model of the simulated system: listing, names and paths, binding,
// interfaces of the capture filter, topology and discovery probes.
#include <gtest/gtest.h>

#include "platform/backend.h"
#include "tests/sim/sim_test_support.h"

namespace quillon_test {
namespace {

using namespace platform;

TEST(Listing, CamerasInScenarioOrderWithNamesAndPaths) {
    ScenarioBuilder b;
    b.AddCamera().Name("USB 2.0 Camera").Path("usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&0000");
    b.AddCamera().Name("Caméra intégrée").Path("usb#second");
    auto sim = b.Install();

    auto monikers = ListCameras();
    ASSERT_EQ(monikers.size(), 2u);
    BagText name0 = ReadProperty(monikers[0].Get(), u"FriendlyName");
    EXPECT_EQ(name0.hr, S_OK);
    EXPECT_EQ(name0.text, u"USB 2.0 Camera");
    EXPECT_EQ(ReadProperty(monikers[0].Get(), u"DevicePath").text,
              u"usb#vid_1d6b&pid_0102&mi_00#6&1a2b3c4d&0&0000");
    EXPECT_EQ(ReadProperty(monikers[1].Get(), u"FriendlyName").text, u"Caméra intégrée");
    EXPECT_EQ(ReadProperty(monikers[1].Get(), u"DevicePath").text, u"usb#second");
}

TEST(Listing, AbsentNameOrPathCannotBeRead) {
    ScenarioBuilder b;
    b.AddCamera().NoName().Path("p0");
    b.AddCamera().Name("n1").NoPath();
    auto sim = b.Install();
    auto monikers = ListCameras();
    ASSERT_EQ(monikers.size(), 2u);
    EXPECT_TRUE(FAILED(ReadProperty(monikers[0].Get(), u"FriendlyName").hr));
    EXPECT_EQ(ReadProperty(monikers[0].Get(), u"DevicePath").hr, S_OK);
    EXPECT_EQ(ReadProperty(monikers[1].Get(), u"FriendlyName").hr, S_OK);
    EXPECT_TRUE(FAILED(ReadProperty(monikers[1].Get(), u"DevicePath").hr));
    EXPECT_TRUE(FAILED(ReadProperty(monikers[1].Get(), u"Description").hr));
}

TEST(Listing, NoCamerasGivesNoEnumerator) {
    ScenarioBuilder b;
    auto sim = b.Install();
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(sim->CreateSystemDeviceEnum(devices.Put()), S_OK);
    ComPtr<IEnumMoniker> list;
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.Put(), 0),
              S_FALSE);
    EXPECT_FALSE(list);
}

TEST(Listing, OtherCategoriesAreEmpty) {
    ScenarioBuilder b;
    b.AddCamera();
    auto sim = b.Install();
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(sim->CreateSystemDeviceEnum(devices.Put()), S_OK);
    ComPtr<IEnumMoniker> list;
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_SystemDeviceEnum, list.Put(), 0), S_FALSE);
    EXPECT_FALSE(list);
}

TEST(Listing, EnumeratorHandsOutSeveralAtOnceAndRestarts) {
    ScenarioBuilder b;
    b.AddCamera().Name("a");
    b.AddCamera().Name("b");
    auto sim = b.Install();
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(sim->CreateSystemDeviceEnum(devices.Put()), S_OK);
    ComPtr<IEnumMoniker> list;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.Put(), 0), S_OK);

    IMoniker* got[3] = {};
    uint32_t fetched = 99;
    EXPECT_EQ(list->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(ReadProperty(got[1], u"FriendlyName").text, u"b");
    for (uint32_t i = 0; i < fetched; ++i) got[i]->Release();
    EXPECT_EQ(list->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(list->Reset(), S_OK);
    EXPECT_EQ(list->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(ReadProperty(got[0], u"FriendlyName").text, u"a");
    got[0]->Release();
}

TEST(Binding, BindFalseCannotBeOpened) {
    ScenarioBuilder b;
    b.AddCamera().Bind(false).Name("locked");
    auto sim = b.Install();
    auto monikers = ListCameras();
    ASSERT_EQ(monikers.size(), 1u);
    ComPtr<IBaseFilter> filter;
    EXPECT_TRUE(
        FAILED(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())));
    EXPECT_FALSE(filter);
    EXPECT_EQ(ReadProperty(monikers[0].Get(), u"FriendlyName").text, u"locked");
}

TEST(Binding, FilterAnswersItsInterfacesAsOneObject) {
    ScenarioBuilder b;
    b.AddCamera();
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    ASSERT_TRUE(cam.filter && cam.control && cam.topology);

    ComPtr<IUnknown> fromFilter, fromControl, fromTopology;
    EXPECT_EQ(cam.filter.As(IID_IUnknown, fromFilter), S_OK);
    EXPECT_EQ(cam.control.As(IID_IUnknown, fromControl), S_OK);
    EXPECT_EQ(cam.topology.As(IID_IUnknown, fromTopology), S_OK);
    EXPECT_EQ(fromFilter.Get(), fromControl.Get());
    EXPECT_EQ(fromFilter.Get(), fromTopology.Get());

    ComPtr<IBaseFilter> back;
    EXPECT_EQ(cam.control.As(IID_IBaseFilter, back), S_OK);
    EXPECT_EQ(back.Get(), cam.filter.Get());
    ComPtr<IMoniker> notThere;
    EXPECT_EQ(cam.filter.As(IID_IMoniker, notThere), E_NOINTERFACE);
    EXPECT_FALSE(notThere);
}

TEST(Binding, ReferencesAreCountedAndTheLastReleaseDeletes) {
    ScenarioBuilder b;
    b.AddCamera();
    auto sim = b.Install();
    auto monikers = ListCameras();
    ASSERT_EQ(monikers.size(), 1u);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                        reinterpret_cast<void**>(&filter)),
              S_OK);
    EXPECT_EQ(filter->AddRef(), 2u);
    IKsControl* control = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&control)), S_OK);
    EXPECT_EQ(control->Release(), 2u);
    EXPECT_EQ(filter->Release(), 1u);
    EXPECT_EQ(filter->Release(), 0u);  // gone; the sanitizer build sees a leak or a double free
}

TEST(Binding, ObjectsOutliveTheBackend) {
    OpenCamera cam;
    {
        ScenarioBuilder b;
        b.AddCamera().Register(0x2000, 0x5A);
        auto sim = b.Install();
        cam = Open(0);
    }
    // The scenario is uninstalled, yet the filter still reaches its camera.
    EXPECT_EQ(cam.xu.ReadRegister(0x2000), 0x5A);
}

TEST(Topology, NodeCountAndTypes) {
    ScenarioBuilder b;
    b.AddCamera().Nodes(5).XuNode(2).DevSpecificNodes({4});
    auto sim = b.Install();
    OpenCamera cam = Open(0, 2);
    uint32_t count = 0;
    ASSERT_EQ(cam.topology->get_NumNodes(&count), S_OK);
    EXPECT_EQ(count, 5u);
    const bool devSpecific[] = {false, false, true, false, true};
    for (uint32_t node = 0; node < 5; ++node) {
        GUID type{};
        ASSERT_EQ(cam.topology->get_NodeType(node, &type), S_OK);
        EXPECT_EQ(type == KSNODETYPE_DEV_SPECIFIC, devSpecific[node]) << "node " << node;
    }
    GUID type{};
    EXPECT_TRUE(FAILED(cam.topology->get_NodeType(5, &type)));
    ComPtr<IKsControl> instance;
    EXPECT_TRUE(FAILED(cam.topology->CreateNodeInstance(5, IID_IKsControl, instance.PutVoid())));
    EXPECT_EQ(cam.topology->CreateNodeInstance(2, IID_IBaseFilter, instance.PutVoid()),
              E_NOINTERFACE);
}

TEST(Topology, OnlyTheExtensionUnitAcceptsTheProbe) {
    ScenarioBuilder b;
    b.AddCamera().Nodes(4).XuNode(2).DevSpecificNodes({3});
    auto sim = b.Install();
    OpenCamera cam = Open(0, 2);
    EXPECT_LT(ProbeNode(cam.topology.Get(), 0), 0);
    EXPECT_LT(ProbeNode(cam.topology.Get(), 1), 0);
    EXPECT_EQ(ProbeNode(cam.topology.Get(), 2), 0);
    EXPECT_LT(ProbeNode(cam.topology.Get(), 3), 0);
    EXPECT_EQ(sim.Camera(0).ExchangeCount(), 0u) << "probes are not exchanges";
    EXPECT_EQ(sim.Trace(),
              (std::vector<std::string>{"0 PROBE 0 - -2147023726", "0 PROBE 1 - -2147023726",
                                        "0 PROBE 2 - 0", "0 PROBE 3 - -2147023726"}));
}

TEST(Topology, MalformedProbesFail) {
    ScenarioBuilder b;
    b.AddCamera().Nodes(2).XuNode(1);
    auto sim = b.Install();
    OpenCamera cam = Open(0, 1);
    ComPtr<IKsControl> node;
    ASSERT_EQ(cam.topology->CreateNodeInstance(1, IID_IKsControl, node.PutVoid()), S_OK);

    struct Case {
        const char* what;
        KSP_NODE request;
        uint32_t dataLength;
    };
    const GUID otherSet{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    const Case cases[] = {
        {"other property set", Request(sim::kFlagsProbe, 0, 1, otherSet), 0},
        {"node id of another node", Request(sim::kFlagsProbe, 0, 0), 0},
        {"GET instead of support query", Request(sim::kFlagsGet, 1, 1), 0},
        {"with data", Request(sim::kFlagsProbe, 0, 1), 4},
    };
    for (const Case& c : cases) {
        KSP_NODE r = c.request;
        uint8_t data[4] = {};
        EXPECT_LT(node->KsProperty(&r.Property, sizeof r, data, c.dataLength, nullptr), 0)
            << c.what;
    }
    KSP_NODE r = Request(sim::kFlagsProbe, 0, 1);
    EXPECT_LT(node->KsProperty(&r.Property, 16, nullptr, 0, nullptr), 0) << "short header";
    EXPECT_LT(node->KsProperty(nullptr, sizeof r, nullptr, 0, nullptr), 0) << "no header";
    EXPECT_EQ(node->KsProperty(&r.Property, sizeof r, nullptr, 0, nullptr), 0) << "well formed";
}

TEST(Topology, CameraWithoutExtensionUnit) {
    ScenarioBuilder b;
    b.AddCamera().XuNode(-1).Nodes(3).DevSpecificNodes({1});
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    for (uint32_t node = 0; node < 3; ++node)
        EXPECT_LT(ProbeNode(cam.topology.Get(), node), 0) << node;
    EXPECT_NE(cam.xu.WriteRegister(0x10, 1), 0);
}

}  // namespace
}  // namespace quillon_test
