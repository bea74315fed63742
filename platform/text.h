// Conversion between the library's UTF-16 texts and narrow texts in the
// process's locale (UTF-8 on every system we run on).
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string NarrowFromWide(std::u16string_view wide);
std::u16string WideFromNarrow(std::string_view narrow);

}  // namespace platform
