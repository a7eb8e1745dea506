// Header fields, URLs with query items, bodies and the assembled URL request of request values.

#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/UserAgent.hpp"
#include "Quarlink/Requests/AnyRequest.hpp"
#include "Quarlink/Requests/DummyResponses.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace Quarlink;

namespace {

Platform::URL url(std::string_view text)
{
    return *Platform::URL::create(text);
}

struct GetFile {
    using SuccessValue = Reactive::Unit;
    std::int64_t fileID = 42;
    std::string path() const { return "files/" + std::to_string(fileID); }
};

struct Search {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::queryItems } };
    std::string query;
    std::string path() const { return "files/search"; }
    std::vector<URLQueryItem> queryItems() const { return { { "path", "/" }, { "count", "50" }, { "query", query } }; }
};

struct WithHeaders {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::customHeaders } };
    HTTPHeaderFields fields;
    std::string path() const { return "x"; }
    HTTPHeaderFields customHeaders() const { return fields; }
};

struct MoveFiles {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .overrides = { RequestMember::method } };
    std::vector<std::int64_t> fileIDs;
    std::int64_t destinationFolderID = 0;
    std::string path() const { return "files/move"; }
    HTTPMethod method() const { return HTTPMethod::post; }
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("fileIDs", fileIDs);
        writer.encode("destinationFolderID", destinationFolderID);
    }
};

struct Folder {
    std::string folderName;
    std::optional<std::int64_t> fileID;
    void encode(JSONObjectWriter& writer) const
    {
        writer.encode("folderName", folderName);
        writer.encode("fileID", fileID);
    }
};

struct CreateFolder {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::payloadJSON, .overrides = { RequestMember::method } };
    Folder folder;
    std::string path() const { return "folders"; }
    HTTPMethod method() const { return HTTPMethod::post; }
    Folder payload() const { return folder; }
};

struct Share {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::parametersJSON };
    JSON parameters;
    std::string path() const { return "shares"; }
    JSON jsonParameters() const { return parameters; }
};

struct ListFolder {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .isListing = true };
    std::string path() const { return "files/7/children"; }
};

struct Unencodable {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON };
    std::string path() const { return "broken"; }
    void encode(JSONObjectWriter& writer) const { writer.encode("value", std::nan("")); }
};

class RequestInfosTests : public ::testing::Test {
protected:
    void SetUp() override { ApplicationInfo::clear(); }
    void TearDown() override { ApplicationInfo::clear(); }
};

} // namespace

TEST_F(RequestInfosTests, PathOnlyRequestTakesEveryDefault)
{
    // Only a path: no query, GET, no body, "text/plain", the user agent, and "X-Client" only when registered as a string.
    auto request = makeURLRequest(GetFile {}, url("https://cloud.test/v2.0"));
    EXPECT_EQ(request.url, "https://cloud.test/v2.0/files/42");
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.body.empty());
    EXPECT_EQ(request.headers.fields(), (std::vector<Platform::HTTPHeaders::Field> {
        { "Content-Type", "text/plain" }, { "User-Agent", UserAgent::current().stringValue() } }));

    ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, 7);
    EXPECT_FALSE(requestHeaders(GetFile {}).contains("X-Client"));
    ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, "orvella-linux");
    EXPECT_EQ(requestHeaders(GetFile {}).at("X-Client"), "orvella-linux");
}

TEST_F(RequestInfosTests, OnlyListingsMayAnswerWithMoreThanTheDefaultBody)
{
    // A listing of any number of files or shares may be 256 MiB long; every other answer is held to 32 MiB.
    const auto base = url("https://cloud.test/v2.0");
    EXPECT_EQ(makeURLRequest(ListFolder {}, base).maximumBodySize, std::size_t { 1 } << 30);
    EXPECT_EQ(makeURLRequest(GetFile {}, base).maximumBodySize, std::size_t { 32 } << 20);
    EXPECT_EQ(makeURLRequest(MoveFiles {}, base).maximumBodySize, std::size_t { 32 } << 20);
}

TEST_F(RequestInfosTests, ComputedFieldsWinOverCustomOnes)
{
    // Custom fields survive under other names; exact names are replaced; a name differing only in case stays beside.
    WithHeaders request { { { "Content-Type", "x" }, { "User-Agent", "y" }, { "content-type", "z" }, { "Request-Hash", "abc" }, { "X-Client", "own" } } };
    auto headers = requestHeaders(request);
    EXPECT_EQ(headers.at("Content-Type"), "text/plain");
    EXPECT_EQ(headers.at("User-Agent"), UserAgent::current().stringValue());
    EXPECT_EQ(headers.at("content-type"), "z");
    EXPECT_EQ(headers.at("Request-Hash"), "abc");
    // Without a registered string the request's own "X-Client" stays.
    EXPECT_EQ(headers.at("X-Client"), "own");
    ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, "registered");
    EXPECT_EQ(requestHeaders(request).at("X-Client"), "registered");
}

TEST_F(RequestInfosTests, URLJoinsBaseAndPathAndEncodesQueryItems)
{
    // One "/" between base and path with or without a trailing "/", query items in order, reserved characters encoded.
    auto base = url("https://cloud.test/v2.0");
    auto withSlash = url("https://cloud.test/v2.0/");
    EXPECT_EQ(requestURL(GetFile {}, base), requestURL(GetFile {}, withSlash));
    EXPECT_EQ(requestURL(Search { "c++ & a=b #1 100%" }, base).absoluteString(),
        "https://cloud.test/v2.0/files/search?path=/&count=50&query=c%2B%2B%20%26%20a%3Db%20%231%20100%25");
    auto parsed = requestURL(Search { "c++ & a=b #1 100%" }, base).queryItems();
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[2].value, "c++ & a=b #1 100%");

    // An existing query stays in front; an empty list changes nothing, not even a "?".
    auto queried = url("https://cloud.test/v2.0/files?x=1");
    EXPECT_EQ(addingQueryItems(queried, { { "y", "2" } }).absoluteString(), "https://cloud.test/v2.0/files?x=1&y=2");
    EXPECT_EQ(addingQueryItems(queried, {}), queried);
    EXPECT_EQ(addingQueryItems(base, {}).absoluteString(), "https://cloud.test/v2.0");
}

TEST_F(RequestInfosTests, BodiesOfTheThreeJSONKinds)
{
    // Own JSON and payload JSON in snake case; parameters as given; all "application/json"; empty parameters give no body.
    auto base = url("https://cloud.test/v2.0");
    auto move = makeURLRequest(MoveFiles { { 1, 2 }, 9 }, base);
    EXPECT_EQ(move.method, "POST");
    EXPECT_EQ(JSON::parse(move.body), JSON::parse(R"({"file_ids":[1,2],"destination_folder_id":9})"));
    EXPECT_EQ(move.headers.value("Content-Type"), "application/json");

    auto folder = makeURLRequest(CreateFolder { { "Neu", std::nullopt } }, base);
    EXPECT_EQ(JSON::parse(folder.body), JSON::parse(R"({"folder_name":"Neu"})"));

    auto share = makeURLRequest(Share { JSON { { "share_with", { "a@b.c" } }, { "fileID", 3 } } }, base);
    EXPECT_EQ(JSON::parse(share.body), JSON::parse(R"({"share_with":["a@b.c"],"fileID":3})"));
    auto empty = makeURLRequest(Share { JSON::object() }, base);
    EXPECT_TRUE(empty.body.empty());
    EXPECT_EQ(empty.headers.value("Content-Type"), "application/json");
}

TEST_F(RequestInfosTests, UnencodableBodyIsLeftOutWithAFailureLine)
{
    // A body that cannot be encoded is left out, the content type stays, and one "❗️" line says so.
    Platform::LogCapture capture;
    auto request = makeURLRequest(Unencodable {}, url("https://cloud.test/v2.0"));
    EXPECT_TRUE(request.body.empty());
    EXPECT_EQ(request.headers.value("Content-Type"), "application/json");
    EXPECT_TRUE(capture.contains("❗️ couldn't encode the body of request broken"));
}

TEST(HTTPMethodTests, RawValuesTextsAndDecoding)
{
    // Raw values 0 to 4 give the five methods sent in capitals; other integers give none and fail decoding with the fixed text.
    EXPECT_EQ(httpMethodFromRawValue(4), HTTPMethod::patch);
    EXPECT_FALSE(httpMethodFromRawValue(5));
    EXPECT_FALSE(httpMethodFromRawValue(-1));
    EXPECT_EQ(methodText(HTTPMethod::delete_), "DELETE");
    EXPECT_EQ(rawValue(HTTPMethod::patch), 4);

    JSON valid = 2;
    EXPECT_EQ(decodeHTTPMethod(JSONValueReader(valid, DateDecodingStrategy::secondsSince1970)), HTTPMethod::put);
    JSON invalid = 5;
    auto failed = decodeHTTPMethod(JSONValueReader(invalid, DateDecodingStrategy::secondsSince1970));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failed.error().debugDescription(), "Cannot initialize HTTPMethod from invalid Int value 5");
}

namespace {

struct CannedLogin {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::dummyResponseJSON } };
    std::string path() const { return "login"; }
    JSON dummyResponseJSON() const { return JSON { { "cid", 123456789 } }; }
};

} // namespace

TEST(DummyResponsesTests, CannedAnswerOfARequest)
{
    // Status 200 for the request's URL, one JSON content-type field, and the compact 17-byte body.
    auto response = dummyResponse(CannedLogin {}, *Platform::URL::create("https://cloud.test/v2.0/"));
    EXPECT_EQ(response.response.statusCode(), 200);
    EXPECT_EQ(response.response.url().absoluteString(), "https://cloud.test/v2.0/login");
    EXPECT_EQ(response.response.headerFields(), (HTTPURLResponse::HeaderFields { { "Content-Type", "application/json" } }));
    EXPECT_EQ(response.data.toString(), R"({"cid":123456789})");
    EXPECT_EQ(response.data.size(), 17u);
    EXPECT_TRUE(dummyResponse(*Platform::URL::create("https://cloud.test/x"), JSON("\xFF")).data.empty());
}

TEST_F(RequestInfosTests, AnyRequestKeepsTheValueAndItsInformation)
{
    // An erased request gives back its value to whoever names its type, and its information to anyone.
    AnyRequest erased(Search { "c++" });
    ASSERT_NE(erased.as<Search>(), nullptr);
    EXPECT_EQ(erased.as<Search>()->query, "c++");
    EXPECT_EQ(erased.as<GetFile>(), nullptr);
    EXPECT_EQ(erased.path(), "files/search");
    EXPECT_EQ(erased.method(), HTTPMethod::get);
    EXPECT_EQ(erased.queryItems().size(), 3u);
    EXPECT_TRUE(erased.isEligibleForLowBandWidthConnections());
    EXPECT_EQ(erased.urlRequest(url("https://cloud.test/v2.0")).url, "https://cloud.test/v2.0/files/search?path=/&count=50&query=c%2B%2B");
}
