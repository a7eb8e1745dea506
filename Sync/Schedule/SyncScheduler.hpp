#pragma once

// Sync/Schedule: decides when a sync runs and publishes the engine's state for
// the user interface.

#include "Platform/Foundation/Date.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Run/SyncExecutor.hpp"
#include "Sync/Schedule/CloudFolderPreparator.hpp"
#include "Sync/Schedule/RootEtagProvider.hpp"
#include "Sync/Schedule/SyncConfiguration.hpp"
#include "Sync/Schedule/SyncStatus.hpp"
#include "Sync/Watch/FileSystemTrigger.hpp"

#include <functional>
#include <memory>

namespace Sync {

// Where the scheduler's work runs and where its clock comes from. Every
// empty field gets the production default; tests put a TestScheduler in all
// three and a clock that reads it.
struct SyncSchedulerOptions {
    Reactive::DateSchedulerPtr intervalScheduler;   // the polling timer, tick filter and polls; default: a new serial queue
    Reactive::SchedulerPtr remoteTriggerScheduler;  // starts the remote trigger; default: a new serial queue
    Reactive::SchedulerPtr localTriggerScheduler;   // starts the local trigger and a remembered local start; default: a new serial queue
    std::function<Platform::Date()> now;            // the date of `allInSync`; default: Platform::Date::now
    Reactive::DateScheduler::Duration firstRetryDelay {}; // the wait after a first failed run; default: 15 s
};

// Decides when a sync runs, and publishes the engine's state.
//
// Triggers, each through the one gate `syncAction`, which refuses to start
// while a run executes or while sync is not enabled (switched on and the
// server reachable), logging "could not start. sync was already running":
// - becoming enabled: polling starts with an immediate poll;
// - the remote trigger: every `syncInterval`, unless a run executes, the
//   cloud folder is prepared and the root etag fetched; a result that differs
//   from the previous one (an etag, or "no etag" when preparing failed)
//   starts a run. Each poll gets at most one interval for its etag.
// - a failed run: a run that reported an error event, or met a run failure
//   of the executor (no service, no stored state), is retried at the first
//   tick at least `retryDelay(n, firstRetryDelay)` after it ended, n being the number of runs
//   that failed in a row, instead of that tick's poll, whatever the etag; a
//   run that ends without either resets the count. A run cut short by sync
//   being switched off changes nothing unless it failed.
// - the local trigger: every value of the file-system trigger starts a run.
//   One such start refused because a run was executing is remembered and
//   made once that run has ended (while sync is still enabled).
// Becoming disabled ends a running run early, as a normal completion, and
// stops polling.
//
// `status()` follows the enabled inputs and the runs: `checking` when a run
// starts, `syncing` at its events; when none runs `disabled`, else
// `notReachable`, else `failed` while the last finished run failed, else
// `allInSync(now)` (now being when the status was recomputed).
//
// Everything is built and started by the constructor. Destroying the
// scheduler ends a running run, stops polling and watching, and ends the
// bindings; calls already running on other threads may still finish.
// Threading: the inputs may change on any thread; status changes arrive on
// the thread of the input or run event that caused them.
class SyncScheduler {
public:
    using SyncAction = Reactive::Action<Reactive::Unit, SyncEventPair, Reactive::NoError>;

    SyncScheduler(std::shared_ptr<SyncConfiguration> configuration, std::shared_ptr<CloudFolderPreparator> preparator,
        std::shared_ptr<SyncExecutor> executor, std::shared_ptr<FileSystemTrigger> fileSystemTrigger,
        std::shared_ptr<RootEtagProvider> remoteEtagProvider, SyncSchedulerOptions options = {});
    ~SyncScheduler();
    SyncScheduler(const SyncScheduler&) = delete;
    SyncScheduler& operator=(const SyncScheduler&) = delete;

    [[nodiscard]] Reactive::Property<SyncStatus> status() const { return m_status.property(); }
    // The gate of every run. Applying it from outside starts a run under the
    // same rules; its `events`, `isExecuting` and `disabledErrors` are what
    // the scheduler itself follows.
    [[nodiscard]] SyncAction& syncAction() const { return *m_syncAction; }

    static constexpr Reactive::DateScheduler::Duration defaultFirstRetryDelay = std::chrono::seconds { 15 };

    // How long after the n-th failed run in a row (n >= 1) it is retried:
    // `first`, doubling with every further failure, at most 10 minutes.
    [[nodiscard]] static Reactive::DateScheduler::Duration retryDelay(int failures,
        Reactive::DateScheduler::Duration first = defaultFirstRetryDelay);

private:
    struct LocalTriggerState;
    struct RunOutcomes;

    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> stopSignal() const;
    Reactive::SignalProducer<SyncStatus, Reactive::NoError> statusProducer() const;
    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> remoteTrigger(
        std::shared_ptr<CloudFolderPreparator> preparator, std::shared_ptr<RootEtagProvider> etagProvider) const;
    void bindLocalTrigger(const std::shared_ptr<FileSystemTrigger>& fileSystemTrigger);
    void bindIntoAction(const Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>& trigger);
    void observeRunOutcomes();

    SyncSchedulerOptions m_options;
    Reactive::MutableProperty<SyncStatus> m_status;
    std::shared_ptr<SyncConfiguration> m_configuration;
    std::shared_ptr<SyncExecutor> m_executor;
    Reactive::Property<bool> m_enabled;
    std::pair<Reactive::Lifetime, Reactive::Lifetime::Token> m_lifetime;
    std::shared_ptr<SyncAction> m_syncAction;
    std::shared_ptr<LocalTriggerState> m_localTrigger;
    std::shared_ptr<RunOutcomes> m_runOutcomes;
    Reactive::CompositeDisposable m_bindings;
};

} // namespace Sync
