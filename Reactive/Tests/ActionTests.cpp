#include "Reactive/Action.hpp"
#include "Reactive/AnyError.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Reactive;

namespace {

// Work whose executions the test finishes by hand.
struct ManualWork {
    std::vector<Observer<int, std::string>> inputs;
    int starts = 0;

    std::function<SignalProducer<int, std::string>(const int&)> execute()
    {
        return [this](const int& input) {
            return SignalProducer<int, std::string>([this, input](Observer<int, std::string> observer, Lifetime) {
                ++starts;
                observer.send(input);
                inputs.push_back(observer);
            });
        };
    }
};

}

TEST(ActionTests, RefusesWhileExecutingAndSendsDisabledErrors)
{
    // A second apply during an execution fails with disabled and shows on disabledErrors; afterwards it runs again.
    ManualWork work;
    Action<int, int, std::string> action(work.execute());
    int disabled = 0;
    action.disabledErrors().observeValues([&](Unit) { ++disabled; });
    std::vector<bool> executing;
    action.isExecuting().producer().startWithValues([&](bool value) { executing.push_back(value); });

    std::vector<int> values;
    action.apply(1).startWithValues([&](int value) { values.push_back(value); });
    EXPECT_TRUE(action.isExecuting().value());
    EXPECT_FALSE(action.isEnabled().value());

    std::optional<ActionError<std::string>> refusal;
    action.apply(2).startWithFailed([&](const ActionError<std::string>& error) { refusal = error; });
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->isDisabled());
    EXPECT_EQ(disabled, 1);
    EXPECT_EQ(work.starts, 1);

    work.inputs[0].sendCompleted();
    EXPECT_FALSE(action.isExecuting().value());
    EXPECT_TRUE(action.isEnabled().value());
    action.apply(3).start();
    EXPECT_EQ(work.starts, 2);
    work.inputs[1].sendCompleted();
    EXPECT_EQ(values, (std::vector<int> { 1 }));
    EXPECT_EQ(executing, (std::vector<bool> { false, true, false, true, false }));
}

TEST(ActionTests, EnabledIfGatesExecutionAndEventsReportEveryRun)
{
    // A disabled action refuses; events, values, errors and completed report what each run did.
    ManualWork work;
    MutableProperty<bool> enabled(false);
    Action<int, int, std::string> action(Property<bool>(enabled), work.execute());
    std::vector<int> values;
    std::vector<std::string> errors;
    int completed = 0;
    action.values().observeValues([&](int value) { values.push_back(value); });
    action.errors().observeValues([&](const std::string& error) { errors.push_back(error); });
    action.completed().observeValues([&](Unit) { ++completed; });

    std::optional<ActionError<std::string>> refusal;
    action.apply(1).startWithFailed([&](const ActionError<std::string>& error) { refusal = error; });
    EXPECT_TRUE(refusal && refusal->isDisabled());
    EXPECT_FALSE(action.isEnabled().value());

    enabled.set(true);
    EXPECT_TRUE(action.isEnabled().value());
    std::optional<ActionError<std::string>> failure;
    action.apply(5).startWithFailed([&](const ActionError<std::string>& error) { failure = error; });
    work.inputs[0].sendFailed("broken");
    ASSERT_TRUE(failure);
    ASSERT_NE(failure->error(), nullptr);
    EXPECT_EQ(*failure->error(), "broken");
    action.apply(6).start();
    work.inputs[1].sendCompleted();
    EXPECT_EQ(values, (std::vector<int> { 5, 6 }));
    EXPECT_EQ(errors, (std::vector<std::string> { "broken" }));
    EXPECT_EQ(completed, 1);
}

TEST(ActionTests, DisposingTheApplyStartCancelsTheExecution)
{
    // Disposal of an apply start ends the work and leaves the action idle.
    bool ended = false;
    Action<Unit, int, NoError> action([&](const Unit&) {
        return SignalProducer<int, NoError>([&](Observer<int, NoError>, Lifetime lifetime) { lifetime.observeEnded([&] { ended = true; }); });
    });
    auto disposable = action.apply(Unit()).start();
    EXPECT_TRUE(action.isExecuting().value());
    disposable.dispose();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(action.isExecuting().value());
}

TEST(ActionTests, StartOrObserveJoinsTheRunningExecution)
{
    // A caller that finds the action executing starts nothing and ends with that execution's values and outcome.
    ManualWork work;
    Action<int, int, std::string> action(work.execute());
    action.apply(1).start();
    std::vector<int> values;
    std::optional<std::string> error;
    action.startOrObserve(2).start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); },
        .failed = [&](const std::string& e) { error = e; } }));
    EXPECT_EQ(work.starts, 1);
    work.inputs[0].send(7);
    work.inputs[0].sendFailed("first run failed");
    EXPECT_EQ(values, (std::vector<int> { 7 }));
    EXPECT_EQ(error, "first run failed");
}

TEST(ActionTests, DisposingStartOrObserveLeavesTheExecutionRunning)
{
    // The execution started through startOrObserve keeps running after its caller disposes.
    ManualWork work;
    Action<int, int, std::string> action(work.execute());
    auto disposable = action.startOrObserve(1).start();
    EXPECT_EQ(work.starts, 1);
    disposable.dispose();
    EXPECT_TRUE(action.isExecuting().value());
    std::vector<int> values;
    action.values().observeValues([&](int value) { values.push_back(value); });
    work.inputs[0].send(3);
    work.inputs[0].sendCompleted();
    EXPECT_EQ(values, (std::vector<int> { 3 }));
    EXPECT_FALSE(action.isExecuting().value());
}

TEST(ActionTests, StartOrObserveOnADisabledActionFailsAtOnce)
{
    // A disabled action fails the caller at once: as ActionError inside AnyError, or by interruption when the error type cannot hold it.
    Action<Unit, int, AnyError> anyAction(Property<bool>::constant(false), [](const Unit&) { return SignalProducer<int, AnyError>::value(1); });
    std::optional<AnyError> error;
    anyAction.startOrObserve(Unit()).startWithFailed([&](const AnyError& e) { error = e; });
    ASSERT_TRUE(error);
    ASSERT_TRUE(error->is<ActionError<AnyError>>());
    EXPECT_TRUE(error->as<ActionError<AnyError>>()->isDisabled());

    Action<Unit, int, NoError> neverFails(Property<bool>::constant(false), [](const Unit&) { return SignalProducer<int, NoError>::value(1); });
    bool interrupted = false;
    neverFails.startOrObserve(Unit()).startWithInterrupted([&] { interrupted = true; });
    EXPECT_TRUE(interrupted);
}

TEST(ActionTests, StartOrObserveFromThreeThreadsRunsTheExecutionOnce)
{
    // Three threads racing to startOrObserve start one execution, and all three see its value and completion.
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> starts { 0 };
        std::mutex mutex;
        std::optional<Observer<int, AnyError>> running;
        Action<Unit, int, AnyError> action([&](const Unit&) {
            return SignalProducer<int, AnyError>([&](Observer<int, AnyError> observer, Lifetime) {
                starts.fetch_add(1);
                std::lock_guard lock(mutex);
                running = observer;
            });
        });
        std::atomic<int> values { 0 };
        std::atomic<int> completions { 0 };
        std::vector<std::thread> threads;
        std::vector<AnyDisposable> handles(3);
        for (int index = 0; index < 3; ++index) {
            threads.emplace_back([&, index] {
                handles[static_cast<std::size_t>(index)] = action.startOrObserve(Unit()).start(Observer<int, AnyError>({
                    .value = [&](int) { values.fetch_add(1); },
                    .completed = [&] { completions.fetch_add(1); },
                }));
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(starts.load(), 1);
        {
            std::lock_guard lock(mutex);
            running->send(1);
            running->sendCompleted();
            running.reset();
        }
        EXPECT_EQ(values.load(), 3);
        EXPECT_EQ(completions.load(), 3);
    }
}
