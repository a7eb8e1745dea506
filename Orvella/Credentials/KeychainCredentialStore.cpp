#include "Orvella/Credentials/KeychainCredentialStore.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Orvella {

namespace {

std::optional<Quarlink::Credentials> loadCredentials(KeychainAccess& keychain, const std::optional<std::string>& userName)
{
    if (!userName)
        return std::nullopt;
    auto password = keychain.get(*userName);
    if (!password || !*password)
        return std::nullopt;
    return Quarlink::Credentials { *userName, **password };
}

} // namespace

KeychainCredentialStore::KeychainCredentialStore(
    std::shared_ptr<KeychainAccess> keychain, std::shared_ptr<UserName> lastLoggedInUserName, TellUser tellUser)
    : m_keychain(std::move(keychain))
    , m_lastLoggedInUserName(std::move(lastLoggedInUserName))
    , m_tellUser(std::move(tellUser))
    , m_credentials(loadCredentials(*m_keychain, m_lastLoggedInUserName->value()))
{
    // Unowned: the observation ends in the destructor, before the store goes.
    m_persisting = m_credentials.signal().observeValues([this](const std::optional<Quarlink::Credentials>& credentials) { persist(credentials); });
}

KeychainCredentialStore::~KeychainCredentialStore() { m_persisting.dispose(); }

void KeychainCredentialStore::persist(const std::optional<Quarlink::Credentials>& credentials)
{
    if (credentials) {
        auto stored = m_keychain->keep(credentials->password, credentials->username);
        if (!stored) {
            Platform::Log::line("Error writing to keychain: " + stored.error().description());
            tellUserOnce(keptNowhereTitle, stored.error().description() + ". Beim nächsten Start müssen Sie sich erneut anmelden.");
        } else if (!stored->secretServiceRefusal.empty()) {
            tellUserOnce(keptInFileTitle, stored->secretServiceRefusal + ". Es liegt stattdessen in der Datei " + stored->file.string()
                    + ", die nur Sie lesen können.");
        }
        auto previous = m_lastLoggedInUserName->value();
        if (previous != credentials->username) {
            m_lastLoggedInUserName->set(credentials->username);
            // Another user logged in without logging out first: the previous
            // user's password would otherwise stay in the keychain for good,
            // since only the last user name is ever looked up again.
            if (previous) {
                if (auto removed = m_keychain->remove(*previous); !removed)
                    Platform::Log::line("Error removing password: " + removed.error().description());
            }
        }
        return;
    }
    auto userName = m_lastLoggedInUserName->value();
    if (!userName)
        return;
    if (auto removed = m_keychain->remove(*userName); !removed)
        Platform::Log::line("Error removing password: " + removed.error().description());
}

void KeychainCredentialStore::tellUserOnce(const std::string& title, const std::string& text)
{
    if (m_toldUser || !m_tellUser)
        return;
    m_toldUser = true;
    m_tellUser(title, text);
}

std::optional<std::string> KeychainCredentialStore::email() const { return m_lastLoggedInUserName->value(); }

void KeychainCredentialStore::setEmail(std::optional<std::string> email)
{
    if (m_lastLoggedInUserName->value() != email)
        m_lastLoggedInUserName->set(std::move(email));
}

std::optional<std::string> KeychainCredentialStore::password() const
{
    auto credentials = m_credentials.value();
    if (!credentials)
        return std::nullopt;
    return credentials->password;
}

void KeychainCredentialStore::setPassword(std::optional<std::string> password)
{
    auto userName = email();
    if (userName && password)
        m_credentials.set(Quarlink::Credentials { *userName, *password });
    else
        m_credentials.set(std::nullopt);
}

} // namespace Orvella
