#include "ClientTestSupport.hpp"

#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskCollector.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

class TaskCollectorTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_collector = TaskCollector::make(m_scheduler);
        m_session = Platform::URLSession::create({}, m_collector);
        m_collector->setSession(m_session);
        m_url = "http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/v2.0/x";
        m_snapshots = m_collector->allTasks().signal().observeValues([this](const SessionTasks&) { ++m_queries; });
    }
    void TearDown() override { m_snapshots.dispose(); }

    std::shared_ptr<Reactive::TestScheduler> m_scheduler = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<TaskCollector> m_collector;
    std::shared_ptr<Platform::URLSession> m_session;
    std::string m_url;
    int m_queries = 0;
    Reactive::AnyDisposable m_snapshots;
};

} // namespace

TEST_F(TaskCollectorTests, snapshotListsTheSessionsTasksByKind)
{
    // The snapshot keeps data, upload and download tasks apart, exactly as the session lists them.
    auto data = m_session->dataTask({ .url = m_url }, [](auto&, auto) {});
    auto upload = m_session->uploadTask({ .url = m_url }, "/nonexistent", [](auto&, auto) {});
    auto download = m_session->downloadTask({ .url = m_url }, [](auto&, auto) {});
    m_collector->didSendBodyData(*upload, 1, 1, 10);
    m_scheduler->advance();

    auto tasks = m_collector->allTasks().value();
    ASSERT_EQ(tasks.data.size(), 1u);
    ASSERT_EQ(tasks.upload.size(), 1u);
    ASSERT_EQ(tasks.download.size(), 1u);
    EXPECT_EQ(tasks.data[0], data);
    EXPECT_EQ(tasks.upload[0], upload);
    EXPECT_EQ(tasks.download[0], download);
    m_session->invalidateAndCancel();
}

TEST_F(TaskCollectorTests, burstsOfCallbacksAreThrottledToOneQueryPerTenthOfASecond)
{
    // After a quiet spell the first callback queries at once; the rest of a burst within 0.1 s
    // yields one more query 0.1 s later; a single later callback queries at once again.
    auto task = m_session->dataTask({ .url = m_url }, [](auto&, auto) {});
    m_collector->didSendBodyData(*task, 1, 1, 10);
    m_scheduler->advance();
    EXPECT_EQ(m_queries, 1);
    for (int index = 2; index <= 5; ++index) {
        m_scheduler->advance(std::chrono::milliseconds(20));
        m_collector->didSendBodyData(*task, 1, index, 10);
    }
    m_scheduler->advance(std::chrono::milliseconds(19));
    EXPECT_EQ(m_queries, 1);
    m_scheduler->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(m_queries, 2);

    m_scheduler->advance(std::chrono::seconds(1));
    m_collector->didComplete(*task, std::nullopt);
    m_scheduler->advance();
    EXPECT_EQ(m_queries, 3);
    m_session->invalidateAndCancel();
}
