// Compile-time checks of request declarations: a misspelt, unlisted or mistyped member never falls back to a default.

#include "Quarlink/Requests/RequestInfos.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

struct OnlyPath {
    using SuccessValue = Reactive::Unit;
    std::string path() const { return "status"; }
};

struct ListsMethod {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::method } };
    std::string path() const { return "x"; }
    HTTPMethod method() const { return HTTPMethod::put; }
};

// The method is listed, but spelt wrongly: the default GET must not be used silently.
struct MisspeltMethod {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::method } };
    std::string path() const { return "x"; }
    HTTPMethod methd() const { return HTTPMethod::put; }
};

// Query items declared but not listed.
struct UnlistedQueryItems {
    using SuccessValue = Reactive::Unit;
    std::string path() const { return "x"; }
    std::vector<URLQueryItem> queryItems() const { return { { "a", "b" } }; }
};

// Listed with a signature the pipeline cannot call.
struct MistypedContentType {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::contentType } };
    std::string path() const { return "x"; }
    int contentType() const { return 1; }
};

struct MisspeltCustomHeaders {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::customHeaders } };
    std::string path() const { return "x"; }
    HTTPHeaderFields customHeader() const { return {}; }
};

struct PayloadWithoutPayload {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::payloadJSON };
    std::string path() const { return "x"; }
    int payloads() const { return 1; }
};

// A payload member on a request whose body kind is none would be ignored.
struct PayloadNotDeclared {
    using SuccessValue = Reactive::Unit;
    std::string path() const { return "x"; }
    int payload() const { return 1; }
};

struct OwnJSONNotEncodable {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .body = BodyKind::ownJSON };
    std::string path() const { return "x"; }
};

struct UploadWithoutFile {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .taskKind = TaskKind::upload };
    std::string path() const { return "x"; }
    Platform::URL fileUrl() const { return Platform::URL::fileURL("/tmp/a"); }
};

struct Download {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::download, .overrides = { RequestMember::expectedSize } };
    std::string path() const { return "x"; }
    std::optional<Platform::URL> destinationURL() const { return std::nullopt; }
    bool shouldOverwrite() const { return true; }
    std::optional<std::int64_t> expectedSize() const { return 5; }
};

struct DownloadMisspeltDestination {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::download };
    std::string path() const { return "x"; }
    std::optional<Platform::URL> destinationUrl() const { return std::nullopt; }
    bool shouldOverwrite() const { return true; }
};

struct DataWithExpectedSize {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::expectedSize } };
    std::string path() const { return "x"; }
    std::optional<std::int64_t> expectedSize() const { return 5; }
};

struct EnvelopedWithoutPackage {
    using SuccessValue = std::vector<int>;
    static constexpr RequestTraits traits { .enveloped = true };
    std::string path() const { return "x"; }
};

struct MisspeltParse {
    using SuccessValue = std::string;
    static constexpr RequestTraits traits { .overrides = { RequestMember::parse } };
    std::string path() const { return "x"; }
    std::expected<std::string, Reactive::AnyError> parsed(const DataResponse&) const { return "x"; }
};

struct ParseWithWrongResponse {
    using SuccessValue = std::string;
    static constexpr RequestTraits traits { .overrides = { RequestMember::parse } };
    std::string path() const { return "x"; }
    std::expected<std::string, Reactive::AnyError> parse(const DownloadResponse&) const { return "x"; }
};

struct NoPath {
    using SuccessValue = Reactive::Unit;
    std::string pat() const { return "x"; }
};

struct NoSuccessValue {
    std::string path() const { return "x"; }
};

static_assert(ServiceRequest<OnlyPath>);
static_assert(ServiceRequest<ListsMethod>);
static_assert(ServiceRequest<Download>);
static_assert(!ServiceRequest<MisspeltMethod>);
static_assert(!ServiceRequest<UnlistedQueryItems>);
static_assert(!ServiceRequest<MistypedContentType>);
static_assert(!ServiceRequest<MisspeltCustomHeaders>);
static_assert(!ServiceRequest<PayloadWithoutPayload>);
static_assert(!ServiceRequest<PayloadNotDeclared>);
static_assert(!ServiceRequest<OwnJSONNotEncodable>);
static_assert(!ServiceRequest<UploadWithoutFile>);
static_assert(!ServiceRequest<DownloadMisspeltDestination>);
static_assert(!ServiceRequest<DataWithExpectedSize>);
static_assert(!ServiceRequest<EnvelopedWithoutPackage>);
static_assert(!ServiceRequest<MisspeltParse>);
static_assert(!ServiceRequest<ParseWithWrongResponse>);
static_assert(!ServiceRequest<NoPath>);
static_assert(!ServiceRequest<NoSuccessValue>);

} // namespace

TEST(RequestTraitsTests, DeclaredMembersReplaceDefaults)
{
    // A listed member is what the pipeline reads; an unlisted one takes the default.
    EXPECT_EQ(requestMethod(OnlyPath {}), HTTPMethod::get);
    EXPECT_EQ(requestMethod(ListsMethod {}), HTTPMethod::put);
    EXPECT_TRUE(requestQueryItems(OnlyPath {}).empty());
    EXPECT_EQ(requestContentType(OnlyPath {}), "text/plain");
    EXPECT_EQ(taskKindOf<Download>, TaskKind::download);
}

namespace {

struct MisspeltDummyJSON {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits { .overrides = { RequestMember::dummyResponseJSON } };
    std::string path() const { return "login"; }
    JSON dummyJSON() const { return JSON::object(); }
};

struct UnlistedRedaction {
    using SuccessValue = Reactive::Unit;
    std::string path() const { return "login"; }
    UnlistedRedaction redactedForReport() const { return *this; }
};

static_assert(!ServiceRequest<MisspeltDummyJSON>);
static_assert(!ServiceRequest<UnlistedRedaction>);

} // namespace
