#pragma once

// Orvella/Credentials: the user's credentials in the application: the
// keychain they persist in and the one store that owns them.

#include "Platform/Desktop/Keychain.hpp"

#include <expected>
#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// The application's view of the keychain: passwords by user name.
class KeychainAccess {
public:
    virtual ~KeychainAccess() = default;
    [[nodiscard]] virtual std::expected<void, Platform::KeychainError> set(const std::string& value, const std::string& key) = 0;
    // As `set`, saying where the password went.
    [[nodiscard]] virtual std::expected<Platform::Keychain::Kept, Platform::KeychainError> keep(const std::string& value, const std::string& key)
    {
        auto stored = set(value, key);
        if (!stored)
            return std::unexpected(stored.error());
        return Platform::Keychain::Kept {};
    }
    [[nodiscard]] virtual std::expected<std::optional<std::string>, Platform::KeychainError> get(const std::string& key) = 0;
    [[nodiscard]] virtual std::expected<void, Platform::KeychainError> remove(const std::string& key) = 0;
};

// The desktop's keychain as `KeychainAccess`.
class DesktopKeychainAccess final : public KeychainAccess {
public:
    explicit DesktopKeychainAccess(std::shared_ptr<Platform::Keychain> keychain) : m_keychain(std::move(keychain)) {}

    std::expected<void, Platform::KeychainError> set(const std::string& value, const std::string& key) override
    {
        return m_keychain->set(value, key);
    }
    std::expected<Platform::Keychain::Kept, Platform::KeychainError> keep(const std::string& value, const std::string& key) override
    {
        return m_keychain->keep(value, key);
    }
    std::expected<std::optional<std::string>, Platform::KeychainError> get(const std::string& key) override { return m_keychain->get(key); }
    std::expected<void, Platform::KeychainError> remove(const std::string& key) override { return m_keychain->remove(key); }

private:
    std::shared_ptr<Platform::Keychain> m_keychain;
};

} // namespace Orvella
