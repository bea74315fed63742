// The preview-graph interfaces the preview holder names. Nothing here builds a
// graph; the holder only has to tear one down correctly if it ever held one.
#pragma once

#include <cstdint>

#include "platform/com.h"
#include "platform/devenum.h"

namespace platform {

inline constexpr IID IID_ISampleGrabberCB{0x7C0A0010, 0x51E1, 0x4A1D, {0x9E, 0x10, 3, 0, 0, 0, 0, 1}};
inline constexpr IID IID_IMediaControl{0x7C0A0011, 0x51E1, 0x4A1D, {0x9E, 0x10, 3, 0, 0, 0, 0, 2}};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
inline constexpr int32_t OAFALSE = 0;

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(uint8_t** buffer) = 0;
    virtual int32_t GetActualDataLength() = 0;
};

struct ISampleGrabberCB : IUnknown {
    virtual HRESULT SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT BufferCB(double sampleTime, uint8_t* buffer, int32_t length) = 0;
};

struct ISampleGrabber : IUnknown {
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, int32_t whichMethod) = 0;
};

struct IPin;
struct PIN_INFO {
    IBaseFilter* pFilter;  // a reference the caller releases
    PIN_DIRECTION dir;
};

struct IPin : IUnknown {
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(uint32_t count, IPin** pins, uint32_t* fetched) = 0;
    virtual HRESULT Reset() = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Stop() = 0;
};

struct IFilterGraph : IUnknown {
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
};
struct IGraphBuilder : IFilterGraph {};

struct IVideoWindow : IUnknown {
    virtual HRESULT put_Owner(intptr_t owner) = 0;
    virtual HRESULT put_Visible(int32_t visible) = 0;
};

}  // namespace platform
