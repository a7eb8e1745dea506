// The file operations against the local service on loopback, with answers scripted where the
// service has no route yet: what goes out (method, path, query, headers), what comes back, how
// batches follow one another, and what an operation its arguments cannot make does (nothing).

#include "Quarlink/Envelope/QuotaAnnouncement.hpp"
#include "Quarlink/Envelope/RequestFailureNotification.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Tests/PipelineFixture.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"

#include <atomic>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

std::string fileObject(std::int64_t identifier, const std::string& name = "a.txt")
{
    return R"({"id":)" + std::to_string(identifier) + R"(,"parent_file_id":1,"path":"/)" + name + R"(","name":")" + name
        + R"(","has_private_shares":false,"has_public_shares":false,"is_share_allowed_private":true,"is_share_allowed_public":true,)"
        + R"("share_with":0,"created":1,"modified":2,"mime_type":"text/plain","file_size":3,"file_hash":"","etag":"e"})";
}

std::string envelope(const std::string& data, bool withQuota = true)
{
    return R"({"data":)" + data + (withQuota ? R"(,"meta":{"quota":{"used":5,"total":10}}})" : "}");
}

class RemoteFileOperationsTests : public PipelineFixture {
protected:
    void SetUp() override
    {
        PipelineFixture::SetUp();
        m_failures = errorInfos(client().get()).startWithValues([this](const RequestErrorInfo&) { ++m_failureCount; });
        m_quotas = receivedQuota(client().get()).startWithValues([this](const Quota&) { ++m_quotaCount; });
    }
    void TearDown() override
    {
        m_failures.dispose();
        m_quotas.dispose();
        PipelineFixture::TearDown();
    }

    template<class V>
    std::vector<Reactive::Event<V, Reactive::AnyError>> runAndWait(const Reactive::SignalProducer<V, Reactive::AnyError>& producer)
    {
        return run(producer);
    }

    Reactive::AnyDisposable m_failures;
    Reactive::AnyDisposable m_quotas;
    std::atomic<int> m_failureCount { 0 };
    std::atomic<int> m_quotaCount { 0 };
};

} // namespace

TEST_F(RemoteFileOperationsTests, recursiveListingGoesOutAndComesBack)
{
    // GET files?depth=-1 with the standard headers; the files decode and the quota is announced.
    m_server->script("GET", "/v2.0/files", { .body = envelope("[" + fileObject(2) + "," + fileObject(3, "b.txt") + "]") }, 1);
    auto events = run(recursiveFiles(client()));
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(events[0].isValue());
    EXPECT_EQ(fileIDs(events[0].value().payload()), (std::vector<std::int64_t> { 2, 3 }));
    EXPECT_EQ(events[0].value().quota(), (Quota { 5, 10 }));
    EXPECT_TRUE(events[1].isCompleted());
    auto sent = m_server->requestLog().at(0);
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.path, "/v2.0/files");
    EXPECT_EQ(sent.query, (std::multimap<std::string, std::string> { { "depth", "-1" } }));
    EXPECT_EQ(sent.header("Content-Type"), "text/plain");
    EXPECT_TRUE(sent.header("User-Agent").has_value());
    EXPECT_EQ(m_quotaCount.load(), 1);

    // Without "meta" the listing still succeeds and announces nothing.
    m_server->script("GET", "/v2.0/files/recents", { .body = envelope("[]", false) }, 1);
    auto recents = run(recentFiles(client()));
    ASSERT_TRUE(recents[0].isValue());
    EXPECT_FALSE(recents[0].value().quota().has_value());
    EXPECT_EQ(m_quotaCount.load(), 1);
}

TEST_F(RemoteFileOperationsTests, batchesRunOneAfterAnother)
{
    // 7 identifiers by 3: three requests in order, three packages in order, at most one in flight.
    m_server->script("POST", "/v2.0/files/getter", { .body = envelope("[" + fileObject(1) + "]") }, 3);
    auto events = run(filesInBatches(client(), { 1, 2, 3, 4, 5, 6, 7 }, 3));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[3].isCompleted());
    EXPECT_EQ(m_server->requestCount(), 3u);
    EXPECT_EQ(m_server->peakInFlight(), 1u);
    for (const auto& sent : m_server->requestLog())
        EXPECT_EQ(sent.header("Content-Type"), "application/json");
}

TEST_F(RemoteFileOperationsTests, aFailedBatchEndsTheStream)
{
    // The second of three batches fails: the first package arrives, then the failure; the third is never sent.
    m_server->script("POST", "/v2.0/files/getter", { .body = envelope("[]") }, 1);
    m_server->script("POST", "/v2.0/files/getter",
        { .status = 404, .headers = { { "X-Error-Code", "5004" }, { "X-Error-Message", "weg" } } }, 1);
    m_server->script("POST", "/v2.0/files/getter", { .body = envelope("[]") }, 1);
    auto events = run(filesInBatches(client(), { 1, 2, 3, 4, 5, 6, 7 }, 3));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].isValue());
    ASSERT_TRUE(events[1].isFailed());
    EXPECT_TRUE(RemoteError::matches(underlyingError(events[1].error()), RemoteError::Case::fileNotFound));
    EXPECT_EQ(m_server->requestCount(), 2u);
}

TEST_F(RemoteFileOperationsTests, emptyAndNegativeBatches)
{
    // No identifiers or a negative size: no request and completion; one request with an empty list in one go.
    auto empty = run(filesInBatches(client(), {}, 3));
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_TRUE(empty[0].isCompleted());
    auto negative = run(filesInBatches(client(), { 1, 2 }, -2));
    ASSERT_EQ(negative.size(), 1u);
    EXPECT_TRUE(negative[0].isCompleted());
    EXPECT_EQ(m_server->requestCount(), 0u);

    m_server->script("POST", "/v2.0/files/getter", { .body = envelope("[]") }, 1);
    auto single = run(files(client(), std::vector<std::int64_t> {}));
    EXPECT_TRUE(single[0].isValue());
    EXPECT_EQ(m_server->requestCount(), 1u);
}

TEST_F(RemoteFileOperationsTests, requestsTheirArgumentsCannotMakeSendNothing)
{
    // A batch size of 0 and a time that is not finite or beyond 64 bits fail with invalidRequest, unsent and unreported.
    std::vector<Reactive::SignalProducer<CloudMetaPackage<std::vector<File>>, Reactive::AnyError>> producers {
        filesInBatches(client(), { 1 }, 0), photosInBatches(client(), 0), filesChangedSince(client(), std::nan("")),
        filesChangedSince(client(), HUGE_VAL), filesChangedSince(client(), 1e19), filesChangedSince(client(), -1e19) };
    for (const auto& producer : producers) {
        auto events = run(producer);
        ASSERT_EQ(events.size(), 1u);
        ASSERT_TRUE(events[0].isFailed());
        const auto* error = events[0].error().as<APIClientError>();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(*error, APIClientError::invalidRequest());
    }
    EXPECT_EQ(m_server->requestCount(), 0u);
    EXPECT_EQ(m_failureCount.load(), 0);

    // However the delta request is made, it is refused the same way.
    for (double stamp : { std::nan(""), HUGE_VAL, -HUGE_VAL, 1e19 }) {
        auto events = run(perform(FilesDeltaRequest { stamp }, client()));
        ASSERT_EQ(events.size(), 1u);
        ASSERT_TRUE(events[0].isFailed());
        const auto* error = events[0].error().as<APIClientError>();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(*error, APIClientError::invalidRequest());
    }
    EXPECT_EQ(m_server->requestCount(), 0u);
}

TEST_F(RemoteFileOperationsTests, photosInBatches)
{
    // No photos: only the identifier request, and one package without files but with its quota.
    m_server->script("GET", "/v2.0/files/photos/ids", { .body = envelope("[]") }, 1);
    auto none = run(photosInBatches(client(), 2));
    ASSERT_EQ(none.size(), 2u);
    EXPECT_TRUE(none[0].value().payload().empty());
    EXPECT_EQ(none[0].value().quota(), (Quota { 5, 10 }));
    EXPECT_EQ(m_server->requestCount(), 1u);

    // Three photos by two: the identifiers, then two getter batches.
    m_server->script("GET", "/v2.0/files/photos/ids", { .body = envelope("[4,5,6]") }, 1);
    m_server->script("POST", "/v2.0/files/getter", { .body = envelope("[" + fileObject(4) + "]") }, 2);
    auto some = run(photosInBatches(client(), 2));
    ASSERT_EQ(some.size(), 3u);
    EXPECT_EQ(m_server->requestCount(), 4u);

    // A file object among the identifiers fails the decoding.
    m_server->script("GET", "/v2.0/files/photos/ids", { .body = envelope("[" + fileObject(4) + "]") }, 1);
    auto broken = run(photoIDs(client()));
    EXPECT_TRUE(broken.back().isFailed());
}

TEST_F(RemoteFileOperationsTests, singleFileFolderAndRename)
{
    // The paths and methods of the single-file operations; the etag answer keeps only identifier and etag.
    m_server->script("GET", "/v2.0/files/7", { .body = envelope(fileObject(7)) }, 2);
    EXPECT_EQ(run(file(client(), 7))[0].value().payload().fileID(), 7);
    EXPECT_EQ(run(etag(client(), 7))[0].value().payload(), (EtagResponse { 7, "e" }));
    m_server->script("POST", "/v2.0/files/folders", { .body = envelope(fileObject(8, "Neu")) }, 1);
    EXPECT_EQ(run(createFolder(client(), "Neu", 1))[0].value().payload().fileName(), "Neu");
    m_server->script("PUT", "/v2.0/files/42", { .body = envelope(fileObject(42, "b.txt")) }, 1);
    EXPECT_EQ(run(rename(client(), 42, "b.txt"))[0].value().payload().fileName(), "b.txt");
    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].method, "POST");
    EXPECT_EQ(log[2].header("Content-Type"), "application/json");
    EXPECT_EQ(log[3].method, "PUT");
    EXPECT_EQ(log[3].path, "/v2.0/files/42");
}

TEST_F(RemoteFileOperationsTests, partialDeleteAndMoveSucceed)
{
    // Per-item failures are data: the operations succeed with them.
    m_server->script("POST", "/v2.0/files/deleter", { .body = envelope(R"({"success":[1],"errors":[{"code":5004}]})") }, 1);
    auto deleted = run(delete_(client(), std::vector<std::int64_t> { 1, 2 }));
    ASSERT_TRUE(deleted[0].isValue());
    EXPECT_EQ(deleted[0].value().payload().deletedFileIDs, (std::set<std::int64_t> { 1 }));
    EXPECT_EQ(deleted[0].value().payload().errors.at(0), RemoteError(RemoteError::Case::fileNotFound));
    m_server->script("POST", "/v2.0/files/mover", { .body = envelope(R"({"success":[],"errors":[7]})") }, 1);
    auto moved = run(move(client(), File({ .fileID = 7 }), File({ .fileID = 9 })));
    ASSERT_TRUE(moved[0].isValue());
    EXPECT_EQ(moved[0].value().payload().failedFileIDs, (std::vector<std::int64_t> { 7 }));
}

TEST_F(RemoteFileOperationsTests, uploadAnnouncesThenTransfers)
{
    // "upload" present (even false): the content follows with its request hash; absent: the announced file, no PUT.
    writeFile(m_root / "local" / "a.txt", "abc");
    auto fileURL = Platform::URL::fileURL((m_root / "local" / "a.txt").string());
    auto record = *Upload::create(1, fileURL);

    m_server->script("POST", "/v2.0/files/init", { .body = R"({"upload":false,"data":)" + fileObject(42) + "}" }, 1);
    m_server->script("PUT", "/v2.0/files/42/stream", { .body = envelope(fileObject(42)) }, 1);
    auto uploaded = run(upload(client(), fileURL, 1));
    ASSERT_TRUE(uploaded[0].isValue());
    EXPECT_EQ(uploaded[0].value().payload().fileID(), 42);
    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "/v2.0/files/init");
    EXPECT_EQ(log[1].method, "PUT");
    EXPECT_EQ(log[1].path, "/v2.0/files/42/stream");
    EXPECT_EQ(log[1].header("Request-Hash"), record.requestHash());
    EXPECT_EQ(log[1].header("Content-Type"), "text/plain");

    m_server->script("POST", "/v2.0/files/init", { .body = R"({"data":)" + fileObject(43) + "}" }, 1);
    auto quotasBefore = m_quotaCount.load();
    auto existing = run(upload(client(), record));
    ASSERT_TRUE(existing[0].isValue());
    EXPECT_EQ(existing[0].value().payload().fileID(), 43);
    EXPECT_FALSE(existing[0].value().quota().has_value());
    EXPECT_EQ(m_server->requestCount(), 3u);
    EXPECT_EQ(m_quotaCount.load(), quotasBefore);
}

TEST_F(RemoteFileOperationsTests, failedAnnouncementAndMissingFile)
{
    // No transfer after a failed announcement; a missing local file sends nothing at all.
    writeFile(m_root / "local" / "a.txt", "abc");
    m_server->script("POST", "/v2.0/files/init", { .status = 507, .headers = { { "X-Error-Code", "5013" }, { "X-Error-Message", "voll" } } }, 1);
    auto failed = run(upload(client(), Platform::URL::fileURL((m_root / "local" / "a.txt").string()), 1));
    ASSERT_TRUE(failed.back().isFailed());
    EXPECT_EQ(m_server->requestCount(), 1u);

    auto missing = run(upload(client(), Platform::URL::fileURL((m_root / "local" / "missing.txt").string()), 1));
    ASSERT_EQ(missing.size(), 1u);
    ASSERT_TRUE(missing[0].isFailed());
    EXPECT_TRUE(missing[0].error().is<Platform::FileSystemError>());
    auto overwriting = run(overwrite(client(), 5, 1, Platform::URL::fileURL((m_root / "local" / "missing.txt").string())));
    EXPECT_TRUE(overwriting[0].isFailed());
    EXPECT_EQ(m_server->requestCount(), 1u);
}

TEST_F(RemoteFileOperationsTests, overwriteSendsOnlyTheTransfer)
{
    // The PUT goes to the given identifier with the hash of the given folder, name and content.
    writeFile(m_root / "local" / "a.txt", "new");
    auto fileURL = Platform::URL::fileURL((m_root / "local" / "a.txt").string());
    m_server->script("PUT", "/v2.0/files/5/stream", { .body = envelope(fileObject(5)) }, 1);
    auto events = run(overwrite(client(), 5, 77, fileURL));
    ASSERT_TRUE(events[0].isValue());
    auto log = m_server->requestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].header("Request-Hash"), Upload::create(77, fileURL)->requestHash());
}
