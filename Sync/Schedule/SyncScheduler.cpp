#include "Sync/Schedule/SyncScheduler.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Reactive/BindingTarget.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <atomic>
#include <optional>
#include <string>

namespace Sync {

namespace {

using Reactive::NoError;
using Reactive::SignalProducer;
using Reactive::Unit;
using Etag = std::optional<std::string>; // Nothing: preparing the cloud folder failed.

SyncSchedulerOptions withDefaults(SyncSchedulerOptions options)
{
    if (!options.intervalScheduler) {
        options.intervalScheduler = Reactive::QueueScheduler::make("Sync.SyncScheduler.interval");
    }
    if (!options.remoteTriggerScheduler) {
        options.remoteTriggerScheduler = Reactive::QueueScheduler::make("Sync.SyncScheduler.remoteTrigger");
    }
    if (!options.localTriggerScheduler) {
        options.localTriggerScheduler = Reactive::QueueScheduler::make("Sync.SyncScheduler.localTrigger");
    }
    if (!options.now) {
        options.now = [] { return Platform::Date::now(); };
    }
    return options;
}

// A tick at once and then one every `interval`, on `scheduler`.
SignalProducer<Unit, NoError> ticks(Reactive::DateScheduler::Duration interval, Reactive::DateSchedulerPtr scheduler)
{
    return SignalProducer<Unit, NoError>([interval, scheduler](Reactive::Observer<Unit, NoError> observer, Reactive::Lifetime lifetime) {
        lifetime += scheduler->schedule(scheduler->currentDate(), interval, [observer] { observer.send(Unit()); });
    });
}

// One value `interval` after the start, on `scheduler`.
SignalProducer<Unit, NoError> after(Reactive::DateScheduler::Duration interval, Reactive::DateSchedulerPtr scheduler)
{
    return SignalProducer<Unit, NoError>([interval, scheduler](Reactive::Observer<Unit, NoError> observer, Reactive::Lifetime lifetime) {
        lifetime += scheduler->schedule(scheduler->currentDate() + interval, [observer] {
            observer.send(Unit());
            observer.sendCompleted();
        });
    });
}

}

// A local trigger refused while a run executes is remembered here, once, and
// replayed when the run has ended.
struct SyncScheduler::LocalTriggerState {
    std::atomic<bool> pending { false };
};

SyncScheduler::SyncScheduler(std::shared_ptr<SyncConfiguration> configuration, std::shared_ptr<CloudFolderPreparator> preparator,
    std::shared_ptr<SyncExecutor> executor, std::shared_ptr<FileSystemTrigger> fileSystemTrigger,
    std::shared_ptr<RootEtagProvider> remoteEtagProvider, SyncSchedulerOptions options)
    : m_options(withDefaults(std::move(options)))
    , m_status(SyncStatus::disabled())
    , m_configuration(std::move(configuration))
    , m_executor(std::move(executor))
    , m_enabled(m_configuration->isSyncEnabled().andWith(m_configuration->isRemoteReachable()))
    , m_lifetime(Reactive::Lifetime::make())
    , m_localTrigger(std::make_shared<LocalTriggerState>())
{
    // Later changes of the enabled condition are logged; its value now is not.
    m_bindings += m_enabled.producer().skipRepeats().filter([first = true](bool) mutable { return !std::exchange(first, false); })
                      .startWithValues([](bool enabled) { Platform::Log::line(enabled ? "sync activated" : "sync deactivated"); });

    auto stop = stopSignal();
    auto executorForRuns = m_executor;
    m_syncAction = std::make_shared<SyncAction>(m_enabled, [executorForRuns, stop](const Unit&) {
        return executorForRuns->performSync().takeUntil(stop);
    });
    m_bindings += m_syncAction->disabledErrors().observeValues(
        [](const Unit&) { Platform::Log::line("could not start. sync was already running"); });

    m_bindings += Reactive::bind(m_status, statusProducer());
    bindIntoAction(remoteTrigger(std::move(preparator), std::move(remoteEtagProvider))
                       .startOn(m_options.remoteTriggerScheduler));
    bindLocalTrigger(fileSystemTrigger);
}

SyncScheduler::~SyncScheduler()
{
    // Ends a running run first (as a completion), then every trigger and binding.
    m_lifetime.second.end();
    m_bindings.dispose();
}

SignalProducer<Unit, NoError> SyncScheduler::stopSignal() const
{
    // The condition as it is when a run starts, then its changes: a run
    // started just as sync was switched off ends at once.
    return m_enabled.producer()
        .filter([](bool enabled) { return !enabled; })
        .map([](bool) { return Unit(); })
        .takeDuring(m_lifetime.first);
}

SignalProducer<SyncStatus, NoError> SyncScheduler::statusProducer() const
{
    using Inputs = std::pair<std::pair<bool, bool>, bool>;
    auto events = m_syncAction->events();
    auto now = m_options.now;
    return m_configuration->isSyncEnabled()
        .producer()
        .combineLatestWith(m_configuration->isRemoteReachable().producer())
        .combineLatestWith(m_syncAction->isExecuting().producer())
        .flatMap(Reactive::FlattenStrategy::latest, [events, now](const Inputs& inputs) -> SignalProducer<SyncStatus, NoError> {
            const auto [enabled, reachable] = inputs.first;
            if (inputs.second) {
                return SignalProducer<Reactive::Event<SyncEventPair, NoError>, NoError>(events)
                    .map([now](const Reactive::Event<SyncEventPair, NoError>& event) {
                        return event.isValue() ? SyncStatus::syncing() : SyncStatus::allInSync(now());
                    })
                    .prefix(SyncStatus::checking());
            }
            if (!enabled) {
                return SignalProducer<SyncStatus, NoError>::value(SyncStatus::disabled());
            }
            if (!reachable) {
                return SignalProducer<SyncStatus, NoError>::value(SyncStatus::notReachable());
            }
            // The date is taken when the status is recomputed, not when the producer was made.
            return SignalProducer<SyncStatus, NoError>([now](Reactive::Observer<SyncStatus, NoError> observer, Reactive::Lifetime) {
                observer.send(SyncStatus::allInSync(now()));
                observer.sendCompleted();
            });
        })
        .skipRepeats();
}

SignalProducer<Unit, NoError> SyncScheduler::remoteTrigger(std::shared_ptr<CloudFolderPreparator> preparator,
    std::shared_ptr<RootEtagProvider> etagProvider) const
{
    auto configuration = m_configuration;
    auto intervalScheduler = m_options.intervalScheduler;
    std::weak_ptr<SyncAction> weakAction = m_syncAction;

    // One poll: prepare the folder, then the etag, given at most `interval`.
    auto poll = [preparator, etagProvider, intervalScheduler](Reactive::DateScheduler::Duration interval) {
        return SignalProducer<Etag, NoError>([=](Reactive::Observer<Etag, NoError> observer, Reactive::Lifetime lifetime) {
            if (!preparator->prepareCloudFolder()) {
                observer.send(std::nullopt);
                observer.sendCompleted();
                return;
            }
            auto timeout = after(interval, intervalScheduler).on({ .value = [](const Unit&) {
                Platform::Log::failure("The root etag did not arrive within the sync interval; polling goes on");
            } });
            lifetime += etagProvider->rootEtag().map([](std::string&& etag) { return Etag(std::move(etag)); }).takeUntil(timeout).start(observer);
        })
            .startOn(intervalScheduler);
    };

    return m_enabled.producer()
        .skipRepeats()
        .flatMap(Reactive::FlattenStrategy::latest,
            [configuration, intervalScheduler, weakAction, poll](bool enabled) -> SignalProducer<Etag, NoError> {
                if (!enabled) {
                    return SignalProducer<Etag, NoError>::empty();
                }
                auto interval = configuration->syncInterval();
                if (interval <= Reactive::DateScheduler::Duration::zero()) {
                    Platform::Log::failure("The sync interval is not positive; polling once a second");
                    interval = std::chrono::seconds { 1 };
                }
                return ticks(interval, intervalScheduler)
                    .filter([weakAction](const Unit&) {
                        auto action = weakAction.lock();
                        return action && !action->isExecuting().value();
                    })
                    .flatMap(Reactive::FlattenStrategy::concat, [poll, interval](const Unit&) { return poll(interval); })
                    .skipRepeats();
            })
        .ignoreValues();
}

void SyncScheduler::bindIntoAction(const SignalProducer<Unit, NoError>& trigger)
{
    std::weak_ptr<SyncAction> weakAction = m_syncAction;
    m_bindings += trigger.takeDuring(m_syncAction->lifetime()).startWithValues([weakAction](const Unit&) {
        if (auto action = weakAction.lock()) {
            action->apply(Unit()).start();
        }
    });
}

void SyncScheduler::bindLocalTrigger(const std::shared_ptr<FileSystemTrigger>& fileSystemTrigger)
{
    std::weak_ptr<SyncAction> weakAction = m_syncAction;
    auto state = m_localTrigger;
    auto enabled = m_enabled;
    auto scheduler = m_options.localTriggerScheduler;
    auto lifetime = m_lifetime.first;

    // Applies the action; a refusal while enabled means a run is executing
    // (or has just ended), so the start is remembered, and made at once when
    // the run has ended meanwhile. A remembered start refused again (sync
    // switched off meanwhile) is dropped, so this never loops.
    auto apply = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> weakApply = apply;
    *apply = [weakAction, state, enabled, scheduler, lifetime, weakApply] {
        auto action = weakAction.lock();
        if (!action || lifetime.hasEnded()) {
            return;
        }
        // Read before applying: a refusal because sync is off is not
        // remembered, even when sync is switched on while it is refused.
        const bool wasEnabled = enabled.value();
        action->apply(Unit()).startWithFailed([action, state, wasEnabled, scheduler, weakApply](const Reactive::ActionError<NoError>&) {
            if (!wasEnabled) {
                return;
            }
            state->pending = true;
            if (!action->isExecuting().value() && state->pending.exchange(false)) {
                scheduler->schedule([weakApply] {
                    if (auto again = weakApply.lock()) {
                        (*again)();
                    }
                });
            }
        });
    };
    m_bindings += m_syncAction->isExecuting().signal().observeValues([state, enabled, scheduler, weakApply](bool executing) {
        if (executing || !state->pending.exchange(false) || !enabled.value()) {
            return;
        }
        // Started from the trigger's scheduler, not from inside the ending run's last event.
        scheduler->schedule([weakApply] {
            if (auto again = weakApply.lock()) {
                (*again)();
            }
        });
    });
    m_bindings += fileSystemTrigger->cloudFolderChanged()
                      .startOn(scheduler)
                      .ignoreValues()
                      .takeDuring(m_syncAction->lifetime())
                      .on({ .disposed = [apply] {} }) // Keeps the apply function as long as the binding.
                      .startWithValues([weakApply](const Unit&) {
                          if (auto again = weakApply.lock()) {
                              (*again)();
                          }
                      });
}

} // namespace Sync
