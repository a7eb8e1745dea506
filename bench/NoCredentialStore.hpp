#pragma once

#include "Quarlink/Identity/Credentials.hpp"

#include <optional>
#include <string>

namespace Bench {

// The benchmarks' clients log in with the service's session cookie and never
// read stored credentials: a store that keeps nothing.
class NoCredentialStore final : public Quarlink::CredentialStore {
public:
    std::optional<std::string> email() const override { return std::nullopt; }
    void setEmail(std::optional<std::string>) override { }
    std::optional<std::string> password() const override { return std::nullopt; }
    void setPassword(std::optional<std::string>) override { }
};

} // namespace Bench
