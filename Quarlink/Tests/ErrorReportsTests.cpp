// Error reports against the local service: routes and fields, masked logins, the binding on the UI scheduler, a failing log.

#include "Quarlink/Reports/ErrorReports.hpp"
#include "Quarlink/Tests/SessionFixture.hpp"
#include "Reactive/Schedulers/PumpableMainLoop.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

class ErrorReportsTests : public SessionFixture {
protected:
    void SetUp() override
    {
        SessionFixture::SetUp();
        m_loop = std::make_shared<Reactive::PumpableMainLoop>();
        m_configuration.systemName = "Linux";
        m_configuration.systemVersion = "12";
        m_configuration.appVersion = "2.4";
    }

    // Binds the client's failure records to its reports, served on this test's main loop.
    Reactive::AnyDisposable bindReports()
    {
        return Reactive::bind(reports(client(), m_configuration, Reactive::UIScheduler::make(m_loop)), errorInfos(client().get()));
    }

    bool pumpUntilReports(std::size_t count)
    {
        return m_loop->pumpUntil([&] { return m_server->accounts().errorReports().size() >= count; }, 10s);
    }

    // Lets every report that was sent finish, then runs what it left on the main loop.
    void settle()
    {
        ASSERT_TRUE(m_server->waitForInFlight(0, 10s));
        m_loop->pump();
    }

    JSON reportBody(std::size_t index) const { return JSON::parse(m_server->accounts().errorReports().at(index).body); }

    std::shared_ptr<Reactive::PumpableMainLoop> m_loop;
    ReportConfiguration m_configuration;
};

} // namespace

TEST_F(ErrorReportsTests, ReportsGoToThePublicOrPrivateRouteWithEveryField)
{
    // Proves a report without a stored e-mail address is public and one with an address is private, each with all nine fields.
    RequestErrorInfo info { "Request: GET x\n\nResponse: HTTP-500\n\n\nMessage: kaputt", 7000 };
    auto producer = report(client(), info, m_configuration);
    EXPECT_EQ(m_server->requestCount(), 0u);
    ASSERT_TRUE(run(producer).back().isCompleted());
    client()->credentialStore()->setEmail("anna@example.org");
    ASSERT_TRUE(run(report(client(), info, m_configuration)).back().isCompleted());

    auto received = m_server->accounts().errorReports();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_TRUE(received[0].publicRoute);
    EXPECT_FALSE(received[1].publicRoute);
    JSON expected {
        { "is_public", true },
        { "component", "Cloud" },
        { "platform", "Linux 12" },
        { "facility", "MobileApps" },
        { "version", "2.4" },
        { "account", "unbekannt" },
        { "code", 7000 },
        { "message", info.errorDesciption },
        { "secret", "Kiweroxufa4TalP8emoquisevanorUde" },
    };
    EXPECT_EQ(reportBody(0), expected);
    expected["is_public"] = false;
    expected["account"] = "anna@example.org";
    EXPECT_EQ(reportBody(1), expected);
}

TEST_F(ErrorReportsTests, AnUndecodableLoginLinkIsReportedOnce)
{
    // Proves an answer without the link fails as a decoding error whose record becomes exactly one report.
    logIn();
    auto binding = bindReports();
    m_server->script("GET", "/v2.0/hash/create", { .status = 200, .body = R"({"urls":{}})" }, 1);
    auto events = run(loginHashURL(client()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(events.back().error().is<DecodingError>());
    ASSERT_TRUE(pumpUntilReports(1));
    settle();
    auto received = m_server->accounts().errorReports();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].publicRoute);
    auto body = reportBody(0);
    EXPECT_EQ(body.at("code"), -2);
    auto message = body.at("message").get<std::string>();
    EXPECT_TRUE(message.starts_with("Request: GET " + baseURL() + "/hash/create\n\n")) << message;
    binding.dispose();
}

TEST_F(ErrorReportsTests, AFailedLoginIsReportedWithDotsForNameAndPassword)
{
    // Proves a failed login's report shows "..." for user name and password, and neither secret anywhere.
    client()->credentialStore()->setEmail(m_credentials.username);
    auto binding = bindReports();
    m_server->script("POST", "/v2.0/login", { .status = 500, .body = "Wartung" }, 1);
    auto events = run(login(client(), m_credentials, WorldID::ravik));
    ASSERT_TRUE(events.back().isFailed());
    ASSERT_TRUE(pumpUntilReports(1));
    settle();

    auto received = m_server->accounts().errorReports();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_FALSE(received[0].publicRoute);
    auto body = reportBody(0);
    EXPECT_EQ(body.at("code"), -1);
    auto message = body.at("message").get<std::string>();
    auto firstLine = "Request: POST " + baseURL() + "/login\n";
    ASSERT_TRUE(message.starts_with(firstLine)) << message;
    auto sentBody = message.substr(firstLine.size(), message.find('\n', firstLine.size()) - firstLine.size());
    EXPECT_EQ(JSON::parse(sentBody), (JSON { { "world", "5" }, { "login", "..." }, { "password", "..." } }));
    EXPECT_TRUE(message.ends_with("\n\nResponse: HTTP-500\nWartung\n\nMessage: HTTP-500 ohne Fehler-Code")) << message;
    EXPECT_EQ(message.find(m_credentials.password), std::string::npos);
    EXPECT_EQ(received[0].body.find(m_credentials.password), std::string::npos);
    EXPECT_EQ(message.find(m_credentials.username), std::string::npos);
    binding.dispose();
}

TEST_F(ErrorReportsTests, AFailingErrorLogGetsOneAttemptPerFailure)
{
    // Proves a failing error log receives exactly one report per original failure, never reports of failed reports.
    m_server->accounts().setErrorLogMode(LocalCloud::ErrorLogMode::failing);
    auto binding = bindReports();
    m_server->script("GET", "/v2.0/hash/create", { .status = 500 }, 2);
    ASSERT_TRUE(run(loginHashURL(client())).back().isFailed());
    ASSERT_TRUE(run(loginHashURL(client())).back().isFailed());
    ASSERT_TRUE(pumpUntilReports(2));
    settle();
    settle();
    EXPECT_EQ(m_server->accounts().errorReports().size(), 2u);
    binding.dispose();

    // A failed report reaches its subscriber, and posts no record that could be reported again.
    std::atomic<int> records { 0 };
    auto observing = errorInfos(client().get()).startWithValues([&](const RequestErrorInfo&) { ++records; });
    auto failed = run(report(client(), { "\nkaputt", -2 }, m_configuration));
    ASSERT_TRUE(failed.back().isFailed());
    EXPECT_TRUE(RemoteError::matches(underlyingError(failed.back().error()), RemoteError::Case::requestFailed));
    EXPECT_EQ(records.load(), 0);
    observing.dispose();
}

TEST_F(ErrorReportsTests, TheBindingEndsWithTheClient)
{
    // Proves the report target does not keep the client alive, its lifetime ends with the client, and so does the binding.
    auto target = reports(client(), m_configuration, Reactive::UIScheduler::make(m_loop));
    std::atomic<bool> sourceDisposed { false };
    auto source = errorInfos(client().get()).on({ .disposed = [&] { sourceDisposed = true; } });
    auto binding = Reactive::bind(target, source);
    EXPECT_FALSE(target.lifetime.hasEnded());
    std::weak_ptr<APIClient> weakClient = m_client;
    m_client.reset();
    EXPECT_TRUE(weakClient.expired());
    EXPECT_TRUE(target.lifetime.hasEnded());
    EXPECT_TRUE(m_loop->pumpUntil([&] { return sourceDisposed.load(); }, 10s));
}
