#pragma once

#include "Platform/Network/URLSessionDelegate.hpp"
#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskDelegates.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Signal.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <variant>

namespace Quarlink {

// A task that finished, with its result, as the distributing delegate
// publishes it. The task is named by its identifier: the delegate does not
// own tasks, and a reference would not outlive the callback.
struct FinishedUpload {
    Platform::URLSessionTask::Identifier taskIdentifier;
    Reactive::Result<DataResponse, Reactive::AnyError> result;
};
struct FinishedDownload {
    Platform::URLSessionTask::Identifier taskIdentifier;
    Reactive::Result<DownloadResponse, Reactive::AnyError> result;
};

// The delegate of a session whose tasks run without completion handlers
// (transfers meant to outlive a request). It hands each task's callbacks to a
// per-task delegate, made on demand and kept under the task's identifier
// until the task completes, and publishes every finished upload on `uploads`
// and every finished download on `downloads`. A plain data task's callbacks
// are collected but its completion reaches neither stream.
//
// The client keeps one for its whole life and exposes its
// `backgroundSessionDidFinish` handler; no session of this system is given it.
//
// Threading: callbacks may arrive on several threads at once (the map of
// per-task delegates is locked); one task's callbacks must arrive one at a
// time, in order. Stream values are delivered on the calling thread.
class DistributingBackgroundSessionDelegate final : public Platform::URLSessionDelegate {
public:
    [[nodiscard]] static std::shared_ptr<DistributingBackgroundSessionDelegate> make();
    ~DistributingBackgroundSessionDelegate() override;

    ResponseDisposition didReceiveResponse(Platform::URLSessionTask& task, std::optional<Platform::HTTPResponseHead> response);
    void didReceiveData(Platform::URLSessionTask& task, std::string_view bytes);
    void didFinishDownloading(Platform::URLSessionTask& task, const std::filesystem::path& location) override;
    void didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error) override;

    [[nodiscard]] Reactive::Signal<FinishedUpload, Reactive::NoError> uploads() const { return m_uploads.first; }
    [[nodiscard]] Reactive::Signal<FinishedDownload, Reactive::NoError> downloads() const { return m_downloads.first; }

    // Whether a per-task delegate is kept for the task with that identifier.
    [[nodiscard]] bool hasDelegate(Platform::URLSessionTask::Identifier identifier) const;

    // Stored and handed out; never called here.
    [[nodiscard]] std::function<void()> backgroundSessionDidFinish() const;
    void setBackgroundSessionDidFinish(std::function<void()> handler);

private:
    DistributingBackgroundSessionDelegate();
    using Entry = std::variant<std::shared_ptr<UploadTaskDelegate>, std::shared_ptr<DownloadTaskDelegate>>;

    std::shared_ptr<UploadTaskDelegate> uploadDelegate(Platform::URLSessionTask& task);
    std::shared_ptr<DownloadTaskDelegate> downloadDelegate(Platform::URLSessionTask& task);
    void removeDelegate(Platform::URLSessionTask::Identifier identifier);

    mutable std::mutex m_mutex;
    std::map<Platform::URLSessionTask::Identifier, Entry> m_delegates;
    std::function<void()> m_backgroundSessionDidFinish;
    std::pair<Reactive::Signal<FinishedUpload, Reactive::NoError>, Reactive::Observer<FinishedUpload, Reactive::NoError>> m_uploads;
    std::pair<Reactive::Signal<FinishedDownload, Reactive::NoError>, Reactive::Observer<FinishedDownload, Reactive::NoError>> m_downloads;
};

} // namespace Quarlink
