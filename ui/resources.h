// The program's user-interface resources: dialog templates and the string
// table, each in an English and a Chinese version. Positions and sizes are in
// dialog units; every template uses the 9-point "MS Shell Dlg" font.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/language.h"

namespace ui {

// --- resource ids ---
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUILLON_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;  // the program's icon

inline constexpr int IDC_UPDATE = 1000;    // push button: the upgrade command
inline constexpr int IDC_VERSION = 1001;   // push button: the version command (Chinese only)
inline constexpr int IDC_STATUS = 1002;    // static text: the status text
inline constexpr int IDC_PROGRESS = 1003;  // progress bar
inline constexpr int IDC_STATIC = -1;      // static controls nobody addresses

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_UPDATING = 102;
inline constexpr int IDS_NO_DEVICE = 106;
inline constexpr int IDS_LOAD_FW_FAILED = 107;
inline constexpr int IDS_ALLOC_FAILED = 108;
inline constexpr int IDS_UPDATE_OK = 109;
inline constexpr int IDS_UPDATE_FAILED = 110;
inline constexpr int IDS_NO_MATCH = 111;
inline constexpr int IDS_STREAMING = 135;

// The system-menu command of the About item; the framework reserves the low
// four bits of system commands, so handlers compare with them masked off.
inline constexpr uint32_t IDM_ABOUTBOX = 0x0010;

// --- styles ---
// Window styles of a template and its controls, as flags.
enum Style : uint32_t {
    kStyleNone = 0,
    // dialog
    kStylePopup = 1u << 0,
    kStyleVisible = 1u << 1,
    kStyleCaption = 1u << 2,
    kStyleSysMenu = 1u << 3,
    kStyleAppWindow = 1u << 4,  // its own taskbar button
    kStyleModalFrame = 1u << 5,
    // controls
    kStyleTabStop = 1u << 8,
    kStyleDefaultButton = 1u << 9,
    kStyleCenter = 1u << 10,          // text centred horizontally
    kStyleCenterVertical = 1u << 11,  // text centred vertically
    kStyleBorder = 1u << 12,
    kStyleGroup = 1u << 13,
};

enum class ControlType { kPushButton, kStaticText, kStaticIcon, kProgressBar };

struct ControlTemplate {
    int id;
    ControlType type;
    std::string text;  // UTF-8; for an icon, empty (see iconId)
    int x, y, width, height;
    uint32_t style;
    int iconId = 0;
};

struct DialogTemplate {
    int id = 0;
    int width = 0, height = 0;
    std::string caption;  // UTF-8
    uint32_t style = 0;
    std::string fontName = "MS Shell Dlg";
    int fontPoints = 9;
    std::vector<ControlTemplate> controls;

    // Null when the template has no control `controlId`.
    [[nodiscard]] const ControlTemplate* Control(int controlId) const;
};

// Templates and strings of one language, as the resource lookup hands them
// out. A copy can be changed (tests take one out or alter a text).
class ResourceSet {
  public:
    // The program's own resources in `language`.
    [[nodiscard]] static ResourceSet ForLanguage(Language language);

    [[nodiscard]] Language GetLanguage() const { return language_; }
    // Null when there is no such template.
    [[nodiscard]] const DialogTemplate* Dialog(int id) const;
    // The string, or empty when the table has none with this id.
    [[nodiscard]] std::string String(int id) const;

    void SetString(int id, std::string text);
    void RemoveString(int id);
    void SetDialog(DialogTemplate dialog);

  private:
    Language language_ = Language::kEnglish;
    std::map<int, DialogTemplate> dialogs_;
    std::map<int, std::string> strings_;
};

// The About box's second line: the copyright notice.
inline constexpr std::string_view kCopyrightText = "Copyright (C) 2026";

}  // namespace ui
