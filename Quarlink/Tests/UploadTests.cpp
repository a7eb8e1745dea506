// Content properties of local items and upload records, on real files in a temporary folder.

#include "Quarlink/Files/URLContentProperties.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"
#include "Quarlink/Uploads/Upload.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Quarlink;

namespace {

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "QuarlinkUploadXXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { std::filesystem::remove_all(m_path); }

    Platform::URL write(const std::string& name, std::string_view content) const
    {
        std::ofstream(m_path / name, std::ios::binary) << content;
        return url(name);
    }
    [[nodiscard]] Platform::URL url(const std::string& name) const { return Platform::URL::fileURL((m_path / name).string()); }
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

std::string sha1sum(const std::string& path)
{
    std::string command = "sha1sum '" + path + "'";
    std::unique_ptr<FILE, decltype(&::pclose)> pipe(::popen(command.c_str(), "r"), &::pclose);
    char buffer[41] = {};
    if (!pipe || std::fread(buffer, 1, 40, pipe.get()) != 40)
        return {};
    return std::string(buffer, 40);
}

long peakResidentKiB()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

const char* pdfBytes = "%PDF-1.4\n1 0 obj << >> endobj\ntrailer << >>\n%%EOF\n";

} // namespace

TEST(URLContentProperties, realItems)
{
    // PDF, text, unknown extension, no extension, folder, missing item and empty file, all from the disk as it is now.
    TemporaryFolder folder;
    auto pdf = folder.write("report.pdf", pdfBytes);
    auto text = folder.write("notes.txt", "hello");
    auto unknown = folder.write("data.zzqqx", "x");
    auto bare = folder.write("plainnameqq", "x");
    auto empty = folder.write("empty.txt", "");
    std::filesystem::create_directory(folder.path() / "Folder.pdf");
    auto directory = folder.url("Folder.pdf");
    auto missing = folder.url("missing.pdf");

    EXPECT_EQ(contentType(pdf), "application/pdf");
    EXPECT_EQ(contentType(text), "text/plain");
    EXPECT_EQ(contentType(unknown), std::nullopt);
    EXPECT_EQ(contentTypeOrDefault(unknown), "application/octet-stream");
    EXPECT_EQ(contentType(bare), std::nullopt);
    EXPECT_EQ(contentType(directory), std::nullopt);
    EXPECT_EQ(contentTypeOrDefault(directory), "application/octet-stream");
    EXPECT_EQ(contentType(missing), std::nullopt);
    EXPECT_EQ(contentTypeOrDefault(missing), "application/octet-stream");
    EXPECT_EQ(defaultContentType, "application/octet-stream");

    EXPECT_TRUE(isReachable(pdf));
    EXPECT_TRUE(isReachable(directory));
    EXPECT_FALSE(isReachable(missing));
    EXPECT_TRUE(isDirectory(directory));
    EXPECT_FALSE(isDirectory(pdf));
    EXPECT_FALSE(isDirectory(missing));
    EXPECT_EQ(size(text), 5);
    EXPECT_EQ(size(empty), 0);
    EXPECT_EQ(size(directory), std::nullopt);
    EXPECT_EQ(size(missing), std::nullopt);
    EXPECT_FALSE(isReachable(*Platform::URL::create("http://127.0.0.1/" + folder.path().string())));

    // Nothing is cached: the same URL reads the change.
    std::filesystem::remove(folder.path() / "notes.txt");
    EXPECT_FALSE(isReachable(text));
    EXPECT_EQ(size(text), std::nullopt);
}

TEST(Upload, recordOfARealFile)
{
    // Name, dates, type, size and hash come from the file; the record is for the given folder and not failed.
    TemporaryFolder folder;
    auto before = Platform::Date::now();
    auto url = folder.write("report.pdf", pdfBytes);
    auto upload = Upload::create(17, url);
    ASSERT_TRUE(upload) << upload.error().description();
    EXPECT_EQ(upload->fileURL, url);
    EXPECT_EQ(upload->parentID, 17);
    EXPECT_EQ(upload->fileName, "report.pdf");
    EXPECT_EQ(upload->mimeType, "application/pdf");
    EXPECT_EQ(upload->numberOfBytes, static_cast<std::int64_t>(std::strlen(pdfBytes)));
    EXPECT_EQ(upload->fileHash, sha1sum((folder.path() / "report.pdf").string()));
    EXPECT_FALSE(upload->lastAttemptFailed);
    struct stat status {};
    ASSERT_EQ(::stat((folder.path() / "report.pdf").c_str(), &status), 0);
    EXPECT_EQ(upload->lastModifiedDate, Platform::Date::fromTimespec(status.st_mtim));
    // A birth time where the file system keeps one, else the time of building: never before the file existed.
    EXPECT_GE(upload->createdDate.wholeSecondsSince1970(), before.wholeSecondsSince1970() - 1);

    EXPECT_EQ(Upload::create(1, folder.write("x.zzqqx", "1"))->mimeType, "application/octet-stream");
    EXPECT_EQ(Upload::create(1, folder.write("noextension", "1"))->mimeType, "application/octet-stream");
    EXPECT_EQ(Upload::mimeTypeForFileAt(folder.url("notes.txt")), "application/octet-stream");
    EXPECT_EQ(Upload::mimeTypeForFileAt(folder.write("notes.txt", "a")), "text/plain");

    auto empty = Upload::create(1, folder.write("empty.txt", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->numberOfBytes, 0);
    EXPECT_EQ(empty->fileHash, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Upload, missingFileFailsWithTheFileSystemError)
{
    // No status, no record: the error says the item was not found and names it.
    TemporaryFolder folder;
    auto upload = Upload::create(1, folder.url("missing.txt"));
    ASSERT_FALSE(upload);
    EXPECT_EQ(upload.error().code, Platform::FileSystemErrorCode::notFound);
    EXPECT_EQ(upload.error().path, (folder.path() / "missing.txt").string());
}

TEST(Upload, unreadableContentGivesAnEmptyHash)
{
    // An item whose status reads but whose content does not (a folder; a kernel file that fails every read,
    // also for root) still gives a record, with an empty hash and the request hash of "<parent>/<name>/".
    TemporaryFolder folder;
    std::filesystem::create_directory(folder.path() / "Folder");
    auto directory = Upload::create(5, folder.url("Folder"));
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory->fileHash, "");
    EXPECT_EQ(directory->numberOfBytes, 0);
    EXPECT_EQ(directory->requestHash(), Platform::sha1Hex("5/Folder/"));

    auto memory = Upload::create(5, Platform::URL::fileURL("/proc/self/mem"));
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->fileHash, "");
    EXPECT_EQ(memory->fileName, "mem");
    EXPECT_EQ(memory->requestHash(), Platform::sha1Hex("5/mem/"));
}

TEST(Upload, largeFileIsHashedInBlocks)
{
    // 64 MiB hash as sha1sum does, and the process's peak memory grows far less than the file's size.
    TemporaryFolder folder;
    auto path = folder.path() / "large.bin";
    {
        std::ofstream out(path, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int index = 0; index < 64; ++index) {
            for (std::size_t offset = 0; offset < block.size(); offset += 4096)
                block[offset] = static_cast<char>(index + offset / 4096);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    auto expected = sha1sum(path.string());
    ASSERT_EQ(expected.size(), 40u);
    auto peakBefore = peakResidentKiB();
    auto upload = Upload::create(1, Platform::URL::fileURL(path.string()));
    auto growthKiB = peakResidentKiB() - peakBefore;
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->numberOfBytes, 64 << 20);
    EXPECT_EQ(upload->fileHash, expected);
    EXPECT_LT(growthKiB, 16 * 1024) << "hashing grew the peak by " << growthKiB << " KiB";
}

TEST(Upload, requestHash)
{
    // SHA-1 of "<parentID>/<fileName>/<fileHash>" as UTF-8, the name exactly as spelt: NFC and NFD differ.
    TemporaryFolder folder;
    auto upload = *Upload::create(-3, folder.write("a.txt", "abc"));
    EXPECT_EQ(upload.requestHash(), Platform::sha1Hex("-3/a.txt/a9993e364706816aba3e25717850c26c9cd0d89d"));

    auto composed = *Upload::create(9, folder.write("\xC3\xA4rger.txt", "x"));
    auto decomposed = *Upload::create(9, folder.write("a\xCC\x88rger.txt", "x"));
    EXPECT_EQ(composed.fileName, "\xC3\xA4rger.txt");
    EXPECT_EQ(decomposed.fileName, "a\xCC\x88rger.txt");
    EXPECT_EQ(composed.requestHash(), Platform::sha1Hex("9/\xC3\xA4rger.txt/" + composed.fileHash));
    EXPECT_EQ(decomposed.requestHash(), Platform::sha1Hex("9/a\xCC\x88rger.txt/" + decomposed.fileHash));
    EXPECT_NE(composed.requestHash(), decomposed.requestHash());

    // Only parent, name and hash count: another place, date or type leaves the request hash alone.
    auto moved = upload;
    moved.fileURL = Platform::URL::fileURL("/elsewhere/a.txt");
    moved.createdDate = Platform::Date::fromWholeSecondsSince1970(1);
    moved.mimeType = "x/y";
    moved.lastAttemptFailed = true;
    EXPECT_NE(moved, upload);
    EXPECT_EQ(moved.requestHash(), upload.requestHash());
}

TEST(Upload, jsonRoundTripAndRequiredKeys)
{
    // The nine field names as keys, read back to an equal record; each key missing or mistyped fails naming it.
    TemporaryFolder folder;
    auto upload = *Upload::create(4, folder.write("b.txt", "b"));
    upload.lastAttemptFailed = true;
    JSONEncoder encoder;
    encoder.setDateEncodingStrategy(DateEncodingStrategy::wholeSecondsSince1970);
    auto json = encoder.encodeToJSON(upload);
    ASSERT_TRUE(json);
    EXPECT_EQ(json->size(), 9u);
    for (const char* key : { "fileURL", "parentID", "fileName", "createdDate", "lastModifiedDate", "mimeType", "numberOfBytes",
             "fileHash", "lastAttemptFailed" })
        EXPECT_TRUE(json->contains(key)) << key;
    EXPECT_EQ((*json)["fileURL"], upload.fileURL.absoluteString());

    auto decoded = Testing::decodeJSON<Upload>(*json);
    ASSERT_TRUE(decoded) << decoded.error().description();
    auto expected = upload;
    expected.createdDate = Platform::Date::fromWholeSecondsSince1970(upload.createdDate.wholeSecondsSince1970());
    expected.lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(upload.lastModifiedDate.wholeSecondsSince1970());
    EXPECT_EQ(*decoded, expected);
    EXPECT_EQ(std::hash<Upload>()(*decoded), std::hash<Platform::URL>()(upload.fileURL));

    using Testing::JSONKind;
    Testing::expectRequiredKeys<Upload>(*json, {
        { "fileURL", JSONKind::string }, { "parentID", JSONKind::integer }, { "fileName", JSONKind::string },
        { "createdDate", JSONKind::number }, { "lastModifiedDate", JSONKind::number }, { "mimeType", JSONKind::string },
        { "numberOfBytes", JSONKind::integer }, { "fileHash", JSONKind::string }, { "lastAttemptFailed", JSONKind::boolean },
    });

    // Through the pipeline's body settings the keys are snake-cased.
    encoder.setKeyEncodingStrategy(KeyEncodingStrategy::convertToSnakeCase);
    auto snake = encoder.encodeToJSON(upload);
    ASSERT_TRUE(snake);
    EXPECT_TRUE(snake->contains("file_url"));
    EXPECT_TRUE(snake->contains("parent_id"));
}
