#include "Sync/Model/HashText.hpp"

#include "Sync/Model/FileWrapperItem.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

using namespace Sync;

namespace {

const std::string hexHash = "0123456789abcdef0123456789abcdef01234567";

} // namespace

TEST(HashTextTests, KeepsEveryTextByteForByte)
{
    // The usual forms, the longest inline one, one byte beyond it, a server's
    // over-long or non-hex text and embedded NUL bytes all come back unchanged.
    const std::string longText(41, 'X');
    const std::string hostile = std::string(200, 'z') + "\xff\xfe" + std::string("\0mid\0", 5);
    for (const std::string& text : { std::string(), hexHash, std::string(FileWrapperItem::missingFileHashKey),
             std::string("not hex at all"), std::string(40, 'Q'), longText, hostile, std::string("\0", 1) }) {
        HashText kept(text);
        EXPECT_EQ(kept.view(), text);
        EXPECT_EQ(kept.empty(), text.empty());
    }
    EXPECT_TRUE(HashText().view().empty());
    // An empty view with no bytes behind it at all, as a defaulted argument gives.
    EXPECT_TRUE(HashText(std::string_view()).empty());
}

TEST(HashTextTests, CopiesAndMovesOfShortAndLongTexts)
{
    // Copies are independent, moved-from texts are empty and reusable, and
    // assignment between the two forms neither leaks nor frees twice.
    const std::string longText(300, 'L');
    HashText shortOne(hexHash);
    HashText longOne(longText);

    HashText copy(longOne);
    EXPECT_EQ(copy.view(), longText);
    EXPECT_NE(copy.view().data(), longOne.view().data());
    copy = shortOne;
    EXPECT_EQ(copy.view(), hexHash);
    copy = longOne;
    EXPECT_EQ(copy.view(), longText);
    copy = copy;
    EXPECT_EQ(copy.view(), longText);

    HashText moved(std::move(longOne));
    EXPECT_EQ(moved.view(), longText);
    EXPECT_TRUE(longOne.empty());
    longOne = HashText(hexHash);
    EXPECT_EQ(longOne.view(), hexHash);
    moved = std::move(shortOne);
    EXPECT_EQ(moved.view(), hexHash);
    moved = HashText(longText);
    EXPECT_EQ(moved.view(), longText);
    moved = std::move(moved);
    EXPECT_EQ(moved.view(), longText);
}

TEST(HashTextTests, EqualityIsByteWise)
{
    EXPECT_EQ(HashText(hexHash), HashText(hexHash));
    EXPECT_NE(HashText(hexHash), HashText("0123456789ABCDEF0123456789ABCDEF01234567"));
    EXPECT_NE(HashText(std::string(41, 'a')), HashText(std::string(40, 'a')));
    EXPECT_EQ(HashText(std::string(41, 'a')), HashText(std::string(41, 'a')));
    EXPECT_EQ(HashText(), HashText(""));
}

TEST(HashTextTests, RecordsKeepTheHashAsGiven)
{
    // A record reads, writes and compares any hash text as it did with a text member.
    const std::string longHash = std::string(64, 'f') + "-extra";
    auto record = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields { .syncFileID = 7, .path = "/a",
        .fileName = "a", .syncParentID = 3, .fileHash = longHash });
    EXPECT_EQ(record->fileHash(), longHash);
    EXPECT_EQ(record->dictionary().at("fileHash"), ArchiveValue(longHash));
    auto back = FileWrapperItem::create(record->data());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->fileHash(), longHash);
    EXPECT_EQ(*back, *record);

    FileWrapperItem copy(static_cast<const File&>(*record));
    EXPECT_EQ(copy.fileHash(), longHash);
    copy.setFileHash(hexHash);
    EXPECT_EQ(copy.fileHash(), hexHash);
    EXPECT_FALSE(copy == *record);
    copy.setFileHash(copy.fileHash());
    EXPECT_EQ(copy.fileHash(), hexHash);

    // Without a text hash the record holds the missing-hash key.
    auto form = record->dictionary();
    form.erase("fileHash");
    auto missing = FileWrapperItem::create(form);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->fileHash(), FileWrapperItem::missingFileHashKey);
}
