#include "Platform/Network/URLSessionTask.hpp"

#include "Platform/Network/URLSessionCore.hpp"

namespace Platform {

// The observers of one state change, taken with the state under the lock and
// called after it is released.
struct URLSessionTask::StateChange {
    URLSessionTaskState state;
    std::uint64_t number;
    std::vector<std::shared_ptr<StateObserver>> observers;
};

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

std::optional<HTTPResponseHead> URLSessionTask::response() const
{
    std::lock_guard lock(m_mutex);
    return m_response;
}

std::optional<TransportError> URLSessionTask::error() const
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

namespace {

template<class Observer>
std::vector<std::shared_ptr<Observer>> snapshot(const std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>>& observers)
{
    std::vector<std::shared_ptr<Observer>> result;
    result.reserve(observers.size());
    for (const auto& entry : observers)
        result.push_back(entry.second);
    return result;
}

} // namespace

URLSessionTask::ObservationToken URLSessionTask::observeState(StateObserver observer)
{
    auto shared = std::make_shared<StateObserver>(std::move(observer));
    URLSessionTaskState state;
    std::uint64_t number = 0;
    ObservationToken token = 0;
    {
        std::lock_guard lock(m_mutex);
        token = m_nextToken++;
        m_stateObservers.emplace_back(token, shared);
        state = m_state;
        number = m_stateChanges;
    }
    (*shared)(state, number);
    return token;
}

URLSessionTask::ObservationToken URLSessionTask::observeBytesSent(BytesSentObserver observer)
{
    auto shared = std::make_shared<BytesSentObserver>(std::move(observer));
    ObservationToken token = 0;
    {
        std::lock_guard lock(m_mutex);
        token = m_nextToken++;
        m_bytesSentObservers.emplace_back(token, shared);
    }
    (*shared)(m_bytesSent.load());
    return token;
}

void URLSessionTask::removeObserver(ObservationToken token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_stateObservers, [token](const auto& entry) { return entry.first == token; });
    std::erase_if(m_bytesSentObservers, [token](const auto& entry) { return entry.first == token; });
}

void URLSessionTask::notifyState(const StateChange& change)
{
    for (const auto& observer : change.observers)
        (*observer)(change.state, change.number);
}

void URLSessionTask::resume()
{
    StateChange change;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != URLSessionTaskState::suspended)
            return;
        m_state = URLSessionTaskState::running;
        change = { m_state, ++m_stateChanges, snapshot(m_stateObservers) };
    }
    notifyState(change);
    if (auto session = m_session.lock())
        session->resume(m_identifier);
}

void URLSessionTask::cancel()
{
    StateChange change;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == URLSessionTaskState::canceling || m_state == URLSessionTaskState::completed)
            return;
        m_state = URLSessionTaskState::canceling;
        change = { m_state, ++m_stateChanges, snapshot(m_stateObservers) };
    }
    notifyState(change);
    if (auto session = m_session.lock())
        session->cancel(m_identifier);
}

bool URLSessionTask::markCompleted(std::optional<TransportError> error)
{
    StateChange change;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == URLSessionTaskState::completed)
            return false;
        m_state = URLSessionTaskState::completed;
        m_error = std::move(error);
        change = { m_state, ++m_stateChanges, snapshot(m_stateObservers) };
    }
    notifyState(change);
    return true;
}

void URLSessionTask::setResponse(HTTPResponseHead response)
{
    std::lock_guard lock(m_mutex);
    m_response = std::move(response);
}

void URLSessionTask::reportProgress(std::int64_t sent, std::int64_t received)
{
    bool sentMore = sent != m_bytesSent.exchange(sent);
    m_bytesReceived.store(received);
    std::shared_ptr<ProgressHandler> handler;
    std::vector<std::shared_ptr<BytesSentObserver>> observers;
    {
        std::lock_guard lock(m_mutex);
        handler = m_progressHandler;
        if (sentMore)
            observers = snapshot(m_bytesSentObservers);
    }
    if (handler)
        (*handler)(*this, progress());
    for (const auto& observer : observers)
        (*observer)(sent);
}

} // namespace Platform
