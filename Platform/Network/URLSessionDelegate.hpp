#pragma once

#include "Platform/Network/TransportError.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace Platform {

class URLSessionTask;

// Observer of every task of one session, beside the tasks' own completions.
// Every call arrives on the session's transport thread with no lock held; the
// default implementations do nothing.
class URLSessionDelegate {
public:
    virtual ~URLSessionDelegate() = default;

    // Body bytes of an upload or data task went out.
    virtual void didSendBodyData(URLSessionTask& task, std::int64_t bytesSent, std::int64_t totalBytesSent,
        std::int64_t totalBytesExpectedToSend)
    {
        (void)task, (void)bytesSent, (void)totalBytesSent, (void)totalBytesExpectedToSend;
    }
    // A download finished; called before the task's completion, while the file still exists.
    virtual void didFinishDownloading(URLSessionTask& task, const std::filesystem::path& location)
    {
        (void)task, (void)location;
    }
    // A task completed; called right after its completion returned.
    virtual void didComplete(URLSessionTask& task, const std::optional<TransportError>& error)
    {
        (void)task, (void)error;
    }
};

} // namespace Platform
