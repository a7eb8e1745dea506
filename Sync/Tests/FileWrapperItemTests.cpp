#include "Sync/Model/FileWrapperItem.hpp"

#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

std::shared_ptr<const PublicShareInfo> publicShare()
{
    return std::make_shared<PublicShareInfoItem>(1, 7, *Platform::URL::create("https://s.example.org/x"), std::nullopt);
}

std::shared_ptr<const PrivateShareInfo> privateShare(std::string email)
{
    return std::make_shared<PrivateShareInfoItem>(2, 7, false, ShareInfoStatus::Accepted, std::nullopt, email, "a");
}

ArchiveDictionary minimalForm()
{
    return { { "name", "a" }, { "path", "/a" }, { "mimeType", "text/plain" }, { "parentFileId", 3 }, { "mtime", 10 },
        { "fileId", 7 } };
}

} // namespace

TEST(FileWrapperItemTests, FolderPathsEndWithSlash)
{
    // Folder paths gain a "/" at construction and on every path change; file paths stay as given.
    EXPECT_EQ(makeFolder(1, "/Docs", 0)->path(), "/Docs/");
    EXPECT_EQ(makeFolder(1, "", 0)->path(), "/");
    EXPECT_EQ(makeFolder(1, "/Docs/", 0)->path(), "/Docs/");
    EXPECT_EQ(makeFile(1, "/a/", 0)->path(), "/a/");

    auto folder = makeFolder(1, "/a", 0);
    folder->setPath("x");
    EXPECT_EQ(folder->path(), "x/");
    folder->setPath("/a/");
    folder->modifyPath([](std::string& path) { path += "y"; });
    EXPECT_EQ(folder->path(), "/a/y/");

    auto file = makeFile(1, "a", 0);
    file->setType(FileType::folder());
    EXPECT_EQ(file->path(), "a");
}

TEST(FileWrapperItemTests, CopyingLeavesShareDetailsBehind)
{
    // A copy keeps both flags but never the share details.
    auto source = makeFile(7, "/a", 3);
    source->setHasPublicShare(true);
    source->setPublicShareInfo(publicShare());
    source->setHasPrivateShares(true);
    source->setPrivateShareInfos({ privateShare("a@x"), privateShare("b@x") });
    FileWrapperItem copy(static_cast<const File&>(*source));
    EXPECT_TRUE(copy.hasPublicShare());
    EXPECT_TRUE(copy.hasPrivateShares());
    EXPECT_FALSE(copy.publicShareInfo());
    EXPECT_TRUE(copy.privateShareInfos().empty());
    EXPECT_EQ(copy, *source);
}

TEST(FileWrapperItemTests, DictionaryForm)
{
    // All twelve keys are written: empty share list, null etag, null local ids, the folder MIME type.
    auto folder = makeFolder(SyncFileID(), "/Docs", 3);
    auto form = folder->dictionary();
    EXPECT_EQ(form.size(), 12u);
    EXPECT_EQ(form.at("shareInfos"), ArchiveValue(ArchiveArray {}));
    EXPECT_TRUE(form.at("etag").isNull());
    EXPECT_TRUE(form.at("fileId").isNull());
    EXPECT_EQ(form.at("parentFileId"), ArchiveValue(3));
    EXPECT_EQ(form.at("mimeType"), ArchiveValue("httpd/unix-directory"));
    EXPECT_EQ(form.at("path"), ArchiveValue("/Docs/"));
    EXPECT_FALSE(FileWrapperItem::create(form));
}

TEST(FileWrapperItemTests, ArchiveRoundTrip)
{
    // A record with remote ids survives the bytes, its date cut to the whole second toward zero.
    auto item = makeFile(7, "/Gr\xc3\xbc\xc3\x9f" "e.txt", 3, "0123456789abcdef0123456789abcdef01234567", 100.75);
    item->setSyncEtag("etag-1");
    item->setHasPublicShare(true);
    item->setPublicShareInfo(publicShare());
    item->setHasPrivateShares(true);
    item->setPrivateShareInfos({ privateShare("a@x") });

    auto back = FileWrapperItem::create(item->data());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->lastModifiedDate(), Platform::Date::fromWholeSecondsSince1970(100));
    back->setLastModifiedDate(item->lastModifiedDate());
    EXPECT_EQ(*back, *item);
    ASSERT_TRUE(back->publicShareInfo());
    EXPECT_EQ(*back->publicShareInfo(), *item->publicShareInfo());
    EXPECT_TRUE(sameShareInfos(back->privateShareInfos(), item->privateShareInfos()));

    auto early = makeFile(7, "/a", 3, defaultHash, -0.25);
    EXPECT_EQ(FileWrapperItem::create(early->data())->lastModifiedDate(), Platform::Date());
    auto negative = makeFile(7, "/a", 3, defaultHash, -1.9);
    EXPECT_EQ(FileWrapperItem::create(negative->data())->lastModifiedDate(), Platform::Date::fromWholeSecondsSince1970(-1));
}

TEST(FileWrapperItemTests, LocalIdsDoNotSurvive)
{
    // A record with a local id is written with null and reads back as no record.
    EXPECT_FALSE(FileWrapperItem::create(makeFile(SyncFileID(), "/a", 3)->data()));
    EXPECT_FALSE(FileWrapperItem::create(makeFile(7, "/a", SyncFileID())->data()));
}

TEST(FileWrapperItemTests, RequiredKeys)
{
    // A missing, null or wrongly kinded required entry gives no record; fileID with a capital D is not "fileId".
    ASSERT_TRUE(FileWrapperItem::create(minimalForm()));
    for (auto key : { "name", "path", "mimeType", "parentFileId", "mtime", "fileId" }) {
        auto form = minimalForm();
        form.erase(key);
        EXPECT_FALSE(FileWrapperItem::create(form)) << key;
        form[key] = nullptr;
        EXPECT_FALSE(FileWrapperItem::create(form)) << key;
    }
    auto form = minimalForm();
    form["fileId"] = "42";
    EXPECT_FALSE(FileWrapperItem::create(form));
    form.erase("fileId");
    form["fileID"] = 42;
    EXPECT_FALSE(FileWrapperItem::create(form));
    EXPECT_FALSE(FileWrapperItem::create(ArchiveDictionary {}));
}

TEST(FileWrapperItemTests, DefaultsOfOptionalKeys)
{
    // Absent or wrong optional entries give the defaults: missing hash marker, no etag, flags from the details.
    auto form = minimalForm();
    form["fileHash"] = 5;
    form["etag"] = nullptr;
    auto item = FileWrapperItem::create(form);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->fileHash(), "#MissingFileHash#");
    EXPECT_FALSE(item->syncEtag());
    EXPECT_FALSE(item->hasPublicShare());
    EXPECT_FALSE(item->hasPrivateShares());
    EXPECT_EQ(item->syncFileID(), SyncFileID(7));
    EXPECT_EQ(FileWrapperItem::create(minimalForm())->fileHash(), FileWrapperItem::missingFileHashKey);
}

TEST(FileWrapperItemTests, ShareDetailsWhenReading)
{
    // Undecodable share forms are dropped while the derived flags still see them; only the first public form counts.
    auto good = dictionary(*publicShare());
    ArchiveDictionary bad { { "type", "nonsense" } };

    auto form = minimalForm();
    form["shareInfos"] = ArchiveArray { bad };
    auto item = FileWrapperItem::create(form);
    EXPECT_FALSE(item->publicShareInfo());
    EXPECT_TRUE(item->hasPublicShare());

    form["privateSharesInfos"] = ArchiveArray { dictionary(*privateShare("a@x")), bad };
    item = FileWrapperItem::create(form);
    EXPECT_EQ(item->privateShareInfos().size(), 1u);
    EXPECT_TRUE(item->hasPrivateShares());
    form["privateSharesInfos"] = ArchiveArray { bad, bad };
    EXPECT_FALSE(FileWrapperItem::create(form)->hasPrivateShares());

    auto other = good;
    other["shareID"] = 99;
    form["shareInfos"] = ArchiveArray { good, other, bad };
    item = FileWrapperItem::create(form);
    EXPECT_EQ(item->publicShareInfo()->shareID(), 1);

    form["hasPublicShare"] = false;
    item = FileWrapperItem::create(form);
    EXPECT_TRUE(item->publicShareInfo());
    EXPECT_FALSE(item->hasPublicShare());
}

TEST(FileWrapperItemTests, FolderPathGainsSlashWhenRead)
{
    // A folder path stored without its "/" reads back with one.
    auto form = minimalForm();
    form["mimeType"] = "httpd/unix-directory";
    form["path"] = "/Docs";
    EXPECT_EQ(FileWrapperItem::create(form)->path(), "/Docs/");
}

TEST(FileWrapperItemTests, GarbageBytesAreNoRecord)
{
    // Bytes that are no archive, or an archive of something else, read as no record without throwing.
    EXPECT_FALSE(FileWrapperItem::create(Platform::Data()));
    EXPECT_FALSE(FileWrapperItem::create(Platform::Data::fromString(std::string_view("\x00\x01\xff garbage", 12))));
    EXPECT_FALSE(FileWrapperItem::create(Platform::Data::fromString("[1,2,3]")));
    EXPECT_FALSE(FileWrapperItem::create(Platform::Data::fromString("{\"name\":\"a\"}")));
    auto bytes = makeFile(7, "/a", 3)->data();
    bytes.mutableVector().resize(bytes.size() / 2);
    EXPECT_FALSE(FileWrapperItem::create(bytes));
}

TEST(FileWrapperItemTests, NamedFieldsMatchThePositionalInitialiser)
{
    // Building from named fields gives the same record, the folder rule included.
    auto named = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = 7,
        .path = "/Docs",
        .fileName = "Docs",
        .syncParentID = 3,
        .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(1000),
        .type = FileType::folder(),
    });
    EXPECT_EQ(named->path(), "/Docs/");
    EXPECT_EQ(*named, *makeFolder(7, "/Docs", 3));
    EXPECT_FALSE(named->syncEtag());
}

TEST(FileWrapperItemTests, ArchiveBytesReadAsTheirDictionary)
{
    // Read straight from archive bytes, a record is the one its dictionary
    // gives: shares, defaults, refusals, and texts the JSON has to escape.
    auto form = minimalForm();
    std::vector<ArchiveDictionary> forms { form };
    form["shareInfos"] = ArchiveArray { dictionary(*publicShare()) };
    form["privateSharesInfos"] = ArchiveArray { dictionary(*privateShare("a@x")), ArchiveDictionary { { "type", 1 } } };
    form["etag"] = "e1";
    form["fileHash"] = std::string(40, 'a');
    forms.push_back(form);
    form["etag"] = "\"e\\1\"";
    form["path"] = "/Gr\xc3\xbc\xc3\x9f" "e\n";
    form["hasPublicShare"] = false;
    forms.push_back(form);
    form["$odd"] = 1;
    forms.push_back(form);
    form.erase("$odd");
    form["mtime"] = "10";
    forms.push_back(form);
    form = minimalForm();
    form["etag"] = nullptr;
    form["fileHash"] = 5;
    forms.push_back(form);

    for (const auto& each : forms) {
        auto bytes = KeyedArchive::archivedData(each);
        auto fromDictionary = FileWrapperItem::create(each);
        auto fromBytes = FileWrapperItem::create(bytes.stringView());
        ASSERT_EQ(!fromDictionary, !fromBytes) << bytes.stringView();
        if (!fromDictionary)
            continue;
        EXPECT_EQ(*fromBytes, *fromDictionary) << bytes.stringView();
        EXPECT_EQ(fromBytes->syncEtag(), fromDictionary->syncEtag());
        EXPECT_EQ(fromBytes->fileHash(), fromDictionary->fileHash());
        EXPECT_EQ(!fromBytes->publicShareInfo(), !fromDictionary->publicShareInfo());
        EXPECT_EQ(fromBytes->privateShareInfos().size(), fromDictionary->privateShareInfos().size());
        EXPECT_EQ(fromBytes->dictionary(), fromDictionary->dictionary());
    }
    EXPECT_FALSE(FileWrapperItem::create(std::string_view("{\"name\":\"a\"")));
}
