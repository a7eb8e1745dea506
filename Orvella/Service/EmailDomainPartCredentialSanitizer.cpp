#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"

#include "Platform/Foundation/Unicode.hpp"

namespace Orvella {

void EmailDomainPartCredentialSanitizer::sanitize(std::string& userName) const
{
    if (m_defaultDomainPart.empty())
        return;
    if (Platform::containsOnlyDecimalDigits(userName))
        return;
    if (userName.find('@') != std::string::npos)
        return;
    userName += "@";
    userName += m_defaultDomainPart;
}

} // namespace Orvella
