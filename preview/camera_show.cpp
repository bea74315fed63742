#include "preview/camera_show.h"

namespace quillon {

using namespace platform;

namespace {
HRESULT HandOutSelf(ISampleGrabberCB* self, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_ISampleGrabberCB || iid == IID_IUnknown) {
        *out = self;  // no reference is added: the owner keeps the object alive
        return S_OK;
    }
    return E_NOINTERFACE;
}
}  // namespace

HRESULT CStillSnapshotBuffer::QueryInterface(const IID& iid, void** out) {
    return HandOutSelf(this, iid, out);
}

HRESULT CStillSnapshotBuffer::BufferCB(double, uint8_t* buffer, int32_t length) {
    if (armed && snapshotCallback) {
        snapshotCallback(buffer, length);
        armed = false;
    }
    return S_OK;
}

HRESULT CameraShow::QueryInterface(const IID& iid, void** out) { return HandOutSelf(this, iid, out); }

HRESULT CameraShow::SampleCB(double, IMediaSample* sample) {
    if (frameCallback && sample) {
        uint8_t* buffer = nullptr;
        if (sample->GetPointer(&buffer) == S_OK) frameCallback(buffer, sample->GetActualDataLength());
    }
    return S_OK;
}

CameraShow::~CameraShow() {
    if (active) Stop();
    // snapshotBuffer and the references go with the members, last first.
}

int32_t CameraShow::Stop() {
    if (running) (void)StopGraph();
    if (graphBuilt) TearDownGraph();
    active = 0;
    return 1;
}

int32_t CameraShow::StopGraph() {
    if (!running) return 0;
    ComPtr<IMediaControl> control;
    if (!graph || FAILED(graph->QueryInterface(IID_IMediaControl, control.PutVoid())) || !control)
        return 1;
    if (FAILED(control->Stop())) return 1;
    running = 0;
    return 0;
}

void CameraShow::RemoveDownstream(IBaseFilter* filter) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())) || !pins) return;
    pins->Reset();
    for (;;) {
        ComPtr<IPin> pin;
        uint32_t fetched = 0;
        if (pins->Next(1, pin.Put(), &fetched) != S_OK || !pin) break;
        ComPtr<IPin> to;
        if (SUCCEEDED(pin->ConnectedTo(to.Put())) && to) {
            PIN_INFO info{};
            if (FAILED(to->QueryPinInfo(&info))) break;
            ComPtr<IBaseFilter> downstream = ComPtr<IBaseFilter>::Attach(info.pFilter);
            if (info.dir == PINDIR_INPUT && downstream) {
                RemoveDownstream(downstream.Get());
                if (graph) {
                    graph->Disconnect(to.Get());
                    graph->Disconnect(pin.Get());
                    graph->RemoveFilter(downstream.Get());
                }
            }
        }
    }
}

int32_t CameraShow::TearDownGraph() {
    if (captureFilter) RemoveDownstream(captureFilter.Get());
    further2.Reset();
    further1.Reset();
    further3.Reset();
    if (sampleGrabber) {
        sampleGrabber->SetCallback(nullptr, 1);
        sampleGrabber.Reset();
    }
    if (videoWindow) {
        videoWindow->put_Owner(0);
        videoWindow->put_Visible(OAFALSE);
        videoWindow.Reset();
    }
    graph.Reset();
    afterGraph.Reset();
    graphBuilt = 0;
    return 0;
}

}  // namespace quillon
