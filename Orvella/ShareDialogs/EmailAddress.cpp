#include "Orvella/ShareDialogs/EmailAddress.hpp"

#include <algorithm>
#include <regex>

namespace Orvella {

bool isValidEmailAddress(const std::string& text)
{
    static const std::regex pattern(R"([A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64})");
    return std::regex_match(text, pattern);
}

bool containsOnlyValidEmailAddresses(const std::vector<std::string>& addresses)
{
    return !addresses.empty() && std::ranges::all_of(addresses, isValidEmailAddress);
}

} // namespace Orvella
