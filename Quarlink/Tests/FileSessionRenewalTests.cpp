// A session that expires in the middle of a multi-request file operation is renewed once, and only
// the rejected request is sent again: the earlier batches and the announcement are not repeated.

#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Tests/SessionFixture.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

std::string fileObject(std::int64_t identifier)
{
    return R"({"id":)" + std::to_string(identifier) + R"(,"parent_file_id":1,"path":"/a.txt","name":"a.txt","has_private_shares":false,)"
        + R"("has_public_shares":false,"is_share_allowed_private":true,"is_share_allowed_public":true,"share_with":0,"created":1,)"
        + R"("modified":2,"mime_type":"text/plain","file_size":3,"file_hash":"","etag":"e"})";
}

const LocalCloud::ScriptedResponse expired { .status = 401,
    .headers = { { "X-Error-Code", "3001" }, { "X-Error-Message", "Session abgelaufen" } } };

class FileSessionRenewalTests : public SessionFixture {
protected:
    void SetUp() override
    {
        SessionFixture::SetUp();
        m_refresher = std::make_shared<LoginRefresher>(m_credentials);
        setSessionRefresher(*client(), m_refresher);
    }
    std::shared_ptr<LoginRefresher> m_refresher;
};

} // namespace

TEST_F(FileSessionRenewalTests, expiredMidBatch)
{
    // Batch 1 passes, batch 2 is rejected once: one login, batch 2 sent again, batch 3 after it; three packages.
    LocalCloud::ScriptedResponse batch { .body = R"({"data":[)" + fileObject(1) + "]}" };
    m_server->script("POST", "/v2.0/files/getter", batch, 1);
    m_server->script("POST", "/v2.0/files/getter", expired, 1);
    m_server->script("POST", "/v2.0/files/getter", batch, 2);
    auto events = run(filesInBatches(client(), { 1, 2, 3, 4, 5 }, 2));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[3].isCompleted());
    EXPECT_EQ(m_refresher->executions.load(), 1);
    EXPECT_EQ(successfulLogins(), 1u);
    EXPECT_EQ(requestsTo("POST", "files/getter"), 4u);
}

TEST_F(FileSessionRenewalTests, expiredBetweenAnnouncementAndTransfer)
{
    // The announcement passes, the transfer is rejected once: one login, the transfer again, no second announcement.
    writeFile(m_root / "local" / "a.txt", "abc");
    m_server->script("POST", "/v2.0/files/init", { .body = R"({"upload":true,"data":)" + fileObject(42) + "}" }, 1);
    m_server->script("PUT", "/v2.0/files/42/stream", expired, 1);
    m_server->script("PUT", "/v2.0/files/42/stream", { .body = R"({"data":)" + fileObject(42) + "}" }, 1);
    auto events = run(upload(client(), Platform::URL::fileURL((m_root / "local" / "a.txt").string()), 1));
    ASSERT_TRUE(events[0].isValue()) << (events[0].isFailed() ? events[0].error().description() : "");
    EXPECT_EQ(events[0].value().payload().fileID(), 42);
    EXPECT_EQ(m_refresher->executions.load(), 1);
    EXPECT_EQ(requestsTo("POST", "files/init"), 1u);
    EXPECT_EQ(requestsTo("PUT", "files/42/stream"), 2u);
}
