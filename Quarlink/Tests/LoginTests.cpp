// Logging in and fetching the login link against the local service, and the client's login settings.

#include "Quarlink/Tests/SessionFixture.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

class LoginTests : public SessionFixture {
protected:
    std::string lastWorld() const
    {
        auto attempts = m_server->accounts().loginAttempts();
        return attempts.empty() ? std::string() : attempts.back().world;
    }

    // The reason text of a failed login, after checking its case.
    static std::string reasonOf(const Reactive::Event<Reactive::Unit, Reactive::AnyError>& event, RemoteError::Case errorCase)
    {
        if (!event.isFailed())
            return "not failed";
        const auto* remote = underlyingError(event.error()).as<RemoteError>();
        if (!remote || remote->errorCase() != errorCase)
            return "other error: " + event.error().description();
        return remote->reason();
    }
};

} // namespace

TEST_F(LoginTests, SendsTheGivenWorldElseTheStoredOneElseTalvern)
{
    // Proves the world sent is the argument, else the stored raw value, and "2" when nothing usable is stored.
    ASSERT_TRUE(run(login(client(), m_credentials)).back().isCompleted());
    EXPECT_EQ(lastWorld(), "2");

    setWorldID(*client(), WorldID::brisanto);
    EXPECT_EQ(std::any_cast<std::string>(client()->userInfo("worldID")), "4");
    ASSERT_TRUE(run(login(client(), m_credentials)).back().isCompleted());
    EXPECT_EQ(lastWorld(), "4");
    ASSERT_TRUE(run(login(client(), m_credentials, WorldID::ravik)).back().isCompleted());
    EXPECT_EQ(lastWorld(), "5");

    client()->setUserInfo("worldID", std::string("7"));
    EXPECT_EQ(worldID(*client()), WorldID::talvern);
    client()->setUserInfo("worldID", 4);
    EXPECT_EQ(worldID(*client()), WorldID::talvern);
    ASSERT_TRUE(run(login(client(), m_credentials)).back().isCompleted());
    EXPECT_EQ(lastWorld(), "2");
}

TEST_F(LoginTests, SuccessIsOneEmptyValueAndASessionOnlyOnceStarted)
{
    // Proves a login sends nothing until started, then delivers one empty value and leaves a session in the client's cookies.
    auto producer = login(client(), m_credentials);
    EXPECT_EQ(m_server->requestCount(), 0u);
    auto events = run(producer);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].isValue());
    EXPECT_TRUE(events[1].isCompleted());
    EXPECT_EQ(m_server->accounts().liveSessionCount(), 1u);
    EXPECT_EQ(m_server->requestLog().back().header("Content-Type"), "application/json");
    // The session cookie now opens a route that needs it.
    auto link = run(loginHashURL(client()));
    EXPECT_TRUE(link.back().isCompleted());
}

TEST_F(LoginTests, WrongPasswordFailsWithItsTextWithoutRenewalOrRecord)
{
    // Proves a refused password fails with the German login text, starts no renewal and posts no failure record.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    std::vector<RequestErrorInfo> records;
    std::mutex recordsMutex;
    auto observing = errorInfos(client().get()).startWithValues([&](const RequestErrorInfo& info) {
        std::lock_guard lock(recordsMutex);
        records.push_back(info);
    });
    auto events = run(login(client(), { m_credentials.username, "geheim-123" }));
    EXPECT_EQ(reasonOf(events.back(), RemoteError::Case::loginFailed),
        "E-Mail-Adresse oder Passwort ungültig. Bitte achten Sie auf Groß- und Kleinschreibung.");
    EXPECT_EQ(refresher->executions.load(), 0);
    EXPECT_EQ(requestsTo("POST", "login"), 1u);
    EXPECT_EQ(m_server->accounts().liveSessionCount(), 0u);
    observing.dispose();
    std::lock_guard lock(recordsMutex);
    EXPECT_TRUE(records.empty());
}

TEST_F(LoginTests, LockedAccountsFailWithTheirOwnTexts)
{
    // Proves temporary and permanent locks reach the caller as their own cases and texts, even with the right password.
    m_server->accounts().setLock(m_credentials.username, LocalCloud::AccountLock::temporary);
    EXPECT_EQ(reasonOf(run(login(client(), m_credentials)).back(), RemoteError::Case::accountTemporaryLocked),
        "E-Mail-Adresse oder Passwort mehrmals falsch eingeben. Zu Ihrer Sicherheit wurde dieser Account für 10 Minuten gesperrt.");
    m_server->accounts().setLock(m_credentials.username, LocalCloud::AccountLock::permanent);
    EXPECT_EQ(reasonOf(run(login(client(), m_credentials)).back(), RemoteError::Case::accountPermanentlyLocked),
        "Ihr Account ist dauerhaft gesperrt.");
}

TEST_F(LoginTests, LoginLinkIsExactlyTheOneTheServiceIssued)
{
    // Proves the login link is delivered exactly as issued, and each start asks the service anew.
    logIn();
    auto producer = loginHashURL(client());
    EXPECT_EQ(requestsTo("GET", "hash/create"), 0u);
    auto first = run(producer);
    auto second = run(producer);
    auto issued = m_server->accounts().issuedLoginLinks();
    ASSERT_EQ(issued.size(), 2u);
    ASSERT_TRUE(first.front().isValue());
    EXPECT_EQ(first.front().value().absoluteString(), issued[0]);
    EXPECT_TRUE(first.back().isCompleted());
    EXPECT_EQ(second.front().value().absoluteString(), issued[1]);
}

TEST_F(LoginTests, RefresherSettingIsKeptAndRemoved)
{
    // Proves the refresher is stored under "refresher" and removing it removes the entry.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    EXPECT_EQ(sessionRefresher(*client()), refresher);
    setSessionRefresher(*client(), nullptr);
    EXPECT_EQ(sessionRefresher(*client()), nullptr);
    EXPECT_FALSE(client()->userInfos().contains("refresher"));
    client()->setUserInfo("refresher", std::string("no refresher"));
    EXPECT_EQ(sessionRefresher(*client()), nullptr);
}
