#pragma once

#include "Platform/Database/Database.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace Sync {

// The change streams of the stores: a producer whose every start schedules on
// `scheduler` the opening of a handle (one call of `createDatabase`) and the
// registration of a change observation on it, then, when `sendAtStart`, sends
// `read` of that handle. After every commit to the file, from any thread or
// process, it opens a fresh handle on `scheduler` and sends what `read` gives
// (nothing when `read` gives no value). Values arrive on `scheduler` only.
//
// The start returns at once on every thread, so a store's stream can be
// started from a scheduler thread without holding it. Ending the start's
// lifetime (from any thread) ends the observation; a notification already
// running finishes. An unopenable database is logged and the stream stays silent.
template<class Value>
Reactive::SignalProducer<Value, Reactive::NoError> databaseChangeProducer(Platform::DatabaseFactory createDatabase,
    Reactive::SchedulerPtr scheduler, bool sendAtStart, std::function<std::optional<Value>(Platform::Database&)> read)
{
    using Observer = Reactive::Observer<Value, Reactive::NoError>;
    return Reactive::SignalProducer<Value, Reactive::NoError>(
        [createDatabase, scheduler, sendAtStart, read](Observer observer, Reactive::Lifetime lifetime) {
            struct Registration {
                std::mutex mutex;
                bool ended = false;
                std::optional<Platform::DatabaseObservation> observation;
            };
            auto registration = std::make_shared<Registration>();

            auto begin = scheduler->schedule([=] {
                {
                    std::lock_guard lock(registration->mutex);
                    if (registration->ended)
                        return;
                }
                auto database = createDatabase();
                if (!database) {
                    Platform::Log::failure(database.error().description());
                    return;
                }
                Platform::DatabaseExecutor executor = [scheduler](std::function<void()> task) {
                    scheduler->schedule(std::move(task));
                };
                // Observe before the first read, so no commit can fall between them.
                auto observation = database->observe(executor, [createDatabase, read, observer] {
                    auto fresh = createDatabase();
                    if (!fresh) {
                        Platform::Log::failure(fresh.error().description());
                        return;
                    }
                    if (auto value = read(*fresh))
                        observer.send(std::move(*value));
                });
                if (!observation)
                    Platform::Log::failure(observation.error().description());
                if (sendAtStart) {
                    if (auto value = read(*database))
                        observer.send(std::move(*value));
                }
                if (!observation)
                    return;
                std::unique_lock lock(registration->mutex);
                if (!registration->ended)
                    registration->observation = std::move(*observation);
                // Otherwise the observation ends here, as the start has already ended.
            });

            lifetime.observeEnded([registration, begin] {
                begin.dispose();
                std::optional<Platform::DatabaseObservation> observation;
                {
                    std::lock_guard lock(registration->mutex);
                    registration->ended = true;
                    observation = std::move(registration->observation);
                }
                // Invalidated here, outside the lock, when `observation` goes.
            });
        });
}

} // namespace Sync
