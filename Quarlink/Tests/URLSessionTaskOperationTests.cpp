#include "ClientTestSupport.hpp"

#include "Platform/Network/URLSession.hpp"
#include "Quarlink/Client/Operations/URLSessionTaskOperation.hpp"
#include "Reactive/MutableProperty.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;
using TaskState = Platform::URLSessionTaskState;

namespace {

class URLSessionTaskOperationTests : public ::testing::Test {
protected:
    std::shared_ptr<Platform::URLSessionTask> makeTask()
    {
        auto url = "http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/v2.0/status";
        return m_session->dataTask({ .url = url }, [](Platform::URLSessionTask&, auto) {});
    }

    std::shared_ptr<Platform::URLSession> m_session = Platform::URLSession::create({});
    Reactive::MutableProperty<TaskState> m_states { TaskState::suspended };
};

} // namespace

TEST_F(URLSessionTaskOperationTests, finishesWhenItsTaskCompletes)
{
    // A started operation executes until the observed state becomes completed, then finishes.
    auto task = makeTask();
    auto operation = URLSessionTaskOperation::make(task, m_states.producer());
    operation->start();
    EXPECT_TRUE(operation->isExecuting());
    EXPECT_NE(task->state(), TaskState::suspended);
    m_states.set(TaskState::running);
    EXPECT_EQ(operation->state(), TaskState::running);
    EXPECT_FALSE(operation->isFinished());
    m_states.set(TaskState::completed);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
}

TEST_F(URLSessionTaskOperationTests, releasedTaskOrCancelFinishesAtStartWithoutResuming)
{
    // An operation whose task is gone, or that was cancelled while waiting, finishes at its start
    // and touches no task.
    auto task = makeTask();
    std::weak_ptr<Platform::URLSessionTask> weakTask = task;
    auto orphaned = URLSessionTaskOperation::make(task, m_states.producer());
    task->cancel();
    task.reset();
    ASSERT_TRUE(eventually([&] { return weakTask.expired(); }));
    orphaned->start();
    EXPECT_TRUE(orphaned->isFinished());

    auto kept = makeTask();
    auto cancelled = URLSessionTaskOperation::make(kept, m_states.producer());
    cancelled->cancel();
    cancelled->start();
    EXPECT_TRUE(cancelled->isFinished());
    EXPECT_FALSE(cancelled->isExecuting());
}

TEST_F(URLSessionTaskOperationTests, taskCompletedWhileWaitingFinishesTheOperationAtStart)
{
    // A completion seen before the start changes nothing then, and finishes the operation when it starts.
    auto task = makeTask();
    auto operation = URLSessionTaskOperation::make(task, m_states.producer());
    m_states.set(TaskState::completed);
    EXPECT_FALSE(operation->isFinished());
    operation->start();
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
}
