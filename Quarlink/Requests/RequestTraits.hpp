#pragma once

// Quarlink/Requests: request values and the pipeline that performs them. A
// request is a plain struct of its inputs; what it needs beyond the defaults it
// declares in its `traits` and as members, checked at compile time.

#include "Platform/Foundation/URL.hpp"
#include "Platform/Network/URLRequest.hpp"
#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Requests/HTTPMethod.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace Quarlink {

class APIClient;

// Most decoded bytes of an answer the client holds in memory to parse; a
// larger answer fails the request with `URLError::Code::responseTooLarge`.
// Downloads stream into their file and are not bounded.
inline constexpr std::size_t bodyLimit = Platform::URLRequest::defaultMaximumBodySize;
// A listing's entries take about 330 bytes each: this one holds some three
// million files, where 256 MiB already failed an account of a million.
inline constexpr std::size_t listingBodyLimit = std::size_t { 1 } << 30;

using URLQueryItem = Platform::URL::QueryItem;
// Header fields by exact, case-sensitive name.
using HTTPHeaderFields = std::map<std::string, std::string>;

// How a request travels.
enum class TaskKind {
    // Its answer arrives as a body in memory.
    data,
    // Its body is the contents of a local file (`fileURL()`).
    upload,
    // Its answer is written to a file and placed (`destinationURL()`, `shouldOverwrite()`).
    download,
};

// Where a request's body comes from.
enum class BodyKind {
    none,
    // The request encodes itself (`encode(JSONObjectWriter&) const`).
    ownJSON,
    // The request's `payload()` is encoded.
    payloadJSON,
    // The request's `jsonParameters()` dictionary is serialised.
    parametersJSON,
};

// Members a request may declare in place of a default. A request lists the
// ones it declares in its traits; a listed member that is missing (misspelt)
// or has the wrong signature, and a member present but not listed, are
// compile errors, never a silent fall-back to the default.
enum class RequestMember : std::uint32_t {
    // HTTPMethod method() const; default get.
    method = 1u << 0,
    // std::vector<URLQueryItem> queryItems() const; default none.
    queryItems = 1u << 1,
    // std::string contentType() const; default "text/plain" ("application/json" with a JSON body).
    contentType = 1u << 2,
    // HTTPHeaderFields customHeaders() const; default none.
    customHeaders = 1u << 3,
    // std::optional<std::int64_t> expectedSize() const (downloads); default absent.
    expectedSize = 1u << 4,
    // std::expected<Response, AnyError> validate(const Response&) const; default: the service's errors.
    validate = 1u << 5,
    // std::expected<SuccessValue, AnyError> parse(const Response&) const; default by result type.
    parse = 1u << 6,
    // SignalProducer<SuccessValue, AnyError> recover(const AnyError&, APIClient&) const.
    recover = 1u << 7,
    // void clientDidFinish(APIClient&, const Result<SuccessValue, AnyError>&) const.
    clientDidFinish = 1u << 8,
    // bool isEligibleForLowBandWidthConnections() const; default true for data tasks.
    isEligibleForLowBandWidthConnections = 1u << 9,
    // void prepare(JSONEncoder&) const: the encoder set-up of a payload body.
    prepare = 1u << 10,
    // R redactedForReport() const: the copy a failure report shows (secrets replaced).
    redactedForReport = 1u << 11,
    // JSON dummyResponseJSON() const: the body of a canned answer (`dummyResponse`).
    dummyResponseJSON = 1u << 12,
    // Platform::URLRequest urlRequest(const Platform::URL& base) const: the
    // whole URL request, made from the endpoint's base URL, for a request that
    // lives outside the versioned API. It replaces every part the pipeline
    // would assemble (URL, method, body, header fields), so a request that
    // declares it declares none of those members and has no body; it travels
    // as a data task and is not eligible for low-bandwidth connections.
    urlRequest = 1u << 13,
};

// A set of `RequestMember`s: `{ RequestMember::method, RequestMember::queryItems }`.
class RequestMembers {
public:
    constexpr RequestMembers() = default;
    constexpr RequestMembers(std::initializer_list<RequestMember> members)
    {
        for (auto member : members)
            m_bits |= static_cast<std::uint32_t>(member);
    }
    [[nodiscard]] constexpr bool contains(RequestMember member) const { return (m_bits & static_cast<std::uint32_t>(member)) != 0; }

private:
    std::uint32_t m_bits = 0;
};

// What a request type declares about itself, as one constant:
//   static constexpr RequestTraits traits { .body = BodyKind::ownJSON, .enveloped = true,
//                                           .overrides = { RequestMember::method } };
struct RequestTraits {
    TaskKind taskKind = TaskKind::data;
    BodyKind body = BodyKind::none;
    // A rejected session is renewed through the client's session refresher and the request sent again.
    bool needsAuthentication = false;
    // The result is a `CloudMetaPackage`; a quota in it is announced.
    bool enveloped = false;
    // The answer lists files or shares, any number of them: it may grow to
    // `listingBodyLimit` in memory rather than `bodyLimit`.
    bool isListing = false;
    // A failure worth reporting is posted as "RequestFailedNotification". The
    // error-report request itself says no, so that a failing report service
    // cannot turn one failure into an endless chain of reports.
    bool reportsFailures = true;
    RequestMembers overrides = {};
};

namespace Detail {

template<class R>
concept HasTraits = requires {
    { R::traits } -> std::convertible_to<RequestTraits>;
};

} // namespace Detail

template<class R>
[[nodiscard]] consteval RequestTraits requestTraits()
{
    if constexpr (Detail::HasTraits<R>)
        return R::traits;
    else
        return RequestTraits {};
}

template<class R, RequestMember member>
concept Overrides = requestTraits<R>().overrides.contains(member);

template<class R>
inline constexpr TaskKind taskKindOf = requestTraits<R>().taskKind;

// What the transport delivers for a request: the body in memory, or the events of a download.
template<TaskKind kind>
using ResponseFor = std::conditional_t<kind == TaskKind::download, ProgressEvent<DownloadResponse>, DataResponse>;
template<class R>
using RequestResponse = ResponseFor<taskKindOf<R>>;

namespace Detail {

// Whether the type has a member of that name at all, whatever its signature.
template<class R> concept NamesMethod = requires { &R::method; };
template<class R> concept NamesQueryItems = requires { &R::queryItems; };
template<class R> concept NamesContentType = requires { &R::contentType; };
template<class R> concept NamesCustomHeaders = requires { &R::customHeaders; };
template<class R> concept NamesExpectedSize = requires { &R::expectedSize; };
template<class R> concept NamesValidate = requires { &R::validate; };
template<class R> concept NamesParse = requires { &R::parse; };
template<class R> concept NamesRecover = requires { &R::recover; };
template<class R> concept NamesClientDidFinish = requires { &R::clientDidFinish; };
template<class R> concept NamesLowBandWidth = requires { &R::isEligibleForLowBandWidthConnections; };
template<class R> concept NamesPrepare = requires { &R::prepare; };
template<class R> concept NamesRedacted = requires { &R::redactedForReport; };
template<class R> concept NamesDummyJSON = requires { &R::dummyResponseJSON; };
template<class R> concept NamesURLRequest = requires { &R::urlRequest; };
template<class R> concept NamesPayload = requires { &R::payload; };
template<class R> concept NamesJSONParameters = requires { &R::jsonParameters; };
template<class R> concept NamesFileURL = requires { &R::fileURL; };
template<class R> concept NamesDestinationURL = requires { &R::destinationURL; };
template<class R> concept NamesShouldOverwrite = requires { &R::shouldOverwrite; };

// Whether the member has the signature the pipeline calls.
template<class R> concept GoodMethod = requires(const R& r) { { r.method() } -> std::same_as<HTTPMethod>; };
template<class R> concept GoodQueryItems = requires(const R& r) { { r.queryItems() } -> std::convertible_to<std::vector<URLQueryItem>>; };
template<class R> concept GoodContentType = requires(const R& r) { { r.contentType() } -> std::convertible_to<std::string>; };
template<class R> concept GoodCustomHeaders = requires(const R& r) { { r.customHeaders() } -> std::convertible_to<HTTPHeaderFields>; };
template<class R> concept GoodExpectedSize = requires(const R& r) { { r.expectedSize() } -> std::convertible_to<std::optional<std::int64_t>>; };
template<class R> concept GoodValidate = requires(const R& r, const RequestResponse<R>& response) {
    { r.validate(response) } -> std::same_as<std::expected<RequestResponse<R>, Reactive::AnyError>>;
};
template<class R> concept GoodParse = requires(const R& r, const RequestResponse<R>& response) {
    { r.parse(response) } -> std::same_as<std::expected<typename R::SuccessValue, Reactive::AnyError>>;
};
template<class R> concept GoodRecover = requires(const R& r, const Reactive::AnyError& error, APIClient& client) {
    { r.recover(error, client) } -> std::same_as<Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError>>;
};
template<class R> concept GoodClientDidFinish = requires(const R& r, APIClient& client,
    const Reactive::Result<typename R::SuccessValue, Reactive::AnyError>& result) {
    { r.clientDidFinish(client, result) } -> std::same_as<void>;
};
template<class R> concept GoodLowBandWidth = requires(const R& r) { { r.isEligibleForLowBandWidthConnections() } -> std::same_as<bool>; };
template<class R> concept GoodPrepare = requires(const R& r, JSONEncoder& encoder) { { r.prepare(encoder) } -> std::same_as<void>; };
template<class R> concept GoodRedacted = requires(const R& r) { { r.redactedForReport() } -> std::same_as<R>; };
template<class R> concept GoodDummyJSON = requires(const R& r) { { r.dummyResponseJSON() } -> std::convertible_to<JSON>; };
template<class R> concept GoodURLRequest = requires(const R& r, const Platform::URL& base) {
    { r.urlRequest(base) } -> std::same_as<Platform::URLRequest>;
};
template<class R> concept GoodPayload = requires(const R& r) { r.payload(); };
template<class R> concept GoodJSONParameters = requires(const R& r) { { r.jsonParameters() } -> std::convertible_to<OrderedJSON>; };
template<class R> concept GoodFileURL = requires(const R& r) { { r.fileURL() } -> std::convertible_to<Platform::URL>; };
template<class R> concept GoodDestinationURL = requires(const R& r) { { r.destinationURL() } -> std::convertible_to<std::optional<Platform::URL>>; };
template<class R> concept GoodShouldOverwrite = requires(const R& r) { { r.shouldOverwrite() } -> std::same_as<bool>; };

// A listed member must exist with its signature; an unlisted one must not exist.
template<bool listed, bool named, bool good>
inline constexpr bool consistent = listed ? good : !named;

template<bool required, bool named, bool good>
inline constexpr bool requiredWhen = required ? good : !named;

} // namespace Detail

// The declared members agree with the traits (see `RequestMember`).
template<class R>
concept DeclaresOverridesConsistently =
    Detail::consistent<Overrides<R, RequestMember::method>, Detail::NamesMethod<R>, Detail::GoodMethod<R>>
        && Detail::consistent<Overrides<R, RequestMember::queryItems>, Detail::NamesQueryItems<R>, Detail::GoodQueryItems<R>>
        && Detail::consistent<Overrides<R, RequestMember::contentType>, Detail::NamesContentType<R>, Detail::GoodContentType<R>>
        && Detail::consistent<Overrides<R, RequestMember::customHeaders>, Detail::NamesCustomHeaders<R>, Detail::GoodCustomHeaders<R>>
        && Detail::consistent<Overrides<R, RequestMember::expectedSize>, Detail::NamesExpectedSize<R>, Detail::GoodExpectedSize<R>>
        && Detail::consistent<Overrides<R, RequestMember::validate>, Detail::NamesValidate<R>, Detail::GoodValidate<R>>
        && Detail::consistent<Overrides<R, RequestMember::parse>, Detail::NamesParse<R>, Detail::GoodParse<R>>
        && Detail::consistent<Overrides<R, RequestMember::recover>, Detail::NamesRecover<R>, Detail::GoodRecover<R>>
        && Detail::consistent<Overrides<R, RequestMember::clientDidFinish>, Detail::NamesClientDidFinish<R>, Detail::GoodClientDidFinish<R>>
        && Detail::consistent<Overrides<R, RequestMember::isEligibleForLowBandWidthConnections>, Detail::NamesLowBandWidth<R>, Detail::GoodLowBandWidth<R>>
        && Detail::consistent<Overrides<R, RequestMember::prepare>, Detail::NamesPrepare<R>, Detail::GoodPrepare<R>>
        && Detail::consistent<Overrides<R, RequestMember::redactedForReport>, Detail::NamesRedacted<R>, Detail::GoodRedacted<R>>
        && Detail::consistent<Overrides<R, RequestMember::dummyResponseJSON>, Detail::NamesDummyJSON<R>, Detail::GoodDummyJSON<R>>
        && Detail::consistent<Overrides<R, RequestMember::urlRequest>, Detail::NamesURLRequest<R>, Detail::GoodURLRequest<R>>;

// A request that makes its own URL request declares nothing that request
// would silently leave out.
template<class R>
concept DeclaresURLRequestConsistently = !Overrides<R, RequestMember::urlRequest>
    || (taskKindOf<R> == TaskKind::data && requestTraits<R>().body == BodyKind::none
        && !Overrides<R, RequestMember::method> && !Overrides<R, RequestMember::queryItems>
        && !Overrides<R, RequestMember::contentType> && !Overrides<R, RequestMember::customHeaders>
        && !Overrides<R, RequestMember::redactedForReport> && !Overrides<R, RequestMember::isEligibleForLowBandWidthConnections>);

// The members of the declared body kind exist, and no other kind's member does.
template<class R>
concept DeclaresBodyConsistently =
    Detail::requiredWhen<requestTraits<R>().body == BodyKind::payloadJSON, Detail::NamesPayload<R>, Detail::GoodPayload<R>>
    && Detail::requiredWhen<requestTraits<R>().body == BodyKind::parametersJSON, Detail::NamesJSONParameters<R>, Detail::GoodJSONParameters<R>>
    && (requestTraits<R>().body != BodyKind::ownJSON || JSONEncodableRecord<R>)
    && (requestTraits<R>().body == BodyKind::payloadJSON || !Overrides<R, RequestMember::prepare>);

// The members of the declared task kind exist, and no other kind's member does.
template<class R>
concept DeclaresTaskKindConsistently =
    Detail::requiredWhen<taskKindOf<R> == TaskKind::upload, Detail::NamesFileURL<R>, Detail::GoodFileURL<R>>
    && Detail::requiredWhen<taskKindOf<R> == TaskKind::download, Detail::NamesDestinationURL<R>, Detail::GoodDestinationURL<R>>
    && Detail::requiredWhen<taskKindOf<R> == TaskKind::download, Detail::NamesShouldOverwrite<R>, Detail::GoodShouldOverwrite<R>>
    && (taskKindOf<R> == TaskKind::download || !Overrides<R, RequestMember::expectedSize>);

// A download's result is the placed file's URL, as a stream of progress events.
template<class R>
concept DeclaresSuccessValueConsistently = requires { typename R::SuccessValue; }
    && (taskKindOf<R> != TaskKind::download || std::same_as<typename R::SuccessValue, ProgressEvent<Platform::URL>>)
    && (!requestTraits<R>().enveloped || CloudMetaPackageType<typename R::SuccessValue>);

// Every request the pipeline performs: a path, a result type, and declarations
// that agree with its traits.
template<class R>
concept ServiceRequest = std::copy_constructible<R>
    && requires(const R& r) { { r.path() } -> std::convertible_to<std::string>; }
    && DeclaresSuccessValueConsistently<R>
    && DeclaresOverridesConsistently<R>
    && DeclaresBodyConsistently<R>
    && DeclaresTaskKindConsistently<R>
    && DeclaresURLRequestConsistently<R>;

// Names the first rule a request breaks, for a readable compile error.
template<class R>
consteval bool checkServiceRequest()
{
    static_assert(requires(const R& r) { { r.path() } -> std::convertible_to<std::string>; },
        "a request declares `std::string path() const`");
    static_assert(requires { typename R::SuccessValue; }, "a request declares its `using SuccessValue = ...`");
    static_assert(DeclaresOverridesConsistently<R>,
        "a member listed in `traits.overrides` is missing, misspelt or has the wrong signature, or a member is declared but not listed");
    static_assert(DeclaresBodyConsistently<R>, "the body members do not match `traits.body`");
    static_assert(DeclaresTaskKindConsistently<R>, "the transfer members do not match `traits.taskKind`");
    static_assert(DeclaresURLRequestConsistently<R>,
        "a request that makes its own URL request is a data task without body, method, query items, content type, headers or low-bandwidth answer of its own");
    static_assert(DeclaresSuccessValueConsistently<R>,
        "a download's SuccessValue is ProgressEvent<Platform::URL>, an enveloped request's a CloudMetaPackage");
    return true;
}

} // namespace Quarlink
