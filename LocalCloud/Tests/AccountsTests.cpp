#include "Platform/Network/Tests/LoopbackServiceFixture.hpp"

#include <nlohmann/json.hpp>

using namespace Platform;
using namespace Platform::Testing;
using namespace LocalCloud;
using namespace std::chrono_literals;

namespace {

class AccountsTests : public LoopbackServiceFixture {
protected:
    std::expected<DataTaskResponse, TransportError> logIn(const std::string& login, const std::string& password,
        const std::string& world = "2")
    {
        nlohmann::json body { { "world", world }, { "login", login }, { "password", password } };
        return perform({ .url = url("/login"), .method = "POST",
            .headers = { { "Content-Type", "application/json" } }, .body = body.dump() });
    }

    static std::string errorCode(const std::expected<DataTaskResponse, TransportError>& result)
    {
        return result ? result->response.headers.value("X-Error-Code").value_or("") : "no response";
    }
};

} // namespace

TEST_F(AccountsTests, LoginAnswersEachRefusalWithItsOwnCode)
{
    // Proves a login opens a session only for the right password of an unlocked user, and each refusal carries its code.
    auto& accounts = m_server->accounts();
    accounts.addUser("anna@example.org", "geheim");
    accounts.addUser("temp@example.org", "geheim", AccountLock::temporary);
    accounts.addUser("perm@example.org", "geheim", AccountLock::permanent);

    auto wrong = logIn("anna@example.org", "Geheim");
    ASSERT_TRUE(wrong.has_value());
    EXPECT_EQ(wrong->response.statusCode, 403);
    EXPECT_EQ(errorCode(wrong), "40326");
    EXPECT_EQ(errorCode(logIn("nobody@example.org", "geheim")), "40326");
    EXPECT_EQ(errorCode(logIn("temp@example.org", "geheim")), "40330");
    EXPECT_EQ(errorCode(logIn("perm@example.org", "falsch")), "40322");
    EXPECT_EQ(accounts.liveSessionCount(), 0u);
    EXPECT_TRUE(m_session->cookies().empty());

    auto right = logIn("anna@example.org", "geheim", "5");
    ASSERT_TRUE(right.has_value());
    EXPECT_EQ(right->response.statusCode, 200);
    EXPECT_TRUE(nlohmann::json::parse(right->data).at("cid").is_number_integer());
    EXPECT_EQ(accounts.liveSessionCount(), 1u);
    auto cookies = m_session->cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].name, "session");

    auto attempts = accounts.loginAttempts();
    ASSERT_EQ(attempts.size(), 5u);
    EXPECT_EQ(attempts.back().world, "5");
    EXPECT_TRUE(attempts.back().succeeded);
    EXPECT_FALSE(attempts.front().succeeded);
}

TEST_F(AccountsTests, LoginRefusesUnreadableBodiesAndUnknownWorlds)
{
    // Proves a login body without its three strings, or with a world the service does not know, is refused and opens nothing.
    m_server->accounts().addUser("anna@example.org", "geheim");
    EXPECT_EQ(errorCode(logIn("anna@example.org", "geheim", "7")), "1000");
    auto notJSON = perform({ .url = url("/login"), .method = "POST", .body = "world=2" });
    EXPECT_EQ(errorCode(notJSON), "1000");
    auto numberWorld = perform({ .url = url("/login"), .method = "POST",
        .body = R"({"world":2,"login":"anna@example.org","password":"geheim"})" });
    EXPECT_EQ(errorCode(numberWorld), "1000");
    EXPECT_EQ(m_server->accounts().liveSessionCount(), 0u);
}

TEST_F(AccountsTests, LoginLinkNeedsALiveSessionAndExpiredSessionsAnswer3001)
{
    // Proves the login-link route answers 401 with 3001 without a session and after the test expired it, and a new login heals it.
    auto& accounts = m_server->accounts();
    accounts.addUser("anna@example.org", "geheim");
    auto without = perform({ .url = url("/hash/create") });
    ASSERT_TRUE(without.has_value());
    EXPECT_EQ(without->response.statusCode, 401);
    EXPECT_EQ(errorCode(without), "3001");

    ASSERT_TRUE(logIn("anna@example.org", "geheim").has_value());
    auto link = perform({ .url = url("/hash/create") });
    ASSERT_TRUE(link.has_value());
    ASSERT_EQ(link->response.statusCode, 200);
    auto issued = accounts.issuedLoginLinks();
    ASSERT_EQ(issued.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(link->data).at("urls").at("login"), issued[0]);
    EXPECT_TRUE(issued[0].starts_with(m_server->origin() + "/login/hash/"));

    accounts.expireSessions();
    auto expired = perform({ .url = url("/hash/create") });
    ASSERT_TRUE(expired.has_value());
    EXPECT_EQ(expired->response.statusCode, 401);
    EXPECT_EQ(errorCode(expired), "3001");

    ASSERT_TRUE(logIn("anna@example.org", "geheim").has_value());
    auto again = perform({ .url = url("/hash/create") });
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->response.statusCode, 200);
    EXPECT_EQ(accounts.issuedLoginLinks().size(), 2u);
}

TEST_F(AccountsTests, ErrorLogRoutesKeepWhatTheyReceiveAlsoWhenFailing)
{
    // Proves both error-log routes keep each body with its route and session user, and the failing mode answers 500 without error headers.
    auto& accounts = m_server->accounts();
    accounts.addUser("anna@example.org", "geheim");
    auto first = perform({ .url = url("/log/error/public"), .method = "POST", .body = R"({"code":-2})" });
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->response.statusCode, 200);

    ASSERT_TRUE(logIn("anna@example.org", "geheim").has_value());
    accounts.setErrorLogMode(ErrorLogMode::failing);
    auto second = perform({ .url = url("/log/error"), .method = "POST", .body = "Zeile 1\nZeile 2" });
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->response.statusCode, 500);
    EXPECT_FALSE(second->response.headers.contains("X-Error-Code"));
    EXPECT_FALSE(second->response.headers.contains("X-Error-Message"));

    ASSERT_TRUE(accounts.waitForErrorReports(2, 5s));
    auto reports = accounts.errorReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].publicRoute);
    EXPECT_EQ(reports[0].body, R"({"code":-2})");
    EXPECT_FALSE(reports[0].sessionUser.has_value());
    EXPECT_FALSE(reports[1].publicRoute);
    EXPECT_EQ(reports[1].body, "Zeile 1\nZeile 2");
    EXPECT_EQ(reports[1].sessionUser, "anna@example.org");
}
