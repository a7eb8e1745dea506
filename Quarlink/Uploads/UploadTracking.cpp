#include "Quarlink/Uploads/UploadTracking.hpp"

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Client/TaskObservation.hpp"
#include "Quarlink/Uploads/UploadRequests.hpp"

#include <algorithm>

namespace Quarlink {

namespace {

using TaskProducer = Reactive::SignalProducer<UploadTask, Reactive::NoError>;

bool matchesHash(const Platform::URLSessionTask& task, const std::string& hash)
{
    // The exact header name: a header of another spelling is not the client's.
    for (const auto& field : task.originalRequest().headers.fields()) {
        if (field.first == requestHashKey && field.second == hash)
            return true;
    }
    return false;
}

// The task at once for each observation, then at every change of its state or bytes sent.
TaskProducer observed(UploadTask task)
{
    auto states = state(task).map([task](Platform::URLSessionTaskState) { return task; });
    auto counts = countOfBytesSent(task).map([task](std::int64_t) { return task; });
    return Reactive::merge(states, counts);
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
