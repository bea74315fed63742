#include "ui/resources.h"

#include <utility>

namespace ui {
namespace {

constexpr uint32_t kMainDialogStyle =
    kStylePopup | kStyleVisible | kStyleCaption | kStyleSysMenu | kStyleAppWindow;
constexpr uint32_t kAboutStyle = kStyleModalFrame | kStyleCaption | kStyleSysMenu;
constexpr uint32_t kCommandButton = kStyleDefaultButton | kStyleTabStop;
constexpr uint32_t kStatusText = kStyleCenter | kStyleCenterVertical;

DialogTemplate MainDialogEnglish() {
    return {IDD_QUILLON_DIALOG,
            280,
            139,
            "Quillon v1.04",
            kMainDialogStyle,
            "MS Shell Dlg",
            9,
            {
                {IDC_UPDATE, ControlType::kPushButton, "UPDATE", 105, 100, 68, 32, kCommandButton},
                {IDC_STATUS, ControlType::kStaticText, "Upgrade FW", 78, 35, 123, 16, kStatusText},
                {IDC_PROGRESS, ControlType::kProgressBar, "", 7, 71, 266, 14, kStyleBorder},
            }};
}

DialogTemplate MainDialogChinese() {
    return {
        IDD_QUILLON_DIALOG,
        280,
        139,
        "Quillon v1.04",
        kMainDialogStyle,
        "MS Shell Dlg",
        9,
        {
            {IDC_UPDATE, ControlType::kPushButton, "升级", 208, 107, 65, 25, kCommandButton},
            {IDC_VERSION, ControlType::kPushButton, "获得版本号", 117, 107, 65, 25, kCommandButton},
            {IDC_STATUS, ControlType::kStaticText, "可以升级固件", 68, 32, 143, 16, kStatusText},
            {IDC_PROGRESS, ControlType::kProgressBar, "", 7, 71, 266, 14, kStyleBorder},
        }};
}

DialogTemplate AboutBox(Language language) {
    const bool zh = language == Language::kChinese;
    return {
        IDD_ABOUTBOX,
        170,
        62,
        zh ? "关于 Quillon" : "About Quillon",
        kAboutStyle,
        "MS Shell Dlg",
        9,
        {
            {IDC_STATIC, ControlType::kStaticIcon, "", 14, 14, 20, 20, kStyleNone, IDR_MAINFRAME},
            {IDC_STATIC, ControlType::kStaticText, zh ? "版本 1.01" : "Version 1.01", 42, 14, 114,
             8, kStyleNone},
            {IDC_STATIC, ControlType::kStaticText,
             zh ? "版权所有 (C) 2026" : std::string(kCopyrightText), 42, 26, 114, 8, kStyleNone},
            {IDOK, ControlType::kPushButton, zh ? "确定" : "OK", 113, 41, 50, 14,
             kStyleDefaultButton | kStyleGroup},
        }};
}

std::map<int, std::string> StringsEnglish() {
    return {
        {IDS_ABOUTBOX, "About Quillon(&A)..."},
        {IDS_UPDATING, "Updating......"},
        {IDS_NO_DEVICE, "No video device!"},
        {IDS_LOAD_FW_FAILED, "Failed to load fw resorce"},
        {IDS_ALLOC_FAILED, "Failed to allocate memory"},
        {IDS_UPDATE_OK, "Update successed"},
        {IDS_UPDATE_FAILED, "Upgrade unsuccessful"},
        {IDS_NO_MATCH, "Firmware and device do not match!"},
        {IDS_STREAMING, "In open flow, cannot be upgraded"},
    };
}

std::map<int, std::string> StringsChinese() {
    return {
        {IDS_ABOUTBOX, "关于 Quillon(&A)..."},   {IDS_UPDATING, "更新中......"},
        {IDS_NO_DEVICE, "没有找到摄像头设备！"}, {IDS_LOAD_FW_FAILED, "加载固件资源失败！"},
        {IDS_ALLOC_FAILED, "分配内存失败！"},    {IDS_UPDATE_OK, "升级成功"},
        {IDS_UPDATE_FAILED, "升级失败！"},       {IDS_NO_MATCH, "固件和设备不匹配!"},
        {IDS_STREAMING, "开图中，不能升级！"},
    };
}

}  // namespace

const ControlTemplate* DialogTemplate::Control(int controlId) const {
    for (const ControlTemplate& c : controls)
        if (c.id == controlId) return &c;
    return nullptr;
}

ResourceSet ResourceSet::ForLanguage(Language language) {
    ResourceSet set;
    set.language_ = language;
    const bool zh = language == Language::kChinese;
    set.SetDialog(zh ? MainDialogChinese() : MainDialogEnglish());
    set.SetDialog(AboutBox(language));
    set.strings_ = zh ? StringsChinese() : StringsEnglish();
    return set;
}

const DialogTemplate* ResourceSet::Dialog(int id) const {
    const auto it = dialogs_.find(id);
    return it == dialogs_.end() ? nullptr : &it->second;
}

std::string ResourceSet::String(int id) const {
    const auto it = strings_.find(id);
    return it == strings_.end() ? std::string() : it->second;
}

void ResourceSet::SetString(int id, std::string text) {
    strings_[id] = std::move(text);
}

void ResourceSet::RemoveString(int id) {
    strings_.erase(id);
}

void ResourceSet::SetDialog(DialogTemplate dialog) {
    const int id = dialog.id;
    dialogs_.insert_or_assign(id, std::move(dialog));
}

}  // namespace ui
