// The login request's wire form, its redacted copy and the world identifiers.

#include "Quarlink/Requests/DummyResponses.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"
#include "Quarlink/Session/LoginRequest.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

static_assert(checkServiceRequest<LoginRequest>());
static_assert(!requestTraits<LoginRequest>().needsAuthentication);

namespace {

const Platform::URL base = *Platform::URL::create("http://127.0.0.1:8642/v2.0");

JSON bodyOf(const Platform::URLRequest& request)
{
    return JSON::parse(request.body);
}

} // namespace

TEST(LoginRequestTests, SendsWorldLoginAndPasswordAsJSONStrings)
{
    // Proves the login is a JSON POST to "login" whose world is the raw value text, not a number.
    auto request = LoginRequest::make({ "anna@example.org", "geh:eim" }, WorldID::ravik);
    auto urlRequest = makeURLRequest(request, base);
    EXPECT_EQ(urlRequest.url, "http://127.0.0.1:8642/v2.0/login");
    EXPECT_EQ(urlRequest.method, "POST");
    EXPECT_EQ(urlRequest.headers.value("Content-Type"), "application/json");
    EXPECT_EQ(bodyOf(urlRequest), (JSON { { "world", "5" }, { "login", "anna@example.org" }, { "password", "geh:eim" } }));
    EXPECT_EQ(bodyOf(makeURLRequest(LoginRequest::make({ "a", "b" }, WorldID::brisanto), base)).at("world"), "4");
}

TEST(LoginRequestTests, RedactedCopyDescriptionAndCannedAnswer)
{
    // Proves the copy a failure report shows keeps the world and hides both secrets, the debug text omits the password, and the canned answer is {"cid":123456789}.
    auto request = LoginRequest::make({ "anna@example.org", "secret" }, WorldID::brisanto);
    auto redacted = request.redactedForReport();
    EXPECT_EQ(redacted.world, WorldID::brisanto);
    EXPECT_EQ(redacted.login, "...");
    EXPECT_EQ(redacted.password, "...");
    EXPECT_EQ(request.debugDescription(), "LoginRequest(anna@example.org)");
    auto canned = dummyResponse(request, base);
    EXPECT_EQ(canned.response.statusCode(), 200);
    EXPECT_EQ(canned.response.url().absoluteString(), "http://127.0.0.1:8642/v2.0/login");
    EXPECT_EQ(canned.data.stringView(), R"({"cid":123456789})");
}

TEST(LoginRequestTests, WorldIDsReadOnlyTheirExactRawValues)
{
    // Proves only "4", "2" and "5" name a world, with no trimming or other spellings.
    EXPECT_EQ(worldIDFromRawValue("4"), WorldID::brisanto);
    EXPECT_EQ(worldIDFromRawValue("2"), WorldID::talvern);
    EXPECT_EQ(worldIDFromRawValue("5"), WorldID::ravik);
    EXPECT_FALSE(worldIDFromRawValue("7").has_value());
    EXPECT_FALSE(worldIDFromRawValue(" 2").has_value());
    EXPECT_FALSE(worldIDFromRawValue("").has_value());
}
