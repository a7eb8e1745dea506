#include "Quarlink/Errors/TransportErrors.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"

namespace Quarlink {

Reactive::AnyError transportError(const Platform::TransportError& error)
{
    return Reactive::AnyError(AnyPresentableError(URLError(error)));
}

std::optional<HTTPURLResponse> httpURLResponse(const Platform::HTTPResponseHead& response, const std::string& fallbackURL)
{
    auto url = Platform::URL::create(response.url);
    if (!url)
        url = Platform::URL::create(fallbackURL);
    if (!url)
        return std::nullopt;
    return HTTPURLResponse(std::move(*url), static_cast<int>(response.statusCode), response.headers.fields());
}

} // namespace Quarlink
