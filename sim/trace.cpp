#include "sim/trace.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace sim {

namespace {

// Formatting reuses one buffer per thread, so tracing allocates nothing once warm.
std::string& LineBuffer() {
    thread_local std::string line;
    line.clear();
    return line;
}

template <class T>
void AppendNumber(std::string& line, T value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, result.ptr);
}

void AppendHex(std::string& line, std::span<const uint8_t> data, bool zeros) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (uint8_t b : data) {
        if (zeros) b = 0;
        line += kDigits[b >> 4];
        line += kDigits[b & 0x0F];
    }
}

}  // namespace

Trace::~Trace() {
    if (file_) std::fclose(file_);
}

bool Trace::Open(const std::string& file, std::string& error) {
    std::FILE* f = std::fopen(file.c_str(), "w");
    if (!f) {
        error = "cannot write the trace file " + file + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = f;
    active_ = true;
    return true;
}

void Trace::Exchange(size_t camera, bool isSet, uint32_t selector, std::span<const uint8_t> data,
                     bool zeros, platform::HRESULT status) {
    if (!active_.load(std::memory_order_relaxed)) return;
    std::string& line = LineBuffer();
    AppendNumber(line, camera);
    line += isSet ? " SET " : " GET ";
    AppendNumber(line, selector);
    line += ' ';
    AppendHex(line, data, zeros);
    line += ' ';
    AppendNumber(line, static_cast<int32_t>(status));
    Emit(line);
}

void Trace::Probe(size_t camera, uint32_t node, platform::HRESULT status) {
    if (!active_.load(std::memory_order_relaxed)) return;
    std::string& line = LineBuffer();
    AppendNumber(line, camera);
    line += " PROBE ";
    AppendNumber(line, node);
    line += " - ";
    AppendNumber(line, static_cast<int32_t>(status));
    Emit(line);
}

void Trace::Emit(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (file_) {
        std::fwrite(line.data(), 1, line.size(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
    if (keep_) lines_.emplace_back(line);
}

void Trace::KeepLines(bool keep) {
    std::lock_guard lock(mutex_);
    keep_ = keep;
    active_ = keep_ || file_ != nullptr;
}

std::vector<std::string> Trace::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void Trace::ClearLines() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace sim
