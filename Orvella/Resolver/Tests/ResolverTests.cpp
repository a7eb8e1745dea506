#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Resolver/Tests/BindingModule.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Orvella;
using Orvella::Testing::modules;

namespace {

struct QuotaProvider {
    virtual ~QuotaProvider() = default;
};
struct ShareService {
    virtual ~ShareService() = default;
    int shareState = 7;
};
struct SyncClient {
    virtual ~SyncClient() = default;
};
// Several bases, so that a presented alias sits at another address than the
// object: a cast through an untyped pointer would hand out the wrong one.
struct Manager final : QuotaProvider, ShareService, SyncClient {
    int identity = 0;
};

struct Window {
    std::shared_ptr<Manager> manager;
};

struct Settings {
    std::string name = "settings";
};

struct Storage {};

struct Missing {};

struct DiskFull {
    std::string description() const { return "disk full"; }
};

struct A {};
struct B {};
struct C {};

std::string name(std::type_index key)
{
    return ResolutionError::nameOf(key);
}

} // namespace

TEST(ResolverTests, SingleIsSharedAcrossAllItsAliases)
{
    // One instance answers for its key and each alias, at every resolution,
    // and the alias hands out the right base of it.
    int built = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.alias<SyncClient, Manager>(); // before its target's binding, on purpose
        binder.addBinding<Manager>(Scope::single, [&](Resolver&) {
            auto manager = std::make_shared<Manager>();
            manager->identity = ++built;
            return manager;
        });
        binder.alias<QuotaProvider, Manager>();
        binder.alias<ShareService, Manager>();
    }));

    auto manager = resolver.resolve<Manager>();
    auto quota = resolver.resolve<QuotaProvider>();
    auto share = resolver.resolve<ShareService>();
    auto client = resolver.resolve<SyncClient>();
    ASSERT_TRUE(manager && quota && share && client);
    EXPECT_EQ(built, 1);
    EXPECT_EQ(quota->get(), static_cast<QuotaProvider*>(manager->get()));
    EXPECT_EQ(share->get(), static_cast<ShareService*>(manager->get()));
    EXPECT_EQ(client->get(), static_cast<SyncClient*>(manager->get()));
    EXPECT_EQ((*share)->shareState, 7);
    EXPECT_EQ(resolver.resolve<Manager>()->get(), manager->get());
    Resolution<ShareService> injected = resolver.inject();
    EXPECT_EQ(injected.value().get(), share->get());
    EXPECT_EQ(built, 1);
}

TEST(ResolverTests, TransientIsNewAtEachResolution)
{
    // Each resolution runs the factory again; a single it depends on stays one.
    int windows = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Manager>(Scope::single, [](Resolver&) { return std::make_shared<Manager>(); });
        binder.addBinding<Window>(Scope::transient, [&](Resolver& container) -> Resolution<Window> {
            ++windows;
            auto manager = container.resolve<Manager>();
            if (!manager) {
                return std::unexpected(manager.error());
            }
            return std::make_shared<Window>(Window{*manager});
        });
    }));

    auto first = resolver.resolve<Window>();
    auto second = resolver.resolve<Window>();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->get(), second->get());
    EXPECT_EQ(windows, 2);
    EXPECT_EQ((*first)->manager, (*second)->manager);
}

TEST(ResolverTests, ErrorsOfUnboundKeysAndFailingFactoriesReachTheResolverUnchanged)
{
    // The error that reaches the first caller names the key that failed, and a
    // factory's own error keeps its type.
    Resolver resolver(modules([](Binder& binder) {
        binder.bind<Window>(Scope::transient, [](std::shared_ptr<Missing>) { return std::make_shared<Window>(); });
        binder.addBinding<Settings>(Scope::single, [](Resolver&) -> std::expected<std::shared_ptr<Settings>, DiskFull> {
            return std::unexpected(DiskFull());
        });
        binder.addBinding<Storage>(Scope::transient, [](Resolver& container) -> Resolution<Storage> {
            auto settings = container.resolve<Settings>();
            if (!settings) {
                return std::unexpected(settings.error());
            }
            return std::make_shared<Storage>();
        });
        binder.alias<ShareService, Manager>();
        binder.addBinding<A>(Scope::transient, [](Resolver&) { return std::shared_ptr<A>(); });
    }));

    auto unbound = resolver.resolve<Missing>();
    ASSERT_FALSE(unbound);
    EXPECT_EQ(unbound.error().code(), ResolutionError::Code::unboundKey);
    EXPECT_EQ(unbound.error().key(), name(typeid(Missing)));

    auto throughDependency = resolver.resolve<Window>();
    ASSERT_FALSE(throughDependency);
    EXPECT_EQ(throughDependency.error().code(), ResolutionError::Code::unboundKey);
    EXPECT_EQ(throughDependency.error().key(), name(typeid(Missing)));

    auto throughAlias = resolver.resolve<ShareService>();
    ASSERT_FALSE(throughAlias);
    EXPECT_EQ(throughAlias.error().key(), name(typeid(Manager)));

    auto failed = resolver.resolve<Storage>();
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code(), ResolutionError::Code::factoryFailed);
    EXPECT_EQ(failed.error().key(), name(typeid(Settings)));
    ASSERT_TRUE(failed.error().cause());
    EXPECT_TRUE(failed.error().cause()->is<DiskFull>());
    EXPECT_EQ(failed.error().description(), "the factory of " + name(typeid(Settings)) + " failed: disk full");

    auto empty = resolver.resolve<A>();
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().code(), ResolutionError::Code::noInstance);
}

TEST(ResolverTests, FailedSingleIsBuiltAgainAtTheNextResolution)
{
    // A single is kept only once its factory succeeded; until then each
    // resolution tries again.
    int attempts = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Settings>(Scope::single, [&](Resolver&) -> std::expected<std::shared_ptr<Settings>, DiskFull> {
            if (++attempts == 1) {
                return std::unexpected(DiskFull());
            }
            return std::make_shared<Settings>();
        });
    }));

    EXPECT_FALSE(resolver.resolve<Settings>());
    auto second = resolver.resolve<Settings>();
    auto third = resolver.resolve<Settings>();
    ASSERT_TRUE(second && third);
    EXPECT_EQ(second->get(), third->get());
    EXPECT_EQ(attempts, 2);
}

TEST(ResolverTests, KeyAskedForInsideItsOwnFactoryIsACycleWithItsChain)
{
    // A -> B -> C -> B is reported from B's first request to its repetition,
    // for singles, transients and aliases alike, instead of recursing.
    Resolver resolver(modules([](Binder& binder) {
        binder.bind<A>(Scope::single, [](std::shared_ptr<B>) { return std::make_shared<A>(); });
        binder.alias<QuotaProvider, Manager>();
        binder.bind<B>(Scope::transient, [](std::shared_ptr<QuotaProvider>) { return std::make_shared<B>(); });
        binder.addBinding<Manager>(Scope::single, [](Resolver& container) -> Resolution<Manager> {
            auto b = container.resolve<B>();
            if (!b) {
                return std::unexpected(b.error());
            }
            return std::make_shared<Manager>();
        });
        binder.addBinding<C>(Scope::transient, [](Resolver& container) -> Resolution<C> {
            auto self = container.resolve<C>();
            if (!self) {
                return std::unexpected(self.error());
            }
            return std::make_shared<C>();
        });
    }));

    auto result = resolver.resolve<A>();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code(), ResolutionError::Code::cycle);
    const std::vector<std::string> chain{
        name(typeid(B)), name(typeid(QuotaProvider)), name(typeid(Manager)), name(typeid(B))};
    EXPECT_EQ(result.error().chain(), chain);
    EXPECT_EQ(result.error().key(), name(typeid(B)));
    EXPECT_EQ(result.error().description(),
        "cycle: " + chain[0] + " -> " + chain[1] + " -> " + chain[2] + " -> " + chain[3]);

    auto self = resolver.resolve<C>();
    ASSERT_FALSE(self);
    EXPECT_EQ(self.error().chain(), (std::vector<std::string>{name(typeid(C)), name(typeid(C))}));

    // The failed build left nothing behind: asking again reports the same cycle.
    auto again = resolver.resolve<A>();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().chain(), chain);
}

TEST(ResolverTests, OptionalInjectionGivesNothingOnlyForUnboundKeys)
{
    // An unbound key gives a null pointer; a bound key that fails still fails.
    Resolver resolver(modules([](Binder& binder) {
        binder.bind<Settings>(Scope::single);
        binder.bind<Window>(Scope::transient, [](std::shared_ptr<Missing>) { return std::make_shared<Window>(); });
    }));

    auto missing = resolver.injectOptional<Missing>();
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, nullptr);
    auto settings = resolver.injectOptional<Settings>();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->get(), resolver.resolve<Settings>()->get());
    auto window = resolver.injectOptional<Window>();
    ASSERT_FALSE(window);
    EXPECT_EQ(window.error().key(), name(typeid(Missing)));
}

TEST(ResolverTests, InjectedFactoryResolvesAnewAtEachCall)
{
    // The stores' way to a fresh database object at every access.
    int built = 0;
    Resolver resolver(modules([&](Binder& binder) {
        binder.addBinding<Storage>(Scope::transient, [&](Resolver&) {
            ++built;
            return std::make_shared<Storage>();
        });
    }));

    auto open = resolver.injectFactory<Storage>();
    EXPECT_EQ(built, 0);
    auto first = open();
    auto second = open();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->get(), second->get());
    EXPECT_EQ(built, 2);
}

TEST(ResolverTests, LaterBindingOfAKeyReplacesTheEarlierOne)
{
    // A module listed after another can put a stand-in in place of a binding.
    std::vector<std::shared_ptr<Module>> list{
        std::make_shared<Testing::BindingModule>([](Binder& binder) {
            binder.addBinding<Settings>(Scope::single, [](Resolver&) { return std::make_shared<Settings>(); });
        }),
        std::make_shared<Testing::BindingModule>([](Binder& binder) {
            binder.addBinding<Settings>(Scope::single, [](Resolver&) {
                return std::make_shared<Settings>(Settings{"stand-in"});
            });
        }),
    };
    Resolver resolver(list);
    EXPECT_EQ(resolver.resolve<Settings>().value()->name, "stand-in");
}

TEST(ResolverTests, ContainerDropsItsSinglesLastBuiltFirst)
{
    // Whatever depends on a single goes before it, and nothing outlives the
    // container unless a caller keeps it.
    std::vector<std::string> destroyed;
    struct Recorder {
        Recorder(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
        ~Recorder() { log.push_back(name); }
        std::vector<std::string>& log;
        std::string name;
    };
    struct Dependent : Recorder {
        using Recorder::Recorder;
    };
    struct Dependency : Recorder {
        using Recorder::Recorder;
    };
    std::weak_ptr<Dependency> dependency;
    {
        Resolver resolver(modules([&](Binder& binder) {
            binder.addBinding<Dependency>(Scope::single, [&](Resolver&) {
                return std::make_shared<Dependency>(destroyed, "dependency");
            });
            binder.addBinding<Dependent>(Scope::single, [&](Resolver& container) -> Resolution<Dependent> {
                auto needed = container.resolve<Dependency>();
                if (!needed) {
                    return std::unexpected(needed.error());
                }
                return std::make_shared<Dependent>(destroyed, "dependent");
            });
        }));
        ASSERT_TRUE(resolver.resolve<Dependent>());
        dependency = resolver.resolve<Dependency>().value();
    }
    EXPECT_EQ(destroyed, (std::vector<std::string>{"dependent", "dependency"}));
    EXPECT_TRUE(dependency.expired());
}
