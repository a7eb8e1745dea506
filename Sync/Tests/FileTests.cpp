#include "Sync/Model/File.hpp"

#include "TestFiles.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

TEST(FileTests, LocalIdTextsDoNotMatter)
{
    // Two scans of one unchanged item compare equal although each made new local ids.
    auto first = makeFile(SyncFileID(), "/Docs/a.txt", SyncFileID());
    auto second = makeFile(SyncFileID(), "/Docs/a.txt", SyncFileID());
    EXPECT_EQ(*first, *second);
}

TEST(FileTests, EveryFieldTakesPart)
{
    // A millisecond, an absent versus empty etag, a share flag or a hash makes files unequal.
    auto base = makeFile(7, "/a.txt", 3, defaultHash, 10.5);
    auto other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*base));
    EXPECT_EQ(*base, *other);

    other->setLastModifiedDate(base->lastModifiedDate().addingNanoseconds(1'000'000));
    EXPECT_NE(*base, *other);
    other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*base));
    other->setSyncEtag("");
    EXPECT_NE(*base, *other);
    other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*base));
    other->setHasPrivateShares(true);
    EXPECT_NE(*base, *other);
    other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*base));
    other->setFileHash("b");
    EXPECT_NE(*base, *other);
    other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*base));
    other->setSyncParentID(4);
    EXPECT_NE(*base, *other);
}

TEST(FileTests, TextsCompareCanonically)
{
    // A name and path in decomposed form equal the precomposed form; a server record can equal a stored one.
    auto composed = makeFile(7, "/Caf\xc3\xa9.txt", 3);
    auto decomposed = makeFile(7, "/Cafe\xcc\x81.txt", 3);
    EXPECT_EQ(*composed, *decomposed);
    EXPECT_EQ(*makeServerFile(*composed), *decomposed);
}

TEST(FileTests, OptionalAndListComparisons)
{
    // An absent left side always differs; lists compare by count and in order.
    auto a = makeFile(1, "/a", 0);
    auto b = makeFile(2, "/b", 0);
    EXPECT_TRUE(differs(nullptr, *a));
    EXPECT_FALSE(differs(a.get(), *makeServerFile(*a)));
    EXPECT_TRUE(differs(a.get(), *b));
    EXPECT_TRUE(sameFiles({}, {}));
    EXPECT_TRUE(sameFiles({ a, b }, { makeServerFile(*a), b }));
    EXPECT_FALSE(sameFiles({ a, b }, { b, a }));
    EXPECT_FALSE(sameFiles({ a }, { a, b }));
}

TEST(FileTests, ParentPathAndFolderTest)
{
    // The parent path follows the path rule; folders are recognised by type.
    EXPECT_EQ(parentPath(*makeFile(1, "/a.txt", 0)), "/");
    EXPECT_EQ(parentPath(*makeFile(1, "/Docs/a.txt", 0)), "/Docs");
    EXPECT_EQ(parentPath(*makeFolder(1, "/Docs/Sub", 0)), "/Docs");
    EXPECT_TRUE(isFolder(*makeFolder(1, "/Docs", 0)));
    EXPECT_FALSE(isFolder(*makeFile(1, "/Docs", 0)));
}

TEST(FileTests, FileURLStaysInsideTheBase)
{
    // Paths resolve below the cloud folder; climbing, dot, empty components and NUL give no URL.
    auto base = Platform::URL::fileURL("/home/anna/Cloud", Platform::URL::IsDirectory::Yes);
    EXPECT_EQ(fileURL(*makeFile(1, "/Docs/a b.txt", 0), base)->path(), "/home/anna/Cloud/Docs/a b.txt");
    EXPECT_EQ(fileURL(*makeFolder(1, "/Docs", 0), base)->path(), "/home/anna/Cloud/Docs/");
    EXPECT_EQ(fileURL(*makeFolder(1, "/", 0), base)->path(), "/home/anna/Cloud/");
    EXPECT_FALSE(fileURL(*makeFile(1, "/Docs/../a.txt", 0), base));
    EXPECT_FALSE(fileURL(*makeFile(1, "/../../etc/passwd", 0), base));
    EXPECT_FALSE(fileURL(*makeFile(1, "/./a.txt", 0), base));
    EXPECT_FALSE(fileURL(*makeFile(1, "/Docs//a.txt", 0), base));
    EXPECT_FALSE(fileURL(*makeFile(1, "/..", 0), base));
    EXPECT_FALSE(fileURL(*makeFile(1, std::string("/a\0b", 4), 0), base));
    EXPECT_EQ(fileURL(*makeFile(1, "/..a/b..", 0), base)->path(), "/home/anna/Cloud/..a/b..");
}

TEST(FileTests, DescriptionNamesTheConcreteType)
{
    // The engine's record describes itself by its module-qualified type name.
    EXPECT_EQ(makeFile(1, "/a", 0)->description(), "Sync.FileWrapperItem");
}
