// Renewing rejected sessions against the local service: one shared renewal, failed and missing refreshers, the bound,
// and many requests in flight while sessions end under them.

#include "Quarlink/Account/AccountOperations.hpp"
#include "Quarlink/Requests/SessionRecovery.hpp"
#include "Quarlink/Tests/SessionFixture.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

bool waitUntil(const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class SessionRecoveryTests : public SessionFixture {
protected:
    static bool isRemoteError(const Reactive::AnyError& error, RemoteError::Case errorCase)
    {
        return RemoteError::matches(underlyingError(error), errorCase);
    }

    void scriptRejections(std::size_t times)
    {
        m_server->script("GET", "/v2.0/hash/create",
            { .status = 401, .headers = { { "X-Error-Code", "3001" }, { "X-Error-Message", "Session expired" } } }, times);
    }
};

} // namespace

TEST_F(SessionRecoveryTests, ThreeRequestsRejectedTogetherShareOneLogin)
{
    // Proves three requests rejected while one renewal runs all join it: one login, each request sent again once, each succeeds.
    logIn();
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    refresher->proceed.set(false);
    setSessionRefresher(*client(), refresher);
    auto filter = std::make_shared<CountingFilter>();
    setRequestFilter(*client(), filter);

    auto gate = m_server->addGate("GET", "/v2.0/hash/create");
    std::vector<std::unique_ptr<Recorder<Platform::URL>>> recorders;
    std::vector<Reactive::AnyDisposable> starts;
    for (int index = 0; index < 3; ++index) {
        recorders.push_back(std::make_unique<Recorder<Platform::URL>>());
        starts.push_back(loginHashURL(client()).start(recorders.back()->observer()));
    }
    // The client sends two at a time: two are held, the third waits in its queue.
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));
    m_server->accounts().expireSessions();
    gate->open();
    // Each rejected request prepares its repetition once it has joined the renewal.
    ASSERT_TRUE(filter->waitForCount("hash/create", 6));
    EXPECT_EQ(refresher->executions.load(), 1);
    refresher->proceed.set(true);

    for (auto& recorder : recorders) {
        ASSERT_TRUE(recorder->wait());
        ASSERT_TRUE(recorder->terminal()->isCompleted());
        ASSERT_EQ(recorder->values().size(), 1u);
    }
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(successfulLogins(), 2u); // The first login, then the one renewal.
    EXPECT_EQ(requestsTo("GET", "hash/create"), 6u);
    auto links = m_server->accounts().issuedLoginLinks();
    ASSERT_EQ(links.size(), 3u);
    std::set<std::string> received;
    for (auto& recorder : recorders)
        received.insert(recorder->values().front().absoluteString());
    EXPECT_EQ(received, std::set<std::string>(links.begin(), links.end()));
}

TEST_F(SessionRecoveryTests, FailingRefresherFailsEveryWaitingRequestWithItsError)
{
    // Proves a renewal that fails ends each rejected request with the renewal's error, and none is sent again.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials, Reactive::AnyError(RemoteError(RemoteError::Case::loginFailed)));
    setSessionRefresher(*client(), refresher);
    std::vector<std::unique_ptr<Recorder<Platform::URL>>> recorders;
    std::vector<Reactive::AnyDisposable> starts;
    for (int index = 0; index < 3; ++index) {
        recorders.push_back(std::make_unique<Recorder<Platform::URL>>());
        starts.push_back(loginHashURL(client()).start(recorders.back()->observer()));
    }
    for (auto& recorder : recorders) {
        ASSERT_TRUE(recorder->wait());
        ASSERT_TRUE(recorder->terminal()->isFailed());
        EXPECT_TRUE(isRemoteError(recorder->terminal()->error(), RemoteError::Case::loginFailed));
    }
    EXPECT_EQ(requestsTo("GET", "hash/create"), 3u);
    EXPECT_GE(refresher->executions.load(), 1);
    EXPECT_LE(refresher->executions.load(), 3);
}

TEST_F(SessionRecoveryTests, WithoutRefresherARejectionIsNotLoggedIn)
{
    // Proves a rejected request without an installed refresher fails with "not logged in", after one attempt.
    auto events = run(loginHashURL(client()));
    ASSERT_TRUE(events.back().isFailed());
    const auto* error = events.back().error().as<APIClientError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errorCase(), APIClientError::Case::notLoggedIn);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 1u);
}

TEST_F(SessionRecoveryTests, AServiceThatKeepsRejectingEndsAfterTheBound)
{
    // Proves a request whose session is rejected again after its renewal fails with that rejection: one login, two attempts.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    scriptRejections(SIZE_MAX);
    auto events = run(loginHashURL(client()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(isRemoteError(events.back().error(), RemoteError::Case::authenticationRequired));
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 2u);
    EXPECT_EQ(successfulLogins(), 1u);

    // Another request rejected later gets its own one renewal.
    auto again = run(loginHashURL(client()));
    ASSERT_TRUE(again.back().isFailed());
    EXPECT_EQ(refresher->executions.load(), 2);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 4u);
}

TEST_F(SessionRecoveryTests, ARejectionAfterTheRenewalIsNotRenewedAgain)
{
    // Proves a repeated request that is rejected again fails without a second renewal, and the next request succeeds.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    scriptRejections(2);
    auto events = run(loginHashURL(client()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(isRemoteError(events.back().error(), RemoteError::Case::authenticationRequired));
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 2u);
    auto next = run(loginHashURL(client()));
    ASSERT_TRUE(next.back().isCompleted());
    EXPECT_EQ(refresher->executions.load(), 1);
}

TEST_F(SessionRecoveryTests, ALoginsOwnCustomerRequestFailsItsRejectionAtOnce)
{
    // Proves the customer request of a new session is never held for a renewal: a renewal that makes it would wait
    // for itself, so its rejection fails it, while the ordinary one renews.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    auto events = run(customerInfoOfNewSession(client()));
    ASSERT_FALSE(events.empty());
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(isRemoteError(events.back().error(), RemoteError::Case::authenticationRequired));
    EXPECT_EQ(refresher->executions.load(), 0);
    EXPECT_TRUE(run(customerInfo(client())).back().isCompleted());
    EXPECT_EQ(refresher->executions.load(), 1);
}

TEST_F(SessionRecoveryTests, OtherFailuresAreNeitherRenewedNorRepeated)
{
    // Proves a failure other than a rejected session, from the service or the transport, passes on unchanged.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    m_server->script("GET", "/v2.0/hash/create",
        { .status = 403, .headers = { { "X-Error-Code", "40326" }, { "X-Error-Message", "Login failed" } } }, 1);
    auto refused = run(loginHashURL(client()));
    ASSERT_TRUE(refused.back().isFailed());
    EXPECT_TRUE(isRemoteError(refused.back().error(), RemoteError::Case::loginFailed));

    m_endpoints->setCurrentEndpoint(std::make_shared<Environment>(Environment::custom(*Platform::URL::create("http://127.0.0.1:1/v2.0"))));
    auto unreachable = run(loginHashURL(client()));
    ASSERT_TRUE(unreachable.back().isFailed());
    EXPECT_FALSE(underlyingError(unreachable.back().error()).is<RemoteError>());
    EXPECT_EQ(refresher->executions.load(), 0);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 1u);
}

TEST_F(SessionRecoveryTests, ADisabledRefresherFailsAtOnce)
{
    // Proves a refresher whose action is disabled fails the rejected request at once instead of waiting for ever.
    class DisabledRefresher final : public SessionRefresher {
    public:
        RefreshAction& refreshSessionAction() override { return m_action; }

    private:
        RefreshAction m_action { Reactive::Property<bool>::constant(false), [](const std::shared_ptr<APIClient>&) {
                                    return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
                                } };
    };
    setSessionRefresher(*client(), std::make_shared<DisabledRefresher>());
    auto events = run(loginHashURL(client()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(events.back().error().is<Reactive::ActionError<Reactive::AnyError>>());
    EXPECT_EQ(requestsTo("GET", "hash/create"), 1u);
}

TEST_F(SessionRecoveryTests, AnInterruptedRenewalInterruptsTheRequest)
{
    // Proves a renewal that is interrupted interrupts the rejected request, which then delivers nothing and is not sent again.
    class InterruptedRefresher final : public SessionRefresher {
    public:
        RefreshAction& refreshSessionAction() override { return m_action; }

    private:
        RefreshAction m_action { [](const std::shared_ptr<APIClient>&) {
            return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>(
                [](Reactive::Observer<Reactive::Unit, Reactive::AnyError> observer, Reactive::Lifetime) { observer.sendInterrupted(); });
        } };
    };
    setSessionRefresher(*client(), std::make_shared<InterruptedRefresher>());
    auto events = run(loginHashURL(client()));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events.back().isInterrupted());
    EXPECT_EQ(requestsTo("GET", "hash/create"), 1u);
}

TEST_F(SessionRecoveryTests, ARefusalOfTheReplacedSessionIsSentAgainWithoutAnotherLogin)
{
    // Proves a request refused with a session that a renewal already replaced is sent again with the new session:
    // one renewal serves both requests refused by the old one, however late the second refusal comes.
    logIn();
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    refresher->proceed.set(false);
    setSessionRefresher(*client(), refresher);
    auto gate = m_server->addGate("GET", "/v2.0/hash/create");
    Recorder<Platform::URL> late;
    auto lateStart = loginHashURL(client()).start(late.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    m_server->accounts().expireSessions();

    // Another request is refused by the old session and renews it while the first one is still held.
    Recorder<CustomerInfo> early;
    auto earlyStart = customerInfo(client()).start(early.observer());
    ASSERT_TRUE(waitUntil([&] { return refresher->executions.load() == 1; }));
    refresher->proceed.set(true);
    ASSERT_TRUE(early.wait());
    ASSERT_TRUE(early.terminal()->isCompleted());

    // Only now does the old session refuse the first request.
    gate->open();
    ASSERT_TRUE(late.wait());
    ASSERT_TRUE(late.terminal()->isCompleted()) << late.terminal()->error().description();
    EXPECT_EQ(late.values().size(), 1u);
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(successfulLogins(), 2u);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 2u);
}

TEST_F(SessionRecoveryTests, SessionsEndingEveryTwoRequestsServeEveryRequestInFlight)
{
    // Proves requests in flight together against a service that ends each session after two requests all succeed:
    // a request refused by a renewed session that served others gets the next renewal, and each renewal is one
    // new session of two requests (eight requests: the first session and three renewals).
    m_server->accounts().setSessionPolicy({ .requestLimit = 2 });
    logIn();
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    std::vector<std::unique_ptr<Recorder<Platform::URL>>> recorders;
    std::vector<Reactive::AnyDisposable> starts;
    for (int index = 0; index < 8; ++index) {
        recorders.push_back(std::make_unique<Recorder<Platform::URL>>());
        starts.push_back(loginHashURL(client()).start(recorders.back()->observer()));
    }
    for (auto& recorder : recorders) {
        ASSERT_TRUE(recorder->wait());
        ASSERT_TRUE(recorder->terminal()->isCompleted()) << recorder->terminal()->error().description();
        EXPECT_EQ(recorder->values().size(), 1u);
    }
    EXPECT_EQ(refresher->executions.load(), 3);
    EXPECT_EQ(successfulLogins(), 4u);
    EXPECT_EQ(m_server->accounts().issuedLoginLinks().size(), 8u);
}

TEST_F(SessionRecoveryTests, AServiceRefusingEverySessionFailsEveryRequestInFlightAfterOneRenewal)
{
    // Proves requests in flight together against a service that refuses every session share one renewal, are
    // each sent twice at most and all fail with the refusal: no request loops on renewals that never help.
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    scriptRejections(SIZE_MAX);
    std::vector<std::unique_ptr<Recorder<Platform::URL>>> recorders;
    std::vector<Reactive::AnyDisposable> starts;
    for (int index = 0; index < 4; ++index) {
        recorders.push_back(std::make_unique<Recorder<Platform::URL>>());
        starts.push_back(loginHashURL(client()).start(recorders.back()->observer()));
    }
    for (auto& recorder : recorders) {
        ASSERT_TRUE(recorder->wait());
        ASSERT_TRUE(recorder->terminal()->isFailed());
        EXPECT_TRUE(isRemoteError(recorder->terminal()->error(), RemoteError::Case::authenticationRequired));
    }
    EXPECT_EQ(refresher->executions.load(), 1);
    EXPECT_EQ(successfulLogins(), 1u);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 8u);
}

TEST_F(SessionRecoveryTests, ARefusalByARenewedSessionWaitsForItsOtherAnswersBeforeItCounts)
{
    // Proves a repeated request refused by its renewed session while another request of that session is still on
    // its way is not given up: that other request's success shows the session was good, so a second renewal
    // follows and the request succeeds. Had the other one been refused too, the first would have failed.
    logIn();
    auto refresher = std::make_shared<LoginRefresher>(m_credentials);
    setSessionRefresher(*client(), refresher);
    scriptRejections(2);
    auto hashGate = m_server->addGate("GET", "/v2.0/hash/create");
    auto customerGate = m_server->addGate("GET", "/v2.0/customer");
    Recorder<Platform::URL> refused;
    auto refusedStart = loginHashURL(client()).start(refused.observer());
    ASSERT_TRUE(hashGate->waitForWaiting(1, 10s));
    hashGate->release(1);
    // Refused by the first session; after the renewal it comes again and is held.
    ASSERT_TRUE(waitUntil([&] { return requestsTo("GET", "hash/create") == 2u && hashGate->waitingCount() == 1; }));
    EXPECT_EQ(refresher->executions.load(), 1);
    Recorder<CustomerInfo> accepted;
    auto acceptedStart = customerInfo(client()).start(accepted.observer());
    ASSERT_TRUE(customerGate->waitForWaiting(1, 10s));

    hashGate->open();
    EXPECT_FALSE(refused.wait(200ms)) << "given up while the session's other request was on its way";
    customerGate->open();
    ASSERT_TRUE(accepted.wait());
    EXPECT_TRUE(accepted.terminal()->isCompleted());
    ASSERT_TRUE(refused.wait());
    ASSERT_TRUE(refused.terminal()->isCompleted()) << refused.terminal()->error().description();
    EXPECT_EQ(refresher->executions.load(), 2);
    EXPECT_EQ(requestsTo("GET", "hash/create"), 3u);
}
