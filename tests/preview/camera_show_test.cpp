// The preview holder: idle objects cost nothing; a recorded graph is torn down
// in order, downstream filters first.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "preview/camera_show.h"

namespace quillon {
namespace {

using namespace platform;
using Log = std::vector<std::string>;

// A counted object that logs its calls and its final release.
template <class Base>
struct Logged : Base {
    Logged(Log& l, std::string n) : log(l), name(std::move(n)) {}
    HRESULT QueryInterface(const IID&, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs; }
    uint32_t Release() override {
        const uint32_t left = --refs;
        if (left == 0) {
            log.push_back("release " + name);
            delete this;
        }
        return left;
    }
    Log& log;
    std::string name;
    uint32_t refs = 1;
};

struct Filter;
struct Pin : Logged<IPin> {
    Pin(Log& l, std::string n, PIN_DIRECTION d) : Logged(l, std::move(n)), dir(d) {}
    HRESULT ConnectedTo(IPin** out) override {
        *out = peer;
        if (!peer) return E_FAIL;
        peer->AddRef();
        return S_OK;
    }
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    IPin* peer = nullptr;
    Filter* owner = nullptr;
    PIN_DIRECTION dir;
};

struct PinList : Logged<IEnumPins> {
    using Logged::Logged;
    HRESULT Next(uint32_t, IPin** out, uint32_t* fetched) override {
        if (at >= pins.size()) return S_FALSE;
        *out = pins[at++];
        (*out)->AddRef();
        *fetched = 1;
        return S_OK;
    }
    HRESULT Reset() override {
        at = 0;
        return S_OK;
    }
    std::vector<IPin*> pins;
    size_t at = 0;
};

struct Filter : Logged<IBaseFilter> {
    using Logged::Logged;
    HRESULT EnumPins(IEnumPins** out) override {
        auto* list = new PinList(log, name + " pins");
        list->pins = pins;
        *out = list;
        return S_OK;
    }
    std::vector<IPin*> pins;
};

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    info->pFilter = owner;
    owner->AddRef();
    info->dir = dir;
    return S_OK;
}

struct Control : Logged<IMediaControl> {
    using Logged::Logged;
    HRESULT Stop() override {
        log.push_back("stop graph");
        return result;
    }
    HRESULT result = S_OK;
};

struct Graph : Logged<IGraphBuilder> {
    Graph(Log& l, Control* c) : Logged(l, "graph"), control(c) {}
    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (iid == IID_IMediaControl) {
            control->AddRef();
            *out = static_cast<IMediaControl*>(control);
            return S_OK;
        }
        return Logged::QueryInterface(iid, out);
    }
    HRESULT Disconnect(IPin* p) override {
        log.push_back("disconnect " + static_cast<Pin*>(p)->name);
        return S_OK;
    }
    HRESULT RemoveFilter(IBaseFilter* f) override {
        log.push_back("remove " + static_cast<Filter*>(f)->name);
        return S_OK;
    }
    Control* control;
};

struct Grabber : Logged<ISampleGrabber> {
    using Logged::Logged;
    HRESULT SetCallback(ISampleGrabberCB* cb, int32_t which) override {
        log.push_back("set callback " + std::string(cb ? "x" : "null") + " " + std::to_string(which));
        return S_OK;
    }
};

struct Window : Logged<IVideoWindow> {
    using Logged::Logged;
    HRESULT put_Owner(intptr_t o) override {
        log.push_back("owner " + std::to_string(o));
        return S_OK;
    }
    HRESULT put_Visible(int32_t v) override {
        log.push_back("visible " + std::to_string(v));
        return S_OK;
    }
};

TEST(CameraShowHolder, FreshObjectStopsAndDiesWithoutCalls) {
    Log log;
    {
        CameraShow show;
        EXPECT_EQ(show.Stop(), 1);
    }
    CameraDevice device(nullptr, nullptr, 0);  // its destruction creates, stops and drops one
    EXPECT_TRUE(log.empty());
}

TEST(CameraShowHolder, InterfaceRules) {
    CameraShow show;
    for (ISampleGrabberCB* obj : {static_cast<ISampleGrabberCB*>(&show),
                                  static_cast<ISampleGrabberCB*>(&show.snapshotBuffer)}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(obj->QueryInterface(IID_ISampleGrabberCB, &out), S_OK);
        EXPECT_EQ(out, obj);
        out = nullptr;
        EXPECT_EQ(obj->QueryInterface(IID_IUnknown, &out), S_OK);
        EXPECT_EQ(out, obj);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(obj->QueryInterface(IID_IKsControl, &out), E_NOINTERFACE);
        EXPECT_EQ(out, reinterpret_cast<void*>(0x1));
        EXPECT_EQ(obj->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(obj->AddRef(), 1u);
            EXPECT_EQ(obj->Release(), 2u);
            EXPECT_EQ(obj->Release(), 2u);
        }
    }
}

TEST(CameraShowHolder, SnapshotDeliversOneBufferPerArming) {
    CStillSnapshotBuffer snap;
    int delivered = 0;
    uint8_t frame[4] = {};
    EXPECT_EQ(snap.BufferCB(0, frame, 4), S_OK);  // no callback, not armed
    snap.armed = true;
    EXPECT_EQ(snap.BufferCB(0, frame, 4), S_OK);  // armed, no callback: stays armed
    EXPECT_TRUE(snap.armed);
    snap.snapshotCallback = [&](uint8_t*, int32_t len) { delivered += len; };
    EXPECT_EQ(snap.BufferCB(0, frame, 4), S_OK);
    EXPECT_EQ(snap.BufferCB(0, frame, 4), S_OK);
    EXPECT_EQ(delivered, 4);
    EXPECT_FALSE(snap.armed);
    EXPECT_EQ(snap.SampleCB(0, nullptr), E_NOTIMPL);
}

TEST(CameraShowHolder, TearDownRemovesDownstreamFirstThenReleasesInOrder) {
    Log log;
    // capture -> (out) ==> (in) render
    auto* capture = new Filter(log, "capture");
    auto* render = new Filter(log, "render");
    auto* out = new Pin(log, "capture.out", PINDIR_OUTPUT);
    auto* in = new Pin(log, "render.in", PINDIR_INPUT);
    out->owner = capture;
    in->owner = render;
    out->peer = in;
    in->peer = out;
    capture->pins = {out};
    render->pins = {in};
    auto* control = new Control(log, "control");
    {
        CameraShow show;
        show.captureFilter = ComPtr<IBaseFilter>::Attach(capture);
        show.further1 = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "f1"));
        show.further2 = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "f2"));
        show.further3 = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "f3"));
        show.sampleGrabber = ComPtr<ISampleGrabber>::Attach(new Grabber(log, "grabber"));
        show.graph = ComPtr<IGraphBuilder>::Attach(new Graph(log, control));
        show.afterGraph = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "afterGraph"));
        show.videoWindow = ComPtr<IVideoWindow>::Attach(new Window(log, "window"));
        show.last1 = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "l1"));
        show.last3 = ComPtr<IUnknown>::Attach(new Logged<IUnknown>(log, "l3"));
        show.running = show.graphBuilt = show.active = 1;
        log.push_back("-- destroy");
    }
    control->Release();
    // Pins and the render filter are the test's own; the graph walk released what it took.
    EXPECT_EQ(render->refs, 1u);
    EXPECT_EQ(in->refs, 1u);
    EXPECT_EQ(out->refs, 1u);
    const Log expect = {"-- destroy",
                        "stop graph",
                        "release render pins",
                        "disconnect render.in",
                        "disconnect capture.out",
                        "remove render",
                        "release capture pins",
                        "release f2",
                        "release f1",
                        "release f3",
                        "set callback null 1",
                        "release grabber",
                        "owner 0",
                        "visible 0",
                        "release window",
                        "release graph",
                        "release afterGraph",
                        "release l3",
                        "release l1",
                        "release capture",
                        "release control"};
    EXPECT_EQ(log, expect);
    render->Release();
    in->Release();
    out->Release();
}

TEST(CameraShowHolder, FailedStopLeavesRunningButStillTearsDown) {
    Log log;
    auto* control = new Control(log, "control");
    control->result = E_FAIL;
    CameraShow show;
    show.graph = ComPtr<IGraphBuilder>::Attach(new Graph(log, control));
    show.running = show.graphBuilt = show.active = 1;
    EXPECT_EQ(show.Stop(), 1);
    EXPECT_EQ(show.running, 1u);
    EXPECT_EQ(show.graphBuilt, 0u);
    EXPECT_EQ(show.active, 0u);
    show.running = 0;
    control->Release();
}

}  // namespace
}  // namespace quillon
