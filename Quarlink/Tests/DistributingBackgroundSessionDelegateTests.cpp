#include "ClientTestSupport.hpp"

#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/DistributingBackgroundSessionDelegate.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

TEST_F(ClientFixture, distributingDelegateDeliversDownloadsWhileTheFileExistsAndForgetsFinishedTasks)
{
    // A download through a session that has the distributing delegate arrives on `downloads` with a
    // file still readable during the delivery; a plain data task reaches no stream; no entry is kept.
    std::ofstream(m_server->contentPath(3), std::ios::binary) << "downloaded bytes";
    auto delegate = DistributingBackgroundSessionDelegate::make();
    std::mutex mutex;
    std::vector<std::string> delivered;
    std::vector<Platform::URLSessionTask::Identifier> identifiers;
    auto downloads = delegate->downloads().observeValues([&](const FinishedDownload& finished) {
        std::lock_guard lock(mutex);
        identifiers.push_back(finished.taskIdentifier);
        if (finished.result && finished.result->tempURL)
            delivered.push_back(readFile(finished.result->tempURL->path()));
    });
    int uploadsSeen = 0;
    auto uploads = delegate->uploads().observeValues([&](const FinishedUpload&) { ++uploadsSeen; });

    auto session = Platform::URLSession::create({ .temporaryDirectory = downloadFolder() }, delegate);
    auto download = session->downloadTask(request("/debug/raw/3"), [](auto&, auto) {});
    auto data = session->dataTask(request("/status"), [](auto&, auto) {});
    download->resume();
    data->resume();
    ASSERT_TRUE(eventually([&] {
        return download->state() == Platform::URLSessionTaskState::completed
            && data->state() == Platform::URLSessionTaskState::completed;
    }));
    session.reset();

    EXPECT_EQ(delivered, (std::vector<std::string> { "downloaded bytes" }));
    EXPECT_EQ(identifiers, (std::vector<Platform::URLSessionTask::Identifier> { download->identifier() }));
    EXPECT_EQ(uploadsSeen, 0);
    EXPECT_FALSE(delegate->hasDelegate(download->identifier()));
    EXPECT_FALSE(delegate->hasDelegate(data->identifier()));
    downloads.dispose();
    uploads.dispose();
}

TEST(DistributingBackgroundSessionDelegate, collectsUploadCallbacksAndKeepsTheFinishHandler)
{
    // An upload task's response and data are collected per task and published once at completion;
    // the finish handler is only stored.
    auto delegate = DistributingBackgroundSessionDelegate::make();
    std::vector<FinishedUpload> finished;
    auto uploads = delegate->uploads().observeValues([&](const FinishedUpload& upload) { finished.push_back(upload); });
    auto session = Platform::URLSession::create({});
    auto task = session->uploadTask({ .url = "http://127.0.0.1:1/v2.0/x" }, "/nonexistent", [](auto&, auto) {});

    delegate->didReceiveResponse(*task, Platform::HTTPResponseHead { .statusCode = 200, .url = "http://127.0.0.1:1/v2.0/x", .headers = {} });
    delegate->didReceiveData(*task, "ab");
    delegate->didReceiveData(*task, "cd");
    EXPECT_TRUE(delegate->hasDelegate(task->identifier()));
    delegate->didComplete(*task, std::nullopt);
    EXPECT_FALSE(delegate->hasDelegate(task->identifier()));
    ASSERT_EQ(finished.size(), 1u);
    ASSERT_TRUE(finished[0].result.has_value());
    auto bytes = finished[0].result->data.bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcd");

    int calls = 0;
    delegate->setBackgroundSessionDidFinish([&] { ++calls; });
    ASSERT_TRUE(delegate->backgroundSessionDidFinish());
    delegate->backgroundSessionDidFinish()();
    EXPECT_EQ(calls, 1);
    uploads.dispose();
    session->invalidateAndCancel();
}
