// An optional record of what the window front end shows, one line per event,
// for scripts that drive the program and want to know what a person would
// see without reading pixels. QUILLON_UI_LOG names the file (a FIFO works:
// the file is opened once, when the front end starts, and every line is
// flushed as it is written).
//
// Lines (ids are control ids, <tmpl> a dialog template's id, <xid> the
// window system's id of a window, geometry in pixels):
//   units <tmpl> <base x> <base y>
//   control <tmpl> <id> <x> <y> <w> <h> <text>      (as laid out, client coordinates)
//   window shown <tmpl> <xid> <x> <y> <w> <h>       (client area, screen coordinates)
//   window active <tmpl> | window hidden <tmpl> | window destroyed <tmpl>
//   text <id> <text> | enable <id> <0|1> | range <id> <low> <high> | progress <id> <pos>
//   click <tmpl> <id> | key <tmpl> <virtual key>    (after the dialog had it)
//   close <tmpl> | close refused <tmpl>
//   menu shown <tmpl> <xid> | menuitem <command> <x> <y> <w> <h> <text>
//   menu chose <tmpl> <command> | menu closed <tmpl>
//   messagebox shown <xid> <information|exclamation|error|question|none> <caption> | <text>
//   messagebox active | messagebox closed <answer>
// Texts are UTF-8 with line breaks written as "\n".
#pragma once

#include <cstdio>
#include <string>

namespace ui::qt {

class EventLog {
  public:
    // Opens the file that the variable `variable` names; no log when it is
    // unset or empty, or (with a warning on standard error) cannot be opened.
    explicit EventLog(const char* variable);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    [[nodiscard]] bool Enabled() const { return file_ != nullptr; }
    void Line(const std::string& line);

  private:
    std::FILE* file_ = nullptr;
};

// `text` on one line: line breaks become "\n".
[[nodiscard]] std::string OneLine(const std::string& text);

}  // namespace ui::qt
