#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"
#include "Platform/Network/Tests/LoopbackServiceFixture.hpp"

using namespace Platform;
using namespace Platform::Testing;
using namespace std::chrono_literals;

namespace {

using LocalCloudServerTests = LoopbackServiceFixture;

} // namespace

TEST_F(LocalCloudServerTests, ScriptedAnswerReplacesTheRouteForItsCount)
{
    // Proves a script answers exactly as often as asked, with its status and headers, and the route answers afterwards.
    m_server->script("GET", "/v2.0/status",
        { .status = 503, .headers = { { "X-Error-Code", "7000" }, { "X-Error-Message", "Rate limit" } } }, 1);
    auto scripted = perform({ .url = url("/status") });
    ASSERT_TRUE(scripted.has_value());
    EXPECT_EQ(scripted->response.statusCode, 503);
    EXPECT_EQ(scripted->response.headers.value("X-Error-Code"), "7000");
    EXPECT_EQ(scripted->response.headers.value("X-Error-Message"), "Rate limit");
    auto normal = perform({ .url = url("/status") });
    ASSERT_TRUE(normal.has_value());
    EXPECT_EQ(normal->response.statusCode, 200);
}

TEST_F(LocalCloudServerTests, UnknownRouteAndMissingContentAnswerWithServiceErrors)
{
    // Proves failures carry the service's error headers, so a client can tell them apart.
    auto unknown = perform({ .url = url("/no/such/route?x=1") });
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(unknown->response.statusCode, 404);
    EXPECT_TRUE(unknown->response.headers.contains("X-Error-Code"));
    auto missing = perform({ .url = url("/debug/raw/31") });
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->response.headers.value("X-Error-Code"), "5004");
    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/v2.0/no/such/route");
    EXPECT_EQ(log[0].query.find("x")->second, "1");
}

TEST_F(LocalCloudServerTests, InFlightCountsHeldRequestsAndCutTransfers)
{
    // Proves the in-flight counter sees held requests, peaks at their number, and drops back to zero, also after a cut transfer.
    auto gate = m_server->addGate("GET", "/v2.0/status");
    std::atomic<int> completed { 0 };
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    for (int index = 0; index < 2; ++index) {
        tasks.push_back(m_session->dataTask({ .url = url("/status") },
            [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError>) { ++completed; }));
        tasks.back()->resume();
    }
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));
    EXPECT_EQ(m_server->inFlight(), 2u);
    gate->open();
    ASSERT_TRUE(m_server->waitForInFlight(0, 10s));
    EXPECT_EQ(m_server->peakInFlight(), 2u);

    writeFile(m_server->contentPath(5), randomBytes(512 * 1024, 5));
    m_server->setTransferShaping({ .cutAfterBytes = 100 });
    std::promise<bool> done;
    auto download = m_session->downloadTask({ .url = url("/debug/raw/5") },
        [&](URLSessionTask&, std::expected<DownloadTaskResponse, TransportError> result) { done.set_value(result.has_value()); });
    download->resume();
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(future.get());
    EXPECT_TRUE(m_server->waitForInFlight(0, 10s));
}

TEST_F(LocalCloudServerTests, UploadedContentDownloadsUnchanged)
{
    // Proves content stored by the upload route comes back byte for byte from the download route.
    const auto content = randomBytes(200 * 1024 + 7, 9);
    auto source = m_root / "source.bin";
    writeFile(source, content);
    std::promise<long> uploaded;
    auto upload = m_session->uploadTask({ .url = url("/debug/raw/42"), .method = "PUT" }, source,
        [&](URLSessionTask&, std::expected<DataTaskResponse, TransportError> result) {
            uploaded.set_value(result ? result->response.statusCode : -1);
        });
    upload->resume();
    auto uploadFuture = uploaded.get_future();
    ASSERT_EQ(uploadFuture.wait_for(20s), std::future_status::ready);
    ASSERT_EQ(uploadFuture.get(), 200);
    EXPECT_FALSE(std::filesystem::exists(m_server->contentPath(42).string() + ".part"));

    std::promise<std::string> downloaded;
    auto download = m_session->downloadTask({ .url = url("/debug/raw/42") },
        [&](URLSessionTask&, std::expected<DownloadTaskResponse, TransportError> result) {
            downloaded.set_value(result ? readFile(result->location) : std::string("failed"));
        });
    download->resume();
    auto downloadFuture = downloaded.get_future();
    ASSERT_EQ(downloadFuture.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(downloadFuture.get(), content);
}

TEST(RequestBodyTests, BodiesBeyondTheLimitAreNotHeld)
{
    // Proves a body larger than the service holds reads as empty, so routes answer it as unreadable instead of growing without bound.
    httplib::Request request;
    request.body = std::string(LocalCloud::RequestBody::maximumBytes, '{');
    EXPECT_EQ(LocalCloud::RequestBody {}.readAll(request).size(), LocalCloud::RequestBody::maximumBytes);
    request.body += '}';
    EXPECT_TRUE(LocalCloud::RequestBody {}.readAll(request).empty());

    // The same bound holds for a body that arrives in pieces: the piece that would pass it stops the reading.
    auto streamed = [](std::size_t total) {
        std::size_t delivered = 0;
        httplib::ContentReader reader(
            [&](httplib::ContentReceiver receiver) {
                const std::string piece(1 << 20, '{');
                while (delivered < total) {
                    auto length = std::min(piece.size(), total - delivered);
                    delivered += length;
                    if (!receiver(piece.data(), length))
                        return false;
                }
                return true;
            },
            [](httplib::MultipartContentHeader, httplib::ContentReceiver) { return false; });
        LocalCloud::RequestBody body { .reader = &reader };
        return body.readAll(httplib::Request {}).size();
    };
    EXPECT_EQ(streamed(LocalCloud::RequestBody::maximumBytes), LocalCloud::RequestBody::maximumBytes);
    EXPECT_EQ(streamed(LocalCloud::RequestBody::maximumBytes + 1), 0u);
}
