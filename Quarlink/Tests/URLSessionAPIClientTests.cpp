#include "ClientTestSupport.hpp"

#include "Quarlink/Client/Progress.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Errors/URLError.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/RemoteErrorValidation.hpp"

#include <atomic>
#include <future>

using namespace Quarlink;
using namespace Quarlink::Testing;
using Reactive::AnyError;

namespace {

using DataRecorder = Recorder<DataResponse, AnyError>;
using StatusRecorder = Recorder<APIClientStatus, Reactive::NoError>;

std::string bodyText(const DataResponse& response)
{
    const auto& bytes = response.data.bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::optional<URLError::Code> urlErrorCode(const AnyError& error)
{
    auto underlying = underlyingError(error);
    if (auto* urlError = underlying.as<URLError>())
        return urlError->code();
    return std::nullopt;
}

class URLSessionAPIClientTests : public ClientFixture {
protected:
    // Waits until the client's status settles on `expected`.
    bool statusBecomes(APIClientStatus expected)
    {
        StatusRecorder status(m_client->status());
        return eventually([&] {
            auto values = status.values();
            return !values.empty() && values.back() == expected;
        });
    }
};

} // namespace

TEST_F(URLSessionAPIClientTests, atMostTwoRequestsReachTheServerAndAWaitingOneCanBeDropped)
{
    // Three gated requests: the server sees two, the third only after one is released; a request
    // disposed while waiting never reaches the server, and the queue drains back to idle.
    m_server->script("GET", "/v2.0/gated", { .status = 200, .body = "ok" });
    auto gate = m_server->addGate("GET", "/v2.0/gated");

    DataRecorder first(m_client->dataProducer(request("/gated"), QueuePriority::normal));
    DataRecorder second(m_client->dataProducer(request("/gated"), QueuePriority::normal));
    DataRecorder third(m_client->dataProducer(request("/gated"), QueuePriority::normal));
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));
    DataRecorder dropped(m_client->dataProducer(request("/status"), QueuePriority::normal));
    dropped.dispose();
    EXPECT_TRUE(statusBecomes(APIClientStatus::busy));
    EXPECT_EQ(m_server->requestCount(), 2u);

    gate->release(1);
    ASSERT_TRUE(m_server->waitForRequestCount(3, 10s));
    gate->open();
    for (auto* recorder : { &first, &second, &third }) {
        ASSERT_TRUE(recorder->waitForTermination());
        ASSERT_TRUE(recorder->completed());
        EXPECT_EQ(bodyText(recorder->values().at(0)), "ok");
        EXPECT_EQ(recorder->values().at(0).response.statusCode(), 200);
    }
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
    EXPECT_LE(m_server->peakInFlight(), 2u);
    for (const auto& logged : m_server->requestLog())
        EXPECT_NE(logged.path, "/v2.0/status");
}

TEST_F(URLSessionAPIClientTests, waitingRequestsStartByPriorityThenInOrder)
{
    // With both places taken, a high-priority request overtakes earlier normal ones, which keep their order.
    m_server->script("GET", "/v2.0/held", { .body = "held" });
    auto gate = m_server->addGate("GET", "/v2.0/held");
    DataRecorder holderA(m_client->dataProducer(request("/held"), QueuePriority::normal));
    DataRecorder holderB(m_client->dataProducer(request("/held"), QueuePriority::normal));
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));

    DataRecorder normal1(m_client->dataProducer(request("/status?n=1"), QueuePriority::normal));
    DataRecorder normal2(m_client->dataProducer(request("/status?n=2"), QueuePriority::normal));
    DataRecorder urgent(m_client->dataProducer(request("/status?n=urgent"), QueuePriority::veryHigh));
    gate->release(1);
    ASSERT_TRUE(urgent.waitForTermination());
    // One place stays held, so the normal requests pass it one at a time and
    // the server sees them in the order the queue started them.
    ASSERT_TRUE(normal1.waitForTermination());
    ASSERT_TRUE(normal2.waitForTermination());
    gate->open();

    std::vector<std::string> order;
    for (const auto& logged : m_server->requestLog()) {
        if (logged.path == "/v2.0/status")
            order.push_back(logged.query.find("n")->second);
    }
    EXPECT_EQ(order, (std::vector<std::string> { "urgent", "1", "2" }));
}

TEST_F(URLSessionAPIClientTests, slowDownloadReportsGrowingProgressAndHandsOverItsFileOnce)
{
    // A 1 MiB download sent slowly: progress starts at 0 and strictly grows below 1, the last event
    // carries a readable temporary file with the bytes, which is still there afterwards for its
    // receiver to remove.
    auto content = randomBytes(1 << 20, 7);
    std::ofstream(m_server->contentPath(7), std::ios::binary) << content;
    m_server->setTransferShaping({ .bytesPerSecond = 8 << 20, .chunkSize = 32 * 1024 });

    std::optional<std::filesystem::path> deliveredFile;
    std::string deliveredBytes;
    Recorder<ProgressEvent<DownloadResponse>, AnyError> download(
        m_client->downloadProgressProducer(request("/debug/raw/7"), QueuePriority::normal, std::nullopt),
        [&](const ProgressEvent<DownloadResponse>& event) {
            if (auto result = event.downloadedValue(); result && result->tempURL) {
                deliveredFile = result->tempURL->path();
                deliveredBytes = readFile(*deliveredFile);
            }
        });
    ASSERT_TRUE(download.waitForTermination());
    ASSERT_TRUE(download.completed());

    auto events = download.values();
    ASSERT_GE(events.size(), 3u);
    ASSERT_TRUE(events.back().isDownloaded());
    EXPECT_EQ(events.front().progressValue(), 0.0);
    double previous = -1;
    for (std::size_t index = 0; index + 1 < events.size(); ++index) {
        auto fraction = events[index].progressValue();
        ASSERT_TRUE(fraction.has_value());
        EXPECT_GT(*fraction, previous);
        EXPECT_LT(*fraction, 1.0);
        previous = *fraction;
    }
    EXPECT_EQ(events.back().downloadedValue()->response.statusCode(), 200);
    ASSERT_TRUE(deliveredFile.has_value());
    EXPECT_TRUE(deliveredBytes == content);
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
    EXPECT_TRUE(readFile(*deliveredFile) == content);
    std::filesystem::remove(*deliveredFile);
    EXPECT_TRUE(downloadFolderIsEmpty());
}

TEST_F(URLSessionAPIClientTests, downloadedFileOutlivesALateDelivery)
{
    // The finished event reaches its receiver only after the client has completed the transfer and
    // let go of it (here: held on a scheduler until the client is idle); the file is still there.
    std::ofstream(m_server->contentPath(6), std::ios::binary) << "late bytes";
    auto scheduler = std::make_shared<Reactive::TestScheduler>();
    Recorder<DownloadResponse, AnyError> download(
        m_client->downloadProducer(request("/debug/raw/6"), QueuePriority::normal).observeOn(scheduler));
    // Both the value and the completion wait on the scheduler: the client is done with the transfer.
    ASSERT_TRUE(eventually([&] { return scheduler->pendingCount() >= 2; }));
    ASSERT_TRUE(statusBecomes(APIClientStatus::idle));
    scheduler->run();

    ASSERT_TRUE(download.waitForTermination());
    ASSERT_TRUE(download.completed());
    ASSERT_EQ(download.values().size(), 1u);
    auto file = download.values()[0].tempURL;
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(readFile(file->path()), "late bytes");
    std::filesystem::remove(file->path());
    EXPECT_TRUE(downloadFolderIsEmpty());
}

TEST_F(URLSessionAPIClientTests, finishedTransfersFreeTheirPlacesBeforeTheirReceiversAreDone)
{
    // Two downloads, then two uploads, hold both places; their receivers keep the values for as
    // long as the test holds them. The request behind them still runs: a place is held for the
    // transfer, not for what the receiver does with its outcome.
    std::ofstream(m_server->contentPath(6), std::ios::binary) << "held bytes";
    auto source = writeSourceFile("upload.bin", "sent bytes");
    const auto runsBehindTwoHeld = [&](auto startTransfer) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> holding { 0 };
        auto hold = [released, &holding](auto&&) {
            ++holding;
            released.wait();
        };
        auto first = startTransfer().startWithValues(hold);
        auto second = startTransfer().startWithValues(hold);
        DataRecorder behind(m_client->dataProducer(request("/status"), QueuePriority::normal));
        const bool bothHeld = eventually([&] { return holding == 2; });
        const bool ranBehind = behind.waitForTermination(10s) && behind.completed();
        release.set_value();
        EXPECT_TRUE(bothHeld);
        EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
        first.dispose();
        second.dispose();
        return ranBehind;
    };
    EXPECT_TRUE(runsBehindTwoHeld([&] { return m_client->downloadProducer(request("/debug/raw/6"), QueuePriority::normal); }));
    EXPECT_TRUE(runsBehindTwoHeld([&] {
        return m_client->uploadProducer(request("/debug/raw/9", "PUT"), Platform::URL::fileURL(source.string()),
            QueuePriority::normal);
    }));
    EXPECT_EQ(readFile(m_server->contentPath(9)), "sent bytes");
}

TEST_F(URLSessionAPIClientTests, failedStatusHandsOverNoFileAndLeavesNone)
{
    // A status of 400 or more delivers the response without a file, which validation turns into the
    // service's error; nothing is left in the download folder.
    m_server->script("GET", "/v2.0/debug/raw/11", { .status = 404, .body = "nicht da" });
    Recorder<DownloadResponse, AnyError> download(m_client->downloadProducer(request("/debug/raw/11"), QueuePriority::normal));
    ASSERT_TRUE(download.waitForTermination());
    ASSERT_TRUE(download.completed());
    ASSERT_EQ(download.values().size(), 1u);
    EXPECT_FALSE(download.values()[0].tempURL.has_value());
    EXPECT_EQ(download.values()[0].response.statusCode(), 404);
    auto validated = validate(download.values()[0]);
    ASSERT_FALSE(validated.has_value());
    EXPECT_TRUE(validated.error().is<RemoteError>());
    EXPECT_TRUE(eventually([&] { return downloadFolderIsEmpty(); }));
}

TEST_F(URLSessionAPIClientTests, cutDownloadHandsOverNoFile)
{
    // A connection cut after the response head yields the response without any file, which the
    // default validation rejects as an invalid download, and leaves no file behind.
    std::ofstream(m_server->contentPath(8), std::ios::binary) << randomBytes(512 * 1024, 8);
    m_server->setTransferShaping({ .cutAfterBytes = 100 * 1024 });

    Recorder<DownloadResponse, AnyError> download(m_client->downloadProducer(request("/debug/raw/8"), QueuePriority::normal));
    ASSERT_TRUE(download.waitForTermination());
    ASSERT_EQ(download.values().size(), 1u);
    EXPECT_FALSE(download.values()[0].tempURL.has_value());
    auto validated = validate(download.values()[0]);
    ASSERT_FALSE(validated.has_value());
    ASSERT_TRUE(validated.error().is<APIClientError>());
    EXPECT_EQ(validated.error().as<APIClientError>()->errorCase(), APIClientError::Case::invalidDownload);
    EXPECT_TRUE(downloadFolderIsEmpty());
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
}

TEST_F(URLSessionAPIClientTests, uploadArrivesByteForByteAndReportsToTheCurrentProgress)
{
    // A 3 MiB upload reaches the service unchanged, and the progress current while the stream was
    // made sees it through to the end.
    auto content = randomBytes(3 << 20, 3);
    auto source = writeSourceFile("upload.bin", content);
    auto parent = Progress::make(1);
    parent->becomeCurrent(1);
    auto upload = m_client->uploadProducer(request("/debug/raw/9", "PUT"), Platform::URL::fileURL(source.string()),
        QueuePriority::normal);
    parent->resignCurrent();

    DataRecorder recorder(upload);
    ASSERT_TRUE(recorder.waitForTermination());
    ASSERT_TRUE(recorder.completed()) << (recorder.error() ? recorder.error()->description() : "");
    EXPECT_EQ(recorder.values().at(0).response.statusCode(), 200);
    EXPECT_TRUE(readFile(m_server->contentPath(9)) == content);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 1.0);
}

TEST_F(URLSessionAPIClientTests, missingUploadSourceFailsAndFreesItsPlace)
{
    // Uploads of a file that does not exist fail, and the places they held go to the next request.
    auto missing = Platform::URL::fileURL((m_root / "files" / "absent.bin").string());
    DataRecorder firstUpload(m_client->uploadProducer(request("/debug/raw/1", "PUT"), missing, QueuePriority::normal));
    DataRecorder secondUpload(m_client->uploadProducer(request("/debug/raw/2", "PUT"), missing, QueuePriority::normal));
    DataRecorder after(m_client->dataProducer(request("/status"), QueuePriority::normal));

    for (auto* upload : { &firstUpload, &secondUpload }) {
        ASSERT_TRUE(upload->waitForTermination());
        ASSERT_TRUE(upload->error().has_value());
        EXPECT_EQ(urlErrorCode(*upload->error()), URLError::Code::fileDoesNotExist);
        EXPECT_EQ(reason(*upload->error()), "Die Aktion konnte nicht durchgeführt werden.");
    }
    ASSERT_TRUE(after.waitForTermination());
    EXPECT_TRUE(after.completed());
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
}

TEST_F(URLSessionAPIClientTests, resetCancelsRunningTransfersClearsCookiesAndContinuesOnANewSession)
{
    // Two running transfers fail as cancelled with the German reason, the login cookie is gone, and
    // the next request succeeds.
    m_server->script("GET", "/v2.0/login", { .headers = { { "Set-Cookie", "session=abc; Path=/" } }, .body = "{}" });
    DataRecorder login(m_client->dataProducer(request("/login"), QueuePriority::normal));
    ASSERT_TRUE(login.waitForTermination());
    DataRecorder withCookie(m_client->dataProducer(request("/status"), QueuePriority::normal));
    ASSERT_TRUE(withCookie.waitForTermination());
    ASSERT_EQ(m_server->requestLog().back().header("Cookie"), "session=abc");

    std::ofstream(m_server->contentPath(4), std::ios::binary) << randomBytes(64 * 1024, 4);
    auto downloadGate = m_server->addGate("GET", "/v2.0/debug/raw/4");
    auto uploadGate = m_server->addGate("PUT", "/v2.0/debug/raw/5");
    auto source = writeSourceFile("small.bin", "small upload");
    Recorder<DownloadResponse, AnyError> download(m_client->downloadProducer(request("/debug/raw/4"), QueuePriority::normal));
    DataRecorder upload(m_client->uploadProducer(request("/debug/raw/5", "PUT"),
        Platform::URL::fileURL(source.string()), QueuePriority::normal));
    ASSERT_TRUE(downloadGate->waitForWaiting(1, 10s));
    ASSERT_TRUE(uploadGate->waitForWaiting(1, 10s));

    m_client->cancelRequestsAndResetSession();
    ASSERT_TRUE(download.waitForTermination());
    ASSERT_TRUE(upload.waitForTermination());
    ASSERT_TRUE(download.error().has_value());
    ASSERT_TRUE(upload.error().has_value());
    EXPECT_EQ(reason(*download.error()), "Die Aktion wurde abgebrochen.");
    EXPECT_EQ(reason(*upload.error()), "Die Aktion wurde abgebrochen.");
    EXPECT_EQ(subject(*upload.error()), "Aufruf fehlgeschlagen.");
    EXPECT_EQ(urlErrorCode(*download.error()), URLError::Code::cancelled);
    downloadGate->open();
    uploadGate->open();

    DataRecorder next(m_client->dataProducer(request("/status"), QueuePriority::normal));
    ASSERT_TRUE(next.waitForTermination());
    ASSERT_TRUE(next.completed());
    EXPECT_EQ(m_server->requestLog().back().path, "/v2.0/status");
    EXPECT_FALSE(m_server->requestLog().back().header("Cookie").has_value());
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
}

TEST_F(URLSessionAPIClientTests, requestsWaitingAtAResetFailAsCancelledWithoutReachingTheServer)
{
    // Requests queued behind two held ones when the session is reset end as cancelled and never
    // reach the server; the queue does not stall.
    m_server->script("GET", "/v2.0/held", { .body = "held" });
    auto gate = m_server->addGate("GET", "/v2.0/held");
    DataRecorder holderA(m_client->dataProducer(request("/held"), QueuePriority::normal));
    DataRecorder holderB(m_client->dataProducer(request("/held"), QueuePriority::normal));
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));
    DataRecorder waiting(m_client->dataProducer(request("/status?waiting=1"), QueuePriority::normal));

    m_client->cancelRequestsAndResetSession();
    for (auto* recorder : { &holderA, &holderB, &waiting }) {
        ASSERT_TRUE(recorder->waitForTermination());
        ASSERT_TRUE(recorder->error().has_value());
        EXPECT_EQ(urlErrorCode(*recorder->error()), URLError::Code::cancelled);
    }
    gate->open();
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
    for (const auto& logged : m_server->requestLog())
        EXPECT_NE(logged.path, "/v2.0/status");
}

TEST_F(URLSessionAPIClientTests, statusFollowsReachabilityAndTheQueue)
{
    // Not reachable gives notConnected even with work queued; reachable gives busy while a request
    // is queued or running and idle otherwise.
    Recorder<ReachabilityStatus, Reactive::NoError> reachability(m_client->reachabilityStatus());
    ASSERT_TRUE(reachability.waitForValues(1));
    EXPECT_EQ(reachability.values().front(), ReachabilityStatus::reachable);
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));

    m_reachability->report(Platform::HostReachability::notReachable);
    EXPECT_TRUE(statusBecomes(APIClientStatus::notConnected));
    m_server->script("GET", "/v2.0/held", { .body = "held" });
    auto gate = m_server->addGate("GET", "/v2.0/held");
    DataRecorder held(m_client->dataProducer(request("/held"), QueuePriority::normal));
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    EXPECT_TRUE(statusBecomes(APIClientStatus::notConnected));

    m_reachability->report(Platform::HostReachability::reachable);
    EXPECT_TRUE(statusBecomes(APIClientStatus::busy));
    gate->open();
    ASSERT_TRUE(held.waitForTermination());
    EXPECT_TRUE(statusBecomes(APIClientStatus::idle));
    EXPECT_EQ(reachability.values(), (std::vector<ReachabilityStatus> { ReachabilityStatus::reachable,
                                         ReachabilityStatus::notReachable, ReachabilityStatus::reachable }));
}

TEST_F(URLSessionAPIClientTests, transportFailuresCarryTheirGermanReasons)
{
    // A closed port, a redirect loop and a silent server fail with their own transport errors and texts.
    Platform::URLSessionConfiguration configuration;
    configuration.maximumRedirects = 3;
    configuration.idleTimeout = std::chrono::seconds(1);
    auto client = makeClient(configuration);
    m_server->script("GET", "/v2.0/silent", { .body = "late" });
    auto gate = m_server->addGate("GET", "/v2.0/silent");

    struct Case {
        Platform::URLRequest request;
        URLError::Code code;
        std::string reason;
    };
    std::vector<Case> cases {
        { { .url = "http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/v2.0/status" },
            URLError::Code::cannotConnectToHost, "Serververbindung konnte nicht hergestellt werden." },
        { request("/debug/redirect-loop"), URLError::Code::httpTooManyRedirects, "Zu viele Redirects." },
        { request("/silent"), URLError::Code::timedOut, "Zeitüberschreitung der Anforderung." },
    };
    for (const auto& failure : cases) {
        DataRecorder recorder(client->dataProducer(failure.request, QueuePriority::normal));
        ASSERT_TRUE(recorder.waitForTermination()) << failure.reason;
        ASSERT_TRUE(recorder.error().has_value()) << failure.reason;
        EXPECT_EQ(urlErrorCode(*recorder.error()), failure.code);
        EXPECT_EQ(reason(*recorder.error()), failure.reason);
        EXPECT_EQ(subject(*recorder.error()), "Aufruf fehlgeschlagen.");
    }
    gate->open();
}

TEST_F(URLSessionAPIClientTests, endpointIsReadAtEachCallAndStreamsDoNotKeepTheClient)
{
    // A changed environment shows at the next read; a stream started after its client is gone ends as interrupted.
    auto other = *Platform::URL::create("http://127.0.0.1:1/v2.0");
    m_endpointStore->setCurrentEndpoint(std::make_shared<Environment>(Environment::custom(other)));
    EXPECT_EQ(m_client->endpoint()->baseURL(), other);
    EXPECT_EQ(m_client->environment()->baseURL(), other);

    auto producer = m_client->dataProducer(request("/status"), QueuePriority::normal);
    m_client.reset();
    bool interrupted = false;
    producer.startWithInterrupted([&] { interrupted = true; });
    EXPECT_TRUE(interrupted);
}

TEST_F(URLSessionAPIClientTests, creationNeedsAHostAndUserInfosAreKept)
{
    // A base URL without a host cannot be watched, so no client is made; user infos are kept per key.
    m_endpointStore->setCurrentEndpoint(std::make_shared<Environment>(Environment::custom(Platform::URL::fileURL("/tmp/x"))));
    auto failed = URLSessionAPIClient::create({}, std::make_shared<InMemoryCredentialStore>(), m_endpointStore);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message, "reachability observer couldn't be instantiated");

    m_client->setUserInfo("worldID", std::string("world"));
    EXPECT_EQ(std::any_cast<std::string>(m_client->userInfo("worldID")), "world");
    EXPECT_FALSE(m_client->userInfo("refresher").has_value());
    EXPECT_EQ(m_client->userInfos().size(), 1u);
    m_client->setUserInfo("worldID", std::any());
    EXPECT_TRUE(m_client->userInfos().empty());
}

TEST_F(URLSessionAPIClientTests, uploadTasksListTheRunningUploadUntilItEnds)
{
    // While an upload sends its body, the client's upload list holds its task; once it ended, the list is empty.
    auto gate = m_server->addGate("PUT", "/v2.0/debug/raw/6");
    auto source = writeSourceFile("listed.bin", randomBytes(3 << 20, 6));
    Recorder<std::vector<std::shared_ptr<Platform::URLSessionTask>>, Reactive::NoError> lists(m_client->uploadTasks());
    DataRecorder upload(m_client->uploadProducer(request("/debug/raw/6", "PUT"),
        Platform::URL::fileURL(source.string()), QueuePriority::normal));

    ASSERT_TRUE(eventually([&] {
        auto values = lists.values();
        return !values.empty() && values.back().size() == 1
            && values.back()[0]->kind() == Platform::URLSessionTask::Kind::upload;
    }));
    gate->open();
    ASSERT_TRUE(upload.waitForTermination());
    EXPECT_TRUE(upload.completed());
    EXPECT_TRUE(eventually([&] { return lists.values().back().empty(); }));
}

TEST_F(URLSessionAPIClientTests, destroyingTheClientEndsRunningAndWaitingRequests)
{
    // Requests running or still waiting when the client goes end as cancelled instead of hanging.
    m_server->script("GET", "/v2.0/held", { .body = "held" });
    auto gate = m_server->addGate("GET", "/v2.0/held");
    DataRecorder holderA(m_client->dataProducer(request("/held"), QueuePriority::normal));
    DataRecorder holderB(m_client->dataProducer(request("/held"), QueuePriority::normal));
    ASSERT_TRUE(gate->waitForWaiting(2, 10s));
    DataRecorder waiting(m_client->dataProducer(request("/status"), QueuePriority::normal));

    m_client.reset();
    for (auto* recorder : { &holderA, &holderB, &waiting }) {
        ASSERT_TRUE(recorder->waitForTermination());
        ASSERT_TRUE(recorder->error().has_value());
        EXPECT_EQ(urlErrorCode(*recorder->error()), URLError::Code::cancelled);
    }
    gate->open();
}
