// Download events: their result, and mapping that touches only finished transfers.

#include "Quarlink/Transfer/ProgressEvent.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace Quarlink;

TEST(ProgressEvent, onlyDownloadedCarriesAValue)
{
    // The result is there for a finished transfer only.
    EXPECT_FALSE(ProgressEvent<int>::progress(0.5).downloadedValue().has_value());
    EXPECT_FALSE(ProgressEvent<int>::waiting().downloadedValue().has_value());
    EXPECT_EQ(ProgressEvent<int>::downloaded(7).downloadedValue(), 7);
    EXPECT_EQ(ProgressEvent<int>::progress(0.25).progressValue(), 0.25);
}

TEST(ProgressEvent, mapTransformsOnlyTheResult)
{
    // Progress keeps its fraction and waiting stays, without calling the transform.
    int calls = 0;
    auto toText = [&](int value) { ++calls; return std::to_string(value); };
    auto progress = ProgressEvent<int>::progress(0.25).map(toText);
    EXPECT_EQ(progress.progressValue(), 0.25);
    EXPECT_TRUE(ProgressEvent<int>::waiting().map(toText).isWaiting());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ProgressEvent<int>::downloaded(3).map(toText).downloadedValue(), "3");
    EXPECT_EQ(calls, 1);
}

TEST(ProgressEvent, failingTransformPassesItsErrorOn)
{
    // A transform that fails on the result gives that error and no event; other events pass untouched.
    auto failing = [](int) -> std::expected<std::string, std::string> { return std::unexpected("kaputt"); };
    auto result = ProgressEvent<int>::downloaded(1).tryMap(failing);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "kaputt");
    auto passed = ProgressEvent<int>::progress(0.5).tryMap(failing);
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->progressValue(), 0.5);
}
