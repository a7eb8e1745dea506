// What a service left running on the machine promises to whoever else reaches
// its port: unguessable sessions, no test doors, bounded memory, throttled
// guessing, sessions that end, links that download, and owners shown only to
// those they share with.

#include "LocalCloud/Secrets/PasswordHash.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/TestSupport/MovableClock.hpp"
#include "LocalCloud/Tests/FileServiceTestSupport.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace LocalCloud;
using namespace LocalCloud::Testing;
using namespace std::chrono_literals;

namespace {

class ServiceSecurityTests : public FileServiceFixture {
protected:
    // A second service over a folder of its own, with `options` beside its folder.
    std::unique_ptr<LocalCloudServer> startOwnServer(LocalCloudServer::Options options)
    {
        options.dataFolder = m_root / ("own-" + std::to_string(++m_ownServers));
        auto started = LocalCloudServer::start(std::move(options));
        EXPECT_TRUE(started.has_value()) << (started ? std::string() : started.error());
        return started ? std::move(*started) : nullptr;
    }

    // A raw request with the given "Host" and the client's session cookie.
    static Answer requestWithHost(int port, const std::string& method, const std::string& path,
        const std::string& host, const std::string& cookie, const std::string& body = {})
    {
        httplib::Client client("127.0.0.1", port);
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.set_header("Host", host);
        request.set_header("Cookie", cookie);
        if (!body.empty()) {
            request.body = body;
            request.set_header("Content-Type", "application/json");
        }
        auto result = client.send(request);
        if (!result)
            return {};
        return { result->status, result->headers, result->body };
    }

    static std::string sessionCookie(int port, const std::string& login, const std::string& password)
    {
        httplib::Client client("127.0.0.1", port);
        nlohmann::json body { { "world", "2" }, { "login", login }, { "password", password } };
        auto result = client.Post("/v2.0/login", body.dump(), "application/json");
        if (!result || result->status != 200)
            return {};
        auto cookie = result->get_header_value("Set-Cookie");
        return cookie.substr(0, cookie.find(';'));
    }

    static std::string loginCode(ServiceClient& client, const std::string& login, const std::string& password)
    {
        nlohmann::json body { { "world", "2" }, { "login", login }, { "password", password } };
        auto answer = client.call("POST", "login", body.dump());
        return answer.status == 200 ? "200" : answer.errorCode();
    }

    int m_ownServers = 0;
};

// Undoes one xorshift step of the generator's output tempering.
std::uint64_t undoRightShift(std::uint64_t value, int shift, std::uint64_t mask)
{
    std::uint64_t result = value;
    for (int round = 0; round < 64 / shift + 1; ++round)
        result = value ^ ((result >> shift) & mask);
    return result;
}

std::uint64_t undoLeftShift(std::uint64_t value, int shift, std::uint64_t mask)
{
    std::uint64_t result = value;
    for (int round = 0; round < 64 / shift + 1; ++round)
        result = value ^ ((result << shift) & mask);
    return result;
}

// The state word behind one output of a 64-bit Mersenne twister.
std::uint64_t untemper(std::uint64_t output)
{
    auto value = undoRightShift(output, 43, ~std::uint64_t { 0 });
    value = undoLeftShift(value, 37, 0xFFF7EEE000000000ULL);
    value = undoLeftShift(value, 17, 0x71D67FFFEDA60000ULL);
    return undoRightShift(value, 29, 0x5555555555555555ULL);
}

std::uint64_t hexWord(std::string_view text)
{
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

} // namespace

TEST_F(ServiceSecurityTests, SessionTokensCannotBePredictedFromEarlierOnes)
{
    // Proves another account's next session token is not the one a general-purpose generator, recovered from 156 tokens, would give.
    Accounts accounts(m_clock.serviceClock());
    std::filesystem::create_directories(m_root / "accounts");
    ASSERT_TRUE(accounts.attachDatabase(serviceDatabaseConfiguration(m_root / "accounts")).has_value());
    accounts.addUser("mallory", "eigenes");
    accounts.addUser("victim", "geheim");

    // 156 tokens of two words each are the whole state of such a generator.
    std::ostringstream state;
    for (int login = 0; login < 156; ++login) {
        auto token = accounts.logIn("2", "mallory", "eigenes").session;
        ASSERT_EQ(token.size(), 32u);
        ASSERT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        state << untemper(hexWord(std::string_view(token).substr(0, 16))) << ' '
              << untemper(hexWord(std::string_view(token).substr(16))) << ' ';
    }
    // The position after the state: the next output starts a new generation.
    state << std::mt19937_64::state_size;
    std::mt19937_64 replica;
    std::istringstream(state.str()) >> replica;
    char predicted[33];
    auto first = replica();
    auto second = replica();
    std::snprintf(predicted, sizeof predicted, "%016llx%016llx", static_cast<unsigned long long>(first),
        static_cast<unsigned long long>(second));

    auto victim = accounts.logIn("2", "victim", "geheim").session;
    ASSERT_EQ(victim.size(), 32u);
    EXPECT_NE(victim, std::string(predicted));
}

TEST_F(ServiceSecurityTests, DebugRoutesAndTheRequestLogExistOnlyWithTestControls)
{
    // Proves a service without test controls has no debug route and keeps no request, and one with them never keeps a password.
    auto plain = startOwnServer({});
    ASSERT_TRUE(plain);
    std::filesystem::create_directories(plain->dataFolder() / "raw");
    std::ofstream(plain->dataFolder() / "raw" / "3", std::ios::binary) << "three";
    plain->accounts().addUser("anna", "geheim");
    ServiceClient client(plain->port());
    ASSERT_TRUE(client.logIn("anna", "geheim"));
    for (auto [method, path] : std::vector<std::pair<std::string, std::string>> { { "GET", "debug/raw/3" },
             { "PUT", "debug/raw/4" }, { "GET", "debug/echo" }, { "POST", "debug/echo/x" },
             { "GET", "debug/redirect-loop" } }) {
        auto answer = client.call(method, path, method == "GET" ? "" : "{}");
        EXPECT_EQ(answer.status, 404) << method << " " << path;
        EXPECT_EQ(answer.errorCode(), "4999") << method << " " << path;
    }
    EXPECT_FALSE(std::filesystem::exists(plain->dataFolder() / "raw" / "4"));
    EXPECT_TRUE(plain->requestLog().empty());
    EXPECT_EQ(plain->requestCount(), 0u);

    // With test controls, the login is logged, its password as "...".
    ServiceClient logged(m_server->port());
    ASSERT_TRUE(logged.logIn("anna", "geheim"));
    EXPECT_EQ(logged.get("debug/raw/3").errorCode(), "5004");
    auto log = m_server->requestLog();
    ASSERT_FALSE(log.empty());
    bool sawLogin = false;
    for (const auto& request : log) {
        EXPECT_EQ(request.body.find("geheim"), std::string::npos) << request.path << ": " << request.body;
        if (request.path == "/v2.0/login" && !request.body.empty()) {
            sawLogin = true;
            EXPECT_EQ(nlohmann::json::parse(request.body).value("password", ""), "...");
        }
    }
    EXPECT_TRUE(sawLogin);
}

TEST_F(ServiceSecurityTests, ErrorReportsAreBoundedInNumberAndSize)
{
    // Proves a flood of large error reports leaves the latest reports, each cut to the bound.
    std::string large(Accounts::maximumErrorReportBytes * 2, 'x');
    ServiceClient anonymous(m_server->port());
    ASSERT_EQ(anonymous.call("POST", "log/error", large).status, 200);
    auto& accounts = m_server->accounts();
    for (std::size_t report = 0; report < Accounts::maximumErrorReports + 10; ++report)
        (void)accounts.receiveErrorReport({ false, std::to_string(report) + large, std::string("anna") });
    auto reports = accounts.errorReports();
    ASSERT_EQ(reports.size(), Accounts::maximumErrorReports);
    for (const auto& report : reports)
        EXPECT_LE(report.body.size(), Accounts::maximumErrorReportBytes);
    EXPECT_TRUE(reports.back().body.starts_with(std::to_string(Accounts::maximumErrorReports + 9) + "x"));
    // A report of exactly the bound is kept whole; one byte more loses only that byte.
    const std::string exact(Accounts::maximumErrorReportBytes, 'e');
    (void)accounts.receiveErrorReport({ false, exact, std::string("anna") });
    EXPECT_EQ(accounts.errorReports().back().body, exact);
    (void)accounts.receiveErrorReport({ false, "f" + exact, std::string("anna") });
    EXPECT_EQ(accounts.errorReports().back().body, "f" + exact.substr(1));
    EXPECT_EQ(accounts.errorReports().size(), Accounts::maximumErrorReports);
}

TEST_F(ServiceSecurityTests, FailedLoginsAreThrottledPerAccountAndPerClient)
{
    // Proves five wrong passwords make the account wait a minute even for the right one, the next failure doubles
    // the wait, and twenty failures from one client over many names make every account of that client wait.
    MovableClock clock;
    auto server = startOwnServer({ .clock = clock.serviceClock() });
    ASSERT_TRUE(server);
    server->accounts().addUser("anna", "geheim");
    server->accounts().addUser("bert", "passwort");
    ServiceClient client(server->port());

    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EQ(loginCode(client, "anna", "rate " + std::to_string(attempt)), "40326");
    EXPECT_EQ(loginCode(client, "anna", "geheim"), "40330");
    clock.advance(61s);
    EXPECT_EQ(loginCode(client, "anna", "falsch"), "40326");
    clock.advance(61s);
    EXPECT_EQ(loginCode(client, "anna", "geheim"), "40330");
    clock.advance(60s);
    EXPECT_EQ(loginCode(client, "anna", "geheim"), "200");
    EXPECT_EQ(loginCode(client, "anna", "falsch"), "40326");

    for (int name = 0; name < 19; ++name)
        EXPECT_EQ(loginCode(client, "erfunden" + std::to_string(name), "geheim"), "40326");
    EXPECT_EQ(loginCode(client, "bert", "passwort"), "40330");
    clock.advance(61s);
    EXPECT_EQ(loginCode(client, "bert", "passwort"), "200");
}

TEST_F(ServiceSecurityTests, PasswordChecksRunForUnknownNamesAndOffTheLockOfOtherRequests)
{
    // Proves an unknown name costs a login as much as a wrong password, and a slow password check holds no other request back.
    auto server = startOwnServer({});
    ASSERT_TRUE(server);
    {
        auto database = Platform::Database::open(serviceDatabaseConfiguration(server->dataFolder()));
        ASSERT_TRUE(database.has_value());
        ASSERT_TRUE(storeAccount(*database, "anna", "geheim", std::nullopt, PasswordHash::standardIterations).has_value());
        ASSERT_TRUE(storeAccount(*database, "slow", "geheim", std::nullopt, 2 * PasswordHash::standardIterations).has_value());
        ASSERT_TRUE(storeAccount(*database, "bert", "passwort", std::nullopt, PasswordHash::testIterations).has_value());
    }
    ServiceClient client(server->port());
    auto shortest = [&](const std::string& login) {
        auto best = std::chrono::steady_clock::duration::max();
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(loginCode(client, login, "falsch"), "40326");
            best = std::min(best, std::chrono::steady_clock::now() - start);
        }
        return best;
    };
    auto wrongPassword = shortest("anna");
    auto unknownName = shortest("niemand");
    EXPECT_GT(unknownName, wrongPassword / 2) << "unknown " << unknownName.count() << " wrong " << wrongPassword.count();

    std::atomic<bool> slowAnswered = false;
    std::thread slow([&] {
        httplib::Client other("127.0.0.1", server->port());
        // However busy the machine, the slow check is waited for.
        other.set_read_timeout(600, 0);
        auto answer = other.Post("/v2.0/login", R"({"world":"2","login":"slow","password":"falsch"})", "application/json");
        EXPECT_TRUE(answer && answer->status == 403);
        slowAnswered = true;
    });
    ASSERT_TRUE(server->waitForInFlight(1, 20s));
    ServiceClient bert(server->port());
    EXPECT_TRUE(bert.logIn("bert", "passwort"));
    EXPECT_EQ(bert.get("customer").status, 200);
    EXPECT_FALSE(slowAnswered.load());
    slow.join();
}

TEST_F(ServiceSecurityTests, SessionsEndAfterTimeWithoutUseAfterTheirRequestLimitAndAtLogout)
{
    // Proves a session lives while used, ends after its lifetime without use or after its requests, and ends at logout.
    MovableClock clock;
    auto server = startOwnServer({ .sessions = { .lifetime = 1h }, .clock = clock.serviceClock() });
    ASSERT_TRUE(server);
    server->accounts().addUser("anna", "geheim");
    ServiceClient client(server->port());
    ASSERT_TRUE(client.logIn("anna", "geheim"));
    for (int hour = 0; hour < 3; ++hour) {
        clock.advance(59min);
        EXPECT_EQ(client.get("customer").status, 200) << hour;
    }
    clock.advance(61min);
    EXPECT_EQ(client.get("customer").errorCode(), "3001");
    EXPECT_EQ(server->accounts().liveSessionCount(), 0u);

    ASSERT_TRUE(client.logIn("anna", "geheim"));
    EXPECT_EQ(client.post("logout", nlohmann::json::object()).status, 200);
    EXPECT_EQ(client.get("customer").errorCode(), "3001");
    EXPECT_EQ(client.post("logout", nlohmann::json::object()).errorCode(), "3001");

    auto limited = startOwnServer({ .sessions = { .requestLimit = 2 } });
    ASSERT_TRUE(limited);
    limited->accounts().addUser("anna", "geheim");
    ServiceClient counted(limited->port());
    ASSERT_TRUE(counted.logIn("anna", "geheim"));
    EXPECT_EQ(counted.get("customer").status, 200);
    EXPECT_EQ(counted.get("files").status, 200);
    EXPECT_EQ(counted.get("customer").errorCode(), "3001");
    ASSERT_TRUE(counted.logIn("anna", "geheim"));
    EXPECT_EQ(counted.get("customer").status, 200);
}

TEST_F(ServiceSecurityTests, PublicLinksDownloadAndNeverRenderAsAPage)
{
    // Proves a public link's content comes as an attachment a browser neither sniffs nor runs.
    auto file = m_client->upload(m_rootID, "seite.html", "<script>alert(1)</script>").value("id", std::int64_t { 0 });
    ASSERT_GT(file, 0);
    auto link = m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 7 } }).data()[0];
    auto url = link.value("url", "");
    httplib::Client browser("127.0.0.1", m_server->port());
    auto answer = browser.Get(url.substr(url.find("/public/")));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, "<script>alert(1)</script>");
    EXPECT_TRUE(answer->get_header_value("Content-Disposition").starts_with("attachment"))
        << answer->get_header_value("Content-Disposition");
    EXPECT_NE(answer->get_header_value("Content-Disposition").find("seite.html"), std::string::npos);
    EXPECT_EQ(answer->get_header_value("X-Content-Type-Options"), "nosniff");
    auto policy = answer->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos) << policy;
    EXPECT_NE(policy.find("sandbox"), std::string::npos) << policy;
}

TEST_F(ServiceSecurityTests, ChangesNeedTheServicesOwnLoopbackHost)
{
    // Proves a request that changes data under a foreign "Host" (as a web page's rebound name sends it) changes nothing,
    // while the loopback names with the port work and reading stays open.
    int port = m_server->port();
    auto cookie = sessionCookie(port, "anna", "geheim");
    ASSERT_FALSE(cookie.empty());
    auto before = m_client->everything().size();
    auto folder = nlohmann::json { { "folder_name", "Fremd" }, { "file_id", m_rootID } }.dump();
    for (const auto& host : std::vector<std::string> { "attacker.example:" + std::to_string(port), "attacker.example",
             "127.0.0.1", "127.0.0.1:1", "localhost.attacker.example:" + std::to_string(port) }) {
        auto refused = requestWithHost(port, "POST", "/v2.0/files/folders", host, cookie, folder);
        EXPECT_EQ(refused.status, 403) << host;
    }
    EXPECT_EQ(m_client->everything().size(), before);
    EXPECT_EQ(requestWithHost(port, "GET", "/v2.0/customer", "attacker.example", cookie).status, 200);

    int made = 0;
    for (const std::string host : { "127.0.0.1:", "localhost:", "LocalHost:", "[::1]:" }) {
        auto name = nlohmann::json { { "folder_name", "Ordner " + std::to_string(++made) }, { "file_id", m_rootID } };
        auto accepted = requestWithHost(port, "POST", "/v2.0/files/folders", host + std::to_string(port), cookie, name.dump());
        EXPECT_EQ(accepted.status, 200) << host << accepted.body;
    }
    EXPECT_EQ(m_client->everything().size(), before + 4);
}

TEST_F(ServiceSecurityTests, ShareOwnersAreShownOnlyToThoseTheyShareWith)
{
    // Proves "shares/owner" names an account to itself and to the accounts it shares with, and to no one else.
    auto& accounts = m_server->accounts();
    accounts.addUser("bert@example.org", "passwort");
    accounts.addUser("carla@example.org", "kennwort");
    ServiceClient bert(m_server->port());
    ServiceClient carla(m_server->port());
    ASSERT_TRUE(bert.logIn("bert@example.org", "passwort"));
    ASSERT_TRUE(carla.logIn("carla@example.org", "kennwort"));
    auto anna = accounts.account("anna")->customerID;
    auto bertID = accounts.account("bert@example.org")->customerID;
    auto carlaID = accounts.account("carla@example.org")->customerID;
    auto owner = [](ServiceClient& client, std::int64_t customer) {
        return client.get("shares/owner/" + std::to_string(customer));
    };
    EXPECT_EQ(owner(bert, anna).errorCode(), "5004");
    EXPECT_EQ(owner(*m_client, carlaID).errorCode(), "5004");
    EXPECT_EQ(owner(bert, bertID).json().value("cid", std::int64_t { 0 }), bertID);

    auto folder = m_client->createFolder(m_rootID, "Gemeinsam").value("id", std::int64_t { 0 });
    auto shared = m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "message", "Hallo" },
        { "share_with", { "bert@example.org" } } });
    ASSERT_EQ(shared.status, 200) << shared.body;
    EXPECT_EQ(owner(bert, anna).json().value("cid", std::int64_t { 0 }), anna);
    EXPECT_EQ(owner(*m_client, bertID).json().value("cid", std::int64_t { 0 }), bertID);
    EXPECT_EQ(owner(carla, anna).errorCode(), "5004");
    EXPECT_EQ(owner(carla, bertID).errorCode(), "5004");
}

namespace {

// A client that sends its request a byte at a time.
class Trickler {
public:
    Trickler(int port, std::string request)
        : m_request(std::move(request))
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_socket);
            m_socket = -1;
        }
    }
    ~Trickler()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    Trickler(const Trickler&) = delete;
    Trickler& operator=(const Trickler&) = delete;

    [[nodiscard]] bool connected() const { return m_socket >= 0; }
    void sendNextByte()
    {
        if (m_sent < m_request.size() && ::send(m_socket, m_request.data() + m_sent, 1, MSG_NOSIGNAL) == 1)
            ++m_sent;
    }
    // Whether the service closed the connection (whatever it answered first).
    [[nodiscard]] bool closedByService() const
    {
        char buffer[512];
        for (;;) {
            auto count = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (count > 0 || (count < 0 && errno == EINTR))
                continue;
            return count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        }
    }
    [[nodiscard]] int socket() const { return m_socket; }

private:
    int m_socket = -1;
    std::string m_request;
    std::size_t m_sent = 0;
};

// Sends each trickler's next byte every second until it ends.
class TrickleDriver {
public:
    explicit TrickleDriver(std::vector<std::unique_ptr<Trickler>>& tricklers)
        : m_thread([this, &tricklers] {
            std::unique_lock lock(m_mutex);
            do {
                for (auto& trickler : tricklers)
                    trickler->sendNextByte();
            } while (!m_wake.wait_for(lock, 1s, [&] { return m_stop; }));
        })
    {
    }
    ~TrickleDriver()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Waits until every trickler's connection was closed by the service.
bool waitUntilAllClosed(const std::vector<std::unique_ptr<Trickler>>& tricklers, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    std::vector<const Trickler*> open;
    for (const auto& trickler : tricklers)
        open.push_back(trickler.get());
    while (!open.empty()) {
        std::erase_if(open, [](const Trickler* trickler) { return trickler->closedByService(); });
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (open.empty() || left <= 0ms)
            break;
        std::vector<pollfd> entries;
        for (const auto* trickler : open)
            entries.push_back({ trickler->socket(), POLLIN | POLLRDHUP, 0 });
        ::poll(entries.data(), entries.size(), static_cast<int>(left.count()));
    }
    return open.empty();
}

} // namespace

TEST_F(ServiceSecurityTests, TricklingClientsHoldNeitherTheServiceNorTheirConnections)
{
    // Proves 72 clients sending their requests a byte a second, half in the head and half in the body, leave the
    // service answering another client at once, and each is cut off once its head's deadline or its body's allowance
    // ran out.
    LocalCloudServer::Options options;
    options.connections.headDeadline = 8s;
    options.connections.bodyWaitAllowance = 8s;
    auto server = startOwnServer(options);
    ASSERT_TRUE(server);
    const auto host = "127.0.0.1:" + std::to_string(server->port());
    const std::string head
        = "GET /v2.0/status HTTP/1.1\r\nHost: " + host + "\r\nX-Padding: " + std::string(200, 'x') + "\r\n\r\n";
    const std::string body = R"({"world":"2","login":"anna","password":")" + std::string(400, 'x') + R"("})";
    const std::string login = "POST /v2.0/login HTTP/1.1\r\nHost: " + host
        + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";

    // Each starts at once (the body tricklers with their whole head), so the service's wait for a first request ends.
    std::vector<std::unique_ptr<Trickler>> tricklers;
    for (int index = 0; index < 72; ++index) {
        tricklers.push_back(std::make_unique<Trickler>(server->port(), index % 2 == 0 ? head : login + body));
        ASSERT_TRUE(tricklers.back()->connected());
        for (std::size_t byte = 0; byte < (index % 2 == 0 ? 1 : login.size()); ++byte)
            tricklers.back()->sendNextByte();
    }
    TrickleDriver driver(tricklers);
    ASSERT_TRUE(server->waitForConnections(72, 20s));

    httplib::Client client("127.0.0.1", server->port());
    client.set_read_timeout(10, 0);
    auto answer = client.Get("/v2.0/status");
    ASSERT_TRUE(answer) << "no answer while 72 clients trickle";
    EXPECT_EQ(answer->status, 200);
    // The answer came while every trickler still held its connection, not because some were cut off.
    EXPECT_TRUE(std::ranges::none_of(tricklers, [](const auto& trickler) { return trickler->closedByService(); }));

    EXPECT_TRUE(waitUntilAllClosed(tricklers, 20s));
}

TEST_F(ServiceSecurityTests, AConnectionBeyondTheCapIsRefusedAtOnce)
{
    // Proves a connection beyond the cap is answered 503 and closed at once instead of waiting for a thread, and the
    // service answers again once connections ended.
    LocalCloudServer::Options options;
    options.connections.maximumConnections = 2;
    auto server = startOwnServer(options);
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<Trickler>> held;
    for (int index = 0; index < 2; ++index) {
        held.push_back(std::make_unique<Trickler>(server->port(), "GET /v2.0/status HTTP/1.1\r\n"));
        held.back()->sendNextByte();
    }
    ASSERT_TRUE(server->waitForConnections(2, 20s));

    // The refused client sends nothing: it only waits for what the service says.
    std::vector<std::unique_ptr<Trickler>> refused;
    refused.push_back(std::make_unique<Trickler>(server->port(), ""));
    ASSERT_TRUE(refused.back()->connected());
    pollfd entry { refused.back()->socket(), POLLIN, 0 };
    ASSERT_EQ(::poll(&entry, 1, 20000), 1);
    char buffer[256] {};
    auto count = ::recv(refused.back()->socket(), buffer, sizeof buffer - 1, 0);
    EXPECT_TRUE(std::string_view(buffer, count > 0 ? static_cast<std::size_t>(count) : 0).starts_with("HTTP/1.1 503 "))
        << buffer;
    EXPECT_TRUE(waitUntilAllClosed(refused, 20s));
    EXPECT_TRUE(server->waitForConnections(2, 0ms));

    held.clear();
    ASSERT_TRUE(server->waitForConnections(0, 20s));
    httplib::Client client("127.0.0.1", server->port());
    client.set_read_timeout(10, 0);
    auto answer = client.Get("/v2.0/status");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
}

TEST_F(ServiceSecurityTests, WholeRequestsBeyondTheCapAreServedWhileSlowClientsHoldIt)
{
    // Proves that while slow clients hold every connection, requests that arrive whole at once are still answered,
    // one per connection, and a slow client beyond the cap is still refused.
    LocalCloudServer::Options options;
    options.connections.maximumConnections = 2;
    auto server = startOwnServer(options);
    ASSERT_TRUE(server);
    std::vector<std::unique_ptr<Trickler>> held;
    for (int index = 0; index < 2; ++index) {
        held.push_back(std::make_unique<Trickler>(server->port(), "GET /v2.0/status HTTP/1.1\r\n"));
        held.back()->sendNextByte();
    }
    ASSERT_TRUE(server->waitForConnections(2, 20s));

    for (int request = 0; request < 12; ++request) {
        httplib::Client client("127.0.0.1", server->port());
        client.set_keep_alive(true);
        client.set_read_timeout(10, 0);
        auto answer = client.Get("/v2.0/status");
        ASSERT_TRUE(answer) << request;
        EXPECT_EQ(answer->status, 200) << request;
        EXPECT_EQ(answer->get_header_value("Connection"), "close") << request;
    }
    EXPECT_TRUE(server->waitForConnections(2, 0ms));

    std::vector<std::unique_ptr<Trickler>> slow;
    slow.push_back(std::make_unique<Trickler>(server->port(), "GET /v2.0/status HTTP/1.1\r\n"));
    slow.back()->sendNextByte();
    pollfd entry { slow.back()->socket(), POLLIN, 0 };
    ASSERT_EQ(::poll(&entry, 1, 20000), 1);
    char buffer[256] {};
    auto count = ::recv(slow.back()->socket(), buffer, sizeof buffer - 1, 0);
    EXPECT_TRUE(std::string_view(buffer, count > 0 ? static_cast<std::size_t>(count) : 0).starts_with("HTTP/1.1 503 "))
        << buffer;
}
