#include "LocalCloud/Http/Gate.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace LocalCloud;
using namespace std::chrono_literals;

TEST(GateTests, ReleasesOneAtATimeThenEveryone)
{
    // Proves a gate lets exactly as many requests pass as released, and all of them once opened.
    Gate gate;
    std::atomic<int> passed { 0 };
    std::vector<std::thread> requests;
    for (int index = 0; index < 3; ++index)
        requests.emplace_back([&] {
            gate.pass();
            ++passed;
        });
    ASSERT_TRUE(gate.waitForWaiting(3, 10s));
    gate.release();
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (passed.load() < 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(passed.load(), 1);
    EXPECT_EQ(gate.waitingCount(), 2u);
    gate.open();
    for (auto& request : requests)
        request.join();
    EXPECT_EQ(passed.load(), 3);
    EXPECT_EQ(gate.waitingCount(), 0u);
}

TEST(GateTests, PermitsGivenEarlyAreKept)
{
    // Proves a release before any request arrives lets the next request through at once.
    Gate gate;
    gate.release(1);
    gate.pass();
    EXPECT_EQ(gate.waitingCount(), 0u);
    EXPECT_FALSE(gate.waitForWaiting(1, 10ms));
}
