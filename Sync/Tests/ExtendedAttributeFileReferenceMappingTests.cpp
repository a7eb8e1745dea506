#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"

#include "Platform/FileSystem/TestSupport/UnsupportedExtendedAttributes.hpp"
#include "Sync/References/ExtendedAttributes.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Sync;
using namespace Sync::Testing;
using Platform::Testing::exists;
using Platform::Testing::writeFile;

namespace {

struct MappingFixture : ::testing::Test {
    TemporaryDirectory sandbox;
    std::string cloud = sandbox / "cloud";
    Platform::URL cloudURL = Platform::URL::fileURL(cloud, Platform::URL::IsDirectory::Yes);
    std::shared_ptr<InMemoryFileStore> store = std::make_shared<InMemoryFileStore>();
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges = Platform::OwnChangeRegistry::create();
    ExtendedAttributeFileReferenceMapping mapping { store, Platform::ExtendedAttributes::system(), ownChanges };

    void SetUp() override { ASSERT_EQ(::mkdir(cloud.c_str(), 0755), 0); }
    bool hasAttribute(const std::string& relative) const
    {
        auto value = Platform::ExtendedAttributes::system()->value(cloud + "/" + relative, extendedAttributeName());
        return value && value->has_value();
    }
    std::shared_ptr<FileWrapperItem> stored(std::int64_t id, const std::string& path)
    {
        auto file = item(path, "hash", SyncFileID::remote(id));
        store->add(*file);
        return file;
    }
};

} // namespace

// Proves an item without a binding finds nothing and gets no attribute.
TEST_F(MappingFixture, UnboundItemFindsNothing)
{
    writeFile(cloud + "/a.txt", "a");
    EXPECT_EQ(mapping.file("/a.txt", cloudURL), nullptr);
    EXPECT_FALSE(hasAttribute("a.txt"));
}

// Proves a written reference leads back to the stored file, also after the item was renamed.
TEST_F(MappingFixture, ReferenceLeadsToTheStoredFile)
{
    writeFile(cloud + "/a.txt", "a");
    auto file = stored(42, "/a.txt");

    mapping.addReference(*file, cloudURL);
    EXPECT_TRUE(ownChanges->contains(cloud + "/a.txt", Platform::OwnChangeRegistry::Clock::now()));
    ASSERT_EQ(::rename((cloud + "/a.txt").c_str(), (cloud + "/renamed.txt").c_str()), 0);

    auto found = mapping.file("/renamed.txt", cloudURL);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->syncFileID(), SyncFileID::remote(42));
    EXPECT_EQ(found->path(), "/a.txt");
}

// Proves a file with a local id writes nothing.
TEST_F(MappingFixture, LocalIdsAreNotWritten)
{
    writeFile(cloud + "/a.txt", "a");
    mapping.addReference(*item("/a.txt"), cloudURL);
    EXPECT_FALSE(hasAttribute("a.txt"));
}

// Proves an id the stored state does not know finds nothing and leaves the attribute.
TEST_F(MappingFixture, UnknownIdKeepsTheAttribute)
{
    writeFile(cloud + "/a.txt", "a");
    mapping.addReference(*item("/a.txt", "", SyncFileID::remote(77)), cloudURL);

    EXPECT_EQ(mapping.file("/a.txt", cloudURL), nullptr);
    EXPECT_TRUE(hasAttribute("a.txt"));
}

// Proves a path that would leave the cloud folder binds nothing and finds nothing.
TEST_F(MappingFixture, PathsOutsideTheFolderAreRefused)
{
    writeFile(sandbox / "outside.txt", "o");
    auto file = stored(5, "/../outside.txt");

    mapping.addReference(*file, cloudURL);
    EXPECT_FALSE(Platform::ExtendedAttributes::system()->value(sandbox / "outside.txt", extendedAttributeName())
                     .value_or(std::nullopt)
                     .has_value());
    EXPECT_EQ(mapping.file("/../outside.txt", cloudURL), nullptr);
}

// Proves addReferences binds every file of a sequence, skipping null pointers.
TEST_F(MappingFixture, AddReferencesBindsEachFile)
{
    writeFile(cloud + "/a", "a");
    ASSERT_EQ(::mkdir((cloud + "/Docs").c_str(), 0755), 0);
    std::vector<FileRef> files { stored(1, "/a"), nullptr, stored(2, "/Docs/") };

    mapping.addReferences(files, cloudURL);

    EXPECT_EQ(mapping.file("/a", cloudURL)->syncFileID(), SyncFileID::remote(1));
    EXPECT_EQ(mapping.file("/Docs/", cloudURL)->syncFileID(), SyncFileID::remote(2));
}

// Proves a file system without user attributes binds nothing and finds nothing, without failing.
TEST_F(MappingFixture, FileSystemWithoutAttributes)
{
    writeFile(cloud + "/a.txt", "a");
    ExtendedAttributeFileReferenceMapping plain(store, std::make_shared<Platform::UnsupportedExtendedAttributes>());
    auto file = stored(3, "/a.txt");

    plain.addReference(*file, cloudURL);
    EXPECT_EQ(plain.file("/a.txt", cloudURL), nullptr);
    EXPECT_FALSE(hasAttribute("a.txt"));
}
