#include "app/command_line.h"

namespace quillon {

void CCommandLineInfoEx::ParseParam(const std::string& param, bool isOption, bool isLast) {
    if (isOption) {
        m_options[param] = "";
        m_lastOption = param;
    } else if (m_lastOption) {
        m_options[*m_lastOption] = param;
        m_lastOption.reset();
    }
    ui::CommandLineInfo::ParseParam(param, isOption, isLast);
}

}  // namespace quillon
