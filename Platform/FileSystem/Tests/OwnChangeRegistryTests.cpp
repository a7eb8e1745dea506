#include "Platform/FileSystem/OwnChangeRegistry.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using namespace std::chrono_literals;

namespace {

const OwnChangeRegistry::TimePoint start{};

}  // namespace

// Proves a registered path is matched exactly while its change runs and for the window after it ended, and
// not after that; neighbours, parents and children of an item registration are never matched.
TEST(OwnChangeRegistryTests, MatchesExactPathsWithinTheWindow)
{
    auto const registry = OwnChangeRegistry::create(2s);
    auto const identifier = registry->begin("/cloud/a.txt", OwnChangeRegistry::Scope::item, start);

    EXPECT_TRUE(registry->contains("/cloud/a.txt", start + 10s));  // still running
    EXPECT_FALSE(registry->contains("/cloud/a.txt2", start));
    EXPECT_FALSE(registry->contains("/cloud", start));
    EXPECT_FALSE(registry->contains("/cloud/a.txt/x", start));

    registry->end(identifier, start + 10s);
    EXPECT_TRUE(registry->contains("/cloud/a.txt", start + 12s));
    EXPECT_FALSE(registry->contains("/cloud/a.txt", start + 12s + 1ns));
    EXPECT_FALSE(registry->contains("/cloud/a.txt", start + 11s));  // pruned for good
}

// Proves a subtree registration matches the path and everything below it, but not a sibling sharing its
// name as a prefix.
TEST(OwnChangeRegistryTests, SubtreeCoversDescendantsOnly)
{
    auto const registry = OwnChangeRegistry::create(1s);
    registry->begin("/cloud/Docs", OwnChangeRegistry::Scope::subtree, start);

    EXPECT_TRUE(registry->contains("/cloud/Docs", start));
    EXPECT_TRUE(registry->contains("/cloud/Docs/a/b.txt", start));
    EXPECT_FALSE(registry->contains("/cloud/Docs2", start));
    EXPECT_FALSE(registry->contains("/cloud/Doc", start));
}

// Proves a scoped registration ends when it goes out of scope (moved registrations end once), and that
// outliving the registry is harmless.
TEST(OwnChangeRegistryTests, RegistrationEndsWithItsScope)
{
    auto registry = OwnChangeRegistry::create(0s);
    {
        auto registration = registry->registerChange("/cloud/x", OwnChangeRegistry::Scope::item);
        auto moved = std::move(registration);
        EXPECT_TRUE(registry->contains("/cloud/x", OwnChangeRegistry::Clock::now() + 1h));
    }
    EXPECT_FALSE(registry->contains("/cloud/x", OwnChangeRegistry::Clock::now() + 1s));

    auto orphan = registry->registerChange("/cloud/y", OwnChangeRegistry::Scope::item);
    registry.reset();
    orphan.end();
}

// Proves each registration expires by the time it ended, not by the order it began in; a path named by two
// registrations stays matched until the later one's window has passed; and ending a registration again does
// not move its end.
TEST(OwnChangeRegistryTests, EachRegistrationExpiresOnItsOwn)
{
    auto const registry = OwnChangeRegistry::create(2s);
    auto const early = registry->begin("/cloud/early", OwnChangeRegistry::Scope::item, start);
    auto const late = registry->begin("/cloud/late", OwnChangeRegistry::Scope::item, start + 1s);
    auto const item = registry->begin("/cloud/same", OwnChangeRegistry::Scope::item, start);
    auto const subtree = registry->begin("/cloud/same", OwnChangeRegistry::Scope::subtree, start);
    registry->end(late, start + 1s);
    registry->end(early, start + 5s);
    registry->end(item, start + 1s);
    registry->end(subtree, start + 4s);
    registry->end(subtree, start + 9s);

    EXPECT_TRUE(registry->contains("/cloud/late", start + 3s));
    EXPECT_TRUE(registry->contains("/cloud/early", start + 3s));
    EXPECT_FALSE(registry->contains("/cloud/late", start + 3500ms));  // gone although an earlier one is kept
    EXPECT_TRUE(registry->contains("/cloud/same", start + 3500ms));   // the subtree registration still names it
    EXPECT_TRUE(registry->contains("/cloud/same/x", start + 6s));
    EXPECT_FALSE(registry->contains("/cloud/same", start + 6s + 1ns));
    EXPECT_FALSE(registry->contains("/cloud/same/x", start + 6s + 1ns));
    EXPECT_TRUE(registry->contains("/cloud/early", start + 7s));
    EXPECT_FALSE(registry->contains("/cloud/early", start + 7s + 1ns));
}

// Proves registrations made while many others are kept (as a fast sync makes them) are matched, expire and
// can be made again: thousands of paths, each ended at its own time.
TEST(OwnChangeRegistryTests, ManyRegistrationsComeAndGo)
{
    auto const registry = OwnChangeRegistry::create(1s);
    constexpr int count = 5000;
    auto const path = [](int index) { return "/cloud/F" + std::to_string(index / 100) + "/f" + std::to_string(index); };
    std::vector<std::uint64_t> identifiers;
    for (int index = 0; index < count; ++index) {
        identifiers.push_back(registry->begin(path(index), OwnChangeRegistry::Scope::item, start));
    }
    for (int index = count - 1; index >= 0; --index) {
        registry->end(identifiers[index], start + index * 1ms);
    }
    EXPECT_TRUE(registry->contains(path(0), start + 1s));
    EXPECT_FALSE(registry->contains(path(0), start + 1s + 1ns));
    EXPECT_TRUE(registry->contains(path(count - 1), start + (count - 1) * 1ms + 1s));
    EXPECT_FALSE(registry->contains(path(count - 2), start + (count - 1) * 1ms + 1s));
    EXPECT_FALSE(registry->contains("/cloud/F0", start + (count - 1) * 1ms));

    auto const again = registry->begin(path(0), OwnChangeRegistry::Scope::subtree, start + 10s);
    EXPECT_TRUE(registry->contains(path(0) + "/x", start + 10s));
    registry->end(again, start + 10s);
    EXPECT_FALSE(registry->contains(path(0), start + 12s));
}
