#include "Platform/FileSystem/MimeTypeDatabase.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using namespace Platform::Testing;

// Proves names resolve against the system's shared-mime-info data the way file managers see them: suffixes
// in any case, the longest suffix, literal names, case-sensitive patterns and other globs; unknown names
// fall back to text/plain.
TEST(MimeTypeDatabaseTests, ResolvesNamesFromSystemGlobs)
{
    auto const& database = MimeTypeDatabase::shared();
    if (database.patternCount() == 0) {
        GTEST_SKIP() << "shared-mime-info is not installed";
    }
    EXPECT_EQ(database.mimeType("a.txt"), "text/plain");
    EXPECT_EQ(database.mimeType("PHOTO.JPG"), "image/jpeg");
    EXPECT_EQ(database.mimeType("Bericht.pdf"), "application/pdf");
    EXPECT_EQ(database.mimeType("backup.tar.gz"), "application/x-compressed-tar");
    EXPECT_EQ(database.mimeType("notes.gz"), "application/gzip");
    EXPECT_EQ(database.mimeType("Makefile"), "text/x-makefile");
    EXPECT_EQ(database.mimeType("main.C"), "text/x-c++src");
    EXPECT_EQ(database.mimeType("main.c"), "text/x-csrc");
    EXPECT_EQ(database.mimeType("libfoo.so.1"), "application/x-sharedlib");
    EXPECT_FALSE(database.lookup("unknown.zzqx").has_value());
    EXPECT_EQ(database.mimeType("unknown.zzqx"), "text/plain");
    EXPECT_EQ(database.mimeType("no-extension"), "text/plain");
    EXPECT_EQ(database.mimeType(""), "text/plain");
    // Names at and beyond the longest a file system allows are matched alike; globs see the whole name.
    EXPECT_EQ(database.mimeType(std::string(251, 'A') + ".PDF"), "application/pdf");
    EXPECT_EQ(database.mimeType(std::string(300, 'a') + ".pdf"), "application/pdf");
    EXPECT_EQ(database.mimeType(std::string(300, 'a') + ".so.1"), "application/x-sharedlib");
    EXPECT_EQ(database.mimeType(std::string(251, 'a') + ".so.1"), "application/x-sharedlib");
}

// Proves the ranking rules on data of our own: higher weight beats a longer pattern, a longer pattern beats
// a shorter one, literals win outright, "cs" patterns only match their own case, malformed lines and
// missing files are skipped.
TEST(MimeTypeDatabaseTests, RanksMatchesByWeightLengthAndCase)
{
    TemporaryDirectory root;
    writeFile(root / "globs2",
              "# comment\n"
              "50:test/long:*.data.oo\n"
              "80:test/heavy:*.oo\n"
              "50:test/short:*.a\n"
              "50:test/longer:*.b.a\n"
              "50:test/literal:special.b.a\n"
              "50:test/upper:*.Q:cs\n"
              "40:test/glob:file[0-9].*\n"
              "50:__NOGLOBS__:*.zz\n"
              "garbage line\n"
              "x:test/bad-weight:*.bad\n");
    auto database = MimeTypeDatabase::load({root / "missing", root / "globs2"});
    ASSERT_TRUE(database.has_value());

    EXPECT_EQ(database->lookup("x.data.oo"), "test/heavy");
    EXPECT_EQ(database->lookup("x.b.a"), "test/longer");
    EXPECT_EQ(database->lookup("X.B.A"), "test/longer");
    EXPECT_EQ(database->lookup("special.b.a"), "test/literal");
    EXPECT_EQ(database->lookup("x.Q"), "test/upper");
    EXPECT_FALSE(database->lookup("x.q").has_value());
    EXPECT_EQ(database->lookup("file7.bin"), "test/glob");
    EXPECT_FALSE(database->lookup("x.zz").has_value());
    EXPECT_FALSE(database->lookup("x.bad").has_value());
    EXPECT_EQ(database->patternCount(), 7u);
}

// Suffixes need not start with a dot, and one may start with a capital in
// either case rule; the longest suffix may be matched anywhere a name allows.
TEST(MimeTypeDatabaseTests, FindsSuffixesThatStartWithAnyCharacter)
{
    TemporaryDirectory root;
    writeFile(root / "globs2",
              "50:test/backup:*~\n"
              "50:test/revision:*,v\n"
              "50:test/automake:*Makefile.AM\n"
              "50:test/rake:*Rakefile:cs\n"
              "50:test/short:*.a\n");
    auto database = MimeTypeDatabase::load({root / "globs2"});
    ASSERT_TRUE(database.has_value());

    EXPECT_EQ(database->lookup("notes.txt~"), "test/backup");
    EXPECT_EQ(database->lookup("main.c,v"), "test/revision");
    EXPECT_EQ(database->lookup("GNUmakefile.am"), "test/automake");
    EXPECT_EQ(database->lookup("makefile.am"), "test/automake");
    EXPECT_EQ(database->lookup("myRakefile"), "test/rake");
    EXPECT_FALSE(database->lookup("myrakefile").has_value());
    EXPECT_EQ(database->lookup(std::string(300, 'x') + ".a"), "test/short");
    EXPECT_FALSE(database->lookup("Makefile.amx").has_value());
}
