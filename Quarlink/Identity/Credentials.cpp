#include "Quarlink/Identity/Credentials.hpp"

#include "Platform/Foundation/Base64.hpp"
#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/Unicode.hpp"

namespace Quarlink {

std::string Credentials::encodedCredentialString() const
{
    return Platform::base64Encoded(Platform::Data::fromString(username + ":" + password));
}

std::string Credentials::authenticationHeaderValue() const
{
    return "Basic " + encodedCredentialString();
}

bool operator==(const Credentials& left, const Credentials& right)
{
    return Platform::canonicallyEqual(left.username, right.username)
        && Platform::canonicallyEqual(left.password, right.password);
}

std::optional<Credentials> CredentialStore::credentials() const
{
    auto storedEmail = email();
    if (!storedEmail)
        return std::nullopt;
    auto storedPassword = password();
    if (!storedPassword)
        return std::nullopt;
    return Credentials { std::move(*storedEmail), std::move(*storedPassword) };
}

void CredentialStore::setCredentials(const std::optional<Credentials>& credentials)
{
    if (credentials) {
        setEmail(credentials->username);
        setPassword(credentials->password);
    } else {
        setEmail(std::nullopt);
        setPassword(std::nullopt);
    }
}

} // namespace Quarlink
