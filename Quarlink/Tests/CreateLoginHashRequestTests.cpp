// Reading the login link from the answer of "hash/create".

#include "Quarlink/Requests/RequestInfos.hpp"
#include "Quarlink/Session/CreateLoginHashRequest.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

static_assert(checkServiceRequest<CreateLoginHashRequest>());
static_assert(requestTraits<CreateLoginHashRequest>().needsAuthentication);

namespace {

std::expected<Platform::URL, Reactive::AnyError> parse(std::string body)
{
    return CreateLoginHashRequest().parse(DataResponse { Platform::Data::fromString(body), HTTPURLResponse(*Platform::URL::create("http://127.0.0.1:1/v2.0/hash/create"), 200, {}) });
}

} // namespace

TEST(CreateLoginHashRequestTests, IsAPlainGetOfHashCreate)
{
    // Proves the request goes to "hash/create" as a GET without a body.
    auto request = makeURLRequest(CreateLoginHashRequest(), *Platform::URL::create("http://127.0.0.1:1/v2.0"));
    EXPECT_EQ(request.url, "http://127.0.0.1:1/v2.0/hash/create");
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.body.empty());
    EXPECT_EQ(request.headers.value("Content-Type"), "text/plain");
}

TEST(CreateLoginHashRequestTests, YieldsExactlyTheLoginURLAndIgnoresOtherMembers)
{
    // Proves the link is taken as it stands from "urls"."login", whatever else the answer holds.
    auto url = parse(R"({"urls":{"login":"https://web.example.org/login/hash/ab12?x=1","other":"x"},"more":1})");
    ASSERT_TRUE(url.has_value()) << url.error().description();
    EXPECT_EQ(url->absoluteString(), "https://web.example.org/login/hash/ab12?x=1");
}

TEST(CreateLoginHashRequestTests, AnswersWithoutAUsableLinkAreDecodingErrors)
{
    // Proves a missing link, a missing "urls", a link that is no URL and a body that is no JSON all fail as decoding errors.
    for (const char* body : { R"({"urls":{}})", R"({"url":{"login":"http://a/b"}})", R"({"urls":{"login":42}})",
             R"({"urls":{"login":"no url at all"}})", "<html>", "" }) {
        auto result = parse(body);
        ASSERT_FALSE(result.has_value()) << body;
        EXPECT_TRUE(result.error().is<DecodingError>()) << body;
    }
    auto missing = parse(R"({"urls":{}})");
    EXPECT_EQ(missing.error().as<DecodingError>()->kind(), DecodingError::Kind::keyNotFound);
}
