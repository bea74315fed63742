// The object model over the real cameras: device enumerator, monikers,
// property bags, capture filters (one open device node each) and the
// extension unit's node instance.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/devenum.h"
#include "platform/linux/system_calls.h"
#include "platform/linux/uvc_backend.h"
#include "platform/linux/video_nodes.h"

namespace platform::uvc {

// Why cameras were left out, kept for the front ends. Each listing starts it
// afresh; binding and probing add to it. Thread-safe.
class NoteLog {
  public:
    void Replace(std::vector<std::string> notes);
    void Add(const std::string& note);
    // One note per line; empty when all is well.
    [[nodiscard]] std::string Text() const;

  private:
    mutable std::mutex lock_;
    std::vector<std::string> notes_;
};

// What every object of one backend shares.
struct Context {
    std::shared_ptr<SystemCalls> sys;
    Paths paths;
    UnitProfile profile;
    NoteLog notes;
};

// A system device enumerator, with one reference for the caller.
ICreateDevEnum* NewDeviceEnumerator(std::shared_ptr<Context> context);

// One extension-unit query (UVC_GET_CUR, UVC_SET_CUR, UVC_GET_INFO, ...) of
// `data.size()` bytes on an open node; 0, or the errno as a status.
[[nodiscard]] HRESULT QueryUnit(SystemCalls& sys, int fd, uint8_t unit, uint8_t selector,
                                uint8_t query, std::span<uint8_t> data);

}  // namespace platform::uvc
