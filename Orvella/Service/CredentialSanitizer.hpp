#pragma once

#include <string>

namespace Orvella {

// Brings a typed user name into the form the service expects.
class CredentialSanitizer {
public:
    virtual ~CredentialSanitizer() = default;
    // Changes `userName` in place; never fails.
    virtual void sanitize(std::string& userName) const = 0;
};

} // namespace Orvella
