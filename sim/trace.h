// The exchange trace: one line per extension-unit request across all cameras,
// written and flushed as each request completes so that it survives a crash or
// a hang, and optionally kept in memory for tests.
//
//   <camera> <SET|GET> <selector> <hex> <status>
//   <camera> PROBE <node> - <status>
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"

namespace sim {

class Trace {
  public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Starts writing to `file` (emptied first). False with the reason in `error`.
    [[nodiscard]] bool Open(const std::string& file, std::string& error);

    // `data` is the whole data buffer; `zeros` traces it as all zeros (a failed GET).
    void Exchange(size_t camera, bool isSet, uint32_t selector, std::span<const uint8_t> data,
                  bool zeros, platform::HRESULT status);
    void Probe(size_t camera, uint32_t node, platform::HRESULT status);

    // Keeps every later line in memory as well (without the newline).
    void KeepLines(bool keep);
    std::vector<std::string> Lines() const;
    void ClearLines();

  private:
    void Emit(std::string_view line);

    mutable std::mutex mutex_;
    std::atomic<bool> active_{false};  // a file is open or lines are kept
    std::FILE* file_ = nullptr;
    bool keep_ = false;
    std::vector<std::string> lines_;
};

}  // namespace sim
