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
// - the local trigger: every value of the file-system trigger starts a run.
//   One such start refused because a run was executing is remembered and
//   made once that run has ended (while sync is still enabled).
// Becoming disabled ends a running run early, as a normal completion, and
// stops polling.
//
// `status()` follows the enabled inputs and the runs: `checking` when a run
// starts, `syncing` at its events, `allInSync(now)` when it ends or when the
// inputs change while none runs, `disabled` or `notReachable` otherwise.
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

private:
    struct LocalTriggerState;

    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> stopSignal() const;
    Reactive::SignalProducer<SyncStatus, Reactive::NoError> statusProducer() const;
    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> remoteTrigger(
        std::shared_ptr<CloudFolderPreparator> preparator, std::shared_ptr<RootEtagProvider> etagProvider) const;
    void bindLocalTrigger(const std::shared_ptr<FileSystemTrigger>& fileSystemTrigger);
    void bindIntoAction(const Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>& trigger);

    SyncSchedulerOptions m_options;
    Reactive::MutableProperty<SyncStatus> m_status;
    std::shared_ptr<SyncConfiguration> m_configuration;
    std::shared_ptr<SyncExecutor> m_executor;
    Reactive::Property<bool> m_enabled;
    std::pair<Reactive::Lifetime, Reactive::Lifetime::Token> m_lifetime;
    std::shared_ptr<SyncAction> m_syncAction;
    std::shared_ptr<LocalTriggerState> m_localTrigger;
    Reactive::CompositeDisposable m_bindings;
};

} // namespace Sync
