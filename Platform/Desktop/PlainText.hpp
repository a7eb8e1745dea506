#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Texts that others show or store line by line (notification texts,
// bookmark names) as plain text.

// `text` on one line: control characters (line breaks included, and the C1
// controls U+0080 to U+009F) become blanks.
[[nodiscard]] std::string plainLine(std::string_view text);

// `text` with "&", "<" and ">" as markup entities.
[[nodiscard]] std::string escapedMarkup(std::string_view text);

} // namespace Platform
