#pragma once

#include <optional>
#include <string>

namespace Quarlink {

// A user's login: the user name (or e-mail address) as typed and the password
// in clear text. A plain value.
struct Credentials {
    std::string username;
    std::string password;

    // "username:password" in standard Base64 (with padding, no line breaks);
    // nothing is escaped or trimmed, a colon in either part stays.
    [[nodiscard]] std::string encodedCredentialString() const;
    // "Basic " followed by `encodedCredentialString()`.
    [[nodiscard]] std::string authenticationHeaderValue() const;

    // Both parts equal as Unicode text under canonical equivalence; no case
    // folding and no trimming.
    friend bool operator==(const Credentials& left, const Credentials& right);
};

// Where the application keeps the login (its keychain). The client holds one
// for its lifetime. Implemented by the application as a reference type;
// implementations decide what writing an absent value means.
class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    [[nodiscard]] virtual std::optional<std::string> email() const = 0;
    virtual void setEmail(std::optional<std::string> email) = 0;
    [[nodiscard]] virtual std::optional<std::string> password() const = 0;
    virtual void setPassword(std::optional<std::string> password) = 0;

    // The stored pair, read afresh: absent when `email` is absent (then the
    // password is not read) or `password` is absent; empty texts count as present.
    [[nodiscard]] std::optional<Credentials> credentials() const;
    // Writes `email` first, then `password`; an absent value clears both, in the same order.
    void setCredentials(const std::optional<Credentials>& credentials);
};

} // namespace Quarlink
