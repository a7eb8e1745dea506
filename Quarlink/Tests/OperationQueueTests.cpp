#include "ClientTestSupport.hpp"

#include "Quarlink/Client/Operations/OperationQueue.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

// An operation that records its start and finishes when the test says so.
class ManualOperation final : public Operation {
public:
    ManualOperation(std::string name, std::shared_ptr<std::vector<std::string>> started, std::shared_ptr<std::mutex> mutex)
        : m_name(std::move(name))
        , m_started(std::move(started))
        , m_mutex(std::move(mutex))
    {
    }

    void start() override
    {
        if (isCancelled()) {
            setFinished(true);
            return;
        }
        setExecuting(true);
        std::lock_guard lock(*m_mutex);
        m_started->push_back(m_name);
    }

    void finish()
    {
        setFinished(true);
        setExecuting(false);
    }

private:
    std::string m_name;
    std::shared_ptr<std::vector<std::string>> m_started;
    std::shared_ptr<std::mutex> m_mutex;
};

class OperationQueueTests : public ::testing::Test {
protected:
    std::shared_ptr<ManualOperation> make(const std::string& name, QueuePriority priority = QueuePriority::normal)
    {
        auto operation = std::make_shared<ManualOperation>(name, m_started, m_mutex);
        operation->setQueuePriority(priority);
        return operation;
    }

    std::vector<std::string> started() const
    {
        std::lock_guard lock(*m_mutex);
        return *m_started;
    }

    bool startedCount(std::size_t count)
    {
        return eventually([&] { return started().size() == count; });
    }

    std::shared_ptr<std::vector<std::string>> m_started = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::mutex> m_mutex = std::make_shared<std::mutex>();
};

} // namespace

TEST_F(OperationQueueTests, runsAtMostItsWidthByPriorityThenInOrder)
{
    // Two places: the first two start at once; the rest start as places free, highest priority
    // first and in the order added among equals.
    OperationQueue queue("test", 2);
    auto a = make("a"), b = make("b"), c = make("c"), d = make("d"), urgent = make("urgent", QueuePriority::high);
    queue.addOperation(a);
    queue.addOperation(b);
    ASSERT_TRUE(startedCount(2));
    for (auto& operation : { c, d, urgent })
        queue.addOperation(operation);
    EXPECT_EQ(queue.operationCount(), 5);

    a->finish();
    ASSERT_TRUE(startedCount(3));
    b->finish();
    ASSERT_TRUE(startedCount(4));
    urgent->finish();
    ASSERT_TRUE(startedCount(5));
    EXPECT_EQ(started(), (std::vector<std::string> { "a", "b", "urgent", "c", "d" }));
    c->finish();
    d->finish();
    EXPECT_TRUE(eventually([&] { return queue.operationCount() == 0; }));
}

TEST_F(OperationQueueTests, cancelledOperationFinishesAtStartAndCountIsPublished)
{
    // A cancelled waiting operation is still started, finishes at once and frees its place; the
    // count stream shows every change down to zero.
    OperationQueue queue("test", 1);
    Recorder<std::int64_t, Reactive::NoError> counts(queue.numberOfOperations());
    auto holder = make("holder"), cancelled = make("cancelled"), last = make("last");
    queue.addOperation(holder);
    queue.addOperation(cancelled);
    queue.addOperation(last);
    ASSERT_TRUE(startedCount(1));
    cancelled->cancel();
    holder->finish();
    ASSERT_TRUE(startedCount(2));
    EXPECT_TRUE(cancelled->isFinished());
    EXPECT_FALSE(cancelled->isExecuting());
    last->finish();
    ASSERT_TRUE(eventually([&] { return queue.operationCount() == 0; }));
    EXPECT_EQ(started(), (std::vector<std::string> { "holder", "last" }));
    EXPECT_EQ(counts.values(), (std::vector<std::int64_t> { 0, 1, 2, 3, 2, 1, 0 }));
}

TEST_F(OperationQueueTests, theNextStartsWhereOneFinishedAndARunOfCancelledOnesStaysFlat)
{
    // The operation that takes a freed place starts on the finishing thread; a long run of
    // cancelled operations behind it, each ending inside its own start, neither nests the stack
    // nor loses one.
    OperationQueue queue("test", 1);
    auto holder = make("holder"), next = make("next");
    std::vector<std::shared_ptr<ManualOperation>> cancelled;
    for (int index = 0; index < 30000; ++index)
        cancelled.push_back(make("cancelled"));
    auto last = make("last");
    queue.addOperation(holder);
    queue.addOperation(next);
    ASSERT_TRUE(startedCount(1));

    std::thread([&] { holder->finish(); }).join();
    // Started on the thread that finished the holder, so by the time it is joined.
    EXPECT_EQ(started(), (std::vector<std::string> { "holder", "next" }));

    for (auto& operation : cancelled) {
        operation->cancel();
        queue.addOperation(operation);
    }
    queue.addOperation(last);
    next->finish();
    ASSERT_TRUE(startedCount(3));
    EXPECT_EQ(started().back(), "last");
    for (const auto& operation : cancelled)
        ASSERT_TRUE(operation->isFinished());
    last->finish();
    EXPECT_TRUE(eventually([&] { return queue.operationCount() == 0; }));
}
