#include "Platform/Foundation/PollLoop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

using namespace Platform;
using namespace std::chrono_literals;

// Proves a loop hands over what became readable, reports waits that ran out, ends when stopped from another
// thread (even while it waits without a limit), calls nothing once stopped, and runs again after a rearm.
TEST(PollLoopTests, WaitsUntilStoppedAndRunsAgainAfterRearm)
{
    auto loop = PollLoop::create();
    ASSERT_TRUE(loop.has_value());
    int const signal = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(signal, 0);
    int const descriptors[] = {signal};

    ::eventfd_write(signal, 1);
    bool sawReadable = false;
    bool sawTimeout = false;
    auto const ran = loop->run(descriptors, [] { return std::optional(1ms); }, [&](const PollLoop::Wake& wake) {
        if (wake.readable(0)) {
            sawReadable = true;
            eventfd_t ignored = 0;
            ::eventfd_read(signal, &ignored);
        } else if (wake.timedOut) {
            sawTimeout = true;
        }
        if (sawReadable && sawTimeout) {
            loop->stop();
        }
    });
    EXPECT_TRUE(ran.has_value());
    EXPECT_TRUE(sawReadable);
    EXPECT_TRUE(sawTimeout);

    std::atomic<int> calls{0};
    auto const countCalls = [&](const PollLoop::Wake&) { ++calls; };
    ::eventfd_write(signal, 1);
    EXPECT_TRUE(loop->run(descriptors, {}, [&](const PollLoop::Wake&) {
                        ++calls;
                        eventfd_t ignored = 0;
                        ::eventfd_read(signal, &ignored);
                    }).has_value());
    EXPECT_EQ(calls.load(), 0);

    loop->rearm();
    ::eventfd_write(signal, 1);
    EXPECT_TRUE(loop->run(descriptors, {}, [&](const PollLoop::Wake& wake) {
                        ++calls;
                        if (wake.readable(0)) {
                            eventfd_t ignored = 0;
                            ::eventfd_read(signal, &ignored);
                            loop->stop();
                        }
                    }).has_value());
    EXPECT_EQ(calls.load(), 1);

    loop->rearm();
    calls = 0;
    std::promise<void> started;
    auto running = std::async(std::launch::async, [&] {
        started.set_value();
        return loop->run(descriptors, {}, countCalls);
    });
    started.get_future().wait();
    loop->stop();
    ASSERT_EQ(running.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(running.get().has_value());
    EXPECT_EQ(calls.load(), 0);
    ::close(signal);
}

// Proves a wait whose limit has already passed (a deadline behind the clock gives a negative time) returns at once
// as a timed-out wake-up rather than waiting without a limit.
TEST(PollLoopTests, ALimitAlreadyPastWakesAtOnce)
{
    auto loop = PollLoop::create();
    ASSERT_TRUE(loop.has_value());
    int const quiet = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(quiet, 0);
    int const descriptors[] = {quiet};

    std::atomic<bool> timedOut{false};
    auto running = std::async(std::launch::async, [&] {
        return loop->run(descriptors, [] { return std::optional(-250ms); }, [&](const PollLoop::Wake& wake) {
            if (wake.timedOut) {
                timedOut = true;
                loop->stop();
            }
        });
    });
    auto const woke = running.wait_for(10s);
    if (woke != std::future_status::ready) {
        loop->stop();
    }
    EXPECT_EQ(woke, std::future_status::ready) << "a limit already past waited for something to become readable";
    EXPECT_TRUE(running.get().has_value());
    EXPECT_TRUE(timedOut.load());
    ::close(quiet);
}
