#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Resolver/Tests/BindingModule.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <latch>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

using namespace Orvella;
using Orvella::Testing::modules;

namespace {

struct Configuration {};

struct Connection {
    explicit Connection(std::shared_ptr<Configuration> configuration) : configuration(std::move(configuration)) {}
    std::shared_ptr<Configuration> configuration;
};

struct Manager {};
struct Scheduler {
    explicit Scheduler(std::shared_ptr<Manager> executor) : executor(std::move(executor)) {}
    std::shared_ptr<Manager> executor;
};
struct Store {};

constexpr int threadCount = 8;

// Sets a flag once and lets others wait for it, however often the setting
// code runs (a factory that is retried runs its signal again).
class Signal {
public:
    void raise()
    {
        m_raised.store(true);
        m_raised.notify_all();
    }
    void wait() const { m_raised.wait(false); }

private:
    std::atomic<bool> m_raised = false;
};

} // namespace

TEST(ResolverConcurrencyTests, EightThreadsResolvingTransientsBuildTheirSingleOnce)
{
    // Threads that race to the single behind their transients all get the
    // one instance, and its factory ran once. The factory goes on only when
    // every thread has asked for a transient, so all of them ask for the
    // single while it is being built.
    std::atomic<int> configurations = 0;
    std::atomic<int> connections = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Configuration>(Scope::single, [&](Resolver&) {
            configurations.fetch_add(1);
            for (int seen = connections.load(); seen < threadCount; seen = connections.load()) {
                connections.wait(seen);
            }
            return std::make_shared<Configuration>();
        });
        binder.addBinding<Connection>(Scope::transient, [&](Resolver& container) -> Resolution<Connection> {
            connections.fetch_add(1);
            connections.notify_all();
            auto configuration = container.resolve<Configuration>();
            if (!configuration) {
                return std::unexpected(configuration.error());
            }
            return std::make_shared<Connection>(*configuration);
        });
    }));

    constexpr int resolutionsPerThread = 200;
    std::latch start(threadCount);
    std::vector<std::shared_ptr<Configuration>> seen(threadCount * resolutionsPerThread);
    std::atomic<int> failures = 0;
    {
        std::vector<std::jthread> threads;
        for (int thread = 0; thread < threadCount; ++thread) {
            threads.emplace_back([&, thread] {
                start.arrive_and_wait();
                for (int index = 0; index < resolutionsPerThread; ++index) {
                    auto connection = resolver.resolve<Connection>();
                    if (!connection) {
                        failures.fetch_add(1);
                        continue;
                    }
                    seen[static_cast<std::size_t>(thread * resolutionsPerThread + index)] = (*connection)->configuration;
                }
            });
        }
    }

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(configurations.load(), 1);
    EXPECT_EQ(connections.load(), threadCount * resolutionsPerThread);
    const auto single = resolver.resolve<Configuration>().value();
    for (const auto& configuration : seen) {
        EXPECT_EQ(configuration, single);
    }
}

TEST(ResolverConcurrencyTests, NoLockIsHeldWhileAFactoryRuns)
{
    // A single's factory waits for another thread's resolutions (of a
    // transient and of another single) to finish: a lock held during the
    // factory would make both wait for ever.
    Signal factoryRunning;
    Signal othersDone;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Manager>(Scope::single, [&](Resolver&) {
            factoryRunning.raise();
            othersDone.wait();
            return std::make_shared<Manager>();
        });
        binder.bind<Configuration>(Scope::single);
        binder.bind<Connection, Connection, Configuration>(Scope::transient);
    }));

    std::jthread slow([&] { EXPECT_TRUE(resolver.resolve<Manager>()); });
    factoryRunning.wait();
    EXPECT_TRUE(resolver.resolve<Connection>());
    othersDone.raise();
}

TEST(ResolverConcurrencyTests, SinglesWaitingForEachOtherAcrossThreadsAreACycle)
{
    // Thread one builds the manager, which needs the store; thread two builds
    // the store, which needs the manager. Each waits for the other's build:
    // instead of a deadlock, a cycle is reported with the whole chain.
    Signal managerStarted;
    Signal storeStarted;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Manager>(Scope::single, [&](Resolver& container) -> Resolution<Manager> {
            managerStarted.raise();
            storeStarted.wait();
            auto store = container.resolve<Store>();
            if (!store) {
                return std::unexpected(store.error());
            }
            return std::make_shared<Manager>();
        });
        binder.bind<Scheduler, Scheduler, Manager>(Scope::transient);
        binder.addBinding<Store>(Scope::single, [&](Resolver& container) -> Resolution<Store> {
            storeStarted.raise();
            managerStarted.wait();
            auto scheduler = container.resolve<Scheduler>();
            if (!scheduler) {
                return std::unexpected(scheduler.error());
            }
            return std::make_shared<Store>();
        });
    }));

    std::optional<Resolution<Manager>> manager;
    std::optional<Resolution<Store>> store;
    {
        std::jthread first([&] { manager = resolver.resolve<Manager>(); });
        std::jthread second([&] { store = resolver.resolve<Store>(); });
    }

    ASSERT_TRUE(manager && store);
    ASSERT_FALSE(*manager);
    ASSERT_FALSE(*store);
    EXPECT_EQ(manager->error().code(), ResolutionError::Code::cycle);
    EXPECT_EQ(store->error().code(), ResolutionError::Code::cycle);
    // Whichever thread found the cycle, its chain holds the three keys and
    // returns to where it started.
    for (const auto* error : {&manager->error(), &store->error()}) {
        const auto& chain = error->chain();
        ASSERT_EQ(chain.size(), 4u) << error->description();
        EXPECT_EQ(chain.front(), chain.back());
        for (const auto* key : {&typeid(Manager), &typeid(Store), &typeid(Scheduler)}) {
            EXPECT_NE(std::find(chain.begin(), chain.end(), ResolutionError::nameOf(*key)), chain.end())
                << error->description();
        }
    }
}
