#pragma once

#include <chrono>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace Platform {

// Why a keychain call failed, in words for the log (never with a secret in it).
struct KeychainError {
    std::string message;
    [[nodiscard]] std::string description() const { return message; }
};

// Passwords of one service, kept by user name (the key).
//
// Backed by the desktop's Secret Service (libsecret), one item per key with
// the attributes "service" and "account". Where no Secret Service answers
// within `secretServiceTimeout` when the keychain is made (no session bus, as
// on a server or in CI), the passwords go to a JSON file instead, 0600, in a
// 0700 folder, replaced atomically. The choice is made once per keychain;
// a password the Secret Service then refuses (a locked or read-only
// collection, a prompt dismissed) goes to that file as well, `keep` says so,
// and `get` finds it there. A password the Secret Service takes later is
// removed from the file.
//
// Threading: every member may be called from any thread; calls are
// synchronous and serialised.
class Keychain {
public:
    struct Options {
        // The service of every item (the application identifier).
        std::string service;
        // The folder of the fallback file; `$XDG_DATA_HOME/<service>/` when empty.
        std::filesystem::path fallbackFolder {};
        // How long the Secret Service may take to answer the first probe.
        std::chrono::milliseconds secretServiceTimeout { 1500 };
        // Probes this bus instead of the session bus (libsecret itself always
        // uses the session bus); for tests that want no Secret Service.
        std::optional<std::string> busAddress {};
    };

    static constexpr std::string_view fallbackFileName = "keychain.json";

    [[nodiscard]] static std::shared_ptr<Keychain> create(Options options);
    ~Keychain();
    Keychain(const Keychain&) = delete;
    Keychain& operator=(const Keychain&) = delete;

    // Whether the Secret Service holds the passwords (else the fallback file).
    [[nodiscard]] bool usesSecretService() const;
    [[nodiscard]] std::filesystem::path fallbackFile() const;

    // Where `keep` put a password.
    struct Kept {
        // Empty when the Secret Service (or, without one, the file) took it;
        // otherwise why the Secret Service refused it and the file holds it.
        std::string secretServiceRefusal;
        std::filesystem::path file;
    };

    [[nodiscard]] std::expected<Kept, KeychainError> keep(const std::string& value, const std::string& key);
    [[nodiscard]] std::expected<void, KeychainError> set(const std::string& value, const std::string& key);
    // Nothing when no item has that key.
    [[nodiscard]] std::expected<std::optional<std::string>, KeychainError> get(const std::string& key);
    // Removing a key without an item succeeds.
    [[nodiscard]] std::expected<void, KeychainError> remove(const std::string& key);

    struct State;

private:
    explicit Keychain(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace Platform
