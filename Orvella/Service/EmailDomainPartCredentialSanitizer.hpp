#pragma once

#include "Orvella/Service/CredentialSanitizer.hpp"

#include <string>

namespace Orvella {

// Completes a bare account name with "@" and the brand's mail domain, so the
// short form stands for the whole address. Left as they are: every name when
// the domain is empty, names made only of decimal digits (customer numbers,
// in any script; the empty name too) and names holding "@" anywhere.
// Thread-safe: immutable.
class EmailDomainPartCredentialSanitizer final : public CredentialSanitizer {
public:
    // `defaultDomainPart` without "@"; may be empty.
    explicit EmailDomainPartCredentialSanitizer(std::string defaultDomainPart)
        : m_defaultDomainPart(std::move(defaultDomainPart))
    {
    }

    void sanitize(std::string& userName) const override;

    [[nodiscard]] const std::string& defaultDomainPart() const { return m_defaultDomainPart; }

private:
    std::string m_defaultDomainPart;
};

} // namespace Orvella
