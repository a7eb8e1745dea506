#pragma once

#include "Platform/Network/URLSessionTask.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Uploads/Upload.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <variant>
#include <vector>

namespace Quarlink {

class APIClient;

// Where the transfer of a kept record stands.
struct UploadState {
    enum class Case {
        // A task of the record is running; `progress` is the fraction sent.
        running,
        // Not marked as failed, and no task or a suspended or cancelling one.
        waiting,
        // Not marked as failed, and its task has completed.
        complete,
        // Marked as failed (`lastAttemptFailed`), with no running task.
        error,
    };

    Case state { Case::waiting };
    // Bytes sent / bytes expected; 0.0 while the expected count is zero or unknown.
    double progress { 0.0 };

    friend bool operator==(const UploadState&, const UploadState&) = default;
};

using UploadTask = std::shared_ptr<Platform::URLSessionTask>;

// How a caller that drives its upload tasks itself got on when it started a
// transfer: the task that carries the content, or, when the service needs no
// content, the file the service reported. Nothing in this library makes one.
class BackgroundUploadResult {
public:
    [[nodiscard]] static BackgroundUploadResult upload(UploadTask task) { return BackgroundUploadResult(std::move(task)); }
    [[nodiscard]] static BackgroundUploadResult fileExists(File file) { return BackgroundUploadResult(std::move(file)); }

    [[nodiscard]] bool isUpload() const { return std::holds_alternative<UploadTask>(m_outcome); }
    // The task, for `upload`.
    [[nodiscard]] const UploadTask* task() const { return std::get_if<UploadTask>(&m_outcome); }
    // The file the service reported, for `fileExists`.
    [[nodiscard]] const File* existingFile() const { return std::get_if<File>(&m_outcome); }

private:
    explicit BackgroundUploadResult(std::variant<UploadTask, File> outcome)
        : m_outcome(std::move(outcome))
    {
    }

    std::variant<UploadTask, File> m_outcome;
};

// Whether the task's original request carries the record's request hash
// under "Request-Hash" (exact name, exact value).
[[nodiscard]] bool matches(const Platform::URLSessionTask& task, const Upload& record);

// The state `task` (none when absent) gives `record`.
[[nodiscard]] UploadState uploadState(const Upload& record, const UploadTask& task);

// The records, in their order, that no task of the client's first list of
// upload tasks matches (whatever its state); then completion.
[[nodiscard]] Reactive::SignalProducer<std::vector<Upload>, Reactive::NoError> uploadsWithoutRunningRequests(
    const std::shared_ptr<APIClient>& client, const std::vector<Upload>& records);

// The first task of the client's latest list that matches the record, or none
// (once per list): the task at once and again at each change of its state or
// of its bytes sent, on the thread making the change, no lock held. Each new
// list replaces what the one before led to; never completes while the client
// publishes lists.
[[nodiscard]] Reactive::SignalProducer<UploadTask, Reactive::NoError> task(const std::shared_ptr<APIClient>& client, const Upload& record);

// `task` with each value turned into the record's state.
[[nodiscard]] Reactive::SignalProducer<UploadState, Reactive::NoError> state(const std::shared_ptr<APIClient>& client, const Upload& record);

} // namespace Quarlink
