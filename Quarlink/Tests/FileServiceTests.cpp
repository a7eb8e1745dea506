// The file operations against the local service's own file routes on loopback: a logged-in user's
// seeded tree listed, changed, uploaded to and downloaded from.

#include "Quarlink/Downloads/DownloadOperations.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Tests/SessionFixture.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

class FileServiceTests : public SessionFixture {
protected:
    void SetUp() override
    {
        SessionFixture::SetUp();
        logIn();
        ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/" }, { "/Docs/a.txt", "content" } }).has_value());
    }

    File listed(const std::string& path)
    {
        auto events = run(recursiveFiles(client()));
        EXPECT_TRUE(events.at(0).isValue()) << (events.at(0).isFailed() ? events.at(0).error().description() : "");
        for (const auto& file : events.at(0).value().payload()) {
            if (file.path() == path)
                return file;
        }
        ADD_FAILURE() << "not listed: " << path;
        return File({});
    }
};

} // namespace

TEST_F(FileServiceTests, downloadsArePlacedOrKept)
{
    // Into a folder: <folder>/<id>/<name>, nested folders made, an old file replaced; a 404 keeps it; no folder keeps
    // the temporary file.
    auto file = listed("/Docs/a.txt");
    auto folder = Platform::URL::fileURL((m_root / "target").string());
    auto events = run(download(client(), file, folder));
    ASSERT_TRUE(events.back().isCompleted()) << (events.back().isFailed() ? events.back().error().description() : "");
    auto placed = m_root / "target" / std::to_string(file.fileID()) / "a.txt";
    EXPECT_EQ(readFile(placed), "content");
    EXPECT_EQ(m_server->requestLog().back().header("Accept-Encoding"), "deflate");

    writeFile(placed, "older");
    run(download(client(), file, folder));
    EXPECT_EQ(readFile(placed), "content");

    m_server->script("GET", "/v2.0/files/" + std::to_string(file.fileID()) + "/download",
        { .status = 404, .headers = { { "X-Error-Code", "5004" }, { "X-Error-Message", "weg" } } }, 1);
    writeFile(placed, "kept");
    auto missing = run(download(client(), file, folder));
    ASSERT_TRUE(missing.back().isFailed());
    EXPECT_EQ(readFile(placed), "kept");

    auto unplaced = run(download(client(), file.fileID(), "a.txt"));
    std::optional<Platform::URL> temporary;
    for (const auto& event : unplaced)
        if (event.isValue() && event.value().downloadedValue())
            temporary = *event.value().downloadedValue();
    ASSERT_TRUE(temporary.has_value());
    EXPECT_EQ(readFile(temporary->path()), "content");
}

TEST_F(FileServiceTests, unsafeNamesAndCutTransfersWriteNothing)
{
    // A name that is no single path component (one that climbs with "..", one with "/") is refused before
    // anything is sent and places nothing; a transfer cut short leaves no file.
    auto file = listed("/Docs/a.txt");
    auto folder = Platform::URL::fileURL((m_root / "target").string());
    const auto before = m_server->requestCount();
    for (const char* name : { "..", "../escape.txt", "../../escape.txt", "a/b.txt", "/a.txt", "a.txt/" }) {
        auto events = run(download(client(), file.fileID(), name, std::nullopt, folder));
        ASSERT_TRUE(events.back().isFailed()) << name;
        const auto* error = events.back().error().as<APIClientError>();
        ASSERT_NE(error, nullptr) << name;
        EXPECT_EQ(*error, APIClientError::invalidRequest()) << name;
    }
    EXPECT_EQ(m_server->requestCount(), before);
    EXPECT_FALSE(std::filesystem::exists(m_root / "escape.txt"));
    EXPECT_FALSE(std::filesystem::exists(m_root / "target"));

    m_server->setTransferShaping({ .cutAfterBytes = 3 });
    auto cut = run(download(client(), file.fileID(), "cut.txt", 7, folder));
    ASSERT_TRUE(cut.back().isFailed());
    EXPECT_FALSE(std::filesystem::exists(m_root / "target" / std::to_string(file.fileID()) / "cut.txt"));
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(FileServiceTests, folderUploadRenameMoveAndDeleteRoundTrip)
{
    // A folder made, a file uploaded into it (an identical second upload sends no content), renamed, moved and
    // deleted, each seen in the next listing.
    auto docs = listed("/Docs/");
    auto created = run(createFolder(client(), "Neu", docs));
    ASSERT_TRUE(created[0].isValue()) << (created[0].isFailed() ? created[0].error().description() : "");
    auto neu = created[0].value().payload();
    EXPECT_TRUE(neu.isFolder());

    writeFile(m_root / "local" / "b.txt", "bytes");
    auto local = Platform::URL::fileURL((m_root / "local" / "b.txt").string());
    auto uploaded = run(upload(client(), local, neu));
    ASSERT_TRUE(uploaded[0].isValue()) << (uploaded[0].isFailed() ? uploaded[0].error().description() : "");
    auto stored = uploaded[0].value().payload();
    EXPECT_EQ(stored.fileName(), "b.txt");
    EXPECT_EQ(stored.numberOfBytes(), 5);
    auto transfers = requestsTo("PUT", "files/" + std::to_string(stored.fileID()) + "/stream");
    auto again = run(upload(client(), local, neu));
    ASSERT_TRUE(again[0].isValue());
    EXPECT_EQ(again[0].value().payload().fileID(), stored.fileID());
    EXPECT_EQ(requestsTo("PUT", "files/" + std::to_string(stored.fileID()) + "/stream"), transfers);

    auto renamed = run(rename(client(), stored, "c.txt"));
    ASSERT_TRUE(renamed[0].isValue()) << (renamed[0].isFailed() ? renamed[0].error().description() : "");
    EXPECT_EQ(renamed[0].value().payload().fileName(), "c.txt");

    auto moved = run(move(client(), renamed[0].value().payload(), docs));
    ASSERT_TRUE(moved[0].isValue()) << (moved[0].isFailed() ? moved[0].error().description() : "");
    ASSERT_EQ(moved[0].value().payload().movedFiles.size(), 1u);
    EXPECT_EQ(listed("/Docs/c.txt").fileID(), stored.fileID());

    auto deleted = run(delete_(client(), std::vector<std::int64_t> { stored.fileID(), neu.fileID() }));
    ASSERT_TRUE(deleted[0].isValue());
    EXPECT_EQ(deleted[0].value().payload().deletedFileIDs, (std::set<std::int64_t> { stored.fileID(), neu.fileID() }));
}

TEST_F(FileServiceTests, largeDownloadsArriveDecoded)
{
    // A body of 64 KiB and more, which the service deflates when asked, is placed byte for byte.
    std::string content;
    for (int index = 0; index < 20'000; ++index)
        content += "Zeile " + std::to_string(index) + "\n";
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/big.txt", content } }).has_value());
    auto file = listed("/Docs/big.txt");
    auto folder = Platform::URL::fileURL((m_root / "target").string());
    auto events = run(download(client(), file, folder));
    ASSERT_TRUE(events.back().isCompleted());
    EXPECT_EQ(readFile(m_root / "target" / std::to_string(file.fileID()) / "big.txt"), content);
    EXPECT_NE(m_server->requestLog().back().header("Accept-Encoding").value_or("").find("deflate"), std::string::npos);
}
