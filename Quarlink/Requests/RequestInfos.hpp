#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Platform/Network/URLRequest.hpp"
#include "Quarlink/Coding/JSONBody.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

// The request information of any `ServiceRequest`: each member the request
// declares, else the default. Every function reads the request value only,
// computes afresh on every call and may run on any thread.

template<class R>
[[nodiscard]] std::vector<URLQueryItem> requestQueryItems(const R& request)
{
    if constexpr (Overrides<R, RequestMember::queryItems>)
        return request.queryItems();
    else
        return {};
}

template<class R>
[[nodiscard]] HTTPMethod requestMethod(const R& request)
{
    if constexpr (Overrides<R, RequestMember::method>)
        return request.method();
    else
        return HTTPMethod::get;
}

template<class R>
[[nodiscard]] HTTPHeaderFields requestCustomHeaders(const R& request)
{
    if constexpr (Overrides<R, RequestMember::customHeaders>)
        return request.customHeaders();
    else
        return {};
}

// "text/plain", or "application/json" for the three JSON body kinds.
template<class R>
[[nodiscard]] std::string requestContentType(const R& request)
{
    if constexpr (Overrides<R, RequestMember::contentType>)
        return request.contentType();
    else if constexpr (requestTraits<R>().body != BodyKind::none)
        return jsonContentType;
    else
        return "text/plain";
}

// The JSON encoder of a payload body: the request's own set-up, else the body rules.
template<class R>
[[nodiscard]] JSONEncoder requestPayloadEncoder(const R& request)
{
    JSONEncoder encoder;
    if constexpr (Overrides<R, RequestMember::prepare>)
        request.prepare(encoder);
    else
        prepareBodyEncoder(encoder);
    return encoder;
}

namespace Detail {
// Logs that a body was left out because it could not be encoded.
void logUnencodableBody(const std::string& path);
} // namespace Detail

// The body, encoded anew by an encoder made for this call; absent for requests
// without a body, for empty parameters, and when encoding fails (logged).
template<class R>
[[nodiscard]] std::optional<Platform::Data> requestBodyData(const R& request)
{
    constexpr BodyKind kind = requestTraits<R>().body;
    std::optional<Platform::Data> body;
    if constexpr (kind == BodyKind::none) {
        return std::nullopt;
    } else if constexpr (kind == BodyKind::ownJSON) {
        body = jsonBody(request);
    } else if constexpr (kind == BodyKind::payloadJSON) {
        body = jsonBody(request.payload(), requestPayloadEncoder(request));
    } else {
        OrderedJSON parameters = request.jsonParameters();
        if (parameters.is_object() && parameters.empty())
            return std::nullopt;
        body = jsonParametersBody(parameters);
    }
    if (!body)
        Detail::logUnencodableBody(std::string(request.path()));
    return body;
}

// The header fields, composed afresh: the request's custom fields, then
// "Content-Type", "User-Agent" and (when the application registered a string
// for it) "X-Client", each replacing a custom field of exactly that name.
[[nodiscard]] HTTPHeaderFields composeHeaders(HTTPHeaderFields customHeaders, std::string contentType);

template<class R>
[[nodiscard]] HTTPHeaderFields requestHeaders(const R& request)
{
    return composeHeaders(requestCustomHeaders(request), requestContentType(request));
}

// `url` with `items` added behind its query; unchanged (no "?") when `items` is
// empty. Names and values are percent-encoded, "+", "&", "=", "#" and "%" included.
[[nodiscard]] Platform::URL addingQueryItems(const Platform::URL& url, const std::vector<URLQueryItem>& items);

// The base URL, one "/", the path (its "/" separating segments) and the query items.
[[nodiscard]] Platform::URL urlWithBase(const Platform::URL& base, std::string_view path, const std::vector<URLQueryItem>& items);

template<class R>
[[nodiscard]] Platform::URL requestURL(const R& request, const Platform::URL& base)
{
    return urlWithBase(base, request.path(), requestQueryItems(request));
}

// A URL request of exactly these four parts; nothing else is set.
[[nodiscard]] Platform::URLRequest assembleURLRequest(const Platform::URL& url, const std::optional<Platform::Data>& body,
    const HTTPHeaderFields& headers, HTTPMethod method);

// The URL request that sends `request` under `base`: URL, then body, then
// header fields, then method, read in that order; or the request's own, when
// it makes one. Never fails.
template<class R>
[[nodiscard]] Platform::URLRequest makeURLRequest(const R& request, const Platform::URL& base)
{
    if constexpr (Overrides<R, RequestMember::urlRequest>) {
        return request.urlRequest(base);
    } else {
        auto url = requestURL(request, base);
        auto body = requestBodyData(request);
        auto headers = requestHeaders(request);
        auto assembled = assembleURLRequest(url, body, headers, requestMethod(request));
        assembled.maximumBodySize = requestTraits<R>().isListing ? listingBodyLimit : bodyLimit;
        return assembled;
    }
}

} // namespace Quarlink
