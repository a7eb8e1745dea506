#include "Platform/Foundation/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Platform;

TEST(NotificationCenterTests, DeliversByNameAndSenderInOrderOfRegistration)
{
    // Observers see only their name, only their sender (or every sender when they name none), in the order they were added.
    NotificationCenter center;
    int first = 0;
    int second = 0;
    std::vector<std::string> order;
    auto any = center.addObserver("Ping", nullptr, [&](const Notification&) { order.push_back("any"); });
    auto fromFirst = center.addObserver("Ping", &first, [&](const Notification&) { order.push_back("first"); });
    auto other = center.addObserver("Pong", nullptr, [&](const Notification&) { order.push_back("pong"); });

    center.post("Ping", &first);
    center.post("Ping", &second);
    center.post("Ping", nullptr);
    EXPECT_EQ(order, (std::vector<std::string> { "any", "first", "any", "any" }));
}

TEST(NotificationCenterTests, CarriesTypedUserInfo)
{
    // A user-info value is found under its key with its own type; another type or a missing key gives nothing.
    NotificationCenter center;
    std::optional<int> seen;
    bool wrongTypeSeen = true;
    bool missingSeen = true;
    auto registration = center.addObserver("Quota", nullptr, [&](const Notification& notification) {
        if (auto* value = notification.userInfoValue<int>("quota"))
            seen = *value;
        wrongTypeSeen = notification.userInfoValue<std::string>("quota") != nullptr;
        missingSeen = notification.userInfoValue<int>("other") != nullptr;
    });
    center.post("Quota", nullptr, { { "quota", 42 } });
    EXPECT_EQ(seen, 42);
    EXPECT_FALSE(wrongTypeSeen);
    EXPECT_FALSE(missingSeen);
}

TEST(NotificationCenterTests, RemovalEndsDeliveryAlsoFromInsideTheBlock)
{
    // A removed or destroyed registration is never called again, also when it removes itself while being called.
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::Registration self;
    self = center.addObserver("Once", nullptr, [&](const Notification&) {
        ++calls;
        self.remove();
    });
    {
        auto scoped = center.addObserver("Once", nullptr, [&](const Notification&) { ++calls; });
        center.post("Once", nullptr);
    }
    center.post("Once", nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(self.isActive());
    EXPECT_EQ(center.observerCount("Once"), 0u);
}

TEST(NotificationCenterTests, ObserversMayPostAndAddWithoutDeadlock)
{
    // No lock is held while an observer runs: it may post again and add observers, which miss the post under way.
    NotificationCenter center;
    std::vector<std::string> seen;
    std::vector<NotificationCenter::Registration> added;
    auto outer = center.addObserver("A", nullptr, [&](const Notification&) {
        seen.push_back("A");
        added.push_back(center.addObserver("A", nullptr, [&](const Notification&) { seen.push_back("late A"); }));
        center.post("B", nullptr);
    });
    auto inner = center.addObserver("B", nullptr, [&](const Notification&) { seen.push_back("B"); });
    center.post("A", nullptr);
    EXPECT_EQ(seen, (std::vector<std::string> { "A", "B" }));
}

TEST(NotificationCenterTests, DeliversOnThePostingThread)
{
    // Each post runs its observers synchronously on the thread that posts.
    NotificationCenter center;
    std::thread::id observedOn;
    auto registration = center.addObserver("Here", nullptr, [&](const Notification&) { observedOn = std::this_thread::get_id(); });
    std::thread poster([&] { center.post("Here", nullptr); });
    auto posterID = poster.get_id();
    poster.join();
    EXPECT_EQ(observedOn, posterID);
}

TEST(NotificationCenterTests, RemovalWaitsForABlockRunningOnAnotherThread)
{
    // Removal returns only after a block running on another thread has left it, so the block never outlives its owner.
    NotificationCenter center;
    std::atomic<bool> inside { false };
    std::atomic<bool> mayLeave { false };
    std::atomic<bool> left { false };
    auto registration = center.addObserver("Slow", nullptr, [&](const Notification&) {
        inside = true;
        while (!mayLeave)
            std::this_thread::yield();
        left = true;
    });
    std::thread poster([&] { center.post("Slow", nullptr); });
    while (!inside)
        std::this_thread::yield();
    std::atomic<bool> removing { false };
    std::thread releaser([&] {
        while (!removing)
            std::this_thread::yield();
        // Gives the removal a chance to return early, which it must not.
        for (int turn = 0; turn < 1000; ++turn)
            std::this_thread::yield();
        mayLeave = true;
    });
    removing = true;
    registration.remove();
    EXPECT_TRUE(left);
    poster.join();
    releaser.join();
}

TEST(NotificationCenterTests, ManyThreadsPostAndRegisterConcurrently)
{
    // Concurrent posts, additions and removals neither lose a delivery to a live observer nor crash.
    NotificationCenter center;
    std::atomic<int> delivered { 0 };
    auto steady = center.addObserver("Load", nullptr, [&](const Notification&) { ++delivered; });
    std::vector<std::thread> threads;
    for (int index = 0; index < 4; ++index) {
        threads.emplace_back([&] {
            for (int round = 0; round < 500; ++round) {
                auto churn = center.addObserver("Load", nullptr, [](const Notification&) {});
                center.post("Load", nullptr);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(delivered.load(), 2000);
    EXPECT_EQ(center.observerCount("Load"), 1u);
}
