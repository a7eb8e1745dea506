#pragma once

#include <cstddef>
#include <string_view>

namespace Orvella {

// The number of characters as the user sees them in UTF-8 text: extended
// grapheme clusters, so "e" with a combining accent, a flag and a family
// emoji each count once. Bytes that are not valid UTF-8 count one each.
[[nodiscard]] std::size_t graphemeClusterCount(std::string_view text);

} // namespace Orvella
