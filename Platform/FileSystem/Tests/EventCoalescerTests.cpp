#include "Platform/FileSystem/EventCoalescer.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using namespace std::chrono_literals;

namespace {

const EventCoalescer::TimePoint start{};

}  // namespace

// Proves the first event opens a window of the latency, events inside it are delivered together once the
// window closes (each path once, sorted), and the next event opens a fresh window.
TEST(EventCoalescerTests, GathersOneWindowIntoOneDelivery)
{
    EventCoalescer coalescer(1s);
    EXPECT_FALSE(coalescer.deadline().has_value());
    EXPECT_FALSE(coalescer.takeDue(start).has_value());

    coalescer.addPath("/c/b", start);
    coalescer.addPath("/c/a", start + 300ms);
    coalescer.addPath("/c/b", start + 900ms);
    EXPECT_EQ(coalescer.deadline(), start + 1s);
    EXPECT_FALSE(coalescer.takeDue(start + 999ms).has_value());

    auto const first = coalescer.takeDue(start + 1s);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->paths, (std::set<std::string>{"/c/a", "/c/b"}));
    EXPECT_FALSE(first->everythingChanged || first->rootChanged || first->degraded);
    EXPECT_FALSE(coalescer.deadline().has_value());
    EXPECT_FALSE(coalescer.takeDue(start + 5s).has_value());

    coalescer.addPath("/c/d", start + 5s);
    EXPECT_EQ(coalescer.deadline(), start + 6s);
    auto const second = coalescer.takeDue(start + 7s);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->paths, std::set<std::string>{"/c/d"});
}

// Proves a burst spread over three windows gives three deliveries, not one per event.
TEST(EventCoalescerTests, BurstGivesOneDeliveryPerWindow)
{
    EventCoalescer coalescer(100ms);
    int deliveries = 0;
    for (int index = 0; index < 1000; ++index) {
        auto const now = start + std::chrono::microseconds{index * 250};
        coalescer.addPath("/f/" + std::to_string(index), now);
        if (coalescer.takeDue(now)) {
            ++deliveries;
        }
    }
    if (coalescer.takeDue(start + 1s)) {
        ++deliveries;
    }
    EXPECT_EQ(deliveries, 3);
}

// Proves flags travel with the window they arrived in, that a window holding exactly as many distinct paths as
// the cap still names them (a path seen twice counts once), and that "everything changed", from a lost queue or
// from one path too many, replaces the path list.
TEST(EventCoalescerTests, CarriesFlagsAndCapsPaths)
{
    EventCoalescer coalescer(10ms, EventCoalescer::Paths::kept, 3);
    coalescer.addRootChanged(start);
    coalescer.addDegraded(start);
    auto const flagged = coalescer.takeDue(start + 10ms);
    ASSERT_TRUE(flagged.has_value());
    EXPECT_TRUE(flagged->rootChanged);
    EXPECT_TRUE(flagged->degraded);
    EXPECT_FALSE(flagged->everythingChanged);

    for (auto const* path : {"/p0", "/p1", "/p0", "/p2", "/p1"}) {
        coalescer.addPath(path, start + 500ms);
    }
    auto const full = coalescer.takeDue(start + 1s);
    ASSERT_TRUE(full.has_value());
    EXPECT_FALSE(full->everythingChanged);
    EXPECT_EQ(full->paths, (std::set<std::string>{"/p0", "/p1", "/p2"}));

    for (int index = 0; index < 4; ++index) {
        coalescer.addPath("/p" + std::to_string(index), start + 1s);
    }
    auto const capped = coalescer.takeDue(start + 2s);
    ASSERT_TRUE(capped.has_value());
    EXPECT_TRUE(capped->everythingChanged);
    EXPECT_TRUE(capped->paths.empty());

    coalescer.addPath("/before", start + 3s);
    coalescer.addEverythingChanged(start + 3s);
    coalescer.addPath("/after", start + 3s);
    auto const overflowed = coalescer.takeDue(start + 4s);
    ASSERT_TRUE(overflowed.has_value());
    EXPECT_TRUE(overflowed->everythingChanged);
    EXPECT_TRUE(overflowed->paths.empty());
    EXPECT_FALSE(overflowed->rootChanged);
}

// Proves a coalescer that drops paths still opens and closes windows as one that keeps them, delivers no
// path, and never turns many paths into "everything changed".
TEST(EventCoalescerTests, DroppedPathsOnlyOpenTheWindow)
{
    EventCoalescer coalescer(10ms, EventCoalescer::Paths::dropped, 3);
    for (int index = 0; index < 10; ++index) {
        coalescer.addPath("/p" + std::to_string(index), start + std::chrono::milliseconds{index});
    }
    EXPECT_EQ(coalescer.deadline(), start + 10ms);
    EXPECT_FALSE(coalescer.takeDue(start + 9ms).has_value());
    auto const delivered = coalescer.takeDue(start + 10ms);
    ASSERT_TRUE(delivered.has_value());
    EXPECT_TRUE(delivered->paths.empty());
    EXPECT_FALSE(delivered->everythingChanged);
    EXPECT_FALSE(coalescer.deadline().has_value());
}
