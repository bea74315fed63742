#include "ui/qt/event_log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ui::qt {

EventLog::EventLog(const char* variable) {
    const char* path = std::getenv(variable);
    if (path == nullptr || *path == '\0') return;
    file_ = std::fopen(path, "w");
    if (file_ == nullptr)
        std::fprintf(stderr, "quillon: %s=%s: %s; no event log\n", variable, path,
                     std::strerror(errno));
}

EventLog::~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void EventLog::Line(const std::string& line) {
    if (file_ == nullptr) return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

}  // namespace ui::qt
