#include "Sync/Changes/ViewScreening.hpp"

#include "TestFiles.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

constexpr std::int64_t rootID = 1;

std::vector<std::string> pathsOf(const std::vector<FileRef>& files)
{
    std::vector<std::string> paths;
    for (const auto& file : files)
        paths.push_back(file->path());
    return paths;
}

} // namespace

TEST(ViewScreeningTests, ListingKeepsItsOrderWhateverIsLeftOut)
{
    // Kept entries come out in listing order around left-out ones: children
    // listed before their folder, twins, orphans below a missing folder, an
    // entry for the cloud folder itself, and children of a twin folder.
    std::vector<FileRef> listing {
        makeFile(20, "/A/early.txt", 10),
        makeFolder(rootID, "/", 0),
        makeFolder(10, "/A", rootID),
        makeFile(21, "/a.txt", rootID),
        makeFile(22, "/Lost/x.txt", 99),
        makeFile(23, "/a.txt", rootID),
        makeFolder(11, "/B", rootID),
        makeFile(24, "/B/late.txt", 11),
        makeFolder(12, "/B/", rootID),
        makeFile(25, "/Twin/inner.txt", 12),
    };
    const auto original = listing;

    auto view = screenListing(std::move(listing), rootID, [](std::int64_t id) { return id == 23; });

    EXPECT_EQ(pathsOf(view.files),
        (std::vector<std::string> { "/A/early.txt", "/A/", "/a.txt", "/B/", "/B/late.txt" }));
    EXPECT_EQ(view.files[2], original[5]);
    EXPECT_EQ(view.files[0], original[0]);
    EXPECT_EQ(pathsOf(view.twins), (std::vector<std::string> { "/a.txt", "/B/" }));
    EXPECT_EQ(view.twins[0], original[3]);
    EXPECT_EQ(pathsOf(view.orphans), (std::vector<std::string> { "/Lost/x.txt", "/Twin/inner.txt" }));
    EXPECT_EQ(view.withheldIDs, (std::unordered_set<std::int64_t> { rootID, 21, 22, 12, 25 }));
}
