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
