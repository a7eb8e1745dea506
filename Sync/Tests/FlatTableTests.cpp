#include "Sync/Changes/FlatTable.hpp"
#include "Sync/Changes/IDTable.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>

using namespace Sync;

TEST(FlatTableTests, FullTablesFindEveryKeyAndNoOther)
{
    // Tables filled to the count they were made for, probes wrapping around
    // the last slot included: every key is found with its first value.
    for (std::size_t count : { 0u, 1u, 2u, 11u, 16u, 17u, 100u, 1000u, 25'000u }) {
        std::deque<std::string> texts;
        FlatTable<std::string_view, std::size_t> table(count);
        for (std::size_t index = 0; index < count; ++index) {
            const auto& text = texts.emplace_back("/Folder" + std::to_string(index % 97) + "/file" + std::to_string(index));
            EXPECT_TRUE(table.insert(text, index));
            EXPECT_FALSE(table.insert(text, index + 1));
        }
        for (std::size_t index = 0; index < count; ++index) {
            auto found = table.find(texts[index]);
            ASSERT_TRUE(found);
            EXPECT_EQ(*found, index);
        }
        EXPECT_FALSE(table.contains("/elsewhere"));
        EXPECT_FALSE(table.contains(""));
        EXPECT_GE(flatTableSlots(count) * 2, count * 3);
    }
}

TEST(FlatTableTests, IDTablesKeepEveryIDTheirFirstValue)
{
    // Consecutive ids, ids far apart, negative ids and the one id that maps
    // to the free slot's key.
    const std::int64_t odd = std::numeric_limits<std::int64_t>::min();
    for (std::size_t count : { 0u, 1u, 3u, 16u, 1000u, 30'000u }) {
        IDTable<std::size_t> table(count + 2);
        auto idAt = [](std::size_t index) {
            auto value = static_cast<std::int64_t>(index);
            return index % 3 == 0 ? value : index % 3 == 1 ? -value * 1'000'003 : value << 40;
        };
        for (std::size_t index = 0; index < count; ++index)
            table.insert(idAt(index), index);
        EXPECT_TRUE(table.insert(odd, 7).second);
        EXPECT_FALSE(table.insert(odd, 8).second);
        for (std::size_t index = 0; index < count; ++index) {
            auto found = table.find(idAt(index));
            ASSERT_TRUE(found);
            EXPECT_EQ(*found, index);
        }
        EXPECT_EQ(*table.find(odd), 7u);
        EXPECT_FALSE(table.contains(std::numeric_limits<std::int64_t>::max()));

        IDSet set(count);
        for (std::size_t index = 0; index < count; ++index)
            set.insert(idAt(index) + 1);
        for (std::size_t index = 0; index < count; ++index)
            EXPECT_TRUE(set.contains(idAt(index) + 1));
    }
}

namespace {

// Every key in one place with one tag: only the keys themselves tell them apart.
struct OneHash {
    std::size_t operator()(std::string_view) const { return 0xffff'ffff'ffff'fff0; }
};

} // namespace

TEST(FlatTableTests, KeysOfOneHashStayApart)
{
    // A run of equal hashes from the last slot on wraps to the first, and
    // every key keeps its own value.
    FlatTable<std::string_view, std::uint32_t, OneHash> table(40);
    std::deque<std::string> texts;
    for (std::uint32_t index = 0; index < 40; ++index)
        EXPECT_TRUE(table.insert(texts.emplace_back("key" + std::to_string(index)), index));
    for (std::uint32_t index = 0; index < 40; ++index) {
        auto found = table.find(texts[index]);
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, index);
    }
    EXPECT_FALSE(table.insert("key7", 99));
    EXPECT_EQ(*table.find("key7"), 7u);
    EXPECT_FALSE(table.contains("key40"));
}

TEST(FlatTableTests, PositionTablesTellKeysApartByTheCallersKeys)
{
    // Full tables of ordinary hashes, and keys of one hash, whose slots all
    // carry one tag: only the caller's keys tell the positions apart.
    auto check = [](auto table, std::size_t count) {
        std::deque<std::string> texts;
        for (std::size_t index = 0; index < count; ++index)
            texts.emplace_back("/Folder" + std::to_string(index % 13) + "/file" + std::to_string(index));
        auto keyAt = [&](std::uint32_t position) { return std::string_view(texts[position]); };
        for (std::uint32_t position = 0; position < count; ++position) {
            auto [slot, inserted] = table.insert(texts[position], table.hash(texts[position]), position, keyAt);
            EXPECT_TRUE(inserted);
            EXPECT_EQ(*slot, position);
        }
        for (std::uint32_t position = 0; position < count; ++position) {
            auto found = table.find(texts[position], table.hash(texts[position]), keyAt);
            ASSERT_TRUE(found);
            EXPECT_EQ(*found, position);
        }
        const std::string missing = "/Folder1/file" + std::to_string(count);
        EXPECT_FALSE(table.find(missing, table.hash(missing), keyAt));
        if (count == 0)
            return;

        // A key already there keeps its position, which the caller may move
        // to another entry of the same key.
        texts.push_back(texts[0]);
        const auto twin = static_cast<std::uint32_t>(texts.size() - 1);
        auto [slot, inserted] = table.insert(texts[twin], table.hash(texts[twin]), twin, keyAt);
        EXPECT_FALSE(inserted);
        ASSERT_EQ(*slot, 0u);
        *slot = twin;
        EXPECT_EQ(*table.find(texts[0], table.hash(texts[0]), keyAt), twin);
    };
    for (std::size_t count : { 0u, 1u, 2u, 17u, 1000u, 25'000u })
        check(PositionTable<std::string_view>(count + 1), count);
    check(PositionTable<std::string_view, OneHash>(41), 40);
}
