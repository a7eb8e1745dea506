#include "Quarlink/Client/URLSessionAPIClient.hpp"

#include "Quarlink/Client/Operations/LazyURLSessionTaskOperation.hpp"
#include "Quarlink/Client/Operations/OperationQueue.hpp"
#include "Quarlink/Client/Operations/URLSessionTaskOperation.hpp"
#include "Quarlink/Client/TransferCompletions.hpp"
#include "Quarlink/Client/WorkQueue.hpp"
#include "Quarlink/Reachability/NetworkReachabilityObserver.hpp"
#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/DistributingBackgroundSessionDelegate.hpp"
#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskCollector.hpp"

namespace Quarlink {

using Reactive::AnyError;
using Reactive::Lifetime;
using Reactive::NoError;
using Reactive::Observer;
using Reactive::SignalProducer;
using TaskState = Platform::URLSessionTaskState;

namespace {

constexpr const char* reachabilityFailure = "reachability observer couldn't be instantiated";

std::uint16_t portOf(const Platform::URL& url)
{
    if (auto port = url.port())
        return static_cast<std::uint16_t>(*port);
    return url.scheme() == "http" ? 80 : 443;
}

} // namespace

std::expected<std::shared_ptr<URLSessionAPIClient>, URLSessionAPIClient::CreationError> URLSessionAPIClient::create(
    Platform::URLSessionConfiguration sessionConfiguration, std::shared_ptr<CredentialStore> credentialStore,
    std::shared_ptr<APIEndpointStore> endpointStore, std::unique_ptr<Platform::ReachabilityMonitor> reachabilityMonitor)
{
    auto client = std::shared_ptr<URLSessionAPIClient>(
        new URLSessionAPIClient(std::move(sessionConfiguration), std::move(credentialStore), std::move(endpointStore)));

    // Reachability watches the host of the endpoint in force now, for the client's whole life.
    auto baseURL = client->m_endpointStore->currentEndpoint()->baseURL();
    const auto& host = baseURL.host();
    if (!host || host->empty())
        return std::unexpected(CreationError { reachabilityFailure });
    if (reachabilityMonitor) {
        client->m_reachabilityObserver = NetworkReachabilityObserver::create(std::move(reachabilityMonitor));
    } else {
        auto observer = NetworkReachabilityObserver::create(*host, portOf(baseURL));
        if (!observer)
            return std::unexpected(CreationError { reachabilityFailure });
        client->m_reachabilityObserver = std::move(*observer);
    }
    client->m_reachabilityObserver->startObservation();
    client->m_requestOperationQueue->setMaxConcurrentOperationCount(2);
    return client;
}

URLSessionAPIClient::URLSessionAPIClient(Platform::URLSessionConfiguration sessionConfiguration,
    std::shared_ptr<CredentialStore> credentialStore, std::shared_ptr<APIEndpointStore> endpointStore)
    : m_credentialStore(std::move(credentialStore))
    , m_endpointStore(std::move(endpointStore))
    , m_sessionConfiguration(std::move(sessionConfiguration))
    , m_requestOperationQueue(std::make_shared<OperationQueue>("API Client Request Queue"))
    , m_taskCollector(TaskCollector::make())
    , m_delegateQueue(std::make_shared<WorkQueue>("API Client Delegate Queue", 25))
    , m_backgroundDelegate(DistributingBackgroundSessionDelegate::make())
{
    m_session = Platform::URLSession::create(m_sessionConfiguration, m_taskCollector);
    m_taskCollector->setSession(m_session);
}

URLSessionAPIClient::~URLSessionAPIClient()
{
    if (m_reachabilityObserver)
        m_reachabilityObserver->stopObservation();
    // Running transfers end as cancelled; requests still waiting then start
    // on the dead session and end the same way, so every stream ends.
    currentSession()->invalidateAndCancel();
    m_requestOperationQueue.reset();
    std::lock_guard lock(m_sessionMutex);
    m_session.reset();
}

std::shared_ptr<Platform::URLSession> URLSessionAPIClient::currentSession() const
{
    std::lock_guard lock(m_sessionMutex);
    return m_session;
}

SignalProducer<DataResponse, AnyError> URLSessionAPIClient::dataProducer(Platform::URLRequest request, QueuePriority priority)
{
    std::weak_ptr<URLSessionAPIClient> weakSelf = weak_from_this();
    return SignalProducer<DataResponse, AnyError>([weakSelf, request, priority](
                                                      Observer<DataResponse, AnyError> observer, Lifetime lifetime) {
        auto self = weakSelf.lock();
        if (!self) {
            observer.sendInterrupted();
            return;
        }
        auto session = self->currentSession();
        std::weak_ptr<WorkQueue> delegateQueue = self->m_delegateQueue;
        auto operation = LazyURLSessionTaskOperation::make(
            [session, request, observer, lifetime, delegateQueue](std::function<void()> finish)
                -> std::shared_ptr<Platform::URLSessionTask> {
                TransferCompletion completion { observer, lifetime, std::move(finish), request.url };
                // Made for a session that a reset replaced: no task on a dead session.
                if (session->isInvalidated()) {
                    runOn(delegateQueue, [completion] { completion.failCancelled(); });
                    return nullptr;
                }
                return session->dataTask(request,
                    [completion, delegateQueue](Platform::URLSessionTask&,
                        std::expected<Platform::DataTaskResponse, Platform::TransportError> result) {
                        completion.finish();
                        runOn(delegateQueue, [completion, result = std::move(result)]() mutable {
                            completion.completeData(std::move(result));
                        });
                    });
            });
        operation->setQueuePriority(priority);
        self->m_requestOperationQueue->addOperation(operation);
        std::weak_ptr<LazyURLSessionTaskOperation> weakOperation = operation;
        lifetime.observeEnded([weakOperation] {
            if (auto strong = weakOperation.lock())
                strong->cancel();
        });
    });
}

SignalProducer<DataResponse, AnyError> URLSessionAPIClient::uploadProducer(Platform::URLRequest request,
    Platform::URL file, QueuePriority priority)
{
    auto progress = Progress::makeWithCurrentParent(-1);
    progress->setCancellable(true);
    std::error_code sizeError;
    auto size = std::filesystem::file_size(file.path(), sizeError);
    if (!sizeError)
        progress->setTotalUnitCount(static_cast<std::int64_t>(size));

    std::weak_ptr<URLSessionAPIClient> weakSelf = weak_from_this();
    return SignalProducer<DataResponse, AnyError>([weakSelf, request, file, priority, progress](
                                                      Observer<DataResponse, AnyError> observer, Lifetime lifetime) {
        auto self = weakSelf.lock();
        if (!self) {
            observer.sendInterrupted();
            return;
        }
        auto state = std::make_shared<Reactive::MutableProperty<TaskState>>(TaskState::suspended);
        std::weak_ptr<WorkQueue> delegateQueue = self->m_delegateQueue;
        TransferCompletion completion { observer, lifetime, [state] { state->set(TaskState::completed); }, request.url };
        auto task = self->currentSession()->uploadTask(request, file.path(),
            [completion, delegateQueue](Platform::URLSessionTask&,
                std::expected<Platform::DataTaskResponse, Platform::TransportError> result) {
                completion.finish();
                runOn(delegateQueue, [completion, result = std::move(result)]() mutable {
                    completion.completeData(std::move(result));
                });
            });
        task->setProgressHandler([progress](Platform::URLSessionTask&, const Platform::TransferProgress& counts) {
            progress->setCompletedUnitCount(counts.countOfBytesSent);
        });
        lifetime += observeCancellation(progress, task);
        lifetime += self->schedule(task, state->producer(), priority);
    });
}

SignalProducer<ProgressEvent<DownloadResponse>, AnyError> URLSessionAPIClient::downloadProgressProducer(
    Platform::URLRequest request, QueuePriority priority, std::optional<std::int64_t> expectedSize)
{
    return downloadEvents(std::move(request), priority, expectedSize.value_or(-1));
}

SignalProducer<DownloadResponse, AnyError> URLSessionAPIClient::downloadProducer(Platform::URLRequest request,
    QueuePriority priority)
{
    return downloadEvents(std::move(request), priority, -1).filterMap([](const ProgressEvent<DownloadResponse>& event) {
        return event.downloadedValue();
    });
}

SignalProducer<ProgressEvent<DownloadResponse>, AnyError> URLSessionAPIClient::downloadEvents(Platform::URLRequest request,
    QueuePriority priority, std::int64_t totalUnitCount)
{
    using Event = ProgressEvent<DownloadResponse>;
    auto progress = Progress::make(totalUnitCount);
    progress->setCancellable(true);

    std::weak_ptr<URLSessionAPIClient> weakSelf = weak_from_this();
    return SignalProducer<Event, AnyError>([weakSelf, request, priority, progress](
                                               Observer<Event, AnyError> observer, Lifetime lifetime) {
        auto self = weakSelf.lock();
        if (!self) {
            observer.sendInterrupted();
            return;
        }
        auto state = std::make_shared<Reactive::MutableProperty<TaskState>>(TaskState::suspended);
        std::weak_ptr<WorkQueue> delegateQueue = self->m_delegateQueue;
        DownloadCompletion completion { observer, lifetime, [state] { state->set(TaskState::completed); }, request.url };
        auto task = self->currentSession()->downloadTask(request,
            [completion, delegateQueue](Platform::URLSessionTask& task,
                std::expected<Platform::DownloadTaskResponse, Platform::TransportError> result) {
                completion.complete(task, std::move(result), delegateQueue);
            });
        task->setProgressHandler([progress](Platform::URLSessionTask&, const Platform::TransferProgress& counts) {
            // Without a size from the caller, the announced length stands in.
            if (progress->totalUnitCount() < 0 && counts.countOfBytesExpectedToReceive > 0)
                progress->setTotalUnitCount(counts.countOfBytesExpectedToReceive);
            progress->setCompletedUnitCount(counts.countOfBytesReceived);
        });
        lifetime += observeCancellation(progress, task);
        lifetime += forwardFraction(progress, observer);
        lifetime += self->schedule(task, state->producer(), priority);
    });
}

Reactive::AnyDisposable URLSessionAPIClient::schedule(const std::shared_ptr<Platform::URLSessionTask>& task,
    SignalProducer<TaskState, NoError> states, QueuePriority priority)
{
    auto operation = URLSessionTaskOperation::make(task, std::move(states));
    operation->setQueuePriority(priority);
    m_requestOperationQueue->addOperation(operation);
    std::weak_ptr<URLSessionTaskOperation> weakOperation = operation;
    std::weak_ptr<Platform::URLSessionTask> weakTask = task;
    return Reactive::AnyDisposable([weakOperation, weakTask] {
        if (auto strong = weakOperation.lock())
            strong->cancel();
        if (auto strong = weakTask.lock())
            strong->cancel();
    });
}

SignalProducer<std::vector<std::shared_ptr<Platform::URLSessionTask>>, NoError> URLSessionAPIClient::uploadTasks() const
{
    return m_taskCollector->allTasks().producer().map([](const SessionTasks& tasks) { return tasks.upload; });
}

std::map<std::string, std::any> URLSessionAPIClient::userInfos() const
{
    std::lock_guard lock(m_userInfosMutex);
    return m_userInfos;
}

std::any URLSessionAPIClient::userInfo(const std::string& key) const
{
    std::lock_guard lock(m_userInfosMutex);
    auto found = m_userInfos.find(key);
    return found == m_userInfos.end() ? std::any() : found->second;
}

void URLSessionAPIClient::setUserInfo(const std::string& key, std::any value)
{
    std::lock_guard lock(m_userInfosMutex);
    if (value.has_value())
        m_userInfos[key] = std::move(value);
    else
        m_userInfos.erase(key);
}

SignalProducer<ReachabilityStatus, NoError> URLSessionAPIClient::reachabilityStatus() const
{
    return m_reachabilityObserver->statusProducer();
}

SignalProducer<APIClientStatus, NoError> URLSessionAPIClient::status() const
{
    return reachabilityStatus()
        .combineLatestWith(m_requestOperationQueue->numberOfOperations())
        .map([](const std::pair<ReachabilityStatus, std::int64_t>& latest) {
            if (latest.first == ReachabilityStatus::notReachable)
                return APIClientStatus::notConnected;
            return latest.second > 0 ? APIClientStatus::busy : APIClientStatus::idle;
        });
}

void URLSessionAPIClient::cancelRequestsAndResetSession()
{
    // The new session is in force before the old one is torn down, so no
    // request can pick the dead one from here on.
    auto fresh = Platform::URLSession::create(m_sessionConfiguration, m_taskCollector);
    std::shared_ptr<Platform::URLSession> old;
    {
        std::lock_guard lock(m_sessionMutex);
        old = std::exchange(m_session, fresh);
    }
    m_taskCollector->setSession(fresh);
    old->invalidateAndCancel();
    old->clearCookies();
}

void URLSessionAPIClient::clearCookies()
{
    currentSession()->clearCookies();
}

std::function<void()> URLSessionAPIClient::backgroundSessionDidFinish() const
{
    return m_backgroundDelegate->backgroundSessionDidFinish();
}

void URLSessionAPIClient::setBackgroundSessionDidFinish(std::function<void()> handler)
{
    m_backgroundDelegate->setBackgroundSessionDidFinish(std::move(handler));
}

} // namespace Quarlink
