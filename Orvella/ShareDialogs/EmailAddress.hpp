#pragma once

#include <string>
#include <vector>

namespace Orvella {

// Whether the whole text is an address: a local part of ASCII letters, digits
// and . _ % + -, one "@", a domain of letters, digits, dots and hyphens, a dot
// and a final part of 2 to 64 ASCII letters.
[[nodiscard]] bool isValidEmailAddress(const std::string& text);

// False for no addresses, else whether every one is valid.
[[nodiscard]] bool containsOnlyValidEmailAddresses(const std::vector<std::string>& addresses);

} // namespace Orvella
