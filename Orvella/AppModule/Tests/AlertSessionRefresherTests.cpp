#include "Orvella/AppModule/Tests/AppModuleFixture.hpp"

#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/SessionRefresher/AlertSessionRefresher.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

using Listing = std::vector<Sync::FileRef>;

class AlertSessionRefresherTests : public AppModuleFixture {
protected:
    void SetUp() override
    {
        AppModuleFixture::SetUp();
        buildContainer();
        m_manager = resolved<APIClientManager>();
        m_syncClient = resolved<Sync::SyncAPIClient>();
    }

    void TearDown() override
    {
        m_syncClient.reset();
        m_manager.reset();
        AppModuleFixture::TearDown();
    }

    void logIn(const Quarlink::Credentials& credentials)
    {
        auto events = Quarlink::Testing::run(m_manager->login(credentials));
        ASSERT_TRUE(!events.empty() && events.back().isCompleted())
            << (events.empty() || !events.back().isFailed() ? "" : events.back().error().description());
    }

    std::size_t successfulLogins() const
    {
        std::size_t count = 0;
        for (const auto& attempt : m_server->accounts().loginAttempts())
            count += attempt.succeeded;
        return count;
    }

    // Starts `count` listings at once, each needing the session.
    std::vector<std::unique_ptr<Quarlink::Testing::Recorder<Listing>>> startListings(int count)
    {
        std::vector<std::unique_ptr<Quarlink::Testing::Recorder<Listing>>> recorders;
        for (int index = 0; index < count; ++index) {
            recorders.push_back(std::make_unique<Quarlink::Testing::Recorder<Listing>>());
            m_started.push_back(m_syncClient->syncRemoteFiles().start(recorders.back()->observer()));
        }
        return recorders;
    }

    bool allEnded(const std::vector<std::unique_ptr<Quarlink::Testing::Recorder<Listing>>>& recorders)
    {
        return pumpUntil([&] {
            for (const auto& recorder : recorders) {
                if (!recorder->terminal())
                    return false;
            }
            return true;
        });
    }

    // The user changed the password on the service's web pages; every session ends.
    void changePasswordElsewhere()
    {
        m_server->accounts().addUser(m_credentials.username, m_newPassword);
        m_server->accounts().expireSessions();
    }

    const std::string m_newPassword = "Neu-456";
    std::shared_ptr<APIClientManager> m_manager;
    std::shared_ptr<Sync::SyncAPIClient> m_syncClient;
    std::vector<Reactive::AnyDisposable> m_started;
};

bool failedWithLoginFailed(const Quarlink::Testing::Recorder<Listing>& recorder)
{
    auto terminal = recorder.terminal();
    return terminal && terminal->isFailed()
        && Quarlink::RemoteError::matches(Quarlink::underlyingError(terminal->error()), Quarlink::RemoteError::Case::loginFailed);
}

} // namespace

TEST_F(AlertSessionRefresherTests, AnExpiredSessionIsRenewedSilently)
{
    // A valid stored password: one login more, the request repeated, no window.
    logIn(m_credentials);
    const auto logins = successfulLogins();
    m_server->accounts().expireSessions();
    auto recorders = startListings(1);
    ASSERT_TRUE(allEnded(recorders));
    EXPECT_TRUE(recorders[0]->terminal()->isCompleted());
    EXPECT_EQ(successfulLogins(), logins + 1);
    EXPECT_EQ(m_navigator->made.load(), 0);
}

TEST_F(AlertSessionRefresherTests, AChangedPasswordBringsTheWindowOnceAndItsLoginRetriesEveryRequest)
{
    // Three requests rejected at once share one renewal: one window, shown and raised once; the login there lets all three through; it closes 0.25 s later.
    logIn(m_credentials);
    changePasswordElsewhere();
    auto recorders = startListings(3);
    ASSERT_TRUE(pumpUntil([&] { return m_navigator->last && m_navigator->last->shows == 1; }));
    EXPECT_EQ(m_navigator->made.load(), 1);
    EXPECT_EQ(m_navigator->activations.load(), 1);
    EXPECT_EQ(m_navigator->heldPasswordWindow(), m_navigator->last);

    logIn({ m_credentials.username, m_newPassword });
    m_mainQueue->schedule([window = m_navigator->last] { window->userLoggedIn(); });
    ASSERT_TRUE(allEnded(recorders));
    for (const auto& recorder : recorders)
        EXPECT_TRUE(recorder->terminal()->isCompleted());
    EXPECT_EQ(m_navigator->made.load(), 1);
    EXPECT_EQ(m_navigator->last->closes.load(), 0);
    m_mainQueue->advance(AlertSessionRefresher::closeDelay);
    EXPECT_EQ(m_navigator->last->closes.load(), 1);
}

TEST_F(AlertSessionRefresherTests, ALogoutInTheWindowEndsTheRenewalAndClosesItAQuarterSecondLater)
{
    // The renewal completes at the logout; the repeated requests meet the logged-out state; the window closes after 0.25 s, not before.
    logIn(m_credentials);
    changePasswordElsewhere();
    auto recorders = startListings(2);
    ASSERT_TRUE(pumpUntil([&] { return m_navigator->last && m_navigator->last->shows == 1; }));
    m_manager->logout();
    m_mainQueue->schedule([window = m_navigator->last] { window->userLoggedOut(); });
    ASSERT_TRUE(allEnded(recorders));
    m_mainQueue->advance(AlertSessionRefresher::closeDelay - std::chrono::milliseconds(1));
    EXPECT_EQ(m_navigator->last->closes.load(), 0);
    m_mainQueue->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(m_navigator->last->closes.load(), 1);
    EXPECT_EQ(m_navigator->made.load(), 1);
}

TEST_F(AlertSessionRefresherTests, ClosingTheWindowWithoutEitherFailsTheWaitingRequests)
{
    // Closed with neither login nor logout: every waiting request fails as a refused login instead of waiting for good.
    // A request whose rejection arrives only after the close (the service answered it late) is no waiting one: it
    // asks again and the window shows again, and the user closes it again.
    logIn(m_credentials);
    changePasswordElsewhere();
    auto recorders = startListings(2);
    ASSERT_TRUE(pumpUntil([&] { return m_navigator->last && m_navigator->last->shows == 1; }));
    int closed = 0;
    ASSERT_TRUE(pumpUntil([&] {
        for (; closed < m_navigator->last->shows; ++closed)
            m_mainQueue->schedule([window = m_navigator->last] { window->userClosed(); });
        for (const auto& recorder : recorders) {
            if (!recorder->terminal())
                return false;
        }
        return true;
    }));
    EXPECT_LE(closed, 2);
    EXPECT_EQ(m_navigator->made.load(), 1);
    for (const auto& recorder : recorders)
        EXPECT_TRUE(failedWithLoginFailed(*recorder));
}

TEST_F(AlertSessionRefresherTests, WithoutAWindowOrWithoutCredentialsTheRequestsFail)
{
    // No window to be had: a refused login, logged; no stored credentials at all: not logged in, and no login attempt.
    logIn(m_credentials);
    changePasswordElsewhere();
    m_navigator->failsToMake = true;
    auto recorders = startListings(1);
    ASSERT_TRUE(allEnded(recorders));
    EXPECT_TRUE(failedWithLoginFailed(*recorders[0]));
    EXPECT_EQ(m_navigator->made.load(), 1);

    auto refresher = resolved<Quarlink::SessionRefresher>();
    resolved<CredentialHolder>()->credentials().set(std::nullopt);
    const auto attempts = m_server->accounts().loginAttempts().size();
    Quarlink::Testing::Recorder<Reactive::Unit> renewal;
    auto started = refresher->refreshSessionAction().startOrObserve(m_manager->apiClient()).start(renewal.observer());
    ASSERT_TRUE(renewal.wait());
    ASSERT_TRUE(renewal.terminal()->isFailed());
    const auto* error = renewal.terminal()->error().as<Quarlink::APIClientError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errorCase(), Quarlink::APIClientError::Case::notLoggedIn);
    EXPECT_EQ(m_server->accounts().loginAttempts().size(), attempts);
}
