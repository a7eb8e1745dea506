#pragma once

#include "Platform/Network/HTTPResponseHead.hpp"
#include "Platform/Network/TransportError.hpp"
#include "Platform/Network/URLRequest.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace Platform {

class URLSessionCore;

// Lifecycle of a task. Only used in memory.
enum class URLSessionTaskState {
    // Created, not resumed yet.
    suspended,
    // Resumed: queued on or running in the transport.
    running,
    // Cancel was asked for; the completion follows.
    canceling,
    // The completion has run or is running; final.
    completed,
};

// Byte counts of a task at one moment. Expected counts are -1 while unknown.
struct TransferProgress {
    std::int64_t countOfBytesSent = 0;
    std::int64_t countOfBytesExpectedToSend = -1;
    std::int64_t countOfBytesReceived = 0;
    std::int64_t countOfBytesExpectedToReceive = -1;
};

// One transfer of a `URLSession`. Made by the session's task factories, shared
// between the caller and the session until it completes.
//
// Threading: every member may be called from any thread. The progress handler
// and the completion run on the session's transport thread, never with a lock
// held, so they may call back into the task or the session (resume or cancel
// other tasks, read counts). They must return quickly: while they run no other
// transfer of the session moves.
//
// Completion: runs exactly once for every task that was resumed or cancelled,
// and for every task still open when its session is destroyed (with
// `cancelled`); a task that is none of these never completes. `cancel()` after
// completion does nothing.
class URLSessionTask final {
public:
    enum class Kind { data, upload, download };
    using Identifier = std::int64_t;
    using ProgressHandler = std::function<void(URLSessionTask&, const TransferProgress&)>;
    // A state and the number of the change that made it (0 for the state a
    // task is made with): of two values, the one with the higher number is newer.
    using StateObserver = std::function<void(URLSessionTaskState state, std::uint64_t change)>;
    // A count of bytes sent; counts only grow, so the larger is newer.
    using BytesSentObserver = std::function<void(std::int64_t countOfBytesSent)>;
    using ObservationToken = std::uint64_t;

    // Made only by `URLSession`; the key keeps others from constructing one.
    class ConstructionKey {
        friend class URLSessionCore;
        ConstructionKey() = default;
    };
    URLSessionTask(ConstructionKey, std::weak_ptr<URLSessionCore> session, Identifier identifier, Kind kind, URLRequest request);
    URLSessionTask(const URLSessionTask&) = delete;
    URLSessionTask& operator=(const URLSessionTask&) = delete;

    // Unique within its session, starting at 1.
    [[nodiscard]] Identifier identifier() const { return m_identifier; }
    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const URLRequest& originalRequest() const { return m_request; }
    [[nodiscard]] URLSessionTaskState state() const;
    // The latest response header block (the final one once the task completed);
    // absent until the first header block ended.
    [[nodiscard]] std::optional<HTTPResponseHead> response() const;
    // The failure the task completed with, if it failed.
    [[nodiscard]] std::optional<TransportError> error() const;
    [[nodiscard]] TransferProgress progress() const;
    [[nodiscard]] std::int64_t countOfBytesSent() const { return m_bytesSent.load(); }
    [[nodiscard]] std::int64_t countOfBytesReceived() const { return m_bytesReceived.load(); }
    [[nodiscard]] std::int64_t countOfBytesExpectedToSend() const { return m_bytesExpectedToSend.load(); }
    [[nodiscard]] std::int64_t countOfBytesExpectedToReceive() const { return m_bytesExpectedToReceive.load(); }

    // Called on the transport thread whenever bytes were sent or received, with
    // strictly growing counts. Set it before `resume()` to see every change.
    void setProgressHandler(ProgressHandler handler);

    // Observation of the state and of the bytes sent: the current value at
    // once on the calling thread, then every change on the thread that makes
    // it (the caller of `resume` or `cancel`, or the transport thread), never
    // with a lock held. A change made on another thread while an observer is
    // being added may reach it before the current value does; the change number
    // (states) and the growing count (bytes) tell which is newer. Observers
    // must return quickly, as progress handlers do. `removeObserver` stops
    // both kinds; a call already under way may still finish.
    [[nodiscard]] ObservationToken observeState(StateObserver observer);
    [[nodiscard]] ObservationToken observeBytesSent(BytesSentObserver observer);
    void removeObserver(ObservationToken token);

    // Hands a suspended task to the transport; does nothing in any other state.
    void resume();
    // Stops the task; its completion follows with `cancelled` (also for a task
    // that was never resumed). Harmless in any later state.
    void cancel();

private:
    friend class URLSessionCore;
    friend class URLSessionTransfer;

    // Transport side. Returns false when the task had already completed.
    bool markCompleted(std::optional<TransportError> error);
    void setResponse(HTTPResponseHead response);
    void setExpectedToSend(std::int64_t count) { m_bytesExpectedToSend.store(count); }
    void setExpectedToReceive(std::int64_t count) { m_bytesExpectedToReceive.store(count); }
    // Stores the counts and calls the progress handler (no lock held).
    void reportProgress(std::int64_t sent, std::int64_t received);
    // One state change with the observers to tell, who are called with no lock held.
    struct StateChange;
    void notifyState(const StateChange& change);

    std::weak_ptr<URLSessionCore> m_session;
    const Identifier m_identifier;
    const Kind m_kind;
    const URLRequest m_request;

    mutable std::mutex m_mutex;
    URLSessionTaskState m_state = URLSessionTaskState::suspended;
    std::optional<HTTPResponseHead> m_response;
    std::optional<TransportError> m_error;
    std::shared_ptr<ProgressHandler> m_progressHandler;
    std::uint64_t m_stateChanges { 0 };
    ObservationToken m_nextToken { 1 };
    std::vector<std::pair<ObservationToken, std::shared_ptr<StateObserver>>> m_stateObservers;
    std::vector<std::pair<ObservationToken, std::shared_ptr<BytesSentObserver>>> m_bytesSentObservers;

    std::atomic<std::int64_t> m_bytesSent { 0 };
    std::atomic<std::int64_t> m_bytesReceived { 0 };
    std::atomic<std::int64_t> m_bytesExpectedToSend { -1 };
    std::atomic<std::int64_t> m_bytesExpectedToReceive { -1 };
};

} // namespace Platform
