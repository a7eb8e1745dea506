// The default parse steps for bodies in memory, chosen by the result type, and the image reader.

#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

DataResponse response(std::string body)
{
    return DataResponse { Platform::Data::fromString(body), HTTPURLResponse(*Platform::URL::create("http://127.0.0.1/x"), 200, {}) };
}

Platform::Data bytes(std::initializer_list<std::uint8_t> list)
{
    return Platform::Data(std::vector<std::uint8_t>(list));
}

// A 1x1 PNG: signature and the IHDR chunk are what the reader needs.
Platform::Data png(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint8_t> data { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R' };
    for (auto value : { width, height }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            data.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    data.insert(data.end(), { 8, 6, 0, 0, 0 });
    return Platform::Data(std::move(data));
}

} // namespace

TEST(ResponseParsingTests, DecodableResultsAndTheirFailures)
{
    // A decodable result is read from JSON with dates in seconds since 1970; an empty body or a missing "data" is the decoder's own error.
    using Package = CloudMetaPackage<std::vector<std::int64_t>>;
    auto package = parseData<Package>(response(R"({"data":[1,2,3]})"));
    ASSERT_TRUE(package);
    EXPECT_EQ(package->payload(), (std::vector<std::int64_t> { 1, 2, 3 }));

    auto date = parseData<Platform::Date>(response("1.5"));
    ASSERT_TRUE(date);
    EXPECT_EQ(*date, Platform::Date::fromSecondsSince1970(1.5));

    auto empty = parseData<Package>(response(""));
    ASSERT_FALSE(empty);
    ASSERT_TRUE(empty.error().is<DecodingError>());
    EXPECT_EQ(empty.error().as<DecodingError>()->kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_FALSE(empty.error().is<APIClientError>());

    auto missing = parseData<Package>(response(R"({"meta":{}})"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().as<DecodingError>()->kind(), DecodingError::Kind::keyNotFound);
}

TEST(ResponseParsingTests, EmptyAndTextResults)
{
    // No result ignores any body; text must be UTF-8, else a parsing error carrying exactly the body.
    EXPECT_TRUE(parseData<Reactive::Unit>(response("not json at all")));
    EXPECT_EQ(parseData<std::string>(response("Grüße")), "Grüße");

    auto invalid = DataResponse { bytes({ 0xFF, 0xFE, 0xFD }), response("").response };
    auto text = parseData<std::string>(invalid);
    ASSERT_FALSE(text);
    const auto* error = text.error().as<APIClientError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->errorCase(), APIClientError::Case::parsingError);
    EXPECT_EQ(error->body(), bytes({ 0xFF, 0xFE, 0xFD }));
}

TEST(ResponseParsingTests, ImageResults)
{
    // An image keeps the pixel size its data gives; bytes that are no image fail with a parsing error carrying them.
    auto image = parseData<Image>(DataResponse { png(60, 30), response("").response });
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format(), Image::Format::png);
    EXPECT_EQ(image->width(), 60);
    EXPECT_EQ(image->height(), 30);

    auto gif = Image::create(bytes({ 'G', 'I', 'F', '8', '9', 'a', 2, 0, 3, 0 }));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width(), 2);
    EXPECT_EQ(gif->height(), 3);

    auto jpeg = Image::create(bytes({ 0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x07, 0x00, 0x05, 0x01, 0x01, 0x11, 0x00 }));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->width(), 5);
    EXPECT_EQ(jpeg->height(), 7);

    auto notAnImage = parseData<Image>(response("<html>"));
    ASSERT_FALSE(notAnImage);
    EXPECT_EQ(notAnImage.error().as<APIClientError>()->body(), Platform::Data::fromString("<html>"));
    EXPECT_FALSE(Image::create(png(0, 10)));
    EXPECT_DOUBLE_EQ(imageScale(), 1.0);
}
