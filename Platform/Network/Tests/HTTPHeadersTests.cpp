#include "Platform/Network/HTTPHeaders.hpp"
#include "Platform/Network/HTTPResponseHead.hpp"

#include <gtest/gtest.h>

using namespace Platform;

TEST(HTTPHeadersTests, LookupIgnoresCaseAndKeepsOrder)
{
    // Proves field names match without regard to case, repeated fields keep their order, and set replaces them all.
    HTTPHeaders headers { { "Set-Cookie", "a=1" }, { "content-type", "text/plain" }, { "SET-COOKIE", "b=2" } };
    EXPECT_EQ(headers.value("Content-Type"), "text/plain");
    EXPECT_EQ(headers.values("set-cookie"), (std::vector<std::string> { "a=1", "b=2" }));
    EXPECT_FALSE(headers.value("Content-Length").has_value());
    headers.set("Set-Cookie", "c=3");
    EXPECT_EQ(headers.values("Set-Cookie"), (std::vector<std::string> { "c=3" }));
    EXPECT_EQ(headers.remove("CONTENT-TYPE"), 1u);
    EXPECT_EQ(headers.fields().size(), 1u);
}

TEST(HTTPHeadersTests, ContentLengthIsReadOnlyWhenValid)
{
    // Proves the expected length comes from a well-formed "Content-Length" only.
    HTTPResponseHead response;
    EXPECT_FALSE(response.expectedContentLength().has_value());
    response.headers.set("content-length", "1048576");
    EXPECT_EQ(response.expectedContentLength(), 1048576);
    response.headers.set("Content-Length", "12abc");
    EXPECT_FALSE(response.expectedContentLength().has_value());
    response.headers.set("Content-Length", "-1");
    EXPECT_FALSE(response.expectedContentLength().has_value());
}
