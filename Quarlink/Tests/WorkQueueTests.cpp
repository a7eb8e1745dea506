// The client's work queue: order of work and an end that may come from its own work.

#include "Quarlink/Client/WorkQueue.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

using namespace Quarlink;
using namespace std::chrono_literals;

TEST(WorkQueue, runsWorkInOrderOnOneThread)
{
    // A queue one wide runs its items one after another, in the order they were added.
    std::vector<int> order;
    std::promise<void> done;
    {
        WorkQueue queue("order", 1);
        for (int index = 0; index < 5; ++index)
            queue.async([&order, index] { order.push_back(index); });
        queue.async([&done] { done.set_value(); });
        ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
    }
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
}

TEST(WorkQueue, mayEndInsideItsOwnWork)
{
    // Work that drops the last reference to the queue ends it on the queue's own thread without stopping the
    // process, and the work waiting behind it still runs.
    auto queue = std::make_shared<WorkQueue>("self", 1);
    std::promise<void> ended;
    std::promise<void> laterRan;
    auto* raw = queue.get();
    auto release = std::make_shared<std::promise<void>>();
    raw->async([keep = std::move(queue), &ended, release]() mutable {
        release->get_future().wait();
        keep.reset();
        ended.set_value();
    });
    raw->async([&laterRan] { laterRan.set_value(); });
    release->set_value();
    EXPECT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(laterRan.get_future().wait_for(10s), std::future_status::ready);
}
