#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/Disposables/SerialDisposable.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Reactive;

TEST(DisposableTests, ActionRunsExactlyOnceUnderConcurrentDisposal)
{
    // Eight threads disposing the same handle run its action once.
    std::atomic<int> runs { 0 };
    AnyDisposable disposable([&] { runs.fetch_add(1); });
    std::vector<std::thread> threads;
    for (int index = 0; index < 8; ++index) {
        threads.emplace_back([disposable] { disposable.dispose(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(disposable.isDisposed());
    EXPECT_TRUE(AnyDisposable().isDisposed());
}

TEST(DisposableTests, CompositeDisposesMembersAndLateAdditions)
{
    // Members are disposed together; a removed member is not; additions after disposal are disposed at once.
    CompositeDisposable composite;
    int first = 0;
    int removed = 0;
    int late = 0;
    composite.add([&] { ++first; });
    auto handle = composite.add([&] { ++removed; });
    handle.dispose();
    composite.dispose();
    composite.dispose();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(removed, 0);
    composite.add([&] { ++late; });
    EXPECT_EQ(late, 1);
    EXPECT_TRUE(AnyDisposable(composite).isDisposed());
}

TEST(DisposableTests, SerialDisposesThePreviousInner)
{
    // Setting a new inner disposes the old one; after disposal new inners are disposed at once.
    SerialDisposable serial;
    int first = 0;
    int second = 0;
    int third = 0;
    serial.setInner(AnyDisposable([&] { ++first; }));
    serial.setInner(AnyDisposable([&] { ++second; }));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    serial.dispose();
    EXPECT_EQ(second, 1);
    serial.setInner(AnyDisposable([&] { ++third; }));
    EXPECT_EQ(third, 1);
}

TEST(DisposableTests, ScopedDisposesAtScopeEndAndOnReassignment)
{
    // The scoped handle disposes when it goes away or is overwritten, and a moved-from one does nothing.
    int runs = 0;
    {
        ScopedDisposable scoped(AnyDisposable([&] { ++runs; }));
        ScopedDisposable moved(std::move(scoped));
        EXPECT_EQ(runs, 0);
        moved = ScopedDisposable(AnyDisposable([&] { runs += 10; }));
        EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 11);
}
