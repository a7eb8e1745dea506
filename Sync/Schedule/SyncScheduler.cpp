#include "Sync/Schedule/SyncScheduler.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Reactive/BindingTarget.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace Sync {

namespace {

using Reactive::NoError;
using Reactive::SignalProducer;
using Reactive::Unit;
using Etag = std::optional<std::string>; // Nothing: preparing the cloud folder failed.
struct Retry { };
// What one tick found: a poll's etag, or a failed run due again (no poll made).
using TickOutcome = std::variant<Etag, Retry>;

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
    if (options.firstRetryDelay <= Reactive::DateScheduler::Duration::zero()) {
        options.firstRetryDelay = SyncScheduler::defaultFirstRetryDelay;
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

// What the ended runs call for. Written where a run reports, read at ticks.
struct SyncScheduler::RunOutcomes {
    std::mutex mutex;
    bool runFailed = false; // the run under way met a failure
    int failures = 0;       // runs that failed in a row
    std::optional<Reactive::DateScheduler::TimePoint> retryAt;
    Reactive::DateScheduler::Duration firstRetryDelay;
    // Whether the last finished run failed; shown as `failed`.
    std::atomic<bool> lastRunFailed { false };

    void noteFailure()
    {
        std::lock_guard lock(mutex);
        runFailed = true;
    }
    bool isRetryDue(Reactive::DateScheduler::TimePoint now)
    {
        std::lock_guard lock(mutex);
        return retryAt && now >= *retryAt;
    }
    // Returns whether the run failed, or nothing when it changes nothing.
    std::optional<bool> runEnded(Reactive::DateScheduler::TimePoint now, bool enabled)
    {
        std::lock_guard lock(mutex);
        const bool failed = std::exchange(runFailed, false);
        if (failed) {
            ++failures;
            retryAt = now + retryDelay(failures, firstRetryDelay);
            return true;
        }
        // Cut short by sync switched off: not a clean run.
        if (!enabled) {
            return std::nullopt;
        }
        failures = 0;
        retryAt.reset();
        return false;
    }
};

Reactive::DateScheduler::Duration SyncScheduler::retryDelay(int failures, Reactive::DateScheduler::Duration first)
{
    constexpr Reactive::DateScheduler::Duration longest = std::chrono::minutes { 10 };
    auto delay = first;
    for (int failure = 1; failure < failures && delay < longest; ++failure) {
        delay *= 2;
    }
    return std::min(delay, longest);
}

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
    , m_runOutcomes(std::make_shared<RunOutcomes>())
{
    m_runOutcomes->firstRetryDelay = m_options.firstRetryDelay;
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

    observeRunOutcomes();
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

void SyncScheduler::observeRunOutcomes()
{
    auto outcomes = m_runOutcomes;
    auto enabled = m_enabled;
    auto clock = m_options.intervalScheduler;
    m_bindings += m_executor->runFailures().observeValues([outcomes](const Reactive::AnyError& error) {
        Platform::Log::failure("The sync run failed: " + error.description());
        outcomes->noteFailure();
    });
    // Decided before the action is idle again, so the status that follows
    // the run's end and the next tick both see the outcome.
    m_bindings += m_syncAction->events().observeValues([outcomes, enabled, clock](const Reactive::Event<SyncEventPair, NoError>& event) {
        if (event.isValue()) {
            if (event.value().first.isError()) {
                outcomes->noteFailure();
            }
            return;
        }
        if (auto failed = outcomes->runEnded(clock->currentDate(), enabled.value())) {
            outcomes->lastRunFailed = *failed;
        }
    });
}

SignalProducer<SyncStatus, NoError> SyncScheduler::statusProducer() const
{
    using Inputs = std::pair<std::pair<bool, bool>, bool>;
    auto events = m_syncAction->events();
    auto now = m_options.now;
    auto outcomes = m_runOutcomes;
    return m_configuration->isSyncEnabled()
        .producer()
        .combineLatestWith(m_configuration->isRemoteReachable().producer())
        .combineLatestWith(m_syncAction->isExecuting().producer())
        .flatMap(Reactive::FlattenStrategy::latest, [events, now, outcomes](const Inputs& inputs) -> SignalProducer<SyncStatus, NoError> {
            const auto [enabled, reachable] = inputs.first;
            if (inputs.second) {
                // The run's end is shown by what follows it (the action is idle
                // again right after), not as a moment of success.
                return SignalProducer<Reactive::Event<SyncEventPair, NoError>, NoError>(events)
                    .filter([](const Reactive::Event<SyncEventPair, NoError>& event) { return event.isValue(); })
                    .map([](const Reactive::Event<SyncEventPair, NoError>&) { return SyncStatus::syncing(); })
                    .prefix(SyncStatus::checking());
            }
            if (!enabled) {
                return SignalProducer<SyncStatus, NoError>::value(SyncStatus::disabled());
            }
            if (!reachable) {
                return SignalProducer<SyncStatus, NoError>::value(SyncStatus::notReachable());
            }
            // Decided at the run's end, before the action was idle again.
            if (outcomes->lastRunFailed) {
                return SignalProducer<SyncStatus, NoError>::value(SyncStatus::failed());
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
    auto outcomes = m_runOutcomes;

    // One tick: prepare the folder; then retry a failed run that is due, or
    // else poll the etag, given at most `interval`.
    auto tick = [preparator, etagProvider, intervalScheduler, outcomes](Reactive::DateScheduler::Duration interval) {
        return SignalProducer<TickOutcome, NoError>([=](Reactive::Observer<TickOutcome, NoError> observer, Reactive::Lifetime lifetime) {
            if (!preparator->prepareCloudFolder()) {
                observer.send(Etag());
                observer.sendCompleted();
                return;
            }
            if (outcomes->isRetryDue(intervalScheduler->currentDate())) {
                Platform::Log::line("retrying the failed sync run");
                observer.send(Retry {});
                observer.sendCompleted();
                return;
            }
            auto timeout = after(interval, intervalScheduler).on({ .value = [](const Unit&) {
                Platform::Log::failure("The root etag did not arrive within the sync interval; polling goes on");
            } });
            lifetime += etagProvider->rootEtag()
                            .map([](std::string&& etag) { return TickOutcome(Etag(std::move(etag))); })
                            .takeUntil(timeout)
                            .start(observer);
        })
            .startOn(intervalScheduler);
    };

    return m_enabled.producer()
        .skipRepeats()
        .flatMap(Reactive::FlattenStrategy::latest,
            [configuration, intervalScheduler, weakAction, tick](bool enabled) -> SignalProducer<TickOutcome, NoError> {
                if (!enabled) {
                    return SignalProducer<TickOutcome, NoError>::empty();
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
                    .flatMap(Reactive::FlattenStrategy::concat, [tick, interval](const Unit&) { return tick(interval); })
                    .filter([previous = std::optional<Etag>()](const TickOutcome& outcome) mutable {
                        // A retry passes and leaves the etag compared against as it was.
                        const auto* etag = std::get_if<Etag>(&outcome);
                        if (!etag) {
                            return true;
                        }
                        if (previous.has_value() && *previous == *etag) {
                            return false;
                        }
                        previous = *etag;
                        return true;
                    });
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
