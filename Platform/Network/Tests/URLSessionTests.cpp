#include "LoopbackServiceFixture.hpp"
#include "HostileService.hpp"
#include "LocalCloud/Http/LoopbackPorts.hpp"

#include <netinet/in.h>
#include <sys/socket.h>

using namespace Platform;
using namespace Platform::Testing;
using namespace std::chrono_literals;

namespace {

using URLSessionTests = LoopbackServiceFixture;

struct DownloadOutcome {
    std::vector<std::int64_t> progress;
    std::optional<std::string> contentSeen;
    std::optional<std::filesystem::path> location;
    std::optional<TransportError> error;
    std::optional<HTTPResponseHead> response;
};

} // namespace

TEST_F(URLSessionTests, DataTaskDeliversDecodedBodyAndFinalHeaders)
{
    // Proves a data task returns the decoded body, looks header names up without regard to case, and announces encodings.
    auto result = perform({ .url = url("/status") });
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_EQ(result->response.statusCode, 200);
    EXPECT_EQ(result->data, R"({"data":{"service":"localcloud"}})");
    EXPECT_EQ(result->response.headers.value("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(result->response.url, url("/status"));
    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].header("Accept-Encoding").has_value());
}

TEST_F(URLSessionTests, ExplicitAcceptEncodingStillArrivesDecoded)
{
    // Proves a request's own "Accept-Encoding" reaches the server and the body is decoded by the transport.
    URLRequest request { .url = url("/status") };
    request.headers.add("Accept-Encoding", "gzip");
    auto result = perform(request);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->data, R"({"data":{"service":"localcloud"}})");
    EXPECT_EQ(m_server->requestLog().at(0).header("Accept-Encoding"), "gzip");
}

TEST_F(URLSessionTests, HeadersOfRedirectsDoNotLeakIntoTheFinalResponse)
{
    // Proves each status line starts a fresh header block, so only the final answer's fields remain.
    m_server->script("GET", "/v2.0/first",
        { .status = 302, .headers = { { "Location", "/v2.0/second" }, { "X-Only-On-Redirect", "yes" } } });
    m_server->script("GET", "/v2.0/second", { .status = 201, .headers = { { "X-Final", "yes" } }, .body = "{}" });
    auto result = perform({ .url = url("/first") });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->response.statusCode, 201);
    EXPECT_EQ(result->response.url, url("/second"));
    EXPECT_EQ(result->response.headers.value("x-final"), "yes");
    EXPECT_FALSE(result->response.headers.contains("X-Only-On-Redirect"));
}

TEST_F(URLSessionTests, SixteenRedirectsAreFollowedAndASeventeenthIsNot)
{
    // Proves a chain of as many redirects as the configuration allows (16) arrives, and one more fails as too many.
    auto chain = [&](const std::string& name, int redirects) {
        for (int hop = 0; hop < redirects; ++hop) {
            m_server->script("GET", "/v2.0/" + name + std::to_string(hop),
                { .status = 302, .headers = { { "Location", "/v2.0/" + name + std::to_string(hop + 1) } } });
        }
        m_server->script("GET", "/v2.0/" + name + std::to_string(redirects), { .status = 200, .body = "{}" });
        return perform({ .url = url("/" + name + "0") });
    };
    ASSERT_EQ(URLSessionConfiguration {}.maximumRedirects, 16);
    auto longest = chain("allowed", 16);
    ASSERT_TRUE(longest.has_value()) << longest.error().message();
    EXPECT_EQ(longest->response.url, url("/allowed16"));
    auto tooLong = chain("refused", 17);
    ASSERT_FALSE(tooLong.has_value());
    EXPECT_EQ(tooLong.error().code(), TransportError::Code::httpTooManyRedirects);
}

TEST_F(URLSessionTests, ErrorStatusIsASuccessfulTransferWithTheServiceHeaders)
{
    // Proves an HTTP failure status is delivered as a response, keeping the service's error headers.
    auto result = perform({ .url = url("/debug/raw/999") });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->response.statusCode, 404);
    EXPECT_EQ(result->response.headers.value("X-Error-Code"), "5004");
}

TEST_F(URLSessionTests, SlowDownloadReportsGrowingProgressAndHandsOverItsFile)
{
    // Proves a throttled 1 MiB download reports strictly increasing progress and hands over a complete file that is removed afterwards.
    const auto content = randomBytes(1 << 20, 1);
    writeFile(m_server->contentPath(11), content);
    m_server->setTransferShaping({ .bytesPerSecond = 8 << 20, .chunkSize = 32 * 1024 });

    auto outcome = std::make_shared<DownloadOutcome>();
    std::promise<void> done;
    auto task = m_session->downloadTask({ .url = url("/debug/raw/11") },
        [&, outcome](URLSessionTask& task, std::expected<DownloadTaskResponse, TransportError> result) {
            if (result) {
                outcome->location = result->location;
                outcome->contentSeen = readFile(result->location);
                outcome->response = result->response;
            } else {
                outcome->error = result.error();
            }
            (void)task;
            done.set_value();
        });
    task->setProgressHandler([outcome](URLSessionTask&, const TransferProgress& progress) {
        outcome->progress.push_back(progress.countOfBytesReceived);
    });
    task->resume();
    ASSERT_EQ(done.get_future().wait_for(20s), std::future_status::ready);

    ASSERT_FALSE(outcome->error.has_value()) << outcome->error->message();
    EXPECT_EQ(outcome->contentSeen, content);
    EXPECT_EQ(outcome->response->statusCode, 200);
    ASSERT_GT(outcome->progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(outcome->progress.begin(), outcome->progress.end(), std::less_equal<>()))
        << "progress must grow strictly";
    EXPECT_EQ(std::adjacent_find(outcome->progress.begin(), outcome->progress.end()), outcome->progress.end());
    EXPECT_EQ(outcome->progress.back(), 1 << 20);
    EXPECT_EQ(task->countOfBytesExpectedToReceive(), 1 << 20);
    EXPECT_EQ(task->state(), URLSessionTaskState::completed);
    // The completion has returned by now; the transport cleans up right after it.
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::filesystem::exists(*outcome->location) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_FALSE(std::filesystem::exists(*outcome->location));
}

TEST_F(URLSessionTests, DownloadCutAfterItsHeadersLeavesNoFile)
{
    // Proves a connection that breaks mid-body fails the download as a lost connection and removes the partial file.
    writeFile(m_server->contentPath(12), randomBytes(1 << 20, 2));
    m_server->setTransferShaping({ .cutAfterBytes = 256 * 1024 });
    std::promise<std::expected<DownloadTaskResponse, TransportError>> done;
    auto task = m_session->downloadTask({ .url = url("/debug/raw/12") },
        [&](URLSessionTask&, std::expected<DownloadTaskResponse, TransportError> result) { done.set_value(result); });
    task->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    auto result = future.get();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code(), TransportError::Code::networkConnectionLost) << TransportError::name(result.error().code());
    EXPECT_NE(result.error().transportCode(), 0);
    ASSERT_TRUE(task->response().has_value());
    EXPECT_EQ(task->response()->statusCode, 200);
    EXPECT_TRUE(downloadFolderIsEmpty());
}

TEST_F(URLSessionTests, UploadStreamsAFileByteForByte)
{
    // Proves a 3 MiB upload arrives intact, with the byte counts and the delegate's body-sent events agreeing.
    struct RecordingDelegate : URLSessionDelegate {
        std::atomic<std::int64_t> lastTotalSent { 0 };
        std::atomic<int> completions { 0 };
        void didSendBodyData(URLSessionTask&, std::int64_t, std::int64_t total, std::int64_t) override
        {
            lastTotalSent = total;
        }
        void didComplete(URLSessionTask&, const std::optional<TransportError>&) override { ++completions; }
    };
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = makeSession(30s, delegate);
    const auto content = randomBytes(3 << 20, 3);
    auto source = m_root / "upload.bin";
    writeFile(source, content);

    std::promise<std::expected<DataTaskResponse, TransportError>> done;
    auto task = session->uploadTask({ .url = url("/debug/raw/7"), .method = "PUT" }, source,
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) { done.set_value(result); });
    task->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    auto result = future.get();
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_EQ(result->response.statusCode, 200);
    EXPECT_EQ(result->data, R"({"data":{"id":7,"size":3145728}})");
    EXPECT_EQ(readFile(m_server->contentPath(7)), content);
    // A body this large is sent after an interim "100 Continue", whose header block must not be the final one.
    EXPECT_EQ(m_server->requestLog().at(0).header("Expect"), "100-continue");
    EXPECT_EQ(task->countOfBytesSent(), 3 << 20);
    EXPECT_EQ(task->countOfBytesExpectedToSend(), 3 << 20);
    session.reset();
    EXPECT_EQ(delegate->lastTotalSent, 3 << 20);
    EXPECT_EQ(delegate->completions, 1);
}

TEST_F(URLSessionTests, MissingUploadSourceFailsWithoutReachingTheServer)
{
    // Proves an upload of a missing file fails as such and sends nothing.
    std::promise<std::expected<DataTaskResponse, TransportError>> done;
    auto task = m_session->uploadTask({ .url = url("/debug/raw/8"), .method = "PUT" }, m_root / "missing.bin",
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) { done.set_value(result); });
    task->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    auto result = future.get();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code(), TransportError::Code::fileDoesNotExist);
    EXPECT_EQ(m_server->requestCount(), 0u);
    EXPECT_TRUE(m_session->allTasks().empty());
}

TEST_F(URLSessionTests, CancelEndsTasksOnceInEveryState)
{
    // Proves cancel completes a held task and a never-resumed one with `cancelled`, exactly once, and is harmless afterwards.
    auto gate = m_server->addGate("GET", "/v2.0/held");
    std::atomic<int> completions { 0 };
    std::promise<TransportError::Code> heldDone;
    auto held = m_session->dataTask({ .url = url("/held") },
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
            ++completions;
            heldDone.set_value(result ? TransportError::Code::unknown : result.error().code());
        });
    held->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    held->cancel();
    auto heldFuture = heldDone.get_future();
    ASSERT_EQ(heldFuture.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(heldFuture.get(), TransportError::Code::cancelled);
    EXPECT_EQ(held->state(), URLSessionTaskState::completed);
    EXPECT_EQ(held->error()->code(), TransportError::Code::cancelled);

    std::promise<TransportError::Code> idleDone;
    auto neverResumed = m_session->dataTask({ .url = url("/status") },
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
            ++completions;
            idleDone.set_value(result ? TransportError::Code::unknown : result.error().code());
        });
    neverResumed->cancel();
    neverResumed->resume();
    auto idleFuture = idleDone.get_future();
    ASSERT_EQ(idleFuture.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(idleFuture.get(), TransportError::Code::cancelled);

    held->cancel();
    neverResumed->cancel();
    gate->open();
    // A later request on the same session proves the transport has settled; no further completion arrived.
    EXPECT_TRUE(perform({ .url = url("/status") }).has_value());
    EXPECT_EQ(completions, 2);
}

TEST_F(URLSessionTests, CookieJarKeepsCookiesUntilCleared)
{
    // Proves the session sends back the cookies it was given, lists them, and forgets them on clear and in a new session.
    m_server->script("POST", "/v2.0/login",
        { .headers = { { "Set-Cookie", "session=abc123; Path=/" } }, .body = "{}" }, 1);
    ASSERT_TRUE(perform({ .url = url("/login"), .method = "POST", .body = "{}" }).has_value());
    ASSERT_TRUE(perform({ .url = url("/status") }).has_value());
    auto cookies = m_session->cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].name, "session");
    EXPECT_EQ(cookies[0].value, "abc123");
    EXPECT_EQ(cookies[0].domain, "127.0.0.1");

    m_session->clearCookies();
    EXPECT_TRUE(m_session->cookies().empty());
    ASSERT_TRUE(perform({ .url = url("/status") }).has_value());
    auto fresh = makeSession();
    ASSERT_TRUE(perform({ .url = url("/status") }, fresh).has_value());

    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_FALSE(log[0].header("Cookie").has_value());
    EXPECT_EQ(log[1].header("Cookie"), "session=abc123");
    EXPECT_FALSE(log[2].header("Cookie").has_value());
    EXPECT_FALSE(log[3].header("Cookie").has_value());
}

TEST_F(URLSessionTests, TransportFailuresAreToldApart)
{
    // Proves a closed port, a redirect loop, a failed TLS handshake, an unsupported scheme and a malformed URL each fail with their own condition.
    auto closed = perform({ .url = "http://127.0.0.1:" + std::to_string(LocalCloud::unusedLoopbackPort()) + "/v2.0/status" });
    ASSERT_FALSE(closed.has_value());
    EXPECT_EQ(closed.error().code(), TransportError::Code::cannotConnectToHost);

    auto loop = perform({ .url = url("/debug/redirect-loop") });
    ASSERT_FALSE(loop.has_value());
    EXPECT_EQ(loop.error().code(), TransportError::Code::httpTooManyRedirects);

    std::string origin = m_server->origin();
    auto handshake = perform({ .url = "https" + origin.substr(4) + "/v2.0/status" });
    ASSERT_FALSE(handshake.has_value());
    EXPECT_EQ(handshake.error().code(), TransportError::Code::secureConnectionFailed)
        << TransportError::name(handshake.error().code());

    auto scheme = perform({ .url = "ftp://127.0.0.1/file" });
    ASSERT_FALSE(scheme.has_value());
    EXPECT_EQ(scheme.error().code(), TransportError::Code::unsupportedURL);

    auto malformed = perform({ .url = "http://127.0.0.1:99999999/" });
    ASSERT_FALSE(malformed.has_value());
    EXPECT_EQ(malformed.error().code(), TransportError::Code::badURL);
}

TEST_F(URLSessionTests, SilentServerHitsTheIdleTimeOut)
{
    // Proves a request the server holds without sending a byte fails as timed out after the idle time-out.
    auto gate = m_server->addGate("GET", "/v2.0/silent");
    auto session = makeSession(1s);
    auto result = perform({ .url = url("/silent") }, session);
    gate->open();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code(), TransportError::Code::timedOut);
}

TEST_F(URLSessionTests, AnUploadsAnswerMayTakeLongerThanTheIdleTimeOutButAStalledBodyMayNot)
{
    // Proves the silence after an upload's last byte (the service storing it) is bounded by the answer time-out, not
    // the idle one: an answer 3 s after the body completes the upload under a 1 s idle time-out, an answer time-out
    // shorter than the wait still ends it, and a body the service stops reading still fails after the idle time-out.
    auto source = m_root / "upload.bin";
    const auto content = randomBytes(1 << 20, 5);
    writeFile(source, content);
    auto upload = [&](std::chrono::seconds answerTimeout, const std::string& path) {
        URLSessionConfiguration configuration;
        configuration.idleTimeout = 1s;
        configuration.answerTimeout = answerTimeout;
        auto session = URLSession::create(configuration, nullptr);
        std::promise<std::expected<DataTaskResponse, TransportError>> done;
        auto task = session->uploadTask({ .url = url(path), .method = "PUT" }, source,
            [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) { done.set_value(result); });
        task->resume();
        auto future = done.get_future();
        EXPECT_EQ(future.wait_for(30s), std::future_status::ready);
        return future.get();
    };
    m_server->delayAnswers("PUT", R"(/v2\.0/debug/raw/\d+)", 3s);

    auto stored = upload(600s, "/debug/raw/11");
    ASSERT_TRUE(stored.has_value()) << stored.error().message();
    EXPECT_EQ(stored->response.statusCode, 200);
    EXPECT_EQ(readFile(m_server->contentPath(11)), content);

    auto impatient = upload(1s, "/debug/raw/12");
    ASSERT_FALSE(impatient.has_value());
    EXPECT_EQ(impatient.error().code(), TransportError::Code::timedOut);
    EXPECT_NE(impatient.error().message().find("after the upload was sent"), std::string::npos)
        << impatient.error().message();

    // Far more than the loopback socket buffers hold, so most of the body waits while the service reads nothing.
    writeFile(source, randomBytes(48 << 20, 6));
    auto gate = m_server->addGate("PUT", "/v2.0/debug/raw/13");
    auto stalled = upload(600s, "/debug/raw/13");
    gate->open();
    ASSERT_FALSE(stalled.has_value());
    EXPECT_EQ(stalled.error().code(), TransportError::Code::timedOut);
    EXPECT_NE(stalled.error().message().find("nothing moved"), std::string::npos) << stalled.error().message();
}

TEST_F(URLSessionTests, InvalidatedSessionCancelsRunningAndLaterTasks)
{
    // Proves invalidation cancels running transfers, and tasks resumed afterwards end cancelled without reaching the server.
    auto gate = m_server->addGate("GET", "/v2.0/held");
    std::promise<TransportError::Code> done;
    auto held = m_session->dataTask({ .url = url("/held") },
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
            done.set_value(result ? TransportError::Code::unknown : result.error().code());
        });
    held->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    m_session->invalidateAndCancel();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(future.get(), TransportError::Code::cancelled);
    EXPECT_TRUE(m_session->isInvalidated());

    auto later = perform({ .url = url("/status") });
    ASSERT_FALSE(later.has_value());
    EXPECT_EQ(later.error().code(), TransportError::Code::cancelled);
    EXPECT_EQ(m_server->requestCount(), 1u);
    EXPECT_TRUE(m_session->allTasks().empty());
    gate->open();
}

TEST_F(URLSessionTests, DestroyingTheSessionCompletesItsTasks)
{
    // Proves a session destroyed with a running and a suspended task completes both with `cancelled` before it is gone.
    auto gate = m_server->addGate("GET", "/v2.0/held");
    std::atomic<int> cancelled { 0 };
    auto count = [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
        if (!result && result.error().code() == TransportError::Code::cancelled)
            ++cancelled;
    };
    auto running = m_session->dataTask({ .url = url("/held") }, count);
    auto suspended = m_session->dataTask({ .url = url("/status") }, count);
    running->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    m_session.reset();
    EXPECT_EQ(cancelled, 2);
    EXPECT_EQ(running->state(), URLSessionTaskState::completed);
    suspended->resume();
    suspended->cancel();
    EXPECT_EQ(cancelled, 2);
    gate->open();
}

TEST_F(URLSessionTests, CompletionMayStartTheNextTask)
{
    // Proves a completion can make and resume another task of its own session without deadlock.
    std::promise<long> done;
    auto session = m_session;
    auto first = m_session->dataTask({ .url = url("/status") },
        [&, session](URLSessionTask&, std::expected<DataTaskResponse, TransportError>) {
            auto second = session->dataTask({ .url = url("/status") },
                [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
                    done.set_value(result ? result->response.statusCode : -1);
                });
            second->resume();
            EXPECT_TRUE(session->cookies().empty());
        });
    first->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(future.get(), 200);
}

TEST_F(URLSessionTests, TaskStateAndBytesSentAreObservable)
{
    // Proves observers get the current state and count at once, then each change with growing change numbers,
    // and nothing after they are removed.
    auto gate = m_server->addGate("PUT", "/v2.0/files/9/stream");
    auto source = m_root / "observed.bin";
    writeFile(source, randomBytes(256 * 1024, 9));
    std::promise<void> done;
    auto task = m_session->uploadTask({ .url = url("/files/9/stream"), .method = "PUT" }, source,
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError>) { done.set_value(); });

    std::mutex mutex;
    std::vector<std::pair<URLSessionTaskState, std::uint64_t>> states;
    std::vector<std::int64_t> counts;
    auto stateToken = task->observeState([&](URLSessionTaskState state, std::uint64_t change) {
        std::lock_guard lock(mutex);
        states.emplace_back(state, change);
    });
    auto bytesToken = task->observeBytesSent([&](std::int64_t sent) {
        std::lock_guard lock(mutex);
        counts.push_back(sent);
    });
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(states.size(), 1u);
        EXPECT_EQ(states[0], std::make_pair(URLSessionTaskState::suspended, std::uint64_t { 0 }));
        EXPECT_EQ(counts, (std::vector<std::int64_t> { 0 }));
    }
    task->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    gate->open();
    ASSERT_EQ(done.get_future().wait_for(20s), std::future_status::ready);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(states.size(), 3u);
        EXPECT_EQ(states[1], std::make_pair(URLSessionTaskState::running, std::uint64_t { 1 }));
        EXPECT_EQ(states[2], std::make_pair(URLSessionTaskState::completed, std::uint64_t { 2 }));
        EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
        EXPECT_EQ(counts.back(), 256 * 1024);
    }
    task->removeObserver(stateToken);
    task->removeObserver(bytesToken);
    task->cancel();
    std::lock_guard lock(mutex);
    EXPECT_EQ(states.size(), 3u);
}

TEST_F(URLSessionTests, RedirectsNeverCarryABodyOrLeaveTheOrigin)
{
    // Proves a body (a login) is never redirected and a GET follows only within its scheme, host and port, so neither password, authorisation nor cookie reaches another origin.
    HostileService thief([](const HostileService::Request&) { return HostileService::answer(200, {}, "{}"); });
    std::string elsewhere = thief.origin() + "/steal";
    HostileService service([&](const HostileService::Request& request) {
        if (request.head.starts_with("GET /hello "))
            return HostileService::answer(200, { "Set-Cookie: session=secret-cookie; Path=/" }, "{}");
        if (request.head.starts_with("GET /same "))
            return HostileService::answer(302, { "Location: /final" }, "");
        if (request.head.starts_with("GET /final "))
            return HostileService::answer(200, {}, "final");
        return HostileService::answer(307, { "Location: " + elsewhere }, "");
    });

    ASSERT_TRUE(perform({ .url = service.origin() + "/hello" }).has_value());
    URLRequest login { .url = service.origin() + "/login", .method = "POST", .body = R"({"password":"geheim"})" };
    auto loginResult = perform(login);
    ASSERT_TRUE(loginResult.has_value()) << loginResult.error().message();
    EXPECT_EQ(loginResult->response.statusCode, 307);

    for (const char* method : { "PUT", "DELETE", "PATCH" }) {
        URLRequest withBody { .url = service.origin() + "/files", .method = method, .body = "geheim" };
        auto result = perform(withBody);
        ASSERT_TRUE(result.has_value()) << method;
        EXPECT_EQ(result->response.statusCode, 307) << method;
    }

    URLRequest listing { .url = service.origin() + "/files" };
    listing.headers.add("Authorization", "Basic Z2VoZWlt");
    auto refused = perform(listing);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code(), TransportError::Code::redirectToOtherOrigin) << TransportError::name(refused.error().code());
    auto head = perform({ .url = service.origin() + "/files", .method = "HEAD" });
    ASSERT_FALSE(head.has_value());
    EXPECT_EQ(head.error().code(), TransportError::Code::redirectToOtherOrigin);

    auto same = perform({ .url = service.origin() + "/same" });
    ASSERT_TRUE(same.has_value());
    EXPECT_EQ(same->data, "final");
    EXPECT_EQ(same->response.url, service.origin() + "/final");

    EXPECT_TRUE(thief.requests().empty()) << thief.requests().front().head << thief.requests().front().body;
    EXPECT_TRUE(service.requests().back().contains("secret-cookie")) << "the cookie still goes to its own origin";
}

TEST_F(URLSessionTests, AStatusLineWrittenOddlyNeitherSkipsTheOriginCheckNorTakesTheCookieAlong)
{
    // Proves a redirect whose status line has two blanks, a tab, a sign or a fourth digit is refused before anything reaches the other origin, the session cookie included.
    HostileService thief([](const HostileService::Request&) { return HostileService::answer(200, {}, "{}"); });
    const std::vector<std::string> statusLines { "HTTP/1.1  302 Found", "HTTP/1.1 \t302 Found", "HTTP/1.1   302",
        "HTTP/1.1\t302 Found", "HTTP/1.1 +302 Found", "HTTP/1.1 3020 Found", "HTTP/1.1 302\tFound" };
    HostileService service([&](const HostileService::Request& request) -> std::string {
        if (request.head.starts_with("GET /hello "))
            return HostileService::answer(200, { "Set-Cookie: session=secret-cookie; Path=/" }, "{}");
        if (!request.head.starts_with("GET /files/"))
            return HostileService::answer(404, {}, "");
        auto index = std::strtoul(request.head.c_str() + 11, nullptr, 10);
        return statusLines.at(index) + "\r\nLocation: " + thief.origin() + "/steal\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    });
    ASSERT_TRUE(perform({ .url = service.origin() + "/hello" }).has_value());
    for (std::size_t index = 0; index < statusLines.size(); ++index) {
        URLRequest listing { .url = service.origin() + "/files/" + std::to_string(index) };
        listing.headers.add("Authorization", "Basic Z2VoZWlt");
        auto result = perform(listing);
        EXPECT_FALSE(result.has_value()) << statusLines[index] << ": " << (result ? result->response.statusCode : 0);
        EXPECT_TRUE(thief.requests().empty()) << statusLines[index] << " took " << thief.requests().front().head;
    }
    auto plain = perform({ .url = service.origin() + "/plain" });
    ASSERT_TRUE(plain.has_value()) << plain.error().message();
    EXPECT_EQ(plain->response.statusCode, 404);
}

TEST_F(URLSessionTests, NoAnswerOfTheOriginMakesATaskConnectToAnotherOne)
{
    // Proves no answer, however it is cut or written, makes a task so much as connect to another origin: a redirect whose head the connection cuts before its end, one with a stray line, a 304 or 305 that names the other origin, a 300 leading there and a same-origin hop to such an answer each end with the other listener never seeing a connection, let alone the cookie or the authorisation.
    HostileService thief([](const HostileService::Request&) { return HostileService::answer(200, {}, "{}"); });
    const std::string location = "Location: " + thief.origin() + "/steal\r\n";
    const std::vector<std::string> answers {
        "HTTP/1.1 302 Found\r\n" + location + "Content-Length: 0\r\n",
        "HTTP/1.1 302 Found\r\n" + location + "Content-Length: 0\r\n 401\r\n",
        "HTTP/1.1 301 Moved Permanently\r\n" + location,
        "HTTP/1.1 304 Not Modified\r\n" + location + "\r\n",
        "HTTP/1.1 305 Use Proxy\r\n" + location + "Content-Length: 0\r\n\r\n",
        "HTTP/1.1 300 Multiple Choices\r\n" + location + "Content-Length: 0\r\n\r\n",
        "HTTP/1.1 302 Found\r\nLocation: /case/0\r\nContent-Length: 0\r\n\r\n",
    };
    HostileService service([&](const HostileService::Request& request) -> std::string {
        if (request.head.starts_with("GET /hello "))
            return HostileService::answer(200, { "Set-Cookie: session=secret-cookie; Path=/" }, "{}");
        if (!request.head.starts_with("GET /case/"))
            return HostileService::answer(404, {}, "");
        return answers.at(std::strtoul(request.head.c_str() + 10, nullptr, 10));
    });
    ASSERT_TRUE(perform({ .url = service.origin() + "/hello" }).has_value());
    for (std::size_t index = 0; index < answers.size(); ++index) {
        URLRequest listing { .url = service.origin() + "/case/" + std::to_string(index) };
        listing.headers.add("Authorization", "Basic Z2VoZWlt");
        auto result = perform(listing);
        const std::string& answer = answers[index];
        if (answer.starts_with("HTTP/1.1 304") || answer.starts_with("HTTP/1.1 305")) {
            // Neither is a redirect: the answer itself is the task's.
            ASSERT_TRUE(result.has_value()) << index << ": " << result.error().message();
            EXPECT_EQ(result->response.statusCode, std::stol(answer.substr(9, 3))) << index;
        } else {
            EXPECT_FALSE(result.has_value()) << index << ": " << (result ? result->response.statusCode : 0);
        }
        EXPECT_FALSE(thief.wasConnectedTo()) << index << ": " << answer;
        EXPECT_TRUE(thief.requests().empty()) << index << " took " << thief.requests().front().head;
    }
    auto refused = perform({ .url = service.origin() + "/case/5" });
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code(), TransportError::Code::redirectToOtherOrigin) << refused.error().message();
    auto cut = perform({ .url = service.origin() + "/case/0" });
    ASSERT_FALSE(cut.has_value());
    EXPECT_EQ(cut.error().code(), TransportError::Code::badServerResponse) << cut.error().message();
    EXPECT_FALSE(thief.wasConnectedTo());
}

TEST_F(URLSessionTests, AFollowedRedirectKeepsItsBodyOutOfTheAnswerAndPassesItsCookieOn)
{
    // Proves a redirect followed within its origin leaves its own body out of a data task's answer and a download's file, the cookie it sets reaches the next hop, and a redirect body beyond the request's cap fails the task.
    HostileService service([](const HostileService::Request& request) -> std::string {
        if (request.head.starts_with("GET /moved "))
            return HostileService::answer(302, { "Location: /final", "Set-Cookie: hop=passed; Path=/" }, "<p>moved to /final</p>");
        if (request.head.starts_with("GET /final "))
            return request.contains("hop=passed") ? HostileService::answer(200, {}, "final") : HostileService::answer(400, {}, "");
        if (request.head.starts_with("GET /chatty "))
            return HostileService::answer(307, { "Location: /final" }, std::string(4096, 'x'));
        return HostileService::answer(404, {}, "");
    });
    auto data = perform({ .url = service.origin() + "/moved" });
    ASSERT_TRUE(data.has_value()) << data.error().message();
    EXPECT_EQ(data->response.statusCode, 200);
    EXPECT_EQ(data->data, "final");
    EXPECT_EQ(data->response.url, service.origin() + "/final");
    EXPECT_FALSE(data->response.headers.contains("Set-Cookie"));

    std::promise<std::expected<std::string, TransportError>> done;
    auto task = m_session->downloadTask({ .url = service.origin() + "/moved" },
        [&](URLSessionTask&, std::expected<DownloadTaskResponse, TransportError> result) {
            if (result)
                done.set_value(readFile(result->location));
            else
                done.set_value(std::unexpected(result.error()));
        });
    task->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    auto downloaded = future.get();
    ASSERT_TRUE(downloaded.has_value()) << downloaded.error().message();
    EXPECT_EQ(*downloaded, "final");

    URLRequest capped { .url = service.origin() + "/chatty", .maximumBodySize = 4095 };
    auto tooLarge = perform(capped);
    ASSERT_FALSE(tooLarge.has_value());
    EXPECT_EQ(tooLarge.error().code(), TransportError::Code::responseTooLarge) << tooLarge.error().message();
    capped.maximumBodySize = 4096;
    auto fits = perform(capped);
    ASSERT_TRUE(fits.has_value()) << fits.error().message();
    EXPECT_EQ(fits->data, "final");
}

TEST_F(URLSessionTests, DecodedAnswersAreCappedWhileDownloadsStream)
{
    // Proves a small gzip answer that decodes past the request's cap (or the default cap) fails as too large, while a download of the same answer streams to its file.
    const std::size_t small = std::size_t { 4 } << 20;
    const std::string smallBomb = HostileService::gzipOfZeros(small);
    const std::string bigBomb = HostileService::gzipOfZeros(URLRequest::defaultMaximumBodySize + 1);
    ASSERT_LT(bigBomb.size(), 256u * 1024u);
    HostileService service([&](const HostileService::Request& request) {
        const std::string& body = request.head.starts_with("GET /big ") ? bigBomb : smallBomb;
        return HostileService::answer(200, { "Content-Encoding: gzip", "Content-Type: application/json" }, body);
    });

    URLRequest capped { .url = service.origin() + "/small", .maximumBodySize = small - 1 };
    auto tooLarge = perform(capped);
    ASSERT_FALSE(tooLarge.has_value());
    EXPECT_EQ(tooLarge.error().code(), TransportError::Code::responseTooLarge) << TransportError::name(tooLarge.error().code());

    capped.maximumBodySize = small;
    auto fits = perform(capped);
    ASSERT_TRUE(fits.has_value()) << fits.error().message();
    EXPECT_EQ(fits->data.size(), small);

    auto byDefault = perform({ .url = service.origin() + "/big" });
    ASSERT_FALSE(byDefault.has_value());
    EXPECT_EQ(byDefault.error().code(), TransportError::Code::responseTooLarge);

    std::promise<std::expected<DownloadTaskResponse, TransportError>> done;
    std::uintmax_t downloaded = 0;
    auto task = m_session->downloadTask({ .url = service.origin() + "/big" },
        [&](URLSessionTask&, std::expected<DownloadTaskResponse, TransportError> result) {
            if (result)
                downloaded = std::filesystem::file_size(result->location);
            done.set_value(result);
        });
    task->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    auto download = future.get();
    ASSERT_TRUE(download.has_value()) << download.error().message();
    EXPECT_EQ(downloaded, URLRequest::defaultMaximumBodySize + 1);
}
