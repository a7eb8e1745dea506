#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/DistributingBackgroundSessionDelegate.hpp"

namespace Quarlink {

using Kind = Platform::URLSessionTask::Kind;

std::shared_ptr<DistributingBackgroundSessionDelegate> DistributingBackgroundSessionDelegate::make()
{
    return std::shared_ptr<DistributingBackgroundSessionDelegate>(new DistributingBackgroundSessionDelegate());
}

DistributingBackgroundSessionDelegate::DistributingBackgroundSessionDelegate()
    : m_uploads(Reactive::Signal<FinishedUpload, Reactive::NoError>::pipe())
    , m_downloads(Reactive::Signal<FinishedDownload, Reactive::NoError>::pipe())
{
}

DistributingBackgroundSessionDelegate::~DistributingBackgroundSessionDelegate()
{
    m_uploads.second.sendCompleted();
    m_downloads.second.sendCompleted();
}

std::shared_ptr<UploadTaskDelegate> DistributingBackgroundSessionDelegate::uploadDelegate(Platform::URLSessionTask& task)
{
    std::lock_guard lock(m_mutex);
    auto& entry = m_delegates[task.identifier()];
    if (auto* existing = std::get_if<std::shared_ptr<UploadTaskDelegate>>(&entry); existing && *existing)
        return *existing;
    auto sink = m_uploads.second;
    auto delegate = std::make_shared<UploadTaskDelegate>(
        [sink](Platform::URLSessionTask& finished, Reactive::Result<DataResponse, Reactive::AnyError> result) {
            sink.send(FinishedUpload { finished.identifier(), std::move(result) });
        });
    entry = delegate;
    return delegate;
}

std::shared_ptr<DownloadTaskDelegate> DistributingBackgroundSessionDelegate::downloadDelegate(Platform::URLSessionTask& task)
{
    std::lock_guard lock(m_mutex);
    auto& entry = m_delegates[task.identifier()];
    if (auto* existing = std::get_if<std::shared_ptr<DownloadTaskDelegate>>(&entry); existing && *existing)
        return *existing;
    auto sink = m_downloads.second;
    auto delegate = std::make_shared<DownloadTaskDelegate>(
        [sink](Platform::URLSessionTask& finished, Reactive::Result<DownloadResponse, Reactive::AnyError> result) {
            sink.send(FinishedDownload { finished.identifier(), std::move(result) });
        });
    entry = delegate;
    return delegate;
}

void DistributingBackgroundSessionDelegate::removeDelegate(Platform::URLSessionTask::Identifier identifier)
{
    std::lock_guard lock(m_mutex);
    m_delegates.erase(identifier);
}

ResponseDisposition DistributingBackgroundSessionDelegate::didReceiveResponse(Platform::URLSessionTask& task,
    std::optional<Platform::HTTPResponseHead> response)
{
    return uploadDelegate(task)->didReceiveResponse(task, std::move(response));
}

void DistributingBackgroundSessionDelegate::didReceiveData(Platform::URLSessionTask& task, std::string_view bytes)
{
    uploadDelegate(task)->didReceiveData(task, bytes);
}

void DistributingBackgroundSessionDelegate::didFinishDownloading(Platform::URLSessionTask& task,
    const std::filesystem::path& location)
{
    downloadDelegate(task)->didFinishDownloading(task, location);
}

void DistributingBackgroundSessionDelegate::didComplete(Platform::URLSessionTask& task,
    const std::optional<Platform::TransportError>& error)
{
    switch (task.kind()) {
    case Kind::download:
        downloadDelegate(task)->didComplete(task, error);
        break;
    case Kind::upload:
        uploadDelegate(task)->didComplete(task, error);
        break;
    case Kind::data:
        // A plain data task's result has no stream: only its entry goes.
        break;
    }
    removeDelegate(task.identifier());
}

bool DistributingBackgroundSessionDelegate::hasDelegate(Platform::URLSessionTask::Identifier identifier) const
{
    std::lock_guard lock(m_mutex);
    return m_delegates.contains(identifier);
}

std::function<void()> DistributingBackgroundSessionDelegate::backgroundSessionDidFinish() const
{
    std::lock_guard lock(m_mutex);
    return m_backgroundSessionDidFinish;
}

void DistributingBackgroundSessionDelegate::setBackgroundSessionDidFinish(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_backgroundSessionDidFinish = std::move(handler);
}

} // namespace Quarlink
