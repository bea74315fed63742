// The templates and strings as the dialogs find them, in both languages.
#include "ui/resources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ui {
namespace {

struct ControlRow {
    Language language;
    int dialog;
    int id;
    ControlType type;
    const char* text;
    int x, y, width, height;
    uint32_t style;
};

constexpr uint32_t kCommandButton = kStyleDefaultButton | kStyleTabStop;
constexpr uint32_t kCentred = kStyleCenter | kStyleCenterVertical;
constexpr Language kEn = Language::kEnglish;
constexpr Language kZh = Language::kChinese;

const ControlRow kRows[] = {
    {kEn, 102, IDC_UPDATE, ControlType::kPushButton, "UPDATE", 105, 100, 68, 32, kCommandButton},
    {kEn, 102, IDC_STATUS, ControlType::kStaticText, "Upgrade FW", 78, 35, 123, 16, kCentred},
    {kEn, 102, IDC_PROGRESS, ControlType::kProgressBar, "", 7, 71, 266, 14, kStyleBorder},
    {kZh, 102, IDC_UPDATE, ControlType::kPushButton, "升级", 208, 107, 65, 25, kCommandButton},
    {kZh, 102, IDC_VERSION, ControlType::kPushButton, "获得版本号", 117, 107, 65, 25,
     kCommandButton},
    {kZh, 102, IDC_STATUS, ControlType::kStaticText, "可以升级固件", 68, 32, 143, 16, kCentred},
    {kZh, 102, IDC_PROGRESS, ControlType::kProgressBar, "", 7, 71, 266, 14, kStyleBorder},
    {kEn, 100, IDOK, ControlType::kPushButton, "OK", 113, 41, 50, 14,
     kStyleDefaultButton | kStyleGroup},
    {kZh, 100, IDOK, ControlType::kPushButton, "确定", 113, 41, 50, 14,
     kStyleDefaultButton | kStyleGroup},
};

TEST(ResourcesTest, ControlsOfTheTemplates) {
    for (const ControlRow& row : kRows) {
        const ResourceSet set = ResourceSet::ForLanguage(row.language);
        const DialogTemplate* dialog = set.Dialog(row.dialog);
        ASSERT_NE(dialog, nullptr);
        const ControlTemplate* c = dialog->Control(row.id);
        ASSERT_NE(c, nullptr) << row.dialog << "/" << row.id;
        SCOPED_TRACE(std::to_string(row.dialog) + "/" + std::to_string(row.id) + " " + row.text);
        EXPECT_EQ(c->type, row.type);
        EXPECT_EQ(c->text, row.text);
        EXPECT_EQ((std::array{c->x, c->y, c->width, c->height}),
                  (std::array{row.x, row.y, row.width, row.height}));
        EXPECT_EQ(c->style, row.style);
    }
}

TEST(ResourcesTest, TheEnglishMainDialogHasNoVersionButton) {
    const ResourceSet en = ResourceSet::ForLanguage(Language::kEnglish);
    EXPECT_EQ(en.Dialog(IDD_QUILLON_DIALOG)->Control(IDC_VERSION), nullptr);
    EXPECT_EQ(en.Dialog(IDD_QUILLON_DIALOG)->controls.size(), 3u);
    EXPECT_EQ(
        ResourceSet::ForLanguage(Language::kChinese).Dialog(IDD_QUILLON_DIALOG)->controls.size(),
        4u);
}

TEST(ResourcesTest, DialogFrames) {
    for (Language language : {Language::kEnglish, Language::kChinese}) {
        const ResourceSet set = ResourceSet::ForLanguage(language);
        const DialogTemplate& main = *set.Dialog(IDD_QUILLON_DIALOG);
        EXPECT_EQ((std::array{main.width, main.height}), (std::array{280, 139}));
        EXPECT_EQ(main.caption, "Quillon v1.04");
        EXPECT_EQ(main.style,
                  kStylePopup | kStyleVisible | kStyleCaption | kStyleSysMenu | kStyleAppWindow);
        EXPECT_EQ(main.fontName, "MS Shell Dlg");
        EXPECT_EQ(main.fontPoints, 9);

        const DialogTemplate& about = *set.Dialog(IDD_ABOUTBOX);
        EXPECT_EQ((std::array{about.width, about.height}), (std::array{170, 62}));
        EXPECT_EQ(about.style, kStyleModalFrame | kStyleCaption | kStyleSysMenu);
        EXPECT_EQ(about.caption, language == Language::kEnglish ? "About Quillon" : "关于 Quillon");
        // Icon, version line, copyright line, OK.
        ASSERT_EQ(about.controls.size(), 4u);
        EXPECT_EQ(about.controls[0].type, ControlType::kStaticIcon);
        EXPECT_EQ(about.controls[0].iconId, IDR_MAINFRAME);
        EXPECT_EQ((std::array{about.controls[0].x, about.controls[0].y, about.controls[0].width,
                              about.controls[0].height}),
                  (std::array{14, 14, 20, 20}));
        EXPECT_EQ(about.controls[1].text,
                  language == Language::kEnglish ? "Version 1.01" : "版本 1.01");
        EXPECT_EQ((std::array{about.controls[1].x, about.controls[1].y}), (std::array{42, 14}));
        EXPECT_EQ((std::array{about.controls[2].x, about.controls[2].y, about.controls[2].width,
                              about.controls[2].height}),
                  (std::array{42, 26, 114, 8}));
        EXPECT_FALSE(about.controls[2].text.empty());
    }
}

TEST(ResourcesTest, Strings) {
    struct Row {
        int id;
        const char* english;
        const char* chinese;
    } rows[] = {
        {101, "About Quillon(&A)...", "关于 Quillon(&A)..."},
        {102, "Updating......", "更新中......"},
        {106, "No video device!", "没有找到摄像头设备！"},
        {107, "Failed to load fw resorce", "加载固件资源失败！"},
        {108, "Failed to allocate memory", "分配内存失败！"},
        {109, "Update successed", "升级成功"},
        {110, "Upgrade unsuccessful", "升级失败！"},
        {111, "Firmware and device do not match!", "固件和设备不匹配!"},
        {135, "In open flow, cannot be upgraded", "开图中，不能升级！"},
    };
    const ResourceSet en = ResourceSet::ForLanguage(Language::kEnglish);
    const ResourceSet zh = ResourceSet::ForLanguage(Language::kChinese);
    for (const Row& row : rows) {
        EXPECT_EQ(en.String(row.id), row.english);
        EXPECT_EQ(zh.String(row.id), row.chinese);
    }
    EXPECT_EQ(en.String(103), "");  // no such string: empty
}

}  // namespace
}  // namespace ui
