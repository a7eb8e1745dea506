// Requests performed end to end against the local service: URLs, headers and bodies on the wire, the gate, the completion hook and recovery.

#include "PipelineFixture.hpp"

#include "Quarlink/Identity/UserAgent.hpp"
#include "Quarlink/Requests/ClientAnnouncements.hpp"

#include <atomic>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

using Envelope = CloudMetaPackage<JSON>;

// A thread-safe list of what happened, in order.
class Journal {
public:
    void add(std::string entry)
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

struct EchoSearch {
    using SuccessValue = Envelope;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON,
        .overrides = { RequestMember::method, RequestMember::queryItems, RequestMember::customHeaders } };
    std::string query;
    std::vector<std::int64_t> fileIDs;
    std::string path() const { return "debug/echo/search"; }
    HTTPMethod method() const { return HTTPMethod::post; }
    std::vector<URLQueryItem> queryItems() const { return { { "path", "/Docs" }, { "query", query }, { "flag", std::nullopt } }; }
    HTTPHeaderFields customHeaders() const { return { { "Request-Hash", "abc" }, { "Content-Type", "text/html" } }; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("fileIDs", fileIDs);
        writer.encode("destinationFolderID", std::int64_t(7));
    }
};

struct StreamUpload {
    using SuccessValue = Envelope;
    static constexpr RequestTraits traits { .taskKind = TaskKind::upload, .body = BodyKind::ownJSON, .overrides = { RequestMember::method } };
    std::int64_t fileID;
    Platform::URL file;
    std::string path() const { return "debug/raw/" + std::to_string(fileID); }
    HTTPMethod method() const { return HTTPMethod::put; }
    Platform::URL fileURL() const { return file; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("fileID", fileID);
        writer.encode("fileURL", file);
    }
};

// GET status, with the hook written into a journal.
struct JournaledStatus {
    using SuccessValue = Envelope;
    static constexpr RequestTraits traits { .overrides = { RequestMember::clientDidFinish } };
    std::shared_ptr<Journal> journal;
    std::string path() const { return "status"; }
    void clientDidFinish(APIClient&, const Reactive::Result<Envelope, Reactive::AnyError>& result) const
    {
        journal->add(result ? "hook value" : "hook failure");
    }
};

struct AuthenticatedStatus {
    using SuccessValue = Envelope;
    static constexpr RequestTraits traits { .needsAuthentication = true, .overrides = { RequestMember::clientDidFinish } };
    std::shared_ptr<Journal> journal;
    std::string path() const { return "status"; }
    void clientDidFinish(APIClient&, const Reactive::Result<Envelope, Reactive::AnyError>& result) const
    {
        journal->add(result ? "hook value" : "hook failure");
    }
};

// Answers from a signal the test sends into; counts how often it was asked.
class DrivenFilter final : public RequestFilter {
public:
    DrivenFilter()
    {
        auto [signal, input] = Reactive::Signal<bool, Reactive::AnyError>::pipe();
        m_signal = signal;
        m_input = input;
    }
    Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const AnyRequest& request, APIClient&) override
    {
        ++asked;
        lastPath = request.path();
        return Reactive::SignalProducer<bool, Reactive::AnyError>(m_signal);
    }
    Reactive::Observer<bool, Reactive::AnyError>& answers() { return m_input; }

    std::atomic<int> asked { 0 };
    std::string lastPath;

private:
    Reactive::Signal<bool, Reactive::AnyError> m_signal { nullptr };
    Reactive::Observer<bool, Reactive::AnyError> m_input;
};

class ImmediateRefresher final : public SessionRefresher {
public:
    RefreshAction& refreshSessionAction() override { return m_action; }
    std::atomic<int> refreshes { 0 };

private:
    RefreshAction m_action { [this](const std::shared_ptr<APIClient>&) {
        ++refreshes;
        return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
    } };
};

class PerformTests : public PipelineFixture { };

} // namespace

TEST_F(PerformTests, SendsExactURLHeadersAndSnakeCaseBody)
{
    // The query is encoded ("c++" stays "c++"), custom headers survive beside the computed ones, which win, and the body is snake case.
    auto events = run(perform(EchoSearch { "c++ & b=1", { 1, 2 } }, client()));
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(events[0].isValue()) << (events[0].isFailed() ? events[0].error().description() : "");
    const auto& echo = events[0].value().payload();
    EXPECT_EQ(echo["method"], "POST");
    EXPECT_EQ(echo["target"], "/v2.0/debug/echo/search?path=/Docs&query=c%2B%2B%20%26%20b%3D1&flag");
    EXPECT_EQ(echo["headers"]["Request-Hash"], "abc");
    EXPECT_EQ(echo["headers"]["Content-Type"], "application/json");
    EXPECT_EQ(echo["headers"]["User-Agent"], UserAgent::current().stringValue());
    EXPECT_EQ(JSON::parse(echo["body"].get<std::string>()), JSON::parse(R"({"file_ids":[1,2],"destination_folder_id":7})"));
    auto logged = m_server->requestLog();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].query.find("query")->second, "c++ & b=1");
}

TEST_F(PerformTests, UploadSendsTheFileNotItsOwnJSON)
{
    // An upload request that encodes itself still sends the file's bytes as the body.
    auto file = m_root / "upload.bin";
    writeFile(file, "file content \x01\x02");
    auto events = run(perform(StreamUpload { 9, Platform::URL::fileURL(file.string()) }, client()));
    ASSERT_TRUE(events.front().isValue()) << (events.front().isFailed() ? events.front().error().description() : "");
    EXPECT_EQ(readFile(m_server->contentPath(9)), "file content \x01\x02");
    EXPECT_EQ(m_server->requestLog().at(0).method, "PUT");
}

TEST_F(PerformTests, WithoutFilterRunsOnceAndHookPrecedesSubscriber)
{
    // No filter: one request; the hook sees the value before the subscriber, and nothing on completion.
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { journal }, client()).start(recorder.observer([&](const auto& event) {
        journal->add(event.isValue() ? "subscriber value" : event.isCompleted() ? "subscriber completed" : "subscriber other");
    }));
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ(journal->entries(), (std::vector<std::string> { "hook value", "subscriber value", "subscriber completed" }));
    EXPECT_EQ(m_server->requestCount(), 1u);
}

TEST_F(PerformTests, FilterIsAskedWhenPerformIsCalled)
{
    // The filter is asked once, when the producer is made, with the request; starting asks nothing more.
    auto filter = std::make_shared<DrivenFilter>();
    setRequestFilter(*client(), filter);
    auto producer = perform(JournaledStatus { std::make_shared<Journal>() }, client());
    EXPECT_EQ(filter->asked.load(), 1);
    EXPECT_EQ(filter->lastPath, "status");
    Recorder<Envelope> recorder;
    auto started = producer.start(recorder.observer());
    EXPECT_EQ(filter->asked.load(), 1);
    filter->answers().send(true);
    filter->answers().sendCompleted();
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ(recorder.values().size(), 1u);
    EXPECT_EQ(m_server->requestCount(), 1u);

    setRequestFilter(*client(), nullptr);
    EXPECT_EQ(client()->userInfos().count(std::string(requestFilterKey)), 0u);
    client()->setUserInfo(std::string(requestFilterKey), std::string("not a filter"));
    EXPECT_EQ(requestFilter(*client()), nullptr);
}

TEST_F(PerformTests, FilterTrueTwiceRunsOneTransfer)
{
    // A repeated true is dropped: one request reaches the server.
    auto filter = std::make_shared<DrivenFilter>();
    setRequestFilter(*client(), filter);
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { std::make_shared<Journal>() }, client()).start(recorder.observer());
    filter->answers().send(true);
    filter->answers().send(true);
    filter->answers().sendCompleted();
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ(recorder.values().size(), 1u);
    EXPECT_EQ(m_server->requestCount(), 1u);
}

TEST_F(PerformTests, FilterTrueFalseTrueRestartsTheTransfer)
{
    // The false cancels the running transfer, the second true sends the request afresh, and only its result arrives.
    auto gate = m_server->addGate("GET", "/v2.0/status");
    auto filter = std::make_shared<DrivenFilter>();
    setRequestFilter(*client(), filter);
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { journal }, client()).start(recorder.observer());
    filter->answers().send(true);
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    filter->answers().send(false);
    filter->answers().send(true);
    ASSERT_TRUE(m_server->waitForRequestCount(2, 10s));
    gate->open();
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ(recorder.values().size(), 1u);
    EXPECT_TRUE(recorder.terminal()->isCompleted());
    EXPECT_EQ(journal->entries(), std::vector<std::string> { "hook value" });
    EXPECT_EQ(m_server->requestCount(), 2u);
}

TEST_F(PerformTests, FilterFalseThenCompletionSendsNothing)
{
    // false and completion: the request completes without a value, nothing reaches the server, the hook is not called.
    auto filter = std::make_shared<DrivenFilter>();
    setRequestFilter(*client(), filter);
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { journal }, client()).start(recorder.observer());
    filter->answers().send(false);
    filter->answers().sendCompleted();
    ASSERT_TRUE(recorder.wait());
    EXPECT_TRUE(recorder.values().empty());
    EXPECT_TRUE(recorder.terminal()->isCompleted());
    EXPECT_TRUE(journal->entries().empty());
    EXPECT_EQ(m_server->requestCount(), 0u);
}

TEST_F(PerformTests, FilterFailureFailsTheRequest)
{
    // A failing filter fails the request with its error, after the hook saw the failure; nothing reaches the server.
    auto filter = std::make_shared<DrivenFilter>();
    setRequestFilter(*client(), filter);
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { journal }, client()).start(recorder.observer([&](const auto& event) {
        if (event.isFailed())
            journal->add("subscriber failure");
    }));
    filter->answers().sendFailed(Reactive::AnyError(APIClientError::notLoggedIn()));
    ASSERT_TRUE(recorder.wait());
    ASSERT_TRUE(recorder.terminal()->isFailed());
    EXPECT_TRUE(recorder.terminal()->error().is<APIClientError>());
    EXPECT_EQ(journal->entries(), (std::vector<std::string> { "hook failure", "subscriber failure" }));
    EXPECT_EQ(m_server->requestCount(), 0u);
}

TEST_F(PerformTests, DisposalInterruptsWithoutHook)
{
    // Disposing while the transfer is held cancels it; the subscriber is interrupted and the hook never runs.
    auto gate = m_server->addGate("GET", "/v2.0/status");
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(JournaledStatus { journal }, client()).start(recorder.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    started.dispose();
    ASSERT_TRUE(recorder.wait());
    EXPECT_TRUE(recorder.terminal()->isInterrupted());
    gate->open();
    EXPECT_TRUE(journal->entries().empty());
}

TEST_F(PerformTests, SessionRenewalRunsTheHookTwice)
{
    // A rejected session is renewed and the request sent again; the hook runs in the retry and once more in the first chain.
    m_server->script("GET", "/v2.0/status", { .status = 401, .headers = { { "X-Error-Code", "3001" }, { "X-Error-Message", "expired" } } }, 1);
    auto refresher = std::make_shared<ImmediateRefresher>();
    setSessionRefresher(*client(), refresher);
    auto journal = std::make_shared<Journal>();
    Recorder<Envelope> recorder;
    auto started = perform(AuthenticatedStatus { journal }, client()).start(recorder.observer());
    ASSERT_TRUE(recorder.wait());
    EXPECT_EQ(recorder.values().size(), 1u);
    EXPECT_EQ(refresher->refreshes.load(), 1);
    EXPECT_EQ(journal->entries(), (std::vector<std::string> { "hook value", "hook value" }));
    EXPECT_EQ(m_server->requestCount(), 2u);

    // Without a refresher the rejection becomes "not logged in".
    setSessionRefresher(*client(), nullptr);
    m_server->script("GET", "/v2.0/status", { .status = 401, .headers = { { "X-Error-Code", "3001" }, { "X-Error-Message", "expired" } } }, 1);
    auto events = run(perform(AuthenticatedStatus { journal }, client()));
    ASSERT_TRUE(events.back().isFailed());
    ASSERT_TRUE(events.back().error().is<APIClientError>());
    EXPECT_EQ(events.back().error().as<APIClientError>()->errorCase(), APIClientError::Case::notLoggedIn);
}

TEST_F(PerformTests, EndpointIsReadAtEveryPerformance)
{
    // After the stored endpoint changes, the next performance goes to the new base URL.
    auto events = run(perform(JournaledStatus { std::make_shared<Journal>() }, client()));
    ASSERT_TRUE(events.front().isValue());
    m_endpoints->setCurrentEndpoint(std::make_shared<Environment>(Environment::custom(*Platform::URL::create(m_server->origin() + "/v3"))));
    auto moved = run(perform(JournaledStatus { std::make_shared<Journal>() }, client()));
    EXPECT_TRUE(moved.back().isFailed());
    EXPECT_EQ(m_server->requestLog().back().path, "/v3/status");
}
