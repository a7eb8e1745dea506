#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskDelegates.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/TransportErrors.hpp"

#include <cstdlib>
#include <iostream>

namespace Quarlink {

using Kind = Platform::URLSessionTask::Kind;

void preconditionFailure(const char* message)
{
    std::cerr << "❗️ " << message << std::endl;
    std::abort();
}

UploadTaskDelegate::UploadTaskDelegate(CompletionHandler completionHandler)
    : m_completionHandler(std::move(completionHandler))
{
}

ResponseDisposition UploadTaskDelegate::didReceiveResponse(Platform::URLSessionTask&,
    std::optional<Platform::HTTPResponseHead> response)
{
    m_receivedResponse = std::move(response);
    return ResponseDisposition::allow;
}

void UploadTaskDelegate::didReceiveData(Platform::URLSessionTask&, std::string_view bytes)
{
    m_receivedData.append(bytes);
}

void UploadTaskDelegate::didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error)
{
    if (task.kind() == Kind::download)
        preconditionFailure("UploadTaskDelegate only supports URLSessionDataTasks or URLSessionUploadTasks");
    auto head = task.response();
    if (!head)
        head = m_receivedResponse;
    std::optional<HTTPURLResponse> response;
    if (head)
        response = httpURLResponse(*head, task.originalRequest().url);
    using Outcome = Reactive::Result<DataResponse, Reactive::AnyError>;
    if (error) {
        m_completionHandler(task, Outcome(std::unexpect, transportError(*error)));
    } else if (response) {
        m_completionHandler(task,
            Outcome(DataResponse { Platform::Data(m_receivedData.data(), m_receivedData.size()), std::move(*response) }));
    } else {
        m_completionHandler(task, Outcome(std::unexpect, Reactive::AnyError(TransportContractError())));
    }
}

DownloadTaskDelegate::DownloadTaskDelegate(CompletionHandler completionHandler)
    : m_completionHandler(std::move(completionHandler))
{
}

void DownloadTaskDelegate::didFinishDownloading(Platform::URLSessionTask& task, const std::filesystem::path& location)
{
    using Outcome = Reactive::Result<DownloadResponse, Reactive::AnyError>;
    std::optional<HTTPURLResponse> response;
    if (auto head = task.response())
        response = httpURLResponse(*head, task.originalRequest().url);
    if (response)
        m_completionHandler(task, Outcome(DownloadResponse { Platform::URL::fileURL(location.string()), std::move(*response) }));
    else
        m_completionHandler(task, Outcome(std::unexpect, Reactive::AnyError(APIClientError::invalidDownload())));
}

void DownloadTaskDelegate::didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error)
{
    if (task.kind() != Kind::download)
        preconditionFailure("DownloadTaskDelegate only works with URLSessionDownloadTasks");
    if (!error)
        return;
    m_completionHandler(task, Reactive::Result<DownloadResponse, Reactive::AnyError>(std::unexpect, transportError(*error)));
}

} // namespace Quarlink
