#include "Reactive/Lifetime.hpp"

#include <gtest/gtest.h>

#include <optional>

using namespace Reactive;

TEST(LifetimeTests, TokenEndsTheLifetimeOnce)
{
    // Destroying the token runs every end action once; a late registration runs at once.
    int ended = 0;
    int unregistered = 0;
    std::optional<Lifetime> kept;
    {
        auto [lifetime, token] = Lifetime::make();
        kept = lifetime;
        lifetime.observeEnded([&] { ++ended; });
        lifetime += AnyDisposable([&] { ++ended; });
        lifetime.observeEnded([&] { ++unregistered; }).dispose();
        EXPECT_FALSE(lifetime.hasEnded());
        auto moved = std::move(token);
    }
    EXPECT_EQ(ended, 2);
    EXPECT_EQ(unregistered, 0);
    EXPECT_TRUE(kept->hasEnded());
    kept->observeEnded([&] { ++ended; });
    EXPECT_EQ(ended, 3);
    EXPECT_TRUE(Lifetime::empty().hasEnded());
}

TEST(LifetimeTests, TokenHeldAloneHandsOutItsLifetime)
{
    // An owner can keep only the token; the lifetime it hands out ends with it.
    std::optional<Lifetime::Token> token(std::in_place);
    auto lifetime = token->lifetime();
    bool ended = false;
    lifetime.observeEnded([&] { ended = true; });
    token.reset();
    EXPECT_TRUE(ended);
}
