#include "Quarlink/Client/TransportErrors.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"

namespace Quarlink {

namespace {

URLError::Code codeFor(Platform::URLError::Code code)
{
    using From = Platform::URLError::Code;
    using To = URLError::Code;
    switch (code) {
    case From::cancelled: return To::cancelled;
    case From::badURL: return To::badURL;
    case From::unsupportedURL: return To::unsupportedURL;
    case From::timedOut: return To::timedOut;
    case From::cannotFindHost: return To::cannotFindHost;
    case From::cannotConnectToHost: return To::cannotConnectToHost;
    case From::networkConnectionLost: return To::networkConnectionLost;
    case From::httpTooManyRedirects: return To::httpTooManyRedirects;
    case From::badServerResponse: return To::badServerResponse;
    case From::secureConnectionFailed: return To::secureConnectionFailed;
    case From::serverCertificateUntrusted: return To::serverCertificateUntrusted;
    case From::cannotDecodeContentData: return To::cannotDecodeContentData;
    case From::fileDoesNotExist: return To::fileDoesNotExist;
    case From::cannotOpenFile: return To::cannotOpenFile;
    case From::cannotCreateFile: return To::cannotCreateFile;
    case From::cannotWriteToFile: return To::cannotWriteToFile;
    case From::unknown: break;
    }
    return To::unknown;
}

} // namespace

URLError urlError(const Platform::URLError& error)
{
    return URLError(codeFor(error.code()), error.transportCode());
}

Reactive::AnyError transportError(const Platform::URLError& error)
{
    return Reactive::AnyError(AnyPresentableError(urlError(error)));
}

std::optional<HTTPURLResponse> httpURLResponse(const Platform::HTTPURLResponse& response, const std::string& fallbackURL)
{
    auto url = Platform::URL::create(response.url);
    if (!url)
        url = Platform::URL::create(fallbackURL);
    if (!url)
        return std::nullopt;
    return HTTPURLResponse(std::move(*url), static_cast<int>(response.statusCode), response.headers.fields());
}

} // namespace Quarlink
