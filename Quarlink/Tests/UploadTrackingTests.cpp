// Following transfers of kept upload records through the client's upload tasks: matching by the
// "Request-Hash" header, the state of a record, and the progress of a held transfer.

#include "Quarlink/Client/TaskObservation.hpp"
#include "Quarlink/Tests/PipelineFixture.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"
#include "Quarlink/Uploads/UploadTracking.hpp"

#include <cmath>
#include <future>
#include <mutex>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

// The values a producer sent, shared with its observer: a disposal does not wait for a delivery under way on
// another thread, so what the observer touches must outlive the test's frame.
template<class V>
struct SharedValues {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<V> values;

    // Waits until `until` holds for the latest value, or a deadline passes.
    bool waitFor(const std::function<bool(const V&)>& until)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return !values.empty() && until(values.back()); });
    }
    std::vector<V> snapshot()
    {
        std::lock_guard lock(mutex);
        return values;
    }
};

template<class V>
std::pair<std::shared_ptr<SharedValues<V>>, Reactive::AnyDisposable> follow(const Reactive::SignalProducer<V, Reactive::NoError>& producer)
{
    auto shared = std::make_shared<SharedValues<V>>();
    auto started = producer.startWithValues([shared](const V& value) {
        std::lock_guard lock(shared->mutex);
        shared->values.push_back(value);
        shared->changed.notify_all();
    });
    return { shared, std::move(started) };
}

class UploadTrackingTests : public PipelineFixture {
protected:
    Upload record(const std::string& name, const std::string& content, bool failed = false)
    {
        writeFile(m_root / "local" / name, content);
        auto made = *Upload::create(1, Platform::URL::fileURL((m_root / "local" / name).string()));
        made.lastAttemptFailed = failed;
        return made;
    }

    // Collects values of a never-ending producer until `until` holds for the latest, or a deadline passes.
    template<class V>
    std::vector<V> collect(const Reactive::SignalProducer<V, Reactive::NoError>& producer, const std::function<bool(const V&)>& until)
    {
        auto [shared, started] = follow(producer);
        shared->waitFor(until);
        started.dispose();
        return shared->snapshot();
    }
};

} // namespace

TEST_F(UploadTrackingTests, withoutTasksEveryRecordWaitsOrFailed)
{
    // No upload task at all: every record is without a running request; states are waiting, or error when marked.
    auto first = record("a.txt", "a");
    auto failed = record("b.txt", "b", true);
    auto without = run(uploadsWithoutRunningRequests(client(), { first, failed, first }).promoteError<Reactive::AnyError>());
    ASSERT_FALSE(without.empty());
    ASSERT_TRUE(without[0].isValue());
    EXPECT_EQ(without[0].value().size(), 3u);
    EXPECT_TRUE(without[1].isCompleted());

    auto waiting = collect<UploadState>(state(client(), first), [](const UploadState&) { return true; });
    EXPECT_EQ(waiting.at(0), (UploadState { UploadState::Case::waiting, 0.0 }));
    auto error = collect<UploadState>(state(client(), failed), [](const UploadState&) { return true; });
    EXPECT_EQ(error.at(0).state, UploadState::Case::error);
}

TEST_F(UploadTrackingTests, heldTransferRunsWithItsProgressThenCompletes)
{
    // A transfer held by the service after its body arrived reads running with progress 1.0, also when the record is
    // marked as failed; a record of the same folder, name and content matches the same task; it then completes.
    auto gate = m_server->addGate("PUT", "/v2.0/files/42/stream");
    m_server->script("PUT", "/v2.0/files/42/stream", { .body = R"({"data":{"id":42,"parent_file_id":1,"path":"/a.txt","name":"a.txt",)"
        R"("has_private_shares":false,"has_public_shares":false,"is_share_allowed_private":true,"is_share_allowed_public":true,)"
        R"("share_with":0,"created":1,"modified":2,"mime_type":"text/plain","file_size":65536,"file_hash":"","etag":"e"}})" }, 1);
    auto upload = record("a.txt", std::string(64 * 1024, 'x'));
    Recorder<CloudMetaPackage<File>> transferred;
    auto transfer = overwrite(client(), 42, upload).start(transferred.observer());
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));

    auto twin = upload;
    twin.fileURL = Platform::URL::fileURL("/elsewhere/a.txt");
    twin.lastAttemptFailed = true;
    auto running = collect<UploadState>(state(client(), twin), [](const UploadState& value) {
        return value.state == UploadState::Case::running && value.progress == 1.0;
    });
    ASSERT_FALSE(running.empty());
    EXPECT_EQ(running.back(), (UploadState { UploadState::Case::running, 1.0 }));

    auto listed = run(uploadsWithoutRunningRequests(client(), { upload, record("other.txt", "o") }).promoteError<Reactive::AnyError>());
    ASSERT_FALSE(listed.empty());
    ASSERT_TRUE(listed[0].isValue());
    ASSERT_EQ(listed[0].value().size(), 1u);
    EXPECT_EQ(listed[0].value()[0].fileName, "other.txt");

    // The current value may come from a thread already delivering the task list, so the gate opens only once it
    // has arrived.
    auto [following, started] = follow(state(client(), upload));
    ASSERT_TRUE(following->waitFor([](const UploadState&) { return true; }));
    gate->open();
    following->waitFor([](const UploadState& value) { return value.state == UploadState::Case::complete; });
    started.dispose();
    EXPECT_TRUE(transferred.wait());
    EXPECT_TRUE(transferred.events().back().isCompleted());
    transfer.dispose();
    auto states = following->snapshot();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front().state, UploadState::Case::running);
    EXPECT_TRUE(std::any_of(states.begin(), states.end(), [](const UploadState& value) { return value.state == UploadState::Case::complete; }));
}

TEST_F(UploadTrackingTests, stateRules)
{
    // A running task with nothing known about its size reads progress 0.0, not a division by zero; a task
    // without the header matches no record; a suspended task waits.
    auto upload = record("a.txt", "abc");
    auto session = Platform::URLSession::create(Platform::URLSessionConfiguration {});
    auto unknownSize = session->dataTask({ .url = baseURL() + "/status" }, [](auto&, auto) { });
    EXPECT_FALSE(matches(*unknownSize, upload));
    EXPECT_EQ(uploadState(upload, unknownSize), (UploadState { UploadState::Case::waiting, 0.0 }));
    EXPECT_EQ(uploadState(upload, nullptr), (UploadState { UploadState::Case::waiting, 0.0 }));

    auto gate = m_server->addGate("GET", "/v2.0/held");
    auto held = session->dataTask({ .url = baseURL() + "/held" }, [](auto&, auto) { });
    held->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    auto running = uploadState(upload, held);
    EXPECT_EQ(running.state, UploadState::Case::running);
    EXPECT_EQ(running.progress, 0.0);
    EXPECT_FALSE(std::signbit(running.progress)) << "an unknown size must not turn into a negative fraction";
    EXPECT_FALSE(std::isnan(running.progress));

    Platform::URLRequest tagged { .url = baseURL() + "/status" };
    tagged.headers.add("request-hash", upload.requestHash());
    EXPECT_FALSE(matches(*session->dataTask(tagged, [](auto&, auto) { }), upload));
    Platform::URLRequest exact { .url = baseURL() + "/status" };
    exact.headers.add("Request-Hash", upload.requestHash());
    EXPECT_TRUE(matches(*session->dataTask(exact, [](auto&, auto) { }), upload));
    gate->open();
}

TEST_F(UploadTrackingTests, taskStateAndBytesSentAsStreams)
{
    // Each stream sends the current value at once and then each change, only forwards, until disposed.
    auto session = Platform::URLSession::create(Platform::URLSessionConfiguration {});
    auto gate = m_server->addGate("PUT", "/v2.0/files/5/stream");
    writeFile(m_root / "local" / "body.bin", std::string(32 * 1024, 'b'));
    std::promise<void> done;
    auto upload = session->uploadTask({ .url = baseURL() + "/files/5/stream", .method = "PUT" }, m_root / "local" / "body.bin",
        [&](auto&, auto) { done.set_value(); });

    std::mutex mutex;
    std::vector<Platform::URLSessionTaskState> states;
    std::vector<std::int64_t> counts;
    auto stateStart = state(upload).startWithValues([&](Platform::URLSessionTaskState value) {
        std::lock_guard lock(mutex);
        states.push_back(value);
    });
    auto countStart = countOfBytesSent(upload).startWithValues([&](std::int64_t value) {
        std::lock_guard lock(mutex);
        counts.push_back(value);
    });
    upload->resume();
    ASSERT_TRUE(gate->waitForWaiting(1, 10s));
    gate->open();
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
    stateStart.dispose();
    countStart.dispose();
    upload->cancel();
    std::lock_guard lock(mutex);
    EXPECT_EQ(states, (std::vector<Platform::URLSessionTaskState> { Platform::URLSessionTaskState::suspended,
                          Platform::URLSessionTaskState::running, Platform::URLSessionTaskState::completed }));
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.front(), 0);
    EXPECT_EQ(counts.back(), 32 * 1024);
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
}
