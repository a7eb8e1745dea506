#include "Orvella/Tests/ServiceFixture.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"

#include <gtest/gtest.h>

using namespace Orvella;
using namespace Orvella::Testing;
using Quarlink::Testing::Recorder;
using Quarlink::Testing::run;

namespace {

class APIClientManagerTests : public ServiceFixture {
protected:
    Quarlink::Credentials typed(std::string name = "anna") const { return { std::move(name), m_credentials.password }; }
};

} // namespace

TEST_F(APIClientManagerTests, OverlappingLoginsSendOneLoginAndOneCustomerRequestAndShareTheResult)
{
    // The second login joins the first: one login, one customer request, the same customer data for both.
    serveCustomer();
    auto gate = m_server->addGate("POST", "/v2.0/login");
    Recorder<Quarlink::CustomerInfo> first;
    Recorder<Quarlink::CustomerInfo> second;
    auto one = m_manager->login(typed()).start(first.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, std::chrono::seconds(10)));
    auto two = m_manager->login(typed()).start(second.observer());
    gate->open();
    ASSERT_TRUE(first.wait());
    ASSERT_TRUE(second.wait());
    ASSERT_EQ(first.values().size(), 1u);
    ASSERT_EQ(second.values().size(), 1u);
    EXPECT_EQ(first.values()[0].cid, 4711);
    EXPECT_EQ(second.values()[0].rootFolderID, first.values()[0].rootFolderID);
    EXPECT_EQ(requestsTo("POST", "login"), 1u);
    EXPECT_EQ(requestsTo("GET", "customer"), 1u);
    // The bare name was completed, and the completed name is what is stored.
    EXPECT_EQ(m_holder->credentials().value()->username, "anna@example.org");
    EXPECT_EQ(nlohmann::json::parse(m_server->requestLog().front().body)["login"], "anna@example.org");
    EXPECT_TRUE(m_manager->isLoggedIn().value());
    ASSERT_TRUE(m_manager->customerInfo().value());
    EXPECT_EQ(m_manager->customerInfo().value()->email, "anna@example.org");
}

TEST_F(APIClientManagerTests, AFailedCustomerRequestStoresNothing)
{
    // The login succeeds, the customer request fails: no credentials, no customer data, the error passed on.
    answerError("GET", "customer", 500, "1002");
    auto events = run(m_manager->login(typed()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_FALSE(m_holder->credentials().value());
    EXPECT_FALSE(m_manager->isLoggedIn().value());
    EXPECT_FALSE(m_manager->customerInfo().value());

    auto wrong = run(m_manager->login({ "anna", "falsch" }));
    ASSERT_TRUE(wrong.back().isFailed());
    EXPECT_TRUE(Quarlink::RemoteError::matches(Quarlink::underlyingError(wrong.back().error()), Quarlink::RemoteError::Case::loginFailed));
    EXPECT_FALSE(m_manager->isLoggedIn().value());
}

TEST_F(APIClientManagerTests, LogoutClearsCancelsARunningRequestAndResetsTheSession)
{
    // A held request ends when logout starts; both properties are cleared and the session's cookies are gone.
    serveCustomer();
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    auto gate = m_server->addGate("GET", "/v2.0/hash/create");
    Recorder<Platform::URL> held;
    auto started = m_manager->loginHashURL().start(held.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, std::chrono::seconds(10)));
    m_manager->logout();
    ASSERT_TRUE(held.wait());
    EXPECT_TRUE(held.events().back().isFailed() || held.events().back().isInterrupted());
    gate->open();
    EXPECT_FALSE(m_manager->isLoggedIn().value());
    EXPECT_FALSE(m_manager->customerInfo().value());
    EXPECT_EQ(m_decorated->resets, 1);
    // Without the old cookie the service no longer knows the session.
    auto after = run(m_manager->loginHashURL());
    EXPECT_TRUE(after.back().isFailed());

    // Logging out again while logged out is no error and resets again.
    m_manager->logout();
    EXPECT_EQ(m_decorated->resets, 2);
    EXPECT_FALSE(m_manager->isLoggedIn().value());
}

TEST_F(APIClientManagerTests, ALoginStillRunningWhenLogoutStartsNeverStoresItsCredentials)
{
    // Even when the cancellation comes too late for the running requests, the logout has the last word.
    m_decorated->holdsCancellation = true;
    serveCustomer();
    auto gate = m_server->addGate("GET", "/v2.0/customer");
    Recorder<Quarlink::CustomerInfo> login;
    auto started = m_manager->login(typed()).start(login.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, std::chrono::seconds(10)));
    m_manager->logout();
    gate->open();
    ASSERT_TRUE(login.wait());
    EXPECT_TRUE(login.events().back().isFailed());
    EXPECT_FALSE(m_holder->credentials().value());
    EXPECT_FALSE(m_manager->isLoggedIn().value());
    EXPECT_FALSE(m_manager->customerInfo().value());

    // A login after the logout stores again.
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    EXPECT_TRUE(m_manager->isLoggedIn().value());
}

TEST_F(APIClientManagerTests, TheQuotaStartsAtTheDefaultAndFollowsTheEnvelopes)
{
    // 0 of 1,000,000,000 bytes before any report; then the quota of each answer's metadata.
    EXPECT_EQ(m_manager->quota().value().usedBytes, 0);
    EXPECT_EQ(m_manager->quota().value().totalBytes, 1'000'000'000);
    serveCustomer();
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    answer("GET", "files/recents", R"({"data":[],"meta":{"quota":{"used":10,"total":100}}})");
    auto recent = run(m_manager->recentFiles());
    ASSERT_TRUE(recent.back().isCompleted());
    EXPECT_TRUE(Platform::Testing::waitUntil([&] { return m_manager->quota().value().usedBytes == 10; }));
    EXPECT_EQ(m_manager->quota().value().totalBytes, 100);
}

TEST_F(APIClientManagerTests, ReachabilityIsANewPropertyOnEachRead)
{
    // Two reads are two properties, each following the client's assessments from its own start.
    auto first = m_manager->reachability();
    auto second = m_manager->reachability();
    EXPECT_EQ(first.value(), Quarlink::ReachabilityStatus::reachable);
    EXPECT_EQ(second.value(), Quarlink::ReachabilityStatus::reachable);
}

TEST_F(APIClientManagerTests, TheSessionRefresherDelegateLogsInLikeTheLoginWindow)
{
    // A re-login stores the completed credentials and the customer data, and sends no value.
    // A renewal renews the stored session, so the credentials it was handed are the stored ones.
    serveCustomer();
    m_holder->credentials().set(typed());
    auto events = run(m_manager->refreshSession(typed()));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].isCompleted());
    EXPECT_EQ(m_holder->credentials().value()->username, "anna@example.org");
    EXPECT_TRUE(m_manager->customerInfo().value());
}

TEST_F(APIClientManagerTests, ALogoutHasTheLastWordOverARenewalThatReadTheCredentialsBeforeIt)
{
    serveCustomer();
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    const auto read = *m_holder->credentials().value();
    const auto loggedOut = [&] {
        return !m_holder->credentials().value() && !m_manager->isLoggedIn().value() && !m_manager->customerInfo().value();
    };

    // The renewal read the credentials, the user logged out, and only then did the renewal's login start.
    m_manager->logout();
    auto late = run(m_manager->refreshSession(read));
    ASSERT_FALSE(late.empty());
    EXPECT_TRUE(late.back().isFailed());
    EXPECT_TRUE(loggedOut());

    // The same when another user logged in meanwhile: that user's session stays.
    const Quarlink::Credentials other { "bert@example.org", "Anderes-456" };
    m_holder->credentials().set(other);
    EXPECT_TRUE(run(m_manager->refreshSession(read)).back().isFailed());
    EXPECT_EQ(m_holder->credentials().value(), other);
    EXPECT_FALSE(m_manager->customerInfo().value());
    m_manager->logout();

    // The renewal's login already under way when the logout comes, the cancellation too late for it.
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    m_decorated->holdsCancellation = true;
    auto gate = m_server->addGate("POST", "/v2.0/login");
    Recorder<Reactive::Unit> renewal;
    auto started = m_manager->refreshSession(read).start(renewal.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, std::chrono::seconds(10)));
    m_manager->logout();
    gate->open();
    ASSERT_TRUE(renewal.wait());
    EXPECT_TRUE(renewal.events().back().isFailed());
    EXPECT_TRUE(loggedOut());

    // A renewal of the session still stored renews it.
    m_decorated->holdsCancellation = false;
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    EXPECT_TRUE(run(m_manager->refreshSession(read)).back().isCompleted());
    EXPECT_EQ(m_holder->credentials().value(), read);
    EXPECT_TRUE(m_manager->customerInfo().value());
}

TEST_F(APIClientManagerTests, SearchAsksTheWholeAccountForFiftyAndRecentFilesBecomeEngineFiles)
{
    // The search goes to "/" with a count of 50; an empty answer is an empty list; results keep their order.
    serveCustomer();
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Bericht.txt", "a" }, { "/Notiz.txt", "b" } }).has_value());
    auto none = run(m_manager->files("nichts"));
    ASSERT_TRUE(none.back().isCompleted());
    EXPECT_TRUE(none.front().value().empty());
    auto search = lastRequest();
    EXPECT_EQ(search.path, "/v2.0/files/search");
    auto query = [&](const std::string& key) { return search.query.find(key)->second; };
    EXPECT_EQ(query("path"), "/");
    EXPECT_EQ(query("count"), "50");
    EXPECT_EQ(query("query"), "nichts");
    auto found = run(m_manager->files("Bericht"));
    ASSERT_TRUE(found.back().isCompleted());
    ASSERT_EQ(found.front().value().size(), 1u);
    EXPECT_EQ(found.front().value()[0]->path(), "/Bericht.txt");
    EXPECT_TRUE(found.front().value()[0]->syncFileID().isRemote());
}

TEST_F(APIClientManagerTests, ARenewalWhoseCustomerRequestIsRefusedFailsAtOnceAndTheNextRequestRenewsAgain)
{
    // The customer request of a renewal was once rejected like any other, and it waited for the renewal it was a
    // step of: every request of the client waited with it. Now the renewal fails, the request that waited for it
    // fails with the rejection and a reason that says the login failed (what the status item's notification
    // shows), and the next rejected request starts a renewal of its own that goes through.
    serveCustomer(1);
    ASSERT_TRUE(run(m_manager->login(typed())).back().isCompleted());
    auto refresher = std::make_shared<DelegateRefresher>(m_manager, m_holder);
    Quarlink::setSessionRefresher(*client(), refresher);
    m_server->accounts().expireSessions();
    answerError("GET", "customer", 401, "3001");
    serveCustomer();

    auto refused = run(Quarlink::recentFiles(m_decorated));
    ASSERT_TRUE(!refused.empty() && refused.back().isFailed()) << "the request waited for a renewal that waited for it";
    EXPECT_TRUE(Quarlink::RemoteError::matches(Quarlink::underlyingError(refused.back().error()),
        Quarlink::RemoteError::Case::authenticationRequired))
        << refused.back().error().description();
    EXPECT_EQ(Quarlink::reason(refused.back().error()), "Die erneute Anmeldung ist fehlgeschlagen. Session abgelaufen.");
    EXPECT_EQ(refresher->executions, 1);

    m_server->accounts().expireSessions();
    auto again = run(Quarlink::recentFiles(m_decorated));
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(again.back().isCompleted()) << (again.back().isFailed() ? again.back().error().description() : "");
    EXPECT_EQ(refresher->executions, 2);
    EXPECT_TRUE(m_manager->customerInfo().value());
    Quarlink::setSessionRefresher(*client(), nullptr);
}
