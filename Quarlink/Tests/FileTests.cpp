// The file model: decoding by its key table, derived tests, equality and copy on write.

#include "Quarlink/Files/DownloadFolderConfig.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unordered_set>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

JSON fileObject()
{
    return JSON::parse(R"({
        "id": 42, "parent_file_id": 7, "path": "/Docs/a.txt", "name": "a.txt",
        "has_private_shares": true, "has_public_shares": false,
        "is_share_allowed_private": true, "is_share_allowed_public": false,
        "share_valid_to": 1700000000, "share_with": 3, "created": 1600000000, "modified": 1650000000.5,
        "mime_type": "text/plain", "file_size": 12, "file_hash": "abc", "deleted": null, "etag": "e1"
    })");
}

File decodeFile(const JSON& object)
{
    auto file = decodeJSON<File>(object);
    EXPECT_TRUE(file) << (file ? "" : file.error().description());
    return file ? *file : File({});
}

File named(std::string name, std::int64_t identifier = 1)
{
    return File({ .fileID = identifier, .fileName = std::move(name), .mimeType = "text/plain" });
}

} // namespace

TEST(File, decodesEveryField)
{
    // Each key lands in its field; fields decoding never reads keep their defaults.
    auto file = decodeFile(fileObject());
    EXPECT_EQ(file.fileID(), 42);
    EXPECT_EQ(file.parentID(), 7);
    EXPECT_EQ(file.path(), "/Docs/a.txt");
    EXPECT_EQ(file.fileName(), "a.txt");
    EXPECT_TRUE(file.hasPrivateShares());
    EXPECT_FALSE(file.hasPublicShare());
    EXPECT_TRUE(file.isPrivatelySharable());
    EXPECT_FALSE(file.isPubliclySharable());
    EXPECT_EQ(file.publicShareExpirationDate(), Platform::Date::fromWholeSecondsSince1970(1'700'000'000));
    EXPECT_EQ(file.numberOfPrivateShares(), 3);
    EXPECT_EQ(file.createdDate(), Platform::Date::fromWholeSecondsSince1970(1'600'000'000));
    EXPECT_EQ(file.lastModifiedDate(), Platform::Date::fromSecondsSince1970(1'650'000'000.5));
    EXPECT_EQ(file.mimeType(), "text/plain");
    EXPECT_EQ(file.numberOfBytes(), 12);
    EXPECT_EQ(file.fileHash(), "abc");
    EXPECT_FALSE(file.isDeleted());
    EXPECT_EQ(file.etag(), "e1");
    EXPECT_FALSE(file.isFavorite());
    EXPECT_FALSE(file.hasReminder());
    EXPECT_FALSE(file.userInfo().has_value());
}

TEST(File, decodeTable)
{
    // Every required key missing, null or of a wrong kind fails naming it; the optional ones may be absent or null.
    expectRequiredKeys<File>(fileObject(), {
        { "id", JSONKind::integer }, { "parent_file_id", JSONKind::integer }, { "path", JSONKind::string },
        { "name", JSONKind::string }, { "has_private_shares", JSONKind::boolean }, { "has_public_shares", JSONKind::boolean },
        { "is_share_allowed_private", JSONKind::boolean }, { "is_share_allowed_public", JSONKind::boolean },
        { "share_with", JSONKind::integer }, { "created", JSONKind::number }, { "modified", JSONKind::number },
        { "mime_type", JSONKind::string }, { "file_size", JSONKind::integer }, { "file_hash", JSONKind::string },
        { "etag", JSONKind::string },
    });
    expectOptionalKeys<File>(fileObject(), { { "share_valid_to", JSONKind::number }, { "exif_created", JSONKind::number } });
    expectUnknownKeysIgnored<File>(fileObject());
    EXPECT_FALSE(decodeJSON<File>(JSON::array()));
}

TEST(File, decodingRulesOfSingleKeys)
{
    // "deleted" counts only numbers, "exif_created" replaces "created", an empty MIME type becomes the default.
    for (const JSON& value : { JSON(1), JSON(1.5), JSON(0) }) {
        auto object = fileObject();
        object["deleted"] = value;
        EXPECT_TRUE(decodeFile(object).isDeleted()) << value.dump();
    }
    for (const JSON& value : { JSON(nullptr), JSON(true), JSON(false), JSON("1700000000"), JSON::array(), JSON::object() }) {
        auto object = fileObject();
        object["deleted"] = value;
        EXPECT_FALSE(decodeFile(object).isDeleted()) << value.dump();
    }
    auto withoutDeleted = fileObject();
    withoutDeleted.erase("deleted");
    EXPECT_FALSE(decodeFile(withoutDeleted).isDeleted());

    auto exif = fileObject();
    exif["exif_created"] = 1'500'000'000;
    exif.erase("created");
    EXPECT_EQ(decodeFile(exif).createdDate(), Platform::Date::fromWholeSecondsSince1970(1'500'000'000));
    exif["exif_created"] = nullptr;
    auto noCreated = decodeJSON<File>(exif);
    ASSERT_FALSE(noCreated);
    EXPECT_TRUE(namesKey(noCreated.error(), "created"));

    auto noExpiry = fileObject();
    noExpiry.erase("share_valid_to");
    EXPECT_FALSE(decodeFile(noExpiry).publicShareExpirationDate().has_value());

    auto emptyType = fileObject();
    emptyType["mime_type"] = "";
    auto file = decodeFile(emptyType);
    EXPECT_EQ(file.mimeType(), "application/octet-stream");
    EXPECT_FALSE(file.isFolder());
    EXPECT_FALSE(file.isDocument());
    EXPECT_EQ(File({ .mimeType = "" }).mimeType(), "application/octet-stream");
    file.setMimeType("");
    EXPECT_EQ(file.mimeType(), "");

    auto list = JSON::array({ fileObject(), fileObject() });
    list[1].erase("etag");
    auto files = decodeJSON<std::vector<File>>(list);
    ASSERT_FALSE(files);
    EXPECT_EQ(files.error().codingPathString(), "Index 1.etag");
}

TEST(File, codingKeys)
{
    // Eighteen keys in order, each naming its JSON key, and mapping back from it.
    EXPECT_EQ(FileKeyTable::keys.size(), 18u);
    EXPECT_EQ(File::CodingKeys(File::CodingKeys::Case::hasPublicShare).stringValue(), "has_public_shares");
    EXPECT_EQ(File::CodingKeys::fromStringValue("exif_created")->keyCase(), File::CodingKeys::Case::exifCreatedDate);
    EXPECT_FALSE(File::CodingKeys::fromStringValue("fileID").has_value());
    EXPECT_FALSE(File::CodingKeys::fromIntValue(0).has_value());
}

TEST(File, mimeTests)
{
    // Prefix and set tests on the whole stored text, case-sensitive.
    auto typed = [](std::string type) { return File({ .mimeType = std::move(type) }); };
    EXPECT_TRUE(typed("image/png").isImage());
    EXPECT_TRUE(typed("image/png").isPhoto());
    EXPECT_FALSE(typed("Image/png").isImage());
    EXPECT_FALSE(typed("Image/png").isPhoto());
    EXPECT_TRUE(typed("imagery/x").isImage());
    EXPECT_TRUE(typed("audio/mpeg").isMusic());
    EXPECT_TRUE(typed("httpd/unix-directory").isFolder());
    EXPECT_FALSE(typed("httpd/unix-directory/").isFolder());
    EXPECT_TRUE(typed("application/pdf").isDocument());
    EXPECT_TRUE(typed("text/plain").isDocument());
    EXPECT_TRUE(typed("application/vnd.ms-excel.sheet.binary.macroEnabled.12").isDocument());
    EXPECT_FALSE(typed("application/vnd.ms-excel.sheet.binary.macroenabled.12").isDocument());
    EXPECT_FALSE(typed("text/plain; charset=utf-8").isDocument());
}

TEST(File, initialUsesFullUpperCaseAndGraphemes)
{
    // A–Z after full upper-casing and on the whole first character; anything else is "#".
    EXPECT_EQ(named("").initial(), "#");
    EXPECT_EQ(named("zebra").initial(), "Z");
    EXPECT_EQ(named("Zebra").initial(), "Z");
    EXPECT_EQ(named("z").initial(), "Z");
    EXPECT_EQ(named("1abc").initial(), "#");
    EXPECT_EQ(named("\xC3\xA4pfel").initial(), "#");          // äpfel
    EXPECT_EQ(named("\xC3\x9F" "eta").initial(), "S");         // ß upper-cases to "SS"
    EXPECT_EQ(named("\xEF\xAC\x81le").initial(), "F");         // the ligature ﬁ becomes "FI"
    EXPECT_EQ(named("e\xCC\x81" "clair").initial(), "#");      // e + combining acute is one character, not "E"
    EXPECT_EQ(named("a\xCC\x88pfel").initial(), "#");          // NFD äpfel
    EXPECT_EQ(named("\xD0\xB6\xD1\x83\xD0\xBA").initial(), "#"); // жук
    EXPECT_EQ(named("\xE6\x9D\xB1\xE4\xBA\xAC").initial(), "#"); // 東京
    EXPECT_EQ(named("i").initial(), "I");
    EXPECT_EQ(named("\xFF" "x").initial(), "#");
}

TEST(File, parentFolderPath)
{
    // The root stays the root, a top-level item gives "/", a trailing slash is dropped first.
    auto at = [](std::string path) { return File({ .path = std::move(path) }).parentFolderPath(); };
    EXPECT_EQ(at("/"), "/");
    EXPECT_EQ(at("/a"), "/");
    EXPECT_EQ(at("/a/b/c"), "/a/b");
    EXPECT_EQ(at("/a/b/"), "/a");
    EXPECT_EQ(at("a"), "");
    EXPECT_EQ(at(""), "");
}

TEST(File, equalityAndHash)
{
    // Name, reminder, share count, deleted flag and user info take no part; NFC and NFD texts are equal.
    auto base = decodeFile(fileObject());
    auto other = base;
    other.setFileName("other.txt");
    other.setHasReminder(true);
    other.setNumberOfPrivateShares(99);
    other.setIsDeleted(true);
    other.setUserInfo(FileUserInfo { { "k", 1 } });
    EXPECT_EQ(base, other);
    EXPECT_EQ(std::hash<File>()(base), std::hash<File>()(other));
    EXPECT_EQ(std::hash<File>()(base), std::hash<std::int64_t>()(42));

    auto etag = base;
    etag.setEtag("e2");
    EXPECT_NE(base, etag);
    auto expiry = base;
    expiry.setPublicShareExpirationDate(std::nullopt);
    EXPECT_NE(base, expiry);
    auto favourite = base;
    favourite.setIsFavorite(true);
    EXPECT_NE(base, favourite);

    auto composed = base;
    composed.setPath("/Caf\xC3\xA9/\xC3\xA4.txt");
    auto decomposedPath = base;
    decomposedPath.setPath("/Cafe\xCC\x81/a\xCC\x88.txt");
    EXPECT_EQ(composed, decomposedPath);
    auto composedEtag = base;
    composedEtag.setEtag("\xC3\xA9");
    auto decomposedEtag = base;
    decomposedEtag.setEtag("e\xCC\x81");
    EXPECT_EQ(composedEtag, decomposedEtag);

    std::unordered_set<File> set { base, other, etag };
    EXPECT_EQ(set.size(), 2u);
}

TEST(File, downloadDestinations)
{
    // The identifier and then the name are appended as components; favourites go to their own folder.
    struct Folders final : DownloadFolderConfig {
        Platform::URL favoritesFolderURL() const override { return Platform::URL::fileURL("/fav"); }
        Platform::URL defaultFolderURL() const override { return Platform::URL::fileURL("/d"); }
    } folders;
    auto file = File({ .fileID = 7, .fileName = "x y.pdf" });
    EXPECT_EQ(file.downloadDestinationURL(Platform::URL::fileURL("/d")).path(), "/d/7/x y.pdf");
    EXPECT_EQ(file.downloadDestinationURL(Platform::URL::fileURL("/d")).lastPathComponent(), "x y.pdf");
    EXPECT_EQ(file.downloadDestinationURLWithConfig(folders).path(), "/d/7/x y.pdf");
    file.setIsFavorite(true);
    EXPECT_EQ(file.downloadDestinationURLWithConfig(folders).path(), "/fav/7/x y.pdf");
    // The name is joined as it is: placing the download is where unsafe names are refused.
    EXPECT_EQ(File({ .fileID = 1, .fileName = "../x" }).downloadDestinationURL(Platform::URL::fileURL("/d")).path(), "/d/1/../x");
}

TEST(File, hashAndDownloadUpToDate)
{
    // No hash is always current; a favourite that exists locally is current whatever its hash; a missing item never.
    auto file = File({ .fileHash = "" });
    EXPECT_TRUE(file.isFileHashUpToDate(std::nullopt));
    file.setFileHash("abc");
    EXPECT_FALSE(file.isFileHashUpToDate(std::nullopt));
    EXPECT_FALSE(file.isFileHashUpToDate("abd"));
    EXPECT_TRUE(file.isFileHashUpToDate("abc"));

    auto folder = std::filesystem::temp_directory_path() / ("FileTests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "local.txt") << "x";
    auto present = Platform::URL::fileURL((folder / "local.txt").string());
    auto missing = Platform::URL::fileURL((folder / "missing.txt").string());
    EXPECT_FALSE(file.isDownloadedFileUpToDate(present, "other"));
    EXPECT_TRUE(file.isDownloadedFileUpToDate(present, "abc"));
    EXPECT_FALSE(file.isDownloadedFileUpToDate(missing, "abc"));
    file.setIsFavorite(true);
    EXPECT_TRUE(file.isDownloadedFileUpToDate(present, "other"));
    EXPECT_FALSE(file.isDownloadedFileUpToDate(missing, "abc"));
    file.setIsFavorite(false);
    file.setFileHash("");
    EXPECT_TRUE(file.isDownloadedFileUpToDate(present, std::nullopt));
    std::filesystem::remove_all(folder);
}

TEST(File, debugDescriptionAndIdentifiers)
{
    // The debug text names identifier, name and type; fileIDs keeps the order.
    EXPECT_EQ(File({ .fileID = 7, .fileName = "a.txt", .mimeType = "text/plain" }).debugDescription(),
        "File(fileID: 7, name: a.txt, type: text/plain)");
    std::vector<File> files { named("a", 3), named("b", 1), named("c", 2) };
    EXPECT_EQ(fileIDs(files), (std::vector<std::int64_t> { 3, 1, 2 }));
}

TEST(File, copyOnWrite)
{
    // A copy shares storage until written; a setter on the copy never changes the original, and back.
    auto original = decodeFile(fileObject());
    auto copy = original;
    EXPECT_TRUE(copy.sharesStorageWith(original));
    copy.setFileName("changed");
    EXPECT_FALSE(copy.sharesStorageWith(original));
    EXPECT_EQ(original.fileName(), "a.txt");
    EXPECT_EQ(copy.path(), original.path());
    original.setEtag("new");
    EXPECT_EQ(copy.etag(), "e1");

    // A value that is the only one holding its storage writes in place.
    auto alone = named("x");
    const auto* before = &alone.fields();
    alone.setFileName("y");
    EXPECT_EQ(&alone.fields(), before);

    auto modified = original;
    modified.modify([](File::Fields& fields) {
        fields.fileID = 9;
        fields.path = "/moved";
    });
    EXPECT_EQ(original.fileID(), 42);
    EXPECT_EQ(modified.fileID(), 9);

    std::vector<File> many(1000, original);
    for (const auto& element : many)
        EXPECT_TRUE(element.sharesStorageWith(original));
}

TEST(File, copyOnWriteWhileOtherThreadsRead)
{
    // Readers copy and read one file while the main thread writes to its own copies; nobody sees a change.
    auto original = decodeFile(fileObject());
    std::atomic<bool> stop { false };
    std::atomic<int> mismatches { 0 };
    std::vector<std::thread> readers;
    for (int index = 0; index < 4; ++index) {
        readers.emplace_back([&original, &stop, &mismatches] {
            while (!stop.load()) {
                File copy = original;
                if (copy.fileName() != "a.txt" || copy.etag() != "e1" || copy.fileID() != 42)
                    mismatches.fetch_add(1);
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        File copy = original;
        copy.setFileName("writer " + std::to_string(round));
        copy.setEtag("e" + std::to_string(round));
        copy.setFileID(round);
        ASSERT_EQ(copy.fileName(), "writer " + std::to_string(round));
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(original.fileName(), "a.txt");
}
