#include "Quarlink/Requests/RequestInfos.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/UserAgent.hpp"

namespace Quarlink {

void Detail::logUnencodableBody(const std::string& path)
{
    Platform::Log::failure("couldn't encode the body of request " + path + "; it is sent without one");
}

HTTPHeaderFields composeHeaders(HTTPHeaderFields customHeaders, std::string contentType)
{
    HTTPHeaderFields headers = std::move(customHeaders);
    headers["Content-Type"] = std::move(contentType);
    headers["User-Agent"] = UserAgent::current().stringValue();
    if (auto client = ApplicationInfo::string(ApplicationInfo::clientHeaderKey))
        headers["X-Client"] = *client;
    return headers;
}

Platform::URL addingQueryItems(const Platform::URL& url, const std::vector<URLQueryItem>& items)
{
    if (items.empty())
        return url;
    return url.appendingQueryItems(items);
}

Platform::URL urlWithBase(const Platform::URL& base, std::string_view path, const std::vector<URLQueryItem>& items)
{
    return addingQueryItems(base.appendingPathComponent(path), items);
}

Platform::URLRequest assembleURLRequest(const Platform::URL& url, const std::optional<Platform::Data>& body,
    const HTTPHeaderFields& headers, HTTPMethod method)
{
    Platform::URLRequest request;
    request.url = url.absoluteString();
    request.body = body ? body->toString() : std::string();
    for (const auto& [name, value] : headers)
        request.headers.add(name, value);
    request.method = methodText(method);
    return request;
}

} // namespace Quarlink
