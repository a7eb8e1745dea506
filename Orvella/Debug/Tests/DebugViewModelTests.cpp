#include "Orvella/Debug/TestSupport/PipedSyncEvents.hpp"
#include "Orvella/Debug/DebugViewModel.hpp"
#include "Orvella/Debug/LaunchArguments.hpp"

#include "Quarlink/Errors/URLError.hpp"

#include <gtest/gtest.h>

#include <thread>

using namespace Orvella;

namespace {

struct PlainError final : Reactive::Error {
    [[nodiscard]] std::string description() const override { return "Platte voll"; }
};

} // namespace

TEST(DebugViewModelTests, threeLineFormsOldestFirstAndOnlyAfterCreation)
{
    auto events = std::make_shared<Testing::PipedSyncEvents>();
    Reactive::MutableProperty<Quarlink::Environment> environment(Quarlink::Environment::live());
    events->pipe.second.send({ Sync::SyncEvent::started(), Sync::Change::invalid() });
    DebugViewModel model(events, environment);
    const auto change = Sync::Change::invalid().description();
    events->pipe.second.send({ Sync::SyncEvent::started(), Sync::Change::invalid() });
    events->pipe.second.send({ Sync::SyncEvent::finished(), Sync::Change::invalid() });
    events->pipe.second.send({ Sync::SyncEvent::error(Reactive::AnyError(PlainError())), Sync::Change::invalid() });
    const auto& source = *model.syncEventDataSource();
    ASSERT_EQ(source.numberOfRows(), 3);
    EXPECT_EQ(source.objectValue(0), change + " started");
    EXPECT_EQ(source.objectValue(1), change + " \u2705");
    EXPECT_EQ(source.objectValue(2), change + " \u2757\uFE0F Platte voll");
    EXPECT_EQ(source.objectValue(3), "");
    EXPECT_EQ(source.objectValue(-1), "");
}

// Lines appended from several threads at once are all kept: each append
// happens under the property's lock, not as a read followed by a write.
TEST(DebugViewModelTests, linesFromSeveralThreadsAreAllAppended)
{
    auto events = std::make_shared<Testing::PipedSyncEvents>();
    Reactive::MutableProperty<Quarlink::Environment> environment(Quarlink::Environment::live());
    DebugViewModel model(events, environment);
    constexpr int perThread = 500;
    std::vector<std::thread> threads;
    for (int index = 0; index < 4; ++index) {
        threads.emplace_back([&] {
            for (int count = 0; count < perThread; ++count) {
                model.syncEventDataSource()->append("Zeile");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(model.syncEventDataSource()->numberOfRows(), 4 * perThread);
}

TEST(DebugViewModelTests, environmentIndexAndChoice)
{
    auto events = std::make_shared<Testing::PipedSyncEvents>();
    Reactive::MutableProperty<Quarlink::Environment> environment(Quarlink::Environment::stage());
    DebugViewModel model(events, environment);
    EXPECT_EQ(model.selectedAPIEnvironmentIndex().value(), 0);
    EXPECT_EQ(environment.value().kind(), Quarlink::Environment::Kind::stage);
    ASSERT_EQ(DebugViewModel::availableEnvironments().size(), 1u);
    EXPECT_EQ(environmentDescription(DebugViewModel::availableEnvironments()[0]), "Live");
    model.selectedAPIEnvironmentIndex().set(0);
    EXPECT_EQ(environment.value().kind(), Quarlink::Environment::Kind::live);
    EXPECT_EQ(model.selectedEnvironment().value().kind(), Quarlink::Environment::Kind::live);
    model.selectedAPIEnvironmentIndex().set(7);
    EXPECT_EQ(environment.value().kind(), Quarlink::Environment::Kind::live);
}

struct FakeSwitcher final : EnvironmentSwitcher {
    Reactive::MutableProperty<Quarlink::Environment> property { Quarlink::Environment::test() };
    Reactive::MutableProperty<Quarlink::Environment>& environment() override { return property; }
};

TEST(DebugViewModelTests, keepsTheSwitcherItWritesTo)
{
    auto switcher = std::make_shared<FakeSwitcher>();
    std::weak_ptr<FakeSwitcher> weak = switcher;
    DebugViewModel model(std::make_shared<Testing::PipedSyncEvents>(), std::move(switcher));
    ASSERT_FALSE(weak.expired());
    model.selectedAPIEnvironmentIndex().set(0);
    EXPECT_EQ(weak.lock()->property.value().kind(), Quarlink::Environment::Kind::live);
}

TEST(LaunchArgumentsTests, wholeElementsMatchExactly)
{
    const std::string skip(LaunchArguments::skipLetsMoveTestArgument);
    EXPECT_TRUE(LaunchArguments::contains({ "/usr/bin/orvella", skip }, skip));
    EXPECT_FALSE(LaunchArguments::contains({ "/usr/bin/orvella", "--" + skip }, skip));
    EXPECT_FALSE(LaunchArguments::contains({ "/usr/bin/orvella", skip + "=1" }, skip));
    EXPECT_FALSE(LaunchArguments::contains({ "/usr/bin/orvella", "skip_lets_move_test" }, skip));
    EXPECT_FALSE(LaunchArguments::contains({ "/usr/bin/" + skip + "x" }, skip));
    // The test program runs without either switch; its own path comes first.
    const auto arguments = LaunchArguments::processArguments();
    ASSERT_FALSE(arguments.empty());
    EXPECT_NE(arguments[0].find("Tests"), std::string::npos);
    EXPECT_FALSE(LaunchArguments::skipLetsMoveTest());
    EXPECT_FALSE(LaunchArguments::doNotShowCrashDetailsDialogue());
}
