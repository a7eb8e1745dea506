#pragma once

#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Credentials/KeychainAccess.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/MutableProperty.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// The single owner of the user's credentials: one observable value, the
// password in the keychain under the user name, the user name in the
// settings ("LastLoggedInUserName", never removed on logout, so the password
// window can show it). Serves the API client as its credential store.
//
// Every change of `credentials` is persisted, equal or not, synchronously on
// the thread that sets it. Keychain failures are logged ("Error writing to
// keychain: ", "Error removing password: ") and never passed on; the value
// in memory stays authoritative. A password the keychain could not keep
// where it should (the Secret Service refused it and the private file holds
// it, or neither took it, so the next start asks for it again) is also told
// to the user, once per run, through `tellUser` (a title and a text). No log
// line or text carries a password.
class KeychainCredentialStore final : public CredentialHolder, public Quarlink::CredentialStore {
public:
    using UserName = Reactive::MutableProperty<std::optional<std::string>>;

    // Loads the credentials of the stored user name from the keychain (a
    // keychain failure counts as no password), then persists every change.
    using TellUser = std::function<void(const std::string& title, const std::string& text)>;

    KeychainCredentialStore(std::shared_ptr<KeychainAccess> keychain, std::shared_ptr<UserName> lastLoggedInUserName, TellUser tellUser = {});
    ~KeychainCredentialStore() override;
    KeychainCredentialStore(const KeychainCredentialStore&) = delete;
    KeychainCredentialStore& operator=(const KeychainCredentialStore&) = delete;

    Reactive::MutableProperty<std::optional<Quarlink::Credentials>>& credentials() override { return m_credentials; }

    // The stored user name.
    [[nodiscard]] std::optional<std::string> email() const override;
    // Writes the user name only when it differs from the stored one.
    void setEmail(std::optional<std::string> email) override;
    [[nodiscard]] std::optional<std::string> password() const override;
    // New credentials of the stored user name and `password` when both are
    // present; otherwise no credentials.
    void setPassword(std::optional<std::string> password) override;

    static constexpr const char* keptNowhereTitle = "Passwort nicht gespeichert";
    static constexpr const char* keptInFileTitle = "Passwort nicht im Schlüsselbund gespeichert";

private:
    void persist(const std::optional<Quarlink::Credentials>& credentials);
    void tellUserOnce(const std::string& title, const std::string& text);

    std::shared_ptr<KeychainAccess> m_keychain;
    std::shared_ptr<UserName> m_lastLoggedInUserName;
    TellUser m_tellUser;
    bool m_toldUser = false;
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>> m_credentials;
    Reactive::AnyDisposable m_persisting;
};

} // namespace Orvella
