#include "ClientTestSupport.hpp"

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/TransportErrors.hpp"
#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskDelegates.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;
using Reactive::AnyError;

namespace {

class TaskDelegatesTests : public ::testing::Test {
protected:
    std::shared_ptr<Platform::URLSessionTask> uploadTask()
    {
        return m_session->uploadTask({ .url = "http://127.0.0.1:1/v2.0/x" }, "/nonexistent", [](auto&, auto) {});
    }

    std::shared_ptr<Platform::URLSession> m_session = Platform::URLSession::create({});
    Platform::HTTPResponseHead m_response { .statusCode = 201, .url = "http://127.0.0.1:1/v2.0/x", .headers = { { "A", "b" } } };
};

} // namespace

TEST_F(TaskDelegatesTests, uploadDelegateJoinsChunksInOrderWithTheResponse)
{
    // Response, two chunks, completion without error: one success with both chunks in order.
    auto task = uploadTask();
    std::vector<Reactive::Result<DataResponse, AnyError>> results;
    UploadTaskDelegate delegate([&](Platform::URLSessionTask&, Reactive::Result<DataResponse, AnyError> result) {
        results.push_back(std::move(result));
    });
    EXPECT_EQ(delegate.didReceiveResponse(*task, m_response), ResponseDisposition::allow);
    delegate.didReceiveData(*task, "first ");
    delegate.didReceiveData(*task, "second");
    delegate.didComplete(*task, std::nullopt);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].has_value());
    auto bytes = results[0]->data.bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "first second");
    EXPECT_EQ(results[0]->response.statusCode(), 201);
    EXPECT_EQ(results[0]->response.value("a"), "b");
    m_session->invalidateAndCancel();
}

TEST_F(TaskDelegatesTests, uploadDelegateFailures)
{
    // A transport error arrives wrapped presentable; no error and no response gives the empty, unpresentable error.
    auto task = uploadTask();
    std::vector<Reactive::Result<DataResponse, AnyError>> results;
    auto record = [&](Platform::URLSessionTask&, Reactive::Result<DataResponse, AnyError> result) {
        results.push_back(std::move(result));
    };
    UploadTaskDelegate failing(record);
    failing.didReceiveResponse(*task, m_response);
    failing.didComplete(*task, Platform::TransportError(Platform::TransportError::Code::networkConnectionLost, 56, "recv failure"));
    UploadTaskDelegate silent(record);
    silent.didComplete(*task, std::nullopt);

    ASSERT_EQ(results.size(), 2u);
    ASSERT_FALSE(results[0].has_value());
    EXPECT_TRUE(results[0].error().is<AnyPresentableError>());
    EXPECT_EQ(reason(results[0].error()), "Netzwerkverbindung verloren.");
    ASSERT_FALSE(results[1].has_value());
    EXPECT_TRUE(results[1].error().is<TransportContractError>());
    m_session->invalidateAndCancel();
}

TEST_F(TaskDelegatesTests, downloadDelegateWithoutResponseReportsAnInvalidDownload)
{
    // A finished download whose task carries no response is `invalidDownload`; a later failed
    // completion reports the transport error, a clean one nothing.
    auto task = m_session->downloadTask({ .url = "http://127.0.0.1:1/v2.0/x" }, [](auto&, auto) {});
    std::vector<Reactive::Result<DownloadResponse, AnyError>> results;
    DownloadTaskDelegate delegate([&](Platform::URLSessionTask&, Reactive::Result<DownloadResponse, AnyError> result) {
        results.push_back(std::move(result));
    });
    delegate.didFinishDownloading(*task, "/tmp/somewhere");
    delegate.didComplete(*task, std::nullopt);
    delegate.didComplete(*task, Platform::TransportError(Platform::TransportError::Code::cancelled, 0, ""));
    ASSERT_EQ(results.size(), 2u);
    ASSERT_FALSE(results[0].has_value());
    ASSERT_TRUE(results[0].error().is<APIClientError>());
    EXPECT_EQ(results[0].error().as<APIClientError>()->errorCase(), APIClientError::Case::invalidDownload);
    EXPECT_EQ(reason(results[1].error()), "Die Aktion wurde abgebrochen.");
    m_session->invalidateAndCancel();
}

TEST(TaskDelegatesDeathTest, delegatesRefuseTasksOfTheWrongKind)
{
    // Handing a delegate a task of a kind it cannot collect stops the process with its message.
    auto session = Platform::URLSession::create({});
    auto download = session->downloadTask({ .url = "http://127.0.0.1:1/x" }, [](auto&, auto) {});
    auto data = session->dataTask({ .url = "http://127.0.0.1:1/x" }, [](auto&, auto) {});
    UploadTaskDelegate upload([](auto&, auto) {});
    DownloadTaskDelegate downloadDelegate([](auto&, auto) {});
    EXPECT_DEATH(upload.didComplete(*download, std::nullopt), "UploadTaskDelegate only supports URLSessionDataTasks or URLSessionUploadTasks");
    EXPECT_DEATH(downloadDelegate.didComplete(*data, std::nullopt), "DownloadTaskDelegate only works with URLSessionDownloadTasks");
    session->invalidateAndCancel();
}
