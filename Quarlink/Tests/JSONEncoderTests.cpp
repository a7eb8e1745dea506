// Request bodies: snake-case keys, whole-second dates, compact JSON, and no body when encoding fails.

#include "Quarlink/Coding/JSONBody.hpp"
#include "Quarlink/Coding/JSONDecoder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <locale>

using namespace Quarlink;

namespace {

struct Upload {
    std::string fileURL;
    std::int64_t parentID;
    Platform::Date createdDate;
    double ratio { 0.5 };

    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("fileURL", fileURL);
        writer.encode("parentID", parentID);
        writer.encode("createdDate", createdDate);
        writer.encode("ratio", ratio);
    }
};

struct AcceptShare {
    std::int64_t shareID;
    std::optional<std::int64_t> targetParentFolderID;
    std::optional<std::string> targetFolderName;
    std::vector<std::int64_t> fileIDs;
    Upload upload;

    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("shareID", shareID);
        writer.encode("targetParentFolderID", targetParentFolderID);
        writer.encode("targetFolderName", targetFolderName);
        writer.encode("fileIDs", fileIDs);
        writer.encode("upload", upload);
    }
};

JSON bodyTree(const std::optional<Platform::Data>& body)
{
    EXPECT_TRUE(body.has_value());
    return body ? JSON::parse(body->stringView()) : JSON();
}

Platform::Date seconds(double value)
{
    return Platform::Date::fromSecondsSince1970(value);
}

} // namespace

TEST(JSONEncoder, bodyKeysAreSnakeCaseAtEveryDepth)
{
    // Field names of the request and of nested records are written in snake case; absent optionals are left out, not null.
    AcceptShare request { 5, std::nullopt, "Neu", { 1, 2 }, { "file:///tmp/a", 9, seconds(60), 0.5 } };
    auto tree = bodyTree(jsonBody(request));
    EXPECT_EQ(tree, JSON::parse(R"({"share_id":5,"target_folder_name":"Neu","file_ids":[1,2],
        "upload":{"file_url":"file:///tmp/a","parent_id":9,"created_date":60,"ratio":0.5}})"));
    EXPECT_FALSE(tree.contains("target_parent_folder_id"));
}

TEST(JSONEncoder, bodiesAreCompact)
{
    // The body has no whitespace or line breaks.
    AcceptShare request { 5, 6, std::nullopt, {}, { "u", 1, seconds(0), 0.25 } };
    auto body = jsonBody(request);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->stringView().find_first_of(" \n\t"), std::string_view::npos);
}

TEST(JSONEncoder, datesAreWholeSecondsCutTowardZero)
{
    // Dates are written as whole seconds since 1970, the fraction cut toward zero on both sides of the epoch.
    const std::vector<std::pair<double, std::int64_t>> table {
        { 1.9, 1 }, { -1.5, -1 }, { 0.4, 0 }, { -0.4, 0 }, { 1'700'000'000.999, 1'700'000'000 }, { -86'400.2, -86'400 },
    };
    for (const auto& [value, expected] : table) {
        auto tree = bodyTree(jsonBody(Upload { "u", 1, seconds(value) }));
        EXPECT_EQ(tree["created_date"], expected) << value;
        EXPECT_TRUE(tree["created_date"].is_number_integer());
    }
}

TEST(JSONEncoder, anEncodingFailureGivesNoBody)
{
    // Text that is not UTF-8, or a number that is not finite, leaves the request without a body.
    EXPECT_FALSE(jsonBody(Upload { "\xC3\x28", 1, seconds(0) }).has_value());
    EXPECT_FALSE(jsonBody(Upload { "u", 1, seconds(0), std::nan("") }).has_value());
    auto failure = makeBodyEncoder().encode(Upload { "u", 1, seconds(0), INFINITY });
    ASSERT_FALSE(failure);
    EXPECT_EQ(failure.error().codingPath(), std::vector<std::string> { "ratio" });
}

TEST(JSONEncoder, defaultEncoderKeepsKeysAndWritesReferenceDates)
{
    // Without the body rules, keys stay as named and dates are seconds since 2001, so the rules are what make bodies.
    auto tree = JSONEncoder().encodeToJSON(Upload { "u", 1, seconds(978'307'260) });
    ASSERT_TRUE(tree);
    EXPECT_EQ((*tree)["createdDate"], 60.0);
    JSONEncoder encoder;
    prepareBodyEncoder(encoder);
    EXPECT_EQ(encoder.keyEncodingStrategy(), KeyEncodingStrategy::convertToSnakeCase);
    EXPECT_EQ(encoder.dateEncodingStrategy(), DateEncodingStrategy::wholeSecondsSince1970);
}

TEST(JSONEncoder, parametersAreWrittenUnchanged)
{
    // A parameter dictionary keeps its keys as given; an empty one gives no body at all.
    EXPECT_FALSE(jsonParametersBody(JSON::object()).has_value());
    auto tree = bodyTree(jsonParametersBody({ { "type", "private" }, { "file_id", 4 }, { "shareWith", { "a@b.de" } } }));
    EXPECT_EQ(tree, JSON::parse(R"({"type":"private","file_id":4,"shareWith":["a@b.de"]})"));
    EXPECT_FALSE(jsonParametersBody({ { "message", "\xFF" } }).has_value());
}

TEST(JSONEncoder, roundTripsThroughTheDecoder)
{
    // What the body encoder writes, the default decoder reads back (dates in whole seconds).
    auto body = jsonBody(Upload { "ü", 3, seconds(12.7) });
    ASSERT_TRUE(body);
    auto decoded = JSONDecoder::makeDefault().decode<JSON>(*body);
    ASSERT_TRUE(decoded);
    EXPECT_EQ((*decoded)["file_url"], "ü");
    EXPECT_EQ(JSONDecoder::makeDefault().decode<Platform::Date>((*decoded)["created_date"].dump()), Platform::Date::fromWholeSecondsSince1970(12));

    struct Located {
        Platform::URL fileURL;
        void encode(JSONObjectWriter& writer) const { writer.encode("fileURL", fileURL); }
    };
    auto located = bodyTree(jsonBody(Located { Platform::URL::fileURL("/tmp/a b") }));
    EXPECT_EQ(located["file_url"], "file:///tmp/a%20b");
}

namespace {

// A German-style number format: decimal comma and grouping by thousands.
struct GermanNumbers final : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

} // namespace

TEST(JSONEncoder, wireTextIgnoresTheProcessLocale)
{
    // With German number formatting installed process-wide, bodies still carry "0.5" and "1234567", never "0,5" or "1.234.567".
    auto previous = std::locale::global(std::locale(std::locale::classic(), new GermanNumbers));
    auto body = jsonBody(Upload { "u", 1'234'567, seconds(1'234'567), 0.5 });
    std::locale::global(previous);
    ASSERT_TRUE(body);
    EXPECT_NE(body->stringView().find("\"ratio\":0.5"), std::string_view::npos) << body->stringView();
    EXPECT_NE(body->stringView().find("\"parent_id\":1234567"), std::string_view::npos) << body->stringView();
}
