#pragma once

// Internal to Platform/Network: the state and transport thread behind a
// `URLSession`. Not part of the layer's interface.

#include "Platform/Network/URLSession.hpp"

#include <curl/curl.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>


namespace Platform {

class URLSessionTransfer;

class URLSessionCore : public std::enable_shared_from_this<URLSessionCore> {
public:
    URLSessionCore(URLSessionConfiguration configuration, std::shared_ptr<URLSessionDelegate> delegate);
    ~URLSessionCore();

    // Creates the libcurl handles and the transport thread.
    [[nodiscard]] bool start();
    // Cancels everything, runs the remaining completions on the transport
    // thread and ends it. Joins, unless called on the transport thread itself.
    void shutdown();

    [[nodiscard]] const URLSessionConfiguration& configuration() const { return m_configuration; }
    [[nodiscard]] URLSessionDelegate* delegate() const { return m_delegate.get(); }

    [[nodiscard]] std::shared_ptr<URLSessionTask> makeTask(URLSessionTask::Kind kind, URLRequest request,
        std::filesystem::path uploadFile, URLSession::DataCompletion dataCompletion,
        URLSession::DownloadCompletion downloadCompletion);
    void resume(URLSessionTask::Identifier identifier);
    void cancel(URLSessionTask::Identifier identifier);

    [[nodiscard]] std::vector<std::shared_ptr<URLSessionTask>> allTasks() const;
    void invalidateAndCancel();
    [[nodiscard]] bool isInvalidated() const;

    [[nodiscard]] std::vector<HTTPCookie> cookies();
    void clearCookies();

private:
    // Everything the session keeps of a task until its completion ran.
    struct TaskRecord {
        std::shared_ptr<URLSessionTask> task;
        std::filesystem::path uploadFile;
        URLSession::DataCompletion dataCompletion;
        URLSession::DownloadCompletion downloadCompletion;
    };

    void run();
    void post(std::function<void()> command);
    // Runs `work` on the transport thread and waits for it.
    void runOnTransport(const std::function<void()>& work);
    [[nodiscard]] bool onTransportThread() const;

    void startTransfer(URLSessionTask::Identifier identifier);
    void cancelTransfer(URLSessionTask::Identifier identifier);
    void collectFinishedTransfers();
    void cancelEverything();

    [[nodiscard]] std::optional<TaskRecord> takeRecord(URLSessionTask::Identifier identifier);
    // Runs the completion and the delegate for a record already taken out.
    void deliver(TaskRecord record, std::optional<TransportError> error, std::string body,
        std::optional<std::filesystem::path> location);

    const URLSessionConfiguration m_configuration;
    const std::shared_ptr<URLSessionDelegate> m_delegate;

    mutable std::mutex m_mutex;
    std::map<URLSessionTask::Identifier, TaskRecord> m_records;
    std::vector<std::function<void()>> m_commands;
    URLSessionTask::Identifier m_nextIdentifier = 1;
    bool m_invalidated = false;
    bool m_stopping = false;

    CURLM* m_multi = nullptr;
    CURLSH* m_share = nullptr;
    // An idle handle attached to the shared cookie jar, used to read and clear it.
    CURL* m_cookieHandle = nullptr;
    std::thread m_thread;
    std::atomic<std::thread::id> m_transportThreadID;
    std::atomic<bool> m_loopEnded { false };

    // Transport thread only.
    std::map<URLSessionTask::Identifier, std::unique_ptr<URLSessionTransfer>> m_transfers;
};

} // namespace Platform
