#include "Orvella/Credentials/KeychainCredentialStore.hpp"

#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <map>

using namespace Orvella;
using Quarlink::Credentials;

namespace {

// A keychain in memory that records its calls and fails on demand.
class FakeKeychain final : public KeychainAccess {
public:
    std::map<std::string, std::string> items;
    std::vector<std::string> calls;
    bool failing = false;
    // Set: the Secret Service refuses with this, the private file takes it.
    std::string refusal;

    std::expected<Platform::Keychain::Kept, Platform::KeychainError> keep(const std::string& value, const std::string& key) override
    {
        auto stored = set(value, key);
        if (!stored)
            return std::unexpected(stored.error());
        if (refusal.empty())
            return Platform::Keychain::Kept {};
        return Platform::Keychain::Kept { refusal, "/home/anna/.local/share/app/keychain.json" };
    }
    std::expected<void, Platform::KeychainError> set(const std::string& value, const std::string& key) override
    {
        calls.push_back("set " + key);
        if (failing)
            return std::unexpected(Platform::KeychainError { "locked" });
        items[key] = value;
        return {};
    }
    std::expected<std::optional<std::string>, Platform::KeychainError> get(const std::string& key) override
    {
        calls.push_back("get " + key);
        if (failing)
            return std::unexpected(Platform::KeychainError { "locked" });
        auto entry = items.find(key);
        return entry == items.end() ? std::nullopt : std::optional<std::string>(entry->second);
    }
    std::expected<void, Platform::KeychainError> remove(const std::string& key) override
    {
        calls.push_back("remove " + key);
        if (failing)
            return std::unexpected(Platform::KeychainError { "locked" });
        items.erase(key);
        return {};
    }
};

// A user-name setting that counts its writes.
struct UserNameSetting {
    std::shared_ptr<KeychainCredentialStore::UserName> property;
    int writes = 0;
    Reactive::AnyDisposable counting;

    explicit UserNameSetting(std::optional<std::string> initial)
        : property(std::make_shared<KeychainCredentialStore::UserName>(std::move(initial)))
    {
        counting = property->signal().observeValues([this](const std::optional<std::string>&) { ++writes; });
    }
};

} // namespace

TEST(KeychainCredentialStoreTests, LoadsTheStoredUsersPasswordAtStart)
{
    // With a user name and its keychain item the credentials are there; without an item (or with a failing keychain) they are absent and the name stays.
    auto keychain = std::make_shared<FakeKeychain>();
    keychain->items["anna"] = "geheim";
    UserNameSetting anna("anna");
    EXPECT_EQ(KeychainCredentialStore(keychain, anna.property).credentials().value(), (Credentials { "anna", "geheim" }));

    UserNameSetting bert("bert");
    KeychainCredentialStore withoutItem(keychain, bert.property);
    EXPECT_FALSE(withoutItem.credentials().value());
    EXPECT_EQ(withoutItem.email(), "bert");

    keychain->failing = true;
    EXPECT_FALSE(KeychainCredentialStore(keychain, anna.property).credentials().value());
    UserNameSetting nobody(std::nullopt);
    keychain->calls.clear();
    EXPECT_FALSE(KeychainCredentialStore(keychain, nobody.property).credentials().value());
    EXPECT_TRUE(keychain->calls.empty());
}

TEST(KeychainCredentialStoreTests, EveryChangeIsPersistedAndLogoutKeepsTheName)
{
    // Setting credentials stores the password (again for equal ones) and the name once; clearing removes the item of the stored name only.
    auto keychain = std::make_shared<FakeKeychain>();
    UserNameSetting name(std::nullopt);
    KeychainCredentialStore store(keychain, name.property);
    store.credentials().set(Credentials { "anna", "eins" });
    store.credentials().set(Credentials { "anna", "eins" });
    EXPECT_EQ(keychain->calls, (std::vector<std::string> { "set anna", "set anna" }));
    EXPECT_EQ(name.writes, 1);
    EXPECT_EQ(store.password(), "eins");

    store.credentials().set(std::nullopt);
    EXPECT_EQ(keychain->calls.back(), "remove anna");
    EXPECT_TRUE(keychain->items.empty());
    EXPECT_EQ(store.email(), "anna");
    EXPECT_FALSE(store.password());
}

TEST(KeychainCredentialStoreTests, AnotherUsersLoginWithoutLogoutRemovesThePreviousUsersItem)
{
    // The new user's password is stored before the previous user's item goes; the new user's own item stays.
    auto keychain = std::make_shared<FakeKeychain>();
    UserNameSetting name(std::nullopt);
    KeychainCredentialStore store(keychain, name.property);
    store.credentials().set(Credentials { "anna", "eins" });
    store.credentials().set(Credentials { "bert", "zwei" });
    EXPECT_EQ(keychain->calls, (std::vector<std::string> { "set anna", "set bert", "remove anna" }));
    EXPECT_EQ(keychain->items, (std::map<std::string, std::string> { { "bert", "zwei" } }));
    EXPECT_EQ(store.email(), "bert");
    store.credentials().set(Credentials { "bert", "drei" });
    EXPECT_EQ(keychain->calls.back(), "set bert");
    EXPECT_EQ(keychain->items, (std::map<std::string, std::string> { { "bert", "drei" } }));
}

TEST(KeychainCredentialStoreTests, TheCredentialStoreSidesFollowTheStoredName)
{
    // A password without a stored name clears the credentials and removes nothing; an unchanged e-mail writes nothing.
    auto keychain = std::make_shared<FakeKeychain>();
    UserNameSetting name(std::nullopt);
    KeychainCredentialStore store(keychain, name.property);
    store.setPassword("x");
    EXPECT_FALSE(store.credentials().value());
    EXPECT_TRUE(keychain->calls.empty());

    store.setEmail("anna");
    store.setEmail("anna");
    EXPECT_EQ(name.writes, 1);
    store.setPassword("zwei");
    EXPECT_EQ(store.credentials().value(), (Credentials { "anna", "zwei" }));
    EXPECT_EQ(keychain->items.at("anna"), "zwei");
    store.setPassword(std::nullopt);
    EXPECT_FALSE(store.credentials().value());
    EXPECT_FALSE(keychain->items.contains("anna"));

    // The API client's combined accessor reads through both sides.
    store.setCredentials(Credentials { "bert", "drei" });
    EXPECT_EQ(store.Quarlink::CredentialStore::credentials(), (Credentials { "bert", "drei" }));
}

TEST(KeychainCredentialStoreTests, KeychainFailuresAreLoggedWithoutThePasswordAndNeverPassedOn)
{
    // A failing write and removal log their lines; the value in memory stays as set and the name is still written.
    auto keychain = std::make_shared<FakeKeychain>();
    keychain->failing = true;
    UserNameSetting name(std::nullopt);
    KeychainCredentialStore store(keychain, name.property);
    Platform::LogCapture log;
    store.credentials().set(Credentials { "anna", "Pa55wort" });
    EXPECT_EQ(store.credentials().value(), (Credentials { "anna", "Pa55wort" }));
    EXPECT_EQ(name.property->value(), "anna");
    store.credentials().set(std::nullopt);
    EXPECT_TRUE(log.contains("Error writing to keychain: locked"));
    EXPECT_TRUE(log.contains("Error removing password: locked"));
    for (auto& line : log.lines())
        EXPECT_EQ(line.find("Pa55wort"), std::string::npos);
}

TEST(KeychainCredentialStoreTests, APasswordThatCouldNotBeKeptIsToldToTheUserOnce)
{
    // Kept in the private file instead of the Secret Service: the user reads
    // why and where, once; kept nowhere: that the next start asks again. No
    // text carries the password.
    auto keychain = std::make_shared<FakeKeychain>();
    keychain->refusal = "Das Passwort kann nicht im Schlüsselbund gespeichert werden: Die Sammlung ist gesperrt";
    UserNameSetting anna(std::nullopt);
    std::vector<std::pair<std::string, std::string>> told;
    {
        KeychainCredentialStore store(keychain, anna.property, [&](const std::string& title, const std::string& text) { told.emplace_back(title, text); });
        store.credentials().set(Credentials { "anna", "geheim" });
        store.credentials().set(Credentials { "anna", "geheim2" });
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].first, "Passwort nicht im Schlüsselbund gespeichert");
        EXPECT_EQ(told[0].second, "Das Passwort kann nicht im Schlüsselbund gespeichert werden: Die Sammlung ist gesperrt. Es liegt stattdessen "
                                  "in der Datei /home/anna/.local/share/app/keychain.json, die nur Sie lesen können.");
        EXPECT_EQ(keychain->items["anna"], "geheim2");
    }

    told.clear();
    keychain->failing = true;
    KeychainCredentialStore store(keychain, anna.property, [&](const std::string& title, const std::string& text) { told.emplace_back(title, text); });
    store.credentials().set(Credentials { "anna", "geheim" });
    store.credentials().set(Credentials { "anna", "geheim" });
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, "Passwort nicht gespeichert");
    EXPECT_EQ(told[0].second, "locked. Beim nächsten Start müssen Sie sich erneut anmelden.");
    for (const auto& [title, text] : told)
        EXPECT_EQ(text.find("geheim"), std::string::npos);

    // Stored as it should be: nothing to tell.
    told.clear();
    keychain->failing = false;
    keychain->refusal.clear();
    KeychainCredentialStore quiet(keychain, anna.property, [&](const std::string& title, const std::string& text) { told.emplace_back(title, text); });
    quiet.credentials().set(Credentials { "anna", "geheim" });
    EXPECT_TRUE(told.empty());
}
