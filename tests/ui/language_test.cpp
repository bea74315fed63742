#include "ui/language.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(LanguageTest, TheFirstSetVariableDecides) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, Language::kEnglish},
        {nullptr, nullptr, "zh_CN.UTF-8", Language::kChinese},
        {nullptr, nullptr, "zh_TW", Language::kChinese},
        {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
        {nullptr, "zh_CN.UTF-8", "en_US.UTF-8", Language::kChinese},
        {"en_GB.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", Language::kEnglish},
        {"zh_HK", "en_US", nullptr, Language::kChinese},
        // An empty variable counts as unset.
        {"", "", "zh_CN.UTF-8", Language::kChinese},
        {"C", nullptr, "zh_CN.UTF-8", Language::kEnglish},
        {nullptr, nullptr, "ZH_cn", Language::kEnglish},
        {nullptr, nullptr, "z", Language::kEnglish},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageFromLocale(c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

}  // namespace
}  // namespace ui
