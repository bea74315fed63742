// The command-line parser of the application: every option goes into a map,
// with the plain word that follows it (if any) as its value.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "ui/win_app.h"

namespace quillon {

class CCommandLineInfoEx : public ui::CommandLineInfo {
  public:
    void ParseParam(const std::string& param, bool isOption, bool isLast) override;

    // Whether the option was given (exact, case-sensitive).
    [[nodiscard]] bool HasOption(const std::string& option) const {
        return m_options.count(option) != 0;
    }

    std::map<std::string, std::string> m_options;
    std::optional<std::string> m_lastOption;  // the last option seen, until a word follows it
};

// The option that selects the automatic mode: "-h" or "/h".
inline constexpr char kAutomaticOption[] = "h";

}  // namespace quillon
