// The user's interface language, which picks the version of every template
// and string.
#pragma once

namespace ui {

enum class Language { kEnglish, kChinese };

// Chinese when the first of LC_ALL, LC_MESSAGES and LANG that is set (and not
// empty) starts with "zh"; English otherwise. Null means unset.
[[nodiscard]] Language LanguageFromLocale(const char* lcAll, const char* lcMessages,
                                          const char* lang);

// The same, from the process environment.
[[nodiscard]] Language LanguageFromEnvironment();

}  // namespace ui
