// The preview and still-capture object a camera may own. Nothing builds a
// preview graph here; a device creates, stops and destroys a fresh one when it
// goes away, so stopping and destroying must work on an idle object, and must
// tear a graph down correctly when one is recorded in it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/graph.h"

namespace quillon {

using FrameCallback = std::function<void(uint8_t* frame, int32_t length)>;

// Still-image receiver: delivers exactly one buffer per arming.
class CStillSnapshotBuffer final : public platform::ISampleGrabberCB {
public:
    platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 2; }
    platform::HRESULT SampleCB(double, platform::IMediaSample*) override {
        return platform::E_NOTIMPL;
    }
    platform::HRESULT BufferCB(double sampleTime, uint8_t* buffer, int32_t length) override;

    bool armed = false;
    FrameCallback snapshotCallback;
};

class CameraShow final : public platform::ISampleGrabberCB {
public:
    CameraShow() = default;
    ~CameraShow() override;
    CameraShow(const CameraShow&) = delete;
    CameraShow& operator=(const CameraShow&) = delete;

    platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 2; }  // the owner decides its life, not the count
    platform::HRESULT SampleCB(double sampleTime, platform::IMediaSample* sample) override;
    platform::HRESULT BufferCB(double, uint8_t*, int32_t) override { return platform::E_NOTIMPL; }

    int32_t Stop();
    int32_t StopGraph();
    int32_t TearDownGraph();

    // Fields, in this order.
    platform::ComPtr<platform::IBaseFilter> captureFilter;
    platform::ComPtr<platform::IUnknown> further1;
    platform::ComPtr<platform::IUnknown> further2;
    platform::ComPtr<platform::IUnknown> further3;
    platform::ComPtr<platform::ISampleGrabber> sampleGrabber;
    platform::ComPtr<platform::IGraphBuilder> graph;
    platform::ComPtr<platform::IUnknown> afterGraph;
    platform::ComPtr<platform::IVideoWindow> videoWindow;
    platform::ComPtr<platform::IUnknown> last1;
    platform::ComPtr<platform::IUnknown> last2;
    platform::ComPtr<platform::IUnknown> last3;
    FrameCallback frameCallback;
    uint32_t running = 0;
    uint32_t graphBuilt = 0;
    uint32_t active = 0;
    CStillSnapshotBuffer snapshotBuffer;

private:
    void RemoveDownstream(platform::IBaseFilter* filter);
};

}  // namespace quillon
