#pragma once

#include "Platform/Network/HTTPResponseHead.hpp"
#include "Platform/Network/TransportError.hpp"
#include "Platform/Network/URLSessionTask.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace Quarlink {

// Per-task delegates for tasks that run without completion handlers: each
// collects what one task delivers and turns its end into exactly one result
// for the handler it was made with. A delegate receives its own task's
// callbacks one at a time, in the platform's order (response, data, then
// completion), so it needs no lock.

// What a data or upload task's delegate answers when its response head arrives.
enum class ResponseDisposition {
    // Go on with the transfer.
    allow = 1,
};

// Collects the response and body of a data or upload task.
class UploadTaskDelegate {
public:
    using CompletionHandler = std::function<void(Platform::URLSessionTask&, Reactive::Result<DataResponse, Reactive::AnyError>)>;

    explicit UploadTaskDelegate(CompletionHandler completionHandler);

    // Keeps the latest response head (absent when it was no HTTP response) and lets the transfer go on.
    ResponseDisposition didReceiveResponse(Platform::URLSessionTask& task, std::optional<Platform::HTTPResponseHead> response);
    void didReceiveData(Platform::URLSessionTask& task, std::string_view bytes);
    // The one result: a transport error wrapped presentable, else the body and
    // response, else (no response at all) an empty error. The task must be a
    // data or upload task; any other kind is a programming error that stops the process.
    void didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error);

private:
    CompletionHandler m_completionHandler;
    std::optional<Platform::HTTPResponseHead> m_receivedResponse;
    std::string m_receivedData;
};

// Hands a download task's file over while it still exists.
class DownloadTaskDelegate {
public:
    using CompletionHandler = std::function<void(Platform::URLSessionTask&, Reactive::Result<DownloadResponse, Reactive::AnyError>)>;

    explicit DownloadTaskDelegate(CompletionHandler completionHandler);

    // Success with the file and the task's response, synchronously: the
    // receiver must move the file before it returns. Without a response the
    // result is `invalidDownload`.
    void didFinishDownloading(Platform::URLSessionTask& task, const std::filesystem::path& location);
    // Reports only a failure; a success was reported when the download finished.
    // The task must be a download task, else the process stops.
    void didComplete(Platform::URLSessionTask& task, const std::optional<Platform::TransportError>& error);

private:
    CompletionHandler m_completionHandler;
};

// Reports a programming error and stops the process.
[[noreturn]] void preconditionFailure(const char* message);

} // namespace Quarlink
