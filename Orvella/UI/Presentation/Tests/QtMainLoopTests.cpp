#include "Orvella/UI/Presentation/QtMainLoop.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"

#include "Reactive/Schedulers/UIScheduler.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Orvella;
using Orvella::Testing::processEventsUntil;

// Work posted from another thread runs on the GUI thread, in the order posted.
TEST(QtMainLoopTests, runsPostedWorkOnTheGuiThreadInOrder)
{
    auto loop = Reactive::MainLoop::main();
    std::vector<int> order;
    std::atomic<bool> allOnMain = true;
    std::thread poster([&] {
        for (int index = 0; index < 5; ++index) {
            loop->post([&, index] {
                allOnMain = allOnMain && loop->isMainThread();
                order.push_back(index);
            });
        }
    });
    poster.join();
    EXPECT_FALSE(order.size() == 5) << "posted work must wait for the event loop";
    ASSERT_TRUE(processEventsUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
    EXPECT_TRUE(allOnMain);
}

// Timed work runs in date order, work for one date in the order posted, and
// nothing runs before its date.
TEST(QtMainLoopTests, runsTimedWorkInDateOrder)
{
    auto loop = Reactive::MainLoop::main();
    const auto start = loop->now();
    std::vector<std::string> order;
    bool early = false;
    const auto record = [&](std::string name, Reactive::MainLoop::TimePoint due) {
        return [&, name, due] {
            early = early || loop->now() < due;
            order.push_back(name);
        };
    };
    const auto later = start + std::chrono::milliseconds(40);
    const auto sooner = start + std::chrono::milliseconds(10);
    loop->post(later, record("later-1", later));
    loop->post(sooner, record("sooner", sooner));
    loop->post(later, record("later-2", later));
    loop->post(start, record("now", start));
    ASSERT_TRUE(processEventsUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string> { "now", "sooner", "later-1", "later-2" }));
    EXPECT_FALSE(early);
}

// The UI scheduler over the Qt loop runs work at once on the GUI thread and
// posts it from other threads.
TEST(QtMainLoopTests, uiSchedulerRunsInlineOnTheGuiThread)
{
    auto scheduler = Reactive::UIScheduler::make();
    bool ran = false;
    scheduler->schedule([&] { ran = true; });
    EXPECT_TRUE(ran);

    std::atomic<bool> fromThread = false;
    std::thread worker([&] { scheduler->schedule([&] { fromThread = Reactive::MainLoop::main()->isMainThread(); }); });
    worker.join();
    EXPECT_TRUE(processEventsUntil([&] { return fromThread.load(); }));
}
