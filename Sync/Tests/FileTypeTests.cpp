#include "Sync/Model/FileType.hpp"

#include <gtest/gtest.h>

using namespace Sync;

TEST(FileTypeTests, FolderOnlyForTheExactMimeType)
{
    // Only the exact text makes a folder; other letter case and the empty text are file types.
    EXPECT_TRUE(FileType("httpd/unix-directory").isFolder());
    EXPECT_TRUE(FileType("HTTPD/UNIX-DIRECTORY").isFile());
    EXPECT_EQ(FileType("HTTPD/UNIX-DIRECTORY").mimeType(), "HTTPD/UNIX-DIRECTORY");
    EXPECT_TRUE(FileType("").isFile());
    EXPECT_EQ(FileType("").mimeType(), "");
    EXPECT_EQ(FileType::folder().mimeType(), "httpd/unix-directory");
}

TEST(FileTypeTests, EqualityAndDescriptions)
{
    // Files compare by MIME text (canonically, case kept), a file never equals a folder.
    EXPECT_EQ(FileType::file("text/plain"), FileType("text/plain"));
    EXPECT_NE(FileType::file("text/plain"), FileType::file("Text/Plain"));
    EXPECT_NE(FileType::file("httpd/unix-directory-x"), FileType::folder());
    EXPECT_EQ(FileType::folder(), FileType("httpd/unix-directory"));
    EXPECT_EQ(FileType::file("text/plain").description(), "File(text/plain)");
    EXPECT_EQ(FileType::folder().description(), "Folder");
}

TEST(FileTypeTests, TypeIdentifiers)
{
    // Folders are directories, known MIME types map, parameters and case are ignored, the rest is an item.
    EXPECT_EQ(FileType::folder().uti(), "public.directory");
    EXPECT_EQ(FileType::file("image/jpeg").uti(), "public.jpeg");
    EXPECT_EQ(FileType::file("Text/Plain; charset=utf-8").uti(), "public.plain-text");
    EXPECT_EQ(FileType::file("application/x-unknown").uti(), "public.item");
    EXPECT_EQ(FileType::file("").uti(), "public.item");
}

TEST(FileTypeTests, SingleValueCoding)
{
    // A type codes as its MIME text and decodes like the constructor; other kinds fail.
    EXPECT_EQ(FileType::folder().encoded(), ArchiveValue("httpd/unix-directory"));
    EXPECT_EQ(FileType::decoded(ArchiveValue("httpd/unix-directory")), FileType::folder());
    EXPECT_EQ(FileType::decoded(ArchiveValue("image/png")), FileType::file("image/png"));
    EXPECT_FALSE(FileType::decoded(ArchiveValue(3)));
}

TEST(FileTypeTests, TypesShareTheirTextWithinLimits)
{
    // The usual texts are kept once; a text too long for the table is the
    // type's own, and either kind copies, moves and compares as a value.
    FileType plain = FileType::file("text/plain");
    EXPECT_TRUE(plain.sharesText());
    EXPECT_TRUE(FileType::folder().sharesText());
    const std::string longText = "application/x-" + std::string(FileType::sharedTextLength, 'y');
    FileType own = FileType::file(longText);
    EXPECT_FALSE(own.sharesText());
    EXPECT_EQ(own.mimeType(), longText);
    EXPECT_EQ(own.description(), "File(" + longText + ")");

    FileType copy = own;
    EXPECT_EQ(copy, own);
    EXPECT_EQ(copy.mimeType(), longText);
    copy = plain;
    EXPECT_EQ(copy.mimeType(), "text/plain");
    copy = own;
    FileType moved = std::move(copy);
    EXPECT_EQ(moved.mimeType(), longText);
    copy = FileType::folder();
    EXPECT_TRUE(copy.isFolder());
    moved = std::move(plain);
    EXPECT_EQ(moved.mimeType(), "text/plain");
    EXPECT_TRUE(moved.isFile());
    EXPECT_NE(moved, own);
    EXPECT_EQ(FileType::file(longText), own);
    // Canonically equal texts stay equal although the table keeps both.
    EXPECT_EQ(FileType::file("text/caf\xc3\xa9"), FileType::file("text/cafe\xcc\x81"));
}

TEST(FileTypeTests, ListingWithEndlessNewTypesCannotGrowTheTable)
{
    // Past the table's limit new texts are kept by each type itself, and
    // texts the table knows are still shared.
    FileType known = FileType::file("image/png");
    std::size_t owned = 0;
    for (std::size_t index = 0; index < FileType::sharedTextLimit + 10; ++index) {
        auto text = "application/x-unique-" + std::to_string(index);
        FileType type = FileType::file(text);
        EXPECT_EQ(type.mimeType(), text);
        owned += type.sharesText() ? 0 : 1;
    }
    EXPECT_GE(owned, 10u);
    EXPECT_TRUE(FileType::file("image/png").sharesText());
    EXPECT_EQ(FileType::file("image/png"), known);
}
