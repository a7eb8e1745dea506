#include "Quarlink/Uploads/UploadTracking.hpp"

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Uploads/UploadRequests.hpp"

#include <algorithm>
#include <atomic>

namespace Quarlink {

namespace {

using TaskProducer = Reactive::SignalProducer<UploadTask, Reactive::NoError>;
using TaskObserver = Reactive::Observer<UploadTask, Reactive::NoError>;

bool matchesHash(const Platform::URLSessionTask& task, const std::string& hash)
{
    // The exact header name: a header of another spelling is not the client's.
    for (const auto& field : task.originalRequest().headers.fields()) {
        if (field.first == requestHashKey && field.second == hash)
            return true;
    }
    return false;
}

// The task at once and at every change of its state or bytes sent; stale
// values (a change that overtook the current value on another thread) are dropped.
TaskProducer observed(UploadTask task)
{
    return TaskProducer([task](TaskObserver observer, Reactive::Lifetime lifetime) {
        auto newestChange = std::make_shared<std::atomic<std::uint64_t>>(0);
        auto mostSent = std::make_shared<std::atomic<std::int64_t>>(-1);
        auto stateToken = task->observeState([task, observer, newestChange](Platform::URLSessionTaskState, std::uint64_t change) {
            auto seen = newestChange->load();
            while (change >= seen && !newestChange->compare_exchange_weak(seen, change + 1)) { }
            if (change + 1 > seen)
                observer.send(task);
        });
        auto bytesToken = task->observeBytesSent([task, observer, mostSent](std::int64_t sent) {
            auto seen = mostSent->load();
            while (sent > seen && !mostSent->compare_exchange_weak(seen, sent)) { }
            if (sent > seen)
                observer.send(task);
        });
        std::weak_ptr<Platform::URLSessionTask> weakTask = task;
        lifetime.observeEnded([weakTask, stateToken, bytesToken] {
            if (auto strong = weakTask.lock()) {
                strong->removeObserver(stateToken);
                strong->removeObserver(bytesToken);
            }
        });
    });
}

} // namespace

bool matches(const Platform::URLSessionTask& task, const Upload& record)
{
    return matchesHash(task, record.requestHash());
}

UploadState uploadState(const Upload& record, const UploadTask& task)
{
    if (task && task->state() == Platform::URLSessionTaskState::running) {
        auto expected = task->countOfBytesExpectedToSend();
        double progress = expected > 0 ? static_cast<double>(task->countOfBytesSent()) / static_cast<double>(expected) : 0.0;
        return { UploadState::Case::running, progress };
    }
    if (record.lastAttemptFailed)
        return { UploadState::Case::error, 0.0 };
    if (task && task->state() == Platform::URLSessionTaskState::completed)
        return { UploadState::Case::complete, 0.0 };
    return { UploadState::Case::waiting, 0.0 };
}

Reactive::SignalProducer<std::vector<Upload>, Reactive::NoError> uploadsWithoutRunningRequests(const std::shared_ptr<APIClient>& client,
    const std::vector<Upload>& records)
{
    return client->uploadTasks().take(1).map([records](const std::vector<UploadTask>& tasks) {
        std::vector<Upload> kept;
        for (const auto& record : records) {
            auto hash = record.requestHash();
            bool running = std::any_of(tasks.begin(), tasks.end(), [&](const UploadTask& task) { return task && matchesHash(*task, hash); });
            if (!running)
                kept.push_back(record);
        }
        return kept;
    });
}

TaskProducer task(const std::shared_ptr<APIClient>& client, const Upload& record)
{
    auto hash = record.requestHash();
    return client->uploadTasks().flatMap(Reactive::FlattenStrategy::latest, [hash](const std::vector<UploadTask>& tasks) -> TaskProducer {
        auto found = std::find_if(tasks.begin(), tasks.end(), [&](const UploadTask& task) { return task && matchesHash(*task, hash); });
        if (found == tasks.end())
            return TaskProducer::value(nullptr);
        return observed(*found);
    });
}

Reactive::SignalProducer<UploadState, Reactive::NoError> state(const std::shared_ptr<APIClient>& client, const Upload& record)
{
    return task(client, record).map([record](const UploadTask& found) { return uploadState(record, found); });
}

} // namespace Quarlink
