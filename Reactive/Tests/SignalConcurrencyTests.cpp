#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <mutex>
#include <thread>
#include <vector>

using namespace Reactive;

namespace {

constexpr int threadCount = 8;
constexpr int valuesPerThread = 5000;

// Runs `body(index)` on eight threads that start together.
template<class F>
void onEightThreads(F body)
{
    std::barrier start(threadCount);
    std::vector<std::thread> threads;
    for (int index = 0; index < threadCount; ++index) {
        threads.emplace_back([&, index] {
            start.arrive_and_wait();
            body(index);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// Observes values tagged (thread, sequence) and checks that calls never overlap
// and that each thread's values arrive in the order it sent them.
struct SerialChecker {
    std::atomic<int> inside { 0 };
    std::atomic<bool> overlapped { false };
    std::vector<int> lastSequence = std::vector<int>(threadCount, -1);
    bool outOfOrder = false;
    int count = 0;
    int terminals = 0;
    bool valueAfterTerminal = false;

    void value(std::pair<int, int> tagged)
    {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        if (terminals > 0) {
            valueAfterTerminal = true;
        }
        auto& last = lastSequence[static_cast<std::size_t>(tagged.first)];
        if (tagged.second <= last) {
            outOfOrder = true;
        }
        last = tagged.second;
        ++count;
        inside.fetch_sub(1);
    }

    void terminal() { ++terminals; }
};

}

TEST(SignalConcurrencyTests, EightSendersAreSerialisedInOrderPerSender)
{
    // Values sent from eight threads at once reach observers one at a time, none lost, each sender's order kept.
    auto [signal, input] = Signal<std::pair<int, int>, NoError>::pipe();
    SerialChecker direct;
    SerialChecker chained;
    signal.observeValues([&](std::pair<int, int> value) { direct.value(value); });
    auto started = SignalProducer<std::pair<int, int>, NoError>(signal)
                       .map([](std::pair<int, int> value) { return value; })
                       .filter([](const std::pair<int, int>&) { return true; })
                       .startWithValues([&](std::pair<int, int> value) { chained.value(value); });
    onEightThreads([&, input = input](int thread) {
        for (int sequence = 0; sequence < valuesPerThread; ++sequence) {
            input.send({ thread, sequence });
        }
    });
    for (auto* checker : { &direct, &chained }) {
        EXPECT_FALSE(checker->overlapped);
        EXPECT_FALSE(checker->outOfOrder);
        EXPECT_EQ(checker->count, threadCount * valuesPerThread);
    }
    input.sendCompleted();
}

TEST(SignalConcurrencyTests, OneTerminalEventAndNothingAfterItUnderRacingSenders)
{
    // Senders racing with completions and a disposal deliver exactly one terminal event and no value after it; the lifetime ends once.
    for (int round = 0; round < 20; ++round) {
        std::optional<Observer<std::pair<int, int>, NoError>> input;
        std::atomic<int> lifetimeEnded { 0 };
        SignalProducer<std::pair<int, int>, NoError> producer([&](Observer<std::pair<int, int>, NoError> observer, Lifetime lifetime) {
            input = observer;
            lifetime.observeEnded([&] { lifetimeEnded.fetch_add(1); });
        });
        SerialChecker checker;
        auto disposable = producer.start(Observer<std::pair<int, int>, NoError>::make([&](Event<std::pair<int, int>, NoError>&& event) {
            if (event.isValue()) {
                checker.value(event.value());
            } else {
                checker.terminal();
            }
        }));
        onEightThreads([&](int thread) {
            for (int sequence = 0; sequence < 200; ++sequence) {
                input->send({ thread, sequence });
                if (sequence == 100 + thread) {
                    if (thread % 2 == 0) {
                        input->sendCompleted();
                    } else {
                        disposable.dispose();
                    }
                }
            }
        });
        EXPECT_EQ(checker.terminals, 1);
        EXPECT_FALSE(checker.valueAfterTerminal);
        EXPECT_FALSE(checker.overlapped);
        EXPECT_EQ(lifetimeEnded.load(), 1);
        input.reset();
    }
}

TEST(SignalConcurrencyTests, PropertyModifiedFromEightThreadsEndsConsistent)
{
    // Concurrent modifications are atomic, and the last change observers see is the property's final value.
    MutableProperty<int> counter(0);
    std::atomic<int> inside { 0 };
    std::atomic<bool> overlapped { false };
    int lastSeen = -1;
    int changes = 0;
    counter.signal().observeValues([&](int value) {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        lastSeen = value;
        ++changes;
        inside.fetch_sub(1);
    });
    onEightThreads([&](int) {
        for (int step = 0; step < 2000; ++step) {
            counter.modify([](int& value) { ++value; });
        }
    });
    EXPECT_EQ(counter.value(), threadCount * 2000);
    EXPECT_EQ(lastSeen, threadCount * 2000);
    EXPECT_EQ(changes, threadCount * 2000);
    EXPECT_FALSE(overlapped);
}

TEST(SignalConcurrencyTests, ReentrantStartsAndDisposalsFromCallbacksDoNotDeadlock)
{
    // From inside a callback: starting producers, sending into the same stream and disposing the own start all work.
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<int> seen;
    std::vector<int> nested;
    std::optional<AnyDisposable> own;
    bool interrupted = false;
    own = SignalProducer<int, NoError>(signal).start(Observer<int, NoError>({
        .value = [&, input = input](int value) {
            seen.push_back(value);
            SignalProducer<int, NoError>::value(value * 10).startWithValues([&](int inner) { nested.push_back(inner); });
            if (value == 1) {
                input.send(2);
            } else {
                own->dispose();
            }
        },
        .interrupted = [&] { interrupted = true; },
    }));
    input.send(1);
    input.send(3);
    EXPECT_EQ(seen, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(nested, (std::vector<int> { 10, 20 }));
    EXPECT_TRUE(interrupted);
    input.sendCompleted();
}

TEST(SignalConcurrencyTests, DisposalFromManyThreadsEndsUpstreamOnce)
{
    // Eight threads disposing one start at once interrupt it once and end its lifetime once.
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> ended { 0 };
        std::atomic<int> interrupted { 0 };
        auto disposable = SignalProducer<int, NoError>([&](Observer<int, NoError> observer, Lifetime lifetime) {
            lifetime.observeEnded([&ended, observer] { ended.fetch_add(1); });
        })
                              .map([](int value) { return value; })
                              .startWithInterrupted([&] { interrupted.fetch_add(1); });
        onEightThreads([&](int) { disposable.dispose(); });
        EXPECT_EQ(ended.load(), 1);
        EXPECT_EQ(interrupted.load(), 1);
    }
}

TEST(SignalConcurrencyTests, StartOnAndObserveOnAcrossQueueSchedulers)
{
    // A producer started on one queue and observed on another delivers every value, in order, on the second queue.
    auto startQueue = QueueScheduler::make("Test.Start");
    auto observeQueue = QueueScheduler::make("Test.Observe");
    std::vector<int> values;
    std::atomic<bool> done { false };
    bool onObserveQueue = true;
    std::vector<int> expected(1000);
    for (int index = 0; index < 1000; ++index) {
        expected[static_cast<std::size_t>(index)] = index;
    }
    SignalProducer<int, NoError>::fromValues(expected)
        .startOn(startQueue)
        .observeOn(observeQueue)
        .start(Observer<int, NoError>({
            .value = [&](int value) {
                onObserveQueue = onObserveQueue && observeQueue->isCurrent();
                values.push_back(value);
            },
            .completed = [&] { done = true; },
        }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(done.load());
    EXPECT_EQ(values, expected);
    EXPECT_TRUE(onObserveQueue);
}
