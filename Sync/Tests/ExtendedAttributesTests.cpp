#include "Sync/References/ExtendedAttributes.hpp"

#include "Platform/FileSystem/TestSupport/UnsupportedExtendedAttributes.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Archive/KeyedArchive.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Sync;
using namespace Sync::Testing;
using Platform::Testing::writeFile;

namespace {

struct AttributeFixture : ::testing::Test {
    TemporaryDirectory root;
    const Platform::ExtendedAttributes& attributes = *Platform::ExtendedAttributes::system();
    const std::string& name = extendedAttributeName();

    Platform::URL url(const std::string& relative) const { return Platform::URL::fileURL(root / relative); }
    bool write(const std::string& relative, std::int64_t id)
    {
        auto binding = QVCloudExtendedAttributes::attributesWithFilePath("/" + relative, id);
        return QVSetExtendedAttributeValue(&binding, name, url(relative));
    }
    std::optional<QVCloudExtendedAttributes> read(const std::string& relative, const std::string& filePath)
    {
        return QVExtendedAttributeValueForKey(filePath, name, url(relative));
    }
    bool hasAttribute(const std::string& relative) const
    {
        auto value = attributes.value(root / relative, name);
        return value && value->has_value();
    }
    void writeRaw(const std::string& relative, const Platform::Data& bytes)
    {
        ASSERT_TRUE(attributes.setValue(root / relative, name, bytes.vector()).has_value());
    }
};

int run(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Proves the attribute lives in the user namespace under the application identifier, fixed after first use.
TEST(ExtendedAttributeNameTests, NameIsMadeOnceFromTheApplicationIdentifier)
{
    const auto& name = extendedAttributeName();
    EXPECT_TRUE(name.starts_with("user."));
    EXPECT_TRUE(name.ends_with(".attributes"));
    EXPECT_FALSE(setExtendedAttributeApplicationIdentifier("other"));
    EXPECT_EQ(&extendedAttributeName(), &name);
}

// Proves a written binding reads back for its path, and removing it leaves no attribute.
TEST_F(AttributeFixture, RoundTripAndRemoval)
{
    writeFile(root / "a.txt", "a");

    ASSERT_TRUE(write("a.txt", 42));
    auto binding = read("a.txt", "/a.txt");
    ASSERT_TRUE(binding.has_value());
    EXPECT_EQ(binding->remoteFileId, 42);
    EXPECT_EQ(binding->filePath, "/a.txt");

    ASSERT_TRUE(write("a.txt", 43));
    EXPECT_EQ(read("a.txt", "/a.txt")->remoteFileId, 43);

    EXPECT_TRUE(QVSetExtendedAttributeValue(nullptr, name, url("a.txt")));
    EXPECT_FALSE(hasAttribute("a.txt"));
    EXPECT_FALSE(QVSetExtendedAttributeValue(nullptr, name, url("a.txt")));
}

// Proves writing to a missing item or a non-file URL fails and writes nothing.
TEST_F(AttributeFixture, WritingNeedsAnExistingItem)
{
    EXPECT_FALSE(write("missing", 1));
    auto binding = QVCloudExtendedAttributes::attributesWithFilePath("/x", 1);
    EXPECT_FALSE(QVSetExtendedAttributeValue(&binding, name, *Platform::URL::create("https://example.org/x")));
}

// Proves an attribute without a remote id, or with bytes that are no archive, is removed when read.
TEST_F(AttributeFixture, AttributesWithoutIdOrUndecodableAreRemoved)
{
    writeFile(root / "zero", "");
    writeFile(root / "junk", "");
    writeFile(root / "foreign", "");
    ASSERT_TRUE(write("zero", 0));
    writeRaw("junk", Platform::Data::fromString("not an archive"));
    ArchiveDictionary other { { "$class", ArchiveValue("Something") }, { "RFI", ArchiveValue(7) } };
    writeRaw("foreign", KeyedArchive::archivedData(other));

    EXPECT_FALSE(read("zero", "/zero").has_value());
    EXPECT_FALSE(read("junk", "/junk").has_value());
    EXPECT_FALSE(read("foreign", "/foreign").has_value());
    EXPECT_FALSE(hasAttribute("zero"));
    EXPECT_FALSE(hasAttribute("junk"));
    EXPECT_FALSE(hasAttribute("foreign"));
}

// Proves a copy made with cp --preserve=xattr loses its binding while the original keeps it.
TEST_F(AttributeFixture, CopyLosesTheBindingOriginalKeepsIt)
{
    writeFile(root / "a.txt", "a");
    ASSERT_TRUE(write("a.txt", 42));
    ASSERT_EQ(run({ "cp", "--preserve=xattr", root / "a.txt", root / "copy.txt" }), 0);
    ASSERT_TRUE(hasAttribute("copy.txt"));

    EXPECT_FALSE(read("copy.txt", "/copy.txt").has_value());
    EXPECT_FALSE(hasAttribute("copy.txt"));
    ASSERT_TRUE(read("a.txt", "/a.txt").has_value());
    EXPECT_TRUE(hasAttribute("a.txt"));
}

// Proves a moved or renamed file keeps its binding through its identity.
TEST_F(AttributeFixture, MovedFileKeepsTheBinding)
{
    writeFile(root / "a.txt", "a");
    ASSERT_TRUE(write("a.txt", 42));
    ASSERT_EQ(::mkdir((root / "Docs").c_str(), 0755), 0);
    ASSERT_EQ(::rename((root / "a.txt").c_str(), (root / "Docs/b.txt").c_str()), 0);

    auto binding = read("Docs/b.txt", "/Docs/b.txt");
    ASSERT_TRUE(binding.has_value());
    EXPECT_EQ(binding->remoteFileId, 42);
    EXPECT_EQ(binding->filePath, "/Docs/b.txt");
}

// Proves an item replaced at the recorded path keeps the binding through the path hash, in either Unicode form.
TEST_F(AttributeFixture, ReplacedItemAtTheRecordedPathKeepsTheBinding)
{
    std::string name = "Caf\xc3\xa9";
    writeFile(root / name, "old");
    auto binding = QVCloudExtendedAttributes::attributesWithFilePath("/" + name, 9);
    ASSERT_TRUE(QVSetExtendedAttributeValue(&binding, extendedAttributeName(), url(name)));
    auto bytes = attributes.value(root / name, extendedAttributeName());
    ASSERT_TRUE(bytes && *bytes);
    ASSERT_EQ(::unlink((root / name).c_str()), 0);
    writeFile(root / name, "new");
    writeRaw(name, Platform::Data(**bytes));

    auto found = read(name, "/" + Platform::decomposed(name));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->remoteFileId, 9);
}

// Proves a folder's binding is found whether or not its path carries the trailing "/".
TEST_F(AttributeFixture, FolderPathsWithAndWithoutSlashAgree)
{
    EXPECT_EQ(pathHash("/Docs/"), pathHash("/Docs"));
    EXPECT_NE(pathHash("/Docs"), pathHash("/docs"));
    EXPECT_EQ(pathHash("/"), sha256(Platform::Data::fromString("/")));
}

// Proves a file system without user attributes gives no binding and refuses writes, without failing.
TEST_F(AttributeFixture, FileSystemWithoutAttributes)
{
    writeFile(root / "a.txt", "a");
    Platform::UnsupportedExtendedAttributes unsupported;
    auto binding = QVCloudExtendedAttributes::attributesWithFilePath("/a.txt", 5);

    EXPECT_FALSE(QVSetExtendedAttributeValue(&binding, name, url("a.txt"), unsupported));
    EXPECT_FALSE(QVExtendedAttributeValueForKey("/a.txt", name, url("a.txt"), unsupported).has_value());
}

// Proves sha256 gives 32 bytes, and logs its one line for no data.
TEST(Sha256Tests, DigestAndMissingData)
{
    EXPECT_EQ(sha256(Platform::Data()).size(), 32u);
    Platform::LogCapture log;
    EXPECT_TRUE(sha256(nullptr).empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "Could not create sha256 digest from data with length 0." }));
}
