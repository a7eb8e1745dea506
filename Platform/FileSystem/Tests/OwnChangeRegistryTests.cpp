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
