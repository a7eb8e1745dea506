// The two file orders, one comparison at a time and as a sort of whole lists and streams.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Files/FileOrder.hpp"

#include <gtest/gtest.h>

#include <clocale>

using namespace Quarlink;

namespace {

File named(std::string name)
{
    return File({ .fileName = std::move(name) });
}

File modified(std::int64_t seconds, std::int64_t identifier)
{
    return File({ .fileID = identifier, .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(seconds) });
}

std::vector<std::string> names(const std::vector<File>& files)
{
    std::vector<std::string> result;
    for (const auto& file : files)
        result.push_back(file.fileName());
    return result;
}

// Runs a block under a collation locale and restores the previous one.
class CollationLocale {
public:
    explicit CollationLocale(const char* name)
        : m_previous(std::setlocale(LC_COLLATE, nullptr))
    {
        m_active = std::setlocale(LC_COLLATE, name) != nullptr;
    }
    ~CollationLocale() { std::setlocale(LC_COLLATE, m_previous.c_str()); }
    [[nodiscard]] bool active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active { false };
};

} // namespace

TEST(FileOrder, byNamePutsLettersFirst)
{
    // Names under A–Z come first in case-insensitive order, then all others in the same order.
    EXPECT_EQ(names(sorted({ named("b"), named("1"), named("A") }, FileOrder::byName)), (std::vector<std::string> { "A", "b", "1" }));
    EXPECT_TRUE(isOrderedBefore(FileOrder::byName, named("A"), named("b")));
    EXPECT_FALSE(isOrderedBefore(FileOrder::byName, named("1"), named("b")));
    EXPECT_TRUE(isOrderedBefore(FileOrder::byName, named("zz"), named("1")));
    EXPECT_FALSE(isOrderedBefore(FileOrder::byName, named("abc"), named("ABC")));
    EXPECT_FALSE(isOrderedBefore(FileOrder::byName, named("ABC"), named("abc")));
}

TEST(FileOrder, byNameUnderGermanAndC)
{
    // Under the German locale and under "C" alike: case ignored, accents kept, umlauts beside their base letter.
    for (const char* locale : { "de_DE.UTF-8", "C" }) {
        CollationLocale collation(locale);
        ASSERT_TRUE(collation.active()) << locale;
        std::vector<File> files { named("Zebra"), named("\xC3\x84pfel"), named("apfel"), named("B\xC3\xA4r"), named("Bar"),
            named("_x"), named("bass"), named("1a") };
        auto result = names(sorted(files, FileOrder::byName));
        EXPECT_EQ(result, (std::vector<std::string> { "apfel", "Bar", "B\xC3\xA4r", "bass", "Zebra", "_x", "1a", "\xC3\x84pfel" }))
            << locale;
        // Every pair agrees with the one-at-a-time comparison.
        for (std::size_t index = 0; index + 1 < files.size(); ++index)
            EXPECT_FALSE(isOrderedBefore(FileOrder::byName, sorted(files, FileOrder::byName)[index + 1],
                sorted(files, FileOrder::byName)[index]))
                << locale << " " << index;
    }
}

TEST(FileOrder, byDateOldestFirst)
{
    // The oldest modification date first; equal dates are not ordered before each other.
    auto result = sorted({ modified(30, 1), modified(10, 2), modified(20, 3) }, FileOrder::byDate);
    EXPECT_EQ(fileIDs(result), (std::vector<std::int64_t> { 2, 3, 1 }));
    EXPECT_FALSE(isOrderedBefore(FileOrder::byDate, modified(10, 1), modified(10, 2)));
    EXPECT_TRUE(isOrderedBefore(FileOrder::byDate, modified(9, 1), modified(10, 2)));
    EXPECT_NE(std::hash<FileOrder>()(FileOrder::byName), std::hash<FileOrder>()(FileOrder::byDate));
}

TEST(FileOrder, sortOperatorOnProducers)
{
    // Every value of the stream is sorted; completion and the failure pass through unchanged.
    using Producer = Reactive::SignalProducer<std::vector<File>, Reactive::AnyError>;
    std::vector<std::vector<std::string>> values;
    bool completed = false;
    auto disposable = sort(Producer::fromValues({ { named("b"), named("a") }, { named("2"), named("c") } }), FileOrder::byName)
                          .startWithEvents([&](auto&& event) {
                              if (event.isValue())
                                  values.push_back(names(event.value()));
                              else if (event.isCompleted())
                                  completed = true;
                          });
    EXPECT_EQ(values, (std::vector<std::vector<std::string>> { { "a", "b" }, { "c", "2" } }));
    EXPECT_TRUE(completed);

    std::optional<Reactive::AnyError> failure;
    auto failing = sort(Producer::error(Reactive::AnyError(APIClientError::notLoggedIn())), FileOrder::byDate)
                       .startWithEvents([&](auto&& event) {
                           if (event.isFailed())
                               failure = event.error();
                       });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure->as<APIClientError>(), APIClientError::notLoggedIn());
}
