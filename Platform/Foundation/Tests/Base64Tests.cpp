#include "Platform/Foundation/Base64.hpp"

#include <gtest/gtest.h>

using namespace Platform;

TEST(Base64Tests, EncodesTheRFCVectors)
{
    // The RFC 4648 test vectors encode and decode with correct padding.
    std::pair<std::string, std::string> vectors[] = { { "", "" }, { "f", "Zg==" }, { "fo", "Zm8=" }, { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" }, { "fooba", "Zm9vYmE=" }, { "foobar", "Zm9vYmFy" } };
    for (auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encoded(Data::fromString(plain)), encoded);
        auto decoded = base64Decoded(encoded);
        ASSERT_TRUE(decoded) << encoded;
        EXPECT_EQ(decoded->toString(), plain);
    }
}

TEST(Base64Tests, RoundTripsEveryByteValue)
{
    // All 256 byte values survive a round trip.
    std::vector<std::uint8_t> bytes(256);
    for (int value = 0; value < 256; ++value)
        bytes[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(value);
    auto decoded = base64Decoded(base64Encoded(bytes));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->vector(), bytes);
}

TEST(Base64Tests, RejectsMalformedText)
{
    // Wrong lengths, foreign characters, whitespace and padding in the middle give no value.
    for (auto text : { "Zg=", "Zg", "Z===", "Zm9v\n", " Zm9v", "Zm9v!A==", "Zg==Zg==", "=Zm9" })
        EXPECT_FALSE(base64Decoded(text)) << text;
}
