#pragma once

#include "Platform/Foundation/Unicode.hpp"

#include <string>
#include <string_view>

namespace Quarlink {

using Platform::isValidUTF8;

// The bytes as UTF-8, each ill-formed sequence replaced by U+FFFD.
[[nodiscard]] std::string lossyUTF8(std::string_view bytes);

} // namespace Quarlink
