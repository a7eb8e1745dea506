#pragma once

#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Platform/Network/URLSession.hpp"
#include "Platform/Network/URLSessionConfiguration.hpp"
#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Environment/APIEndpointStore.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace Quarlink {

class DistributingBackgroundSessionDelegate;
class NetworkReachabilityObserver;
class OperationQueue;
class TaskCollector;
class WorkQueue;

// The URL-session client. Every transfer runs as a session task inside an
// operation of its request queue, which runs at most two at a time (highest
// priority first, first in first out among equals), so a queued request holds
// no connection. Data tasks are made only when their operation starts; upload
// and download tasks at stream start (so progress can be tied to them).
//
// Threads: transfer completions are handled on the delegate queue ("API
// Client Delegate Queue", up to 25 threads); every value and failure is
// delivered there, so subscribers must not assume the main thread.
// Progress events of downloads arrive on the session's transport thread.
// Disposing a stream cancels its operation and task; it then sends nothing more.
//
// Reset: `cancelRequestsAndResetSession()` swaps the session at once. Every
// transfer of the old session fails with the cancellation error ("Die Aktion
// wurde abgebrochen."); operations still waiting that were made for the old
// session fail the same way when they start, without making a task, and
// finish, so the queue never stalls.
//
// Lifetime: owned through a `shared_ptr` (made by `create`); the owner keeps
// it for as long as requests may run. Destroying it ends the session (the
// completions of its remaining transfers still run) and waits for the
// delegate queue, so it must not be destroyed on the delegate queue itself.
class URLSessionAPIClient final : public APIClient, public std::enable_shared_from_this<URLSessionAPIClient> {
public:
    struct CreationError {
        std::string message;
    };

    // Watches the host of the endpoint's base URL as it is now with
    // `reachabilityMonitor`, or with a netlink monitor probing that host's port
    // when none is given, and starts watching at once. Fails with "reachability
    // observer couldn't be instantiated" when the URL has no host or the host
    // cannot be watched.
    [[nodiscard]] static std::expected<std::shared_ptr<URLSessionAPIClient>, CreationError> create(
        Platform::URLSessionConfiguration sessionConfiguration, std::shared_ptr<CredentialStore> credentialStore,
        std::shared_ptr<APIEndpointStore> endpointStore,
        std::unique_ptr<Platform::ReachabilityMonitor> reachabilityMonitor = nullptr);
    ~URLSessionAPIClient() override;

    [[nodiscard]] std::shared_ptr<CredentialStore> credentialStore() const override { return m_credentialStore; }
    [[nodiscard]] std::shared_ptr<const APIEndpoint> endpoint() const override { return m_endpointStore->currentEndpoint(); }

    [[nodiscard]] Reactive::SignalProducer<DataResponse, Reactive::AnyError> dataProducer(
        Platform::URLRequest request, QueuePriority priority) override;
    [[nodiscard]] Reactive::SignalProducer<DataResponse, Reactive::AnyError> uploadProducer(
        Platform::URLRequest request, Platform::URL file, QueuePriority priority) override;
    [[nodiscard]] Reactive::SignalProducer<DownloadResponse, Reactive::AnyError> downloadProducer(
        Platform::URLRequest request, QueuePriority priority) override;
    [[nodiscard]] Reactive::SignalProducer<ProgressEvent<DownloadResponse>, Reactive::AnyError> downloadProgressProducer(
        Platform::URLRequest request, QueuePriority priority, std::optional<std::int64_t> expectedSize) override;

    [[nodiscard]] Reactive::SignalProducer<std::vector<std::shared_ptr<Platform::URLSessionTask>>, Reactive::NoError>
    uploadTasks() const override;

    [[nodiscard]] std::map<std::string, std::any> userInfos() const override;
    [[nodiscard]] std::any userInfo(const std::string& key) const override;
    void setUserInfo(const std::string& key, std::any value) override;

    [[nodiscard]] Reactive::SignalProducer<ReachabilityStatus, Reactive::NoError> reachabilityStatus() const override;
    [[nodiscard]] Reactive::SignalProducer<APIClientStatus, Reactive::NoError> status() const override;

    void cancelRequestsAndResetSession() override;
    // Empties the cookie jar of the session in force.
    void clearCookies();

    // Kept for sessions whose transfers outlive a request; nothing here calls it.
    [[nodiscard]] std::function<void()> backgroundSessionDidFinish() const;
    void setBackgroundSessionDidFinish(std::function<void()> handler);

private:
    URLSessionAPIClient(Platform::URLSessionConfiguration sessionConfiguration,
        std::shared_ptr<CredentialStore> credentialStore, std::shared_ptr<APIEndpointStore> endpointStore);

    [[nodiscard]] std::shared_ptr<Platform::URLSession> currentSession() const;
    // Wraps an existing task in an operation and queues it; the returned
    // disposable cancels the operation, then the task.
    Reactive::AnyDisposable schedule(const std::shared_ptr<Platform::URLSessionTask>& task,
        Reactive::SignalProducer<Platform::URLSessionTaskState, Reactive::NoError> states, QueuePriority priority);
    [[nodiscard]] Reactive::SignalProducer<ProgressEvent<DownloadResponse>, Reactive::AnyError> downloadEvents(
        Platform::URLRequest request, QueuePriority priority, std::int64_t totalUnitCount);

    std::shared_ptr<CredentialStore> m_credentialStore;
    std::shared_ptr<APIEndpointStore> m_endpointStore;
    Platform::URLSessionConfiguration m_sessionConfiguration;
    mutable std::mutex m_sessionMutex;
    std::shared_ptr<Platform::URLSession> m_session;
    std::shared_ptr<OperationQueue> m_requestOperationQueue;
    std::shared_ptr<TaskCollector> m_taskCollector;
    std::shared_ptr<WorkQueue> m_delegateQueue;
    std::shared_ptr<NetworkReachabilityObserver> m_reachabilityObserver;
    std::shared_ptr<DistributingBackgroundSessionDelegate> m_backgroundDelegate;
    mutable std::mutex m_userInfosMutex;
    std::map<std::string, std::any> m_userInfos;
};

} // namespace Quarlink
