#include "ui/language.h"

#include <cstdlib>
#include <string_view>

namespace ui {

Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    // Same precedence as the C library's message catalogues: the first
    // variable that is set wins, and an empty one counts as unset.
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).starts_with("zh") ? Language::kChinese : Language::kEnglish;
    }
    return Language::kEnglish;
}

Language LanguageFromEnvironment() {
    return LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                              std::getenv("LANG"));
}

}  // namespace ui
