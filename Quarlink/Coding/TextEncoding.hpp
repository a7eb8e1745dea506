#pragma once

#include <string>
#include <string_view>

namespace Quarlink {

// Whether the bytes are well-formed UTF-8.
[[nodiscard]] bool isValidUTF8(std::string_view text);

// The bytes as UTF-8, each ill-formed sequence replaced by U+FFFD.
[[nodiscard]] std::string lossyUTF8(std::string_view bytes);

} // namespace Quarlink
