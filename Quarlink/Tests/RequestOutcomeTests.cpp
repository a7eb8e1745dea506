// What performed requests deliver and announce, against the local service: parsed results, placed downloads, quotas and failure records.

#include "PipelineFixture.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/URLError.hpp"
#include "Quarlink/Requests/ClientAnnouncements.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

// GET on a scripted path, parsed by the default for `Value`.
template<class Value>
struct Fetch {
    using SuccessValue = Value;
    std::string route;
    std::string path() const { return route; }
};

struct EnvelopedFetch {
    using SuccessValue = CloudMetaPackage<std::vector<std::int64_t>>;
    static constexpr RequestTraits traits { .enveloped = true };
    std::string path() const { return "listing"; }
};

struct FileDownload {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::download,
        .overrides = { RequestMember::expectedSize, RequestMember::customHeaders } };
    std::int64_t fileID;
    std::string fileName;
    std::optional<Platform::URL> targetFolder;
    bool overwrite = true;
    std::string path() const { return "debug/raw/" + std::to_string(fileID); }
    std::optional<Platform::URL> destinationURL() const
    {
        if (!targetFolder)
            return std::nullopt;
        return targetFolder->appendingPathComponent(std::to_string(fileID)).appendingPathComponent(fileName);
    }
    bool shouldOverwrite() const { return overwrite; }
    std::optional<std::int64_t> expectedSize() const { return std::nullopt; }
    HTTPHeaderFields customHeaders() const { return { { "Accept-Encoding", "deflate" } }; }
};

struct MoveFiles {
    using SuccessValue = CloudMetaPackage<JSON>;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .enveloped = true, .overrides = { RequestMember::method } };
    std::vector<std::int64_t> fileIDs;
    std::string path() const { return "files/move"; }
    HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const { writer.encode("fileIDs", fileIDs); }
};

struct Login {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON,
        .overrides = { RequestMember::method, RequestMember::redactedForReport } };
    std::string world;
    std::string login;
    std::string password;
    std::string path() const { return "login"; }
    HTTPMethod method() const { return HTTPMethod::post; }
    Login redactedForReport() const { return Login { world, "...", "..." }; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("world", world);
        writer.encode("login", login);
        writer.encode("password", password);
    }
};

struct ErrorReport {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .reportsFailures = false, .overrides = { RequestMember::method } };
    std::string path() const { return "log/error"; }
    HTTPMethod method() const { return HTTPMethod::post; }
};

Platform::Data png(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint8_t> data { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R' };
    for (auto value : { width, height }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            data.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    data.insert(data.end(), { 8, 6, 0, 0, 0 });
    return Platform::Data(std::move(data));
}

template<class T>
class Collected {
public:
    explicit Collected(Reactive::SignalProducer<T, Reactive::NoError> producer)
        : m_started(producer.startWithValues([this](const T& value) {
            std::lock_guard lock(m_mutex);
            m_values.push_back(value);
        }))
    {
    }
    ~Collected() { m_started.dispose(); }
    std::vector<T> values() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<T> m_values;
    Reactive::AnyDisposable m_started;
};

class RequestOutcomeTests : public PipelineFixture {
protected:
    void script(const std::string& path, std::string body, int status = 200, std::vector<std::pair<std::string, std::string>> headers = {})
    {
        m_server->script("GET", "/v2.0/" + path, { .status = status, .headers = std::move(headers), .body = std::move(body) }, 1);
    }
};

} // namespace

TEST_F(RequestOutcomeTests, ParsingDefaultsByResultType)
{
    // Decodable, empty, text and image results from real responses; an empty body for a decodable result is a decoding error.
    script("numbers", R"({"data":[1,2,3]})");
    auto numbers = run(perform(Fetch<CloudMetaPackage<std::vector<std::int64_t>>> { "numbers" }, client()));
    ASSERT_TRUE(numbers.front().isValue());
    EXPECT_EQ(numbers.front().value().payload(), (std::vector<std::int64_t> { 1, 2, 3 }));

    script("nothing", "whatever");
    EXPECT_TRUE(run(perform(Fetch<Reactive::Unit> { "nothing" }, client())).front().isValue());

    script("text", "Grüße");
    EXPECT_EQ(run(perform(Fetch<std::string> { "text" }, client())).front().value(), "Grüße");

    script("image", png(60, 30).toString());
    auto image = run(perform(Fetch<Image> { "image" }, client()));
    ASSERT_TRUE(image.front().isValue());
    EXPECT_EQ(image.front().value().width(), 60);

    script("empty", "");
    auto empty = run(perform(Fetch<CloudMetaPackage<std::vector<std::int64_t>>> { "empty" }, client()));
    ASSERT_TRUE(empty.back().isFailed());
    ASSERT_TRUE(empty.back().error().is<DecodingError>());
    EXPECT_EQ(empty.back().error().as<DecodingError>()->kind(), DecodingError::Kind::dataCorrupted);
}

TEST_F(RequestOutcomeTests, ParsingErrorsCarryTheirBody)
{
    // Text that is no UTF-8 and bytes that are no image fail with a parsing error holding exactly the body.
    script("text", "\xFF\xFE\xFD");
    auto text = run(perform(Fetch<std::string> { "text" }, client()));
    ASSERT_TRUE(text.back().isFailed());
    EXPECT_EQ(text.back().error().as<APIClientError>()->body(), Platform::Data::fromString("\xFF\xFE\xFD"));

    script("image", "<html>");
    auto image = run(perform(Fetch<Image> { "image" }, client()));
    ASSERT_TRUE(image.back().isFailed());
    EXPECT_EQ(image.back().error().as<APIClientError>()->errorCase(), APIClientError::Case::parsingError);
    EXPECT_EQ(image.back().error().as<APIClientError>()->body(), Platform::Data::fromString("<html>"));
}

TEST_F(RequestOutcomeTests, DownloadsArePlacedAndReplaceAtomically)
{
    // A download lands in <folder>/<id>/<name>, replacing an older file; its last event names that place.
    writeFile(m_server->contentPath(42), "version 2");
    auto folder = Platform::URL::fileURL((m_root / "Cloud").string(), Platform::URL::IsDirectory::Yes);
    writeFile(m_root / "Cloud/42/a.txt", "version 1");
    auto events = run(perform(FileDownload { 42, "a.txt", folder }, client()));
    ASSERT_TRUE(events.back().isCompleted()) << (events.back().isFailed() ? events.back().error().description() : "");
    auto values = std::vector<ProgressEvent<Platform::URL>>();
    for (const auto& event : events) {
        if (event.isValue())
            values.push_back(event.value());
    }
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back().downloadedValue()->path(), (m_root / "Cloud/42/a.txt").string());
    EXPECT_EQ(readFile(m_root / "Cloud/42/a.txt"), "version 2");
    EXPECT_EQ(m_server->requestLog().at(0).header("Accept-Encoding"), "deflate");
}

TEST_F(RequestOutcomeTests, FailedPlacementKeepsTheOldFile)
{
    // Without overwrite an occupied destination fails the download and the old file is untouched;
    // the downloaded file that found no place is removed, not left behind.
    writeFile(m_server->contentPath(5), "new");
    writeFile(m_root / "Cloud/5/b.txt", "old");
    auto folder = Platform::URL::fileURL((m_root / "Cloud").string(), Platform::URL::IsDirectory::Yes);
    auto events = run(perform(FileDownload { 5, "b.txt", folder, false }, client()));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(events.back().error().is<Platform::FileSystemError>());
    EXPECT_EQ(readFile(m_root / "Cloud/5/b.txt"), "old");
    EXPECT_TRUE(downloadsFolderEmpties());

    // An unsafe name is refused before anything moves.
    auto unsafe = run(perform(FileDownload { 5, "..", folder }, client()));
    ASSERT_TRUE(unsafe.back().isFailed());
    EXPECT_EQ(unsafe.back().error().as<APIClientError>()->errorCase(), APIClientError::Case::invalidDownload);
    EXPECT_TRUE(downloadsFolderEmpties());

    // A service error hands over no file at all.
    m_server->script("GET", "/v2.0/debug/raw/6", { .status = 404, .body = "weg" });
    auto missing = run(perform(FileDownload { 6, "c.txt", folder }, client()));
    ASSERT_TRUE(missing.back().isFailed());
    EXPECT_TRUE(missing.back().error().is<RemoteError>() || underlyingError(missing.back().error()).is<RemoteError>());
    EXPECT_FALSE(std::filesystem::exists(m_root / "Cloud/6"));
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(RequestOutcomeTests, DownloadWithoutDestinationHandsOverItsFile)
{
    // Without a destination the temporary file is the result, and it is still there for its new owner.
    writeFile(m_server->contentPath(8), "thumbnail");
    auto events = run(perform(FileDownload { 8, "t.png", std::nullopt }, client()));
    ASSERT_TRUE(events.back().isCompleted()) << (events.back().isFailed() ? events.back().error().description() : "");
    auto last = events[events.size() - 2].value().downloadedValue();
    ASSERT_TRUE(last);
    EXPECT_EQ(readFile(last->path()), "thumbnail");
    std::filesystem::remove(last->path());
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(RequestOutcomeTests, QuotaIsAnnouncedOncePerEnvelopeWithMetadata)
{
    // One announcement per enveloped success with a quota, none without metadata, none for another client.
    auto other = makeClient(m_endpoints);
    Collected<Quota> mine(receivedQuota(*client()));
    Collected<Quota> theirs(receivedQuota(*other));
    script("listing", R"({"data":[1],"meta":{"quota":{"used":10,"total":100}}})");
    ASSERT_TRUE(run(perform(EnvelopedFetch {}, client())).front().isValue());
    script("listing", R"({"data":[1]})");
    ASSERT_TRUE(run(perform(EnvelopedFetch {}, client())).front().isValue());
    script("listing", R"({"data":[1],"meta":{}})");
    ASSERT_TRUE(run(perform(EnvelopedFetch {}, client())).front().isValue());
    EXPECT_EQ(mine.values(), (std::vector<Quota> { { 10, 100 } }));
    EXPECT_TRUE(theirs.values().empty());
}

TEST_F(RequestOutcomeTests, FailureRecordTextsOverTheWire)
{
    // A service failure without a code of its own posts its record byte for byte, with the request's URL and body.
    Collected<RequestErrorInfo> infos(errorInfos(*client()));
    m_server->script("POST", "/v2.0/files/move", { .status = 500, .body = "kaputt", .contentType = "text/plain" }, 1);
    auto events = run(perform(MoveFiles { { 1, 2 } }, client()));
    ASSERT_TRUE(events.back().isFailed());
    ASSERT_EQ(infos.values().size(), 1u);
    EXPECT_EQ(infos.values()[0].errorDesciption, "Request: POST " + baseURL() + "/files/move\n{\"file_ids\":[1,2]}\n\nResponse: HTTP-500\nkaputt\n\nMessage: HTTP-500 ohne Fehler-Code");
    EXPECT_EQ(infos.values()[0].errorCode, -1);

    // A body that does not decode is reported with -2.
    m_server->script("POST", "/v2.0/files/move", { .status = 200, .body = "[]" }, 1);
    ASSERT_TRUE(run(perform(MoveFiles { { 3 } }, client())).back().isFailed());
    ASSERT_EQ(infos.values().size(), 2u);
    EXPECT_EQ(infos.values()[1].errorCode, -2);
    EXPECT_TRUE(infos.values()[1].errorDesciption.starts_with("Request: POST " + baseURL() + "/files/move\n{\"file_ids\":[3]}\n\n"));
}

TEST_F(RequestOutcomeTests, FailedLoginIsReportedWithMaskedCredentials)
{
    // The record of a failed login shows "..." for user name and password and keeps the world; a body that is no UTF-8 leaves its line empty.
    Collected<RequestErrorInfo> infos(errorInfos(*client()));
    m_server->script("POST", "/v2.0/login", { .status = 503, .headers = { { "X-Error-Code", "9999" }, { "X-Error-Message", "Wartung" } }, .body = "\xFF", .contentType = "text/plain" }, 1);
    auto events = run(perform(Login { "talvern", "anna@example.org", "geheim" }, client()));
    ASSERT_TRUE(events.back().isFailed());
    ASSERT_EQ(infos.values().size(), 1u);
    auto expectedBody = makeURLRequest(Login { "talvern", "...", "..." }, *Platform::URL::create(baseURL())).body;
    EXPECT_EQ(infos.values()[0].errorDesciption, "Request: POST " + baseURL() + "/login\n" + expectedBody + "\n\nResponse: HTTP-503\n\n\nMessage: Wartung");
    EXPECT_EQ(infos.values()[0].errorCode, 9999);
    EXPECT_EQ(infos.values()[0].errorDesciption.find("geheim"), std::string::npos);
    EXPECT_EQ(infos.values()[0].errorDesciption.find("anna@"), std::string::npos);
}

TEST_F(RequestOutcomeTests, UnreportedFailuresPostNothing)
{
    // Transport errors, named service errors and failed error reports post no record; their subscribers still get the error.
    Collected<RequestErrorInfo> infos(errorInfos(*client()));
    m_server->script("GET", "/v2.0/numbers", { .status = 401, .headers = { { "X-Error-Code", "3001" }, { "X-Error-Message", "x" } } }, 1);
    auto named = run(perform(Fetch<Reactive::Unit> { "numbers" }, client()));
    ASSERT_TRUE(named.back().isFailed());
    EXPECT_TRUE(RemoteError::matches(named.back().error(), RemoteError::Case::authenticationRequired));

    m_server->script("POST", "/v2.0/log/error", { .status = 500, .body = "down" }, 1);
    auto report = run(perform(ErrorReport {}, client()));
    ASSERT_TRUE(report.back().isFailed());
    EXPECT_TRUE(RemoteError::matches(report.back().error(), RemoteError::Case::requestFailed));

    // A port nobody listens on: the transport's error.
    auto closed = std::make_shared<InMemoryEnvironmentStore>(std::make_shared<Environment>(Environment::custom(*Platform::URL::create("http://127.0.0.1:1/v2.0"))));
    auto unreachable = makeClient(closed);
    Collected<RequestErrorInfo> unreachableInfos(errorInfos(*unreachable));
    auto transport = run(perform(Fetch<Reactive::Unit> { "numbers" }, std::shared_ptr<APIClient>(unreachable)));
    ASSERT_TRUE(transport.back().isFailed());
    EXPECT_TRUE(underlyingError(transport.back().error()).is<URLError>());

    EXPECT_TRUE(infos.values().empty());
    EXPECT_TRUE(unreachableInfos.values().empty());
}
