#pragma once

#include <string>
#include <string_view>

namespace LocalCloud {

// Appends `text` to `out` as a JSON string literal, quotes included: `"` and
// `\` escaped, the control characters below U+0020 as \b \t \n \f \r or
// \u00xx, everything else as it is (no escapes for non-ASCII). A byte
// sequence that is not well-formed UTF-8 becomes U+FFFD: an invalid byte on
// its own, or an unfinished sequence up to the byte that breaks it, which is
// then read again as the start of the next character.
void appendJSONString(std::string& out, std::string_view text);

} // namespace LocalCloud
