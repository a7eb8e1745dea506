#include "Platform/Network/URLSessionTask.hpp"

#include "Platform/Network/URLSessionCore.hpp"

namespace Platform {

URLSessionTask::URLSessionTask(ConstructionKey, std::weak_ptr<URLSessionCore> session, Identifier identifier,
    Kind kind, URLRequest request)
    : m_session(std::move(session))
    , m_identifier(identifier)
    , m_kind(kind)
    , m_request(std::move(request))
{
}

URLSessionTaskState URLSessionTask::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

std::optional<HTTPURLResponse> URLSessionTask::response() const
{
    std::lock_guard lock(m_mutex);
    return m_response;
}

std::optional<URLError> URLSessionTask::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

TransferProgress URLSessionTask::progress() const
{
    return TransferProgress {
        .countOfBytesSent = m_bytesSent.load(),
        .countOfBytesExpectedToSend = m_bytesExpectedToSend.load(),
        .countOfBytesReceived = m_bytesReceived.load(),
        .countOfBytesExpectedToReceive = m_bytesExpectedToReceive.load(),
    };
}

void URLSessionTask::setProgressHandler(ProgressHandler handler)
{
    auto shared = handler ? std::make_shared<ProgressHandler>(std::move(handler)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_progressHandler = std::move(shared);
}

void URLSessionTask::resume()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state != URLSessionTaskState::suspended)
            return;
        m_state = URLSessionTaskState::running;
    }
    if (auto session = m_session.lock())
        session->resume(m_identifier);
}

void URLSessionTask::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state == URLSessionTaskState::canceling || m_state == URLSessionTaskState::completed)
            return;
        m_state = URLSessionTaskState::canceling;
    }
    if (auto session = m_session.lock())
        session->cancel(m_identifier);
}

bool URLSessionTask::markCompleted(std::optional<URLError> error)
{
    std::lock_guard lock(m_mutex);
    if (m_state == URLSessionTaskState::completed)
        return false;
    m_state = URLSessionTaskState::completed;
    m_error = std::move(error);
    return true;
}

void URLSessionTask::setResponse(HTTPURLResponse response)
{
    std::lock_guard lock(m_mutex);
    m_response = std::move(response);
}

void URLSessionTask::reportProgress(std::int64_t sent, std::int64_t received)
{
    m_bytesSent.store(sent);
    m_bytesReceived.store(received);
    std::shared_ptr<ProgressHandler> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_progressHandler;
    }
    if (handler)
        (*handler)(*this, progress());
}

} // namespace Platform
