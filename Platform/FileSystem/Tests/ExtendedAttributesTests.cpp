#include "Platform/FileSystem/ExtendedAttributes.hpp"

#include "Platform/FileSystem/TestSupport/UnsupportedExtendedAttributes.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;

namespace {

const std::string attributeName = "user.test.orvella.attributes";

}  // namespace

// Proves a value round-trips byte for byte (NUL bytes included), is replaced by a second write, and is gone
// after removal, with a missing attribute answering "none" rather than an error.
TEST(ExtendedAttributesTests, RoundTripReplaceAndRemove)
{
    TemporaryDirectory root;
    std::string const file = root / "a.txt";
    writeFile(file, "content");
    auto const attributes = ExtendedAttributes::system();

    auto absent = attributes->value(file, attributeName);
    ASSERT_TRUE(absent.has_value());
    EXPECT_FALSE(absent->has_value());

    ExtendedAttributes::Bytes const first{0x00, 0x01, 0xFF, 0x00};
    ASSERT_TRUE(attributes->setValue(file, attributeName, first).has_value());
    auto read = attributes->value(file, attributeName);
    ASSERT_TRUE(read.has_value() && read->has_value());
    EXPECT_EQ(**read, first);

    ExtendedAttributes::Bytes const second(2000, 0x42);
    ASSERT_TRUE(attributes->setValue(file, attributeName, second).has_value());
    EXPECT_EQ(**attributes->value(file, attributeName), second);

    ASSERT_TRUE(attributes->removeValue(file, attributeName).has_value());
    EXPECT_FALSE(attributes->value(file, attributeName)->has_value());
    auto again = attributes->removeValue(file, attributeName);
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().code, FileSystemErrorCode::notFound);
}

// Proves names outside the user namespace are refused before the disk is touched, and a missing item is
// reported as not found.
TEST(ExtendedAttributesTests, RefusesForeignNamespacesAndMissingItems)
{
    TemporaryDirectory root;
    std::string const file = root / "a.txt";
    writeFile(file, "");
    auto const attributes = ExtendedAttributes::system();

    for (auto const& name : {std::string("trusted.x"), std::string("security.x"), std::string("user."),
                             std::string("com.example.attributes")}) {
        auto refused = attributes->setValue(file, name, {1});
        ASSERT_FALSE(refused.has_value()) << name;
        EXPECT_EQ(refused.error().code, FileSystemErrorCode::invalidPath) << name;
    }
    auto missing = attributes->value(root / "missing", attributeName);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);
}

// Proves a file system without user attributes (procfs, a real kernel answer) and the test double both say
// "not supported", and that a symbolic link is never followed to its target.
TEST(ExtendedAttributesTests, ReportsUnsupportedFileSystemsAndLinks)
{
    auto const attributes = ExtendedAttributes::system();
    auto onProc = attributes->setValue("/proc/self/comm", attributeName, {1});
    ASSERT_FALSE(onProc.has_value());
    EXPECT_EQ(onProc.error().code, FileSystemErrorCode::notSupported);
    auto readOnProc = attributes->value("/proc/self/comm", attributeName);
    ASSERT_FALSE(readOnProc.has_value());
    EXPECT_EQ(readOnProc.error().code, FileSystemErrorCode::notSupported);

    UnsupportedExtendedAttributes const unsupported;
    EXPECT_EQ(unsupported.value("/any", attributeName).error().code, FileSystemErrorCode::notSupported);
    EXPECT_EQ(unsupported.setValue("/any", attributeName, {}).error().code, FileSystemErrorCode::notSupported);
    EXPECT_EQ(unsupported.removeValue("/any", attributeName).error().code, FileSystemErrorCode::notSupported);

    TemporaryDirectory root;
    writeFile(root / "target", "");
    ASSERT_EQ(::symlink((root / "target").c_str(), (root / "link").c_str()), 0);
    auto throughLink = attributes->setValue(root / "link", attributeName, {1});
    ASSERT_FALSE(throughLink.has_value());
    EXPECT_EQ(throughLink.error().code, FileSystemErrorCode::notSupported);
    EXPECT_FALSE(attributes->value(root / "target", attributeName)->has_value());
}

// Proves the attribute follows the item through a rename and is carried by a copy made with
// `cp --preserve=xattr`, which is why callers must check the item's identity before trusting it.
TEST(ExtendedAttributesTests, MovesWithItemAndIsCopiedByCp)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "x");
    auto const attributes = ExtendedAttributes::system();
    ASSERT_TRUE(attributes->setValue(root / "a.txt", attributeName, {7}).has_value());

    ASSERT_EQ(::rename((root / "a.txt").c_str(), (root / "b.txt").c_str()), 0);
    EXPECT_EQ(**attributes->value(root / "b.txt", attributeName), ExtendedAttributes::Bytes{7});

    std::string const command = "cp --preserve=xattr '" + (root / "b.txt") + "' '" + (root / "c.txt") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(**attributes->value(root / "c.txt", attributeName), ExtendedAttributes::Bytes{7});
}
