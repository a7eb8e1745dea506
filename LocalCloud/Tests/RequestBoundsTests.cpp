// What a stranger's request may make the service hold: a bounded head, a
// bounded body per route, JSON of bounded depth, error reports of their cut
// size only, thumbnails of bounded size; and what one client's failures or
// logins cost other clients and accounts.

#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"
#include "LocalCloud/Server/RequestParsing.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/TestSupport/MovableClock.hpp"
#include "LocalCloud/Tests/FileServiceTestSupport.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace LocalCloud;
using namespace LocalCloud::Testing;
using namespace std::chrono_literals;

namespace {

// Sends `request` whole on a connection of its own and returns its answer: what
// came until the answer's body was complete, the service closed the
// connection or went quiet for a while. (A client that shuts its sending side
// is gone for the service, so this one does not.)
std::string exchange(int port, const std::string& request)
{
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::size_t sent = 0;
        while (sent < request.size()) {
            auto count = ::send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                break;
            sent += static_cast<std::size_t>(count);
        }
        char buffer[4096];
        for (;;) {
            pollfd entry { socket, POLLIN, 0 };
            if (::poll(&entry, 1, 10000) <= 0)
                break;
            auto count = ::recv(socket, buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(count));
            // One answer is all these requests get; its end is where its body ends.
            if (auto end = answer.find("\r\n\r\n"); end != std::string::npos) {
                auto lengthAt = answer.find("Content-Length: ");
                if (lengthAt != std::string::npos && lengthAt < end) {
                    auto length = std::stoul(answer.substr(lengthAt + 16));
                    if (answer.size() >= end + 4 + length)
                        break;
                }
            }
        }
    }
    ::close(socket);
    return answer;
}

std::string statusLine(const std::string& answer)
{
    return answer.substr(0, answer.find("\r\n"));
}

class RequestBoundsTests : public FileServiceFixture {
protected:
    [[nodiscard]] std::string host() const { return "127.0.0.1:" + std::to_string(m_server->port()); }

    // A status request with `fields` header fields of `fieldBytes` bytes each besides "Host".
    [[nodiscard]] std::string statusRequest(std::size_t fields, std::size_t fieldBytes = 8) const
    {
        std::string request = "GET /v2.0/status HTTP/1.1\r\nHost: " + host() + "\r\n";
        for (std::size_t field = 0; field + 2 < fields; ++field)
            request += "X-" + std::to_string(field) + ": " + std::string(fieldBytes, 'v') + "\r\n";
        return request + "Connection: close\r\n\r\n";
    }

    [[nodiscard]] std::string loginRequest(const std::string& body, const std::string& extra = {}) const
    {
        return "POST /v2.0/login HTTP/1.1\r\nHost: " + host() + "\r\nContent-Type: application/json\r\n" + extra
            + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

    static std::string loginBody(const std::string& extra = {})
    {
        return R"({"world":"2","login":"anna","password":"geheim")" + extra + "}";
    }
};

} // namespace

TEST_F(RequestBoundsTests, HeadsBeyondTheirFieldCountOrSizeAreRefused)
{
    // Proves a head of 100 fields is served, one of 101 fields or of more than 64 KiB is answered 400, and a
    // connection closed that way takes no second request.
    EXPECT_EQ(statusLine(exchange(m_server->port(), statusRequest(100))), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine(exchange(m_server->port(), statusRequest(101))), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(statusLine(exchange(m_server->port(), statusRequest(20, 3000))), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine(exchange(m_server->port(), statusRequest(30, 3000))), "HTTP/1.1 400 Bad Request");
    // A million fields is what hoarded memory before: it ends at the bound.
    auto flood = statusRequest(0);
    flood.resize(flood.size() - 2);
    for (int field = 0; field < 100000; ++field)
        flood += "a:b\r\n";
    auto answer = exchange(m_server->port(), flood + "\r\n" + statusRequest(1));
    EXPECT_EQ(statusLine(answer), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(answer.find("HTTP/1.1 200"), std::string::npos);
}

TEST_F(RequestBoundsTests, BodiesBeyondTheirRoutesBoundAreNotRead)
{
    // Proves a login body beyond 64 KiB and one nested deeper than 64 levels are refused as unreadable (the same
    // login within both bounds succeeds), and a body sent with GET beyond 64 KiB is answered 413 unread.
    auto login = exchange(m_server->port(), loginRequest(loginBody()));
    EXPECT_EQ(statusLine(login), "HTTP/1.1 200 OK");
    auto padding = R"(,"padding":")" + std::string(RequestBody::maximumOpenBytes, 'p') + "\"";
    auto large = exchange(m_server->port(), loginRequest(loginBody(padding)));
    EXPECT_EQ(statusLine(large), "HTTP/1.1 400 Bad Request");
    EXPECT_NE(large.find("X-Error-Code: 1000"), std::string::npos);

    auto nested = [](std::size_t depth) {
        return R"(,"nested":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']');
    };
    EXPECT_EQ(statusLine(exchange(m_server->port(), loginRequest(loginBody(nested(maximumJSONDepth))))),
        "HTTP/1.1 200 OK");
    auto deep = exchange(m_server->port(), loginRequest(loginBody(nested(maximumJSONDepth + 1))));
    EXPECT_EQ(statusLine(deep), "HTTP/1.1 400 Bad Request");
    EXPECT_TRUE(nestsWithin(R"({"a":"[[[[[[[[[[[[\"[[["})", 1));
    EXPECT_FALSE(nestsWithin("[{}]", 1));

    std::string body(RequestBody::maximumOpenBytes + 1, 'g');
    auto get = exchange(m_server->port(),
        "GET /v2.0/status HTTP/1.1\r\nHost: " + host() + "\r\nContent-Length: " + std::to_string(body.size())
            + "\r\n\r\n" + body);
    EXPECT_EQ(statusLine(get), "HTTP/1.1 413 Payload Too Large");
    body.pop_back();
    auto small = exchange(m_server->port(),
        "GET /v2.0/status HTTP/1.1\r\nHost: " + host() + "\r\nContent-Length: " + std::to_string(body.size())
            + "\r\nConnection: close\r\n\r\n" + body);
    EXPECT_EQ(statusLine(small), "HTTP/1.1 200 OK");
}

TEST_F(RequestBoundsTests, ErrorReportsKeepTheirCutSizeAndStrangersShareASmallPart)
{
    // Proves a kept report holds no more memory than its cut text, reports without a session keep only the latest
    // 64 of them beside those of sessions, and a report a foreign web page sends is refused.
    auto& accounts = m_server->accounts();
    (void)accounts.receiveErrorReport({ false, std::string(1 << 20, 'r'), std::string("anna") });
    std::string small = "kurz";
    small.reserve(1 << 20);
    (void)accounts.receiveErrorReport({ false, std::move(small), std::string("anna") });
    auto reports = accounts.errorReports();
    ASSERT_EQ(reports.size(), 2u);
    // The copies returned here are fresh; the kept ones are checked through the same bound.
    EXPECT_EQ(reports[0].body.size(), Accounts::maximumErrorReportBytes);
    EXPECT_EQ(reports[1].body, "kurz");
    EXPECT_LE(accounts.errorReportBytesHeld(), 2 * Accounts::maximumErrorReportBytes);

    for (std::size_t report = 0; report < Accounts::maximumReportsWithoutSession + 5; ++report)
        (void)accounts.receiveErrorReport({ true, "fremd " + std::to_string(report), std::nullopt });
    reports = accounts.errorReports();
    ASSERT_EQ(reports.size(), Accounts::maximumReportsWithoutSession + 2);
    EXPECT_EQ(reports[0].sessionUser, "anna");
    EXPECT_EQ(reports[1].sessionUser, "anna");
    EXPECT_EQ(reports[2].body, "fremd 5");
    EXPECT_EQ(reports.back().body, "fremd " + std::to_string(Accounts::maximumReportsWithoutSession + 4));

    // Over HTTP, a report much larger than the cut is read past and kept at the cut.
    ServiceClient anonymous(m_server->port());
    ASSERT_EQ(anonymous.call("POST", "log/error/public", std::string(4 << 20, 'x')).status, 200);
    EXPECT_EQ(accounts.errorReports().back().body.size(), Accounts::maximumErrorReportBytes);
    auto count = accounts.errorReports().size();
    auto foreign = anonymous.call("POST", "log/error/public", R"({"code":1})", "text/plain",
        { { "Origin", "https://seite.example" } });
    EXPECT_EQ(foreign.status, 403);
    EXPECT_EQ(foreign.errorCode(), "5047");
    EXPECT_EQ(accounts.errorReports().size(), count);
    auto own = anonymous.call("POST", "log/error/public", R"({"code":2})", "application/json",
        { { "Origin", "http://" + host() } });
    EXPECT_EQ(own.status, 200);
}

TEST_F(RequestBoundsTests, PlaceholderThumbnailsAreBoundedInPixels)
{
    // Proves a placeholder of a megapixel is drawn and a larger one (4096 × 4096, within the longest side) refused.
    auto text = m_client->upload(m_rootID, "a.txt", "text")["id"].get<std::int64_t>();
    auto path = "files/" + std::to_string(text) + "/thumbnail?";
    auto largest = m_client->get(path + "x=1024&y=1024");
    EXPECT_EQ(largest.status, 200);
    EXPECT_EQ(largest.header("Content-Type"), "image/png");
    EXPECT_LT(largest.body.size(), 1u << 20);
    EXPECT_EQ(m_client->get(path + "x=1025&y=1024").errorCode(), "1000");
    EXPECT_EQ(m_client->get(path + "x=4096&y=4096").errorCode(), "1000");
}

namespace {

class LoginBoundsTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path()
            / ("localcloud-logins-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_root);
        ASSERT_TRUE(m_accounts.attachDatabase(serviceDatabaseConfiguration(m_root)).has_value());
        m_accounts.addUser("anna", "geheim");
        m_accounts.addUser("bert", "passwort");
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    Accounts::LoginOutcome logIn(const std::string& login, const std::string& password, const std::string& client)
    {
        return m_accounts.logIn("2", login, password, client).outcome;
    }

    std::filesystem::path m_root;
    MovableClock m_clock;
    Accounts m_accounts { m_clock.serviceClock() };
};

using Outcome = Accounts::LoginOutcome;

} // namespace

TEST_F(LoginBoundsTests, FailuresMakeOnlyTheFailingClientWaitAndTheLoopbackRangeIsOneClient)
{
    // Proves five wrong passwords from one client leave the right one working from another client, twenty over
    // many names make only that client wait, and no address of the loopback range (127.x, ::1, IPv4 in IPv6) nor
    // of one IPv6 network gets fresh tries.
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(logIn("anna", "rate", "192.0.2.1"), Outcome::wrongPassword);
    EXPECT_EQ(logIn("anna", "geheim", "192.0.2.1"), Outcome::temporarilyLocked);
    EXPECT_EQ(logIn("anna", "geheim", "192.0.2.2"), Outcome::succeeded);
    EXPECT_EQ(logIn("bert", "passwort", "192.0.2.1"), Outcome::succeeded);

    for (int name = 0; name < 20; ++name)
        EXPECT_EQ(logIn("erfunden" + std::to_string(name), "x", "198.51.100.7"), Outcome::wrongPassword);
    EXPECT_EQ(logIn("bert", "passwort", "198.51.100.7"), Outcome::temporarilyLocked);
    EXPECT_EQ(logIn("bert", "passwort", "198.51.100.8"), Outcome::succeeded);

    const char* loopback[] = { "127.0.0.1", "127.0.0.2", "127.1.2.3", "::1", "::ffff:127.0.0.9" };
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(logIn("anna", "rate", loopback[attempt]), Outcome::wrongPassword);
    for (const char* address : loopback)
        EXPECT_EQ(logIn("anna", "geheim", address), Outcome::temporarilyLocked) << address;
    EXPECT_EQ(logIn("anna", "geheim", "192.0.2.3"), Outcome::succeeded);

    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(logIn("bert", "rate", "2001:db8:1:2::" + std::to_string(attempt + 1)), Outcome::wrongPassword);
    EXPECT_EQ(logIn("bert", "passwort", "2001:db8:1:2:ffff::1"), Outcome::temporarilyLocked);
    EXPECT_EQ(logIn("bert", "passwort", "2001:db8:1:3::1"), Outcome::succeeded);
    EXPECT_EQ(LoginThrottle::clientOf("::ffff:192.0.2.4"), "192.0.2.4");

    // The wait ends as before: after a minute the right password logs in from the failing client too.
    m_clock.advance(61s);
    EXPECT_EQ(logIn("anna", "geheim", "192.0.2.1"), Outcome::succeeded);
}

TEST_F(LoginBoundsTests, AnAccountKeepsItsNewestSessionsOnly)
{
    // Proves logins beyond an account's bound end its oldest sessions first and leave other accounts' sessions,
    // and sessions that ran out are gone at the next login.
    m_accounts.setSessionPolicy({ .lifetime = 3600s, .perAccount = 3 });
    std::vector<std::string> anna;
    for (int login = 0; login < 5; ++login) {
        anna.push_back(m_accounts.logIn("2", "anna", "geheim", "127.0.0.1").session);
        m_clock.advance(1s);
    }
    auto bert = m_accounts.logIn("2", "bert", "passwort", "127.0.0.1").session;
    EXPECT_EQ(m_accounts.liveSessionCount(), 4u);
    auto cookie = [](const std::string& session) { return std::string("session=") + session; };
    EXPECT_EQ(m_accounts.checkSession(cookie(anna[0])), SessionCheck::expired);
    EXPECT_EQ(m_accounts.checkSession(cookie(anna[1])), SessionCheck::expired);
    for (int kept = 2; kept < 5; ++kept)
        EXPECT_EQ(m_accounts.checkSession(cookie(anna[kept])), SessionCheck::valid) << kept;
    EXPECT_EQ(m_accounts.checkSession(cookie(bert)), SessionCheck::valid);

    // Used sessions stay; the unused one runs out and goes with the next login.
    m_clock.advance(3000s);
    EXPECT_EQ(m_accounts.checkSession(cookie(anna[4])), SessionCheck::valid);
    EXPECT_EQ(m_accounts.checkSession(cookie(bert)), SessionCheck::valid);
    m_clock.advance(700s);
    (void)m_accounts.logIn("2", "bert", "passwort", "127.0.0.1");
    EXPECT_EQ(m_accounts.liveSessionCount(), 3u);
    EXPECT_EQ(m_accounts.checkSession(cookie(anna[4])), SessionCheck::valid);
    EXPECT_TRUE(m_accounts.logOut(cookie(anna[4])));
    EXPECT_EQ(m_accounts.liveSessionCount(), 2u);
}
