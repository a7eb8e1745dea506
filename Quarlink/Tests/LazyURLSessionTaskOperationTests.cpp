#include "ClientTestSupport.hpp"

#include "Platform/Network/URLSession.hpp"
#include "Quarlink/Client/Operations/LazyURLSessionTaskOperation.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;
using Flag = Operation::Flag;

namespace {

struct FlagLog {
    std::mutex mutex;
    std::vector<Flag> flags;

    void observe(Operation& operation)
    {
        m_observation = operation.flagChanges().observeValues([this](const Flag& flag) {
            std::lock_guard lock(mutex);
            flags.push_back(flag);
        });
    }
    std::vector<Flag> snapshot()
    {
        std::lock_guard lock(mutex);
        return flags;
    }

    Reactive::AnyDisposable m_observation;
};

std::string closedPortURL()
{
    return "http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/v2.0/status";
}

} // namespace

TEST(LazyURLSessionTaskOperation, cancelledBeforeStartFinishesWithoutMakingATask)
{
    // The factory of an operation cancelled while waiting is never called; the start only finishes it.
    bool factoryCalled = false;
    auto operation = LazyURLSessionTaskOperation::make([&](std::function<void()>) {
        factoryCalled = true;
        return std::shared_ptr<Platform::URLSessionTask>();
    });
    FlagLog log;
    log.observe(*operation);
    operation->cancel();
    operation->start();
    EXPECT_FALSE(factoryCalled);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_EQ(operation->task(), nullptr);
    EXPECT_EQ(log.snapshot(), (std::vector<Flag> { Flag::isFinished }));
    EXPECT_TRUE(operation->isAsynchronous());
}

TEST(LazyURLSessionTaskOperation, failedTaskStillFinishesTheOperationOnce)
{
    // A task that fails still calls the finish callback: the operation finishes ("isFinished" before
    // "isExecuting"), and a second finish announces nothing.
    auto session = Platform::URLSession::create({});
    std::function<void()> finishAgain;
    std::atomic<bool> completed { false };
    auto operation = LazyURLSessionTaskOperation::make([&](std::function<void()> finish) {
        finishAgain = finish;
        return session->dataTask({ .url = closedPortURL() },
            [finish, &completed](Platform::URLSessionTask&, std::expected<Platform::DataTaskResponse, Platform::TransportError> result) {
                EXPECT_FALSE(result.has_value());
                finish();
                // Set after the finish, so the test reads the flags only once both have been announced.
                completed = true;
            });
    });
    FlagLog log;
    log.observe(*operation);
    operation->start();
    ASSERT_NE(operation->task(), nullptr);
    ASSERT_TRUE(eventually([&] { return completed.load(); }));
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
    finishAgain();
    EXPECT_EQ(log.snapshot(), (std::vector<Flag> { Flag::isExecuting, Flag::isFinished, Flag::isExecuting }));
}
